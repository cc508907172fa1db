#pragma once
// The update tool's window frmMain as a Win32 window, made at once (the tool always shows
// it). Labels too long for their place show their middle left out and the whole text in a
// tooltip. Clicks and closing are reported to the window's logic, which decides what is taken.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/win32/WinControls.h"
#include "update/frmMain/MainView.h"

namespace zq::win32 {

class WinUpdateView : public update::IMainView {
public:
    explicit WinUpdateView(IDialogs& dialogs);
    ~WinUpdateView() override;
    WinUpdateView(const WinUpdateView&) = delete;
    WinUpdateView& operator=(const WinUpdateView&) = delete;

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

    // The window and its controls by name ("busyText", "progress", "note" for the busy sign
    // and the remarks), for tests and screenshots.
    HWND Window() const { return window_; }
    HWND Handle(std::string_view control) const;
    HWND Tooltip() const { return tooltip_; }
    bool IsBusy() const { return busy_; }

private:
    enum class Kind { Label, Bold, Group, Button, DesignButton, IconButton, Picture, Note, Progress };
    struct Item {
        Item(std::string_view n, Kind k, RECT p) : name(n), kind(k), place(p) {}
        std::string_view name;
        Kind kind;
        RECT place;  // in pixels at 96 DPI
        HWND hwnd = nullptr;
        std::string text;  // the whole text of a label
    };

    friend LRESULT CALLBACK RouteToView<WinUpdateView>(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void MakeWindow();
    Item* Find(std::string_view control);
    void ShowLabel(Item& item);
    void Click(std::string_view control);
    void Gone();

    IDialogs& dialogs_;
    std::vector<Item> items_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HICON folder_ = nullptr;
    Font font_, bold_;
    int dpi_ = 96;
    update::IMainEvents* events_ = nullptr;
    bool closed_ = false;
    bool busy_ = false;
    bool sizeKnown_ = false;  // a download's progress with a known total
    int lastPermille_ = -1;
    DWORD lastRepaint_ = 0;
};

}  // namespace zq::win32
