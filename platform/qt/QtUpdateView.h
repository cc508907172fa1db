#pragma once
// The update tool's window with Qt Widgets; the tool always shows it, so the widgets are
// made at once.
#include <memory>

#include "update/frmMain/MainView.h"

namespace zq::qt {

class QtApp;

class QtUpdateView : public update::IMainView {
public:
    explicit QtUpdateView(QtApp& app);
    ~QtUpdateView() override;
    QtUpdateView(const QtUpdateView&) = delete;
    QtUpdateView& operator=(const QtUpdateView&) = delete;

    void SetText(std::string_view control, const std::string& text) override;
    void SetEnabled(std::string_view control, bool enabled) override;
    void UseStandardButtonStyle(std::string_view control) override;
    void Show(update::IMainEvents& events) override;
    void SetBusy(bool busy, const std::string& what) override;
    void ProcessPendingEvents() override;
    void ShowProgress(std::uint64_t done, std::uint64_t total) override;
    void ShowNote(const std::string& text) override;
    void Run(update::IMainEvents& events) override;
    void Close() override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace zq::qt
