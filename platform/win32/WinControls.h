#pragma once
// What the two Win32 windows share: design units, fonts, tooltips, owner-drawn buttons, the
// folder picture, labels that elide their text, and letting pending messages through.
#include <windows.h>

#include <string>

#include "platform/Dialogs.h"

namespace zq::win32 {

// The window's DPI: the monitor's where the system scales per window, else the screen's.
int WindowDpi(HWND window);

// A font the window owns and deletes with itself.
class Font {
public:
    Font() = default;
    Font(const wchar_t* face, double points, bool bold, int dpi);
    // The system's font for message boxes and dialogs, at the given DPI.
    static Font Message(int dpi, bool bold = false);
    ~Font();
    Font(Font&& other) noexcept : font_(other.font_) { other.font_ = nullptr; }
    Font& operator=(Font&& other) noexcept;
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    HFONT Get() const { return font_; }

private:
    explicit Font(HFONT font) : font_(font) {}
    HFONT font_ = nullptr;
};

// The logical height of a font in pixels for a size in points.
int FontHeight(double points, int dpi);

// Registers a window class of this module once; gives its name.
const wchar_t* WindowClass(const wchar_t* name, WNDPROC proc);
// The window procedure of a view: the messages of the window it made (it passed itself as
// the creation parameter) go to its OnMessage, once Window() names that window.
template <class View>
LRESULT CALLBACK RouteToView(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<View*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (view == nullptr || view->Window() != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
    return view->OnMessage(msg, wp, lp);
}
// A child control with a font; visible unless hidden is set.
HWND MakeControl(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                 RECT place, HFONT font, bool hidden = false, DWORD exStyle = 0);
// The window in the middle of the screen with a client area of the given size.
void PlaceCentred(HWND window, int clientWidth, int clientHeight);

// One tooltip window per top-level window; each control gets a tip or none.
HWND MakeTooltip(HWND owner);
void SetTip(HWND tooltip, HWND control, const std::wstring& text);  // empty: no tip
std::wstring TipText(HWND tooltip, HWND control);

// Owner-drawn buttons: the button type bits and the style that hands drawing to the system.
inline constexpr LONG_PTR kButtonTypeBits = 0xB;  // BS_OWNERDRAW
inline constexpr LONG_PTR kMultiLine = 0x2000;    // BS_MULTILINE
// A push button of the design: face colour, raised or pressed edge, its caption (with its
// mnemonic), greyed when disabled, the focus frame.
void DrawDesignButton(const DRAWITEMSTRUCT& item, COLORREF face, HFONT font);
// Visual styles are in force: the button loses the owner-draw type, becomes a multi-line
// standard button and is redrawn.
void UseSystemDrawnButton(HWND button);
bool IsOwnerDrawn(HWND button);

// A 16 by 16 folder symbol, drawn here (no icon file to ship); deleted with DestroyIcon.
HICON MakeFolderIcon(int size);
// An owner-drawn picture control: the icon in its middle, greyed when disabled.
void DrawPicture(const DRAWITEMSTRUCT& item, HICON icon, int size);

// The text as a label of the given width shows it: the whole text when it fits, else with
// its middle left out ("..."), keeping as much as possible after the last "\".
std::wstring ElidedText(HWND label, const std::wstring& text, int width);

// Lets the thread's pending messages through once: input goes to its controls (keys through
// the window's dialog navigation), then every window is repainted.
void ProcessPendingMessages(HWND window);
// Repaints without taking input: only paint and timer messages are let through.
void RepaintNow(HWND window);

// Ends a view's window: its boxes lose their owner, the window no longer reaches the view
// while it goes, and the folder picture is freed.
void DestroyViewWindow(HWND window, HICON folder, IDialogs& dialogs);

}  // namespace zq::win32
