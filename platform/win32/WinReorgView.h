#pragma once
// The reorganiser's window frmZQR as a Win32 window. It is made on the first show, so an
// unattended run never creates it; what is set before is kept and applied then. Clicks, the
// leaving of the path field and closing are reported to the window's logic as they come; it
// decides what is taken. Message boxes and the file dialog belong to the window while it is
// there.
#include <windows.h>

#include <array>
#include <string>

#include "platform/Dialogs.h"
#include "platform/win32/WinControls.h"
#include "reorg/frmZQR/ReorgView.h"

namespace zq::win32 {

class WinReorgView : public reorg::ModelledReorgView {
public:
    explicit WinReorgView(IDialogs& dialogs);
    ~WinReorgView() override;
    WinReorgView(const WinReorgView&) = delete;
    WinReorgView& operator=(const WinReorgView&) = delete;

    reorg::Flow Show(reorg::IReorgEvents& events) override;
    bool IsShown() const override;
    // The path field's text is what it shows, typed or set.
    std::string Text(reorg::Control control) const override;
    void ProcessPendingInput() override;
    void ShowBusy(const std::string& text) override;
    void Run(reorg::IReorgEvents& events) override;

    // The window and its controls once shown (nullptr before), for tests and screenshots.
    HWND Handle(reorg::Control control) const;
    HWND Window() const { return window_; }
    HWND Tooltip() const { return tooltip_; }

private:
    friend LRESULT CALLBACK RouteToView<WinReorgView>(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK FieldProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void MakeWindow();
    void Apply(reorg::Control control) override;
    void ApplyReadOnly(reorg::Control control) override;
    reorg::Flow Deliver(reorg::Event event);
    void EndProgram();

    IDialogs& dialogs_;
    std::array<HWND, reorg::kControlCount> controls_{};
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND busyText_ = nullptr;
    HWND busyBar_ = nullptr;
    HICON folder_ = nullptr;
    Font bigFont_, smallFont_, plainFont_;
    reorg::IReorgEvents* events_ = nullptr;
    bool shown_ = false;
    bool ended_ = false;
    bool busy_ = false;
};

}  // namespace zq::win32
