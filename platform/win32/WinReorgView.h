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

// The client area and the controls' rectangles of the design, in twips.
struct TwipRect {
    int left, top, width, height;
};
inline constexpr int kReorgClientWidth = 6630;
inline constexpr int kReorgClientHeight = 1980;
// The design rectangle of a control of frmZQR.
TwipRect ReorgDesignRect(reorg::Control control);

class WinReorgView : public reorg::IReorgView {
public:
    explicit WinReorgView(IDialogs& dialogs);
    ~WinReorgView() override;
    WinReorgView(const WinReorgView&) = delete;
    WinReorgView& operator=(const WinReorgView&) = delete;

    reorg::Flow Show(reorg::IReorgEvents& events) override;
    bool IsShown() const override;
    void SetText(reorg::Control control, const std::string& text) override;
    std::string Text(reorg::Control control) const override;
    void SetEnabled(reorg::Control control, bool enabled) override;
    bool IsEnabled(reorg::Control control) const override;
    void SetVisible(reorg::Control control, bool visible) override;
    void SetAlignment(reorg::Control control, reorg::Alignment alignment) override;
    void UseSystemDrawnButton(reorg::Control control) override;
    void SetReadOnly(reorg::Control control, bool readOnly) override;
    void ProcessPendingInput() override;
    void ShowBusy(const std::string& text) override;
    void Run(reorg::IReorgEvents& events) override;

    // The window and its controls once shown (nullptr before), for tests and screenshots.
    HWND Handle(reorg::Control control) const;
    HWND Window() const { return window_; }
    HWND Tooltip() const { return tooltip_; }

private:
    static constexpr std::size_t kControls = 8;
    struct ControlState {
        std::string text;
        bool enabled = true;
        bool visible = true;
        bool rightAligned = false;
        bool systemDrawn = false;
        bool readOnly = false;
    };

    friend LRESULT CALLBACK RouteToView<WinReorgView>(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK FieldProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void MakeWindow();
    void Apply(reorg::Control control);
    reorg::Flow Deliver(reorg::Event event);
    void EndProgram();
    ControlState& State(reorg::Control c) { return state_[static_cast<std::size_t>(c)]; }
    const ControlState& State(reorg::Control c) const { return state_[static_cast<std::size_t>(c)]; }

    IDialogs& dialogs_;
    std::array<ControlState, kControls> state_{};
    std::array<HWND, kControls> controls_{};
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
