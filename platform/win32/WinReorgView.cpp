#include "platform/win32/WinReorgView.h"

#include <commctrl.h>

#include "platform/win32/WinText.h"
#include "reorg/frmZQR/Design.h"

namespace zq::win32 {

namespace design = reorg::design;
using reorg::Alignment;
using reorg::Control;
using reorg::Event;
using reorg::Flow;

namespace {

constexpr COLORREF kStartGreen =
    RGB(reorg::design::kStartGreen.red, reorg::design::kStartGreen.green, reorg::design::kStartGreen.blue);
constexpr int kFirstId = 100;  // clear of IDOK and IDCANCEL, which dialog keys send
constexpr int kBusyTextId = 200;
constexpr int kBusyBarId = 201;

int IdOf(Control c) { return kFirstId + static_cast<int>(c); }

}  // namespace

WinReorgView::WinReorgView(IDialogs& dialogs) : dialogs_(dialogs) {}

WinReorgView::~WinReorgView() {
    // The logic may be gone already: nothing the window does while it goes reaches it.
    ended_ = true;
    events_ = nullptr;
    DestroyViewWindow(window_, folder_, dialogs_);
}

HWND WinReorgView::Handle(Control control) const {
    return control == Control::frmZQR ? window_ : controls_[static_cast<std::size_t>(control)];
}

void WinReorgView::MakeWindow() {
    if (window_ != nullptr) return;
    const wchar_t* cls = WindowClass(L"ZequoraFrmZQR", RouteToView<WinReorgView>);
    window_ = CreateWindowExW(0, cls, Wide(State(Control::frmZQR).text).c_str(),
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                              CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) return;
    const int dpi = WindowDpi(window_);
    auto px = [dpi](int twips) { return design::TwipsToPixels(twips, dpi); };
    auto place = [&px](const design::TwipRect& r) {
        return RECT{px(r.left), px(r.top), px(r.left) + px(r.width), px(r.top) + px(r.height)};
    };
    PlaceCentred(window_, px(design::kClientWidth), px(design::kClientHeight));
    bigFont_ = Font(Wide(design::kFontFace).c_str(), design::kButtonFontPoints, true, dpi);
    smallFont_ = Font(Wide(design::kFontFace).c_str(), design::kFieldFontPoints, true, dpi);
    plainFont_ = Font::Message(dpi);
    folder_ = MakeFolderIcon(px(design::kPictureSize));

    // In the design's order: each control lies below the ones made before it, so the folder
    // picture stays on top of its button and the progress label on top of the caption.
    auto make = [&](Control c, const wchar_t* kind, DWORD style, HFONT font, DWORD exStyle = 0) {
        controls_[static_cast<std::size_t>(c)] =
            MakeControl(window_, kind, L"", style, IdOf(c), place(design::Rect(c)), font, false, exStyle);
    };
    make(Control::picDatendatei, WC_STATICW, SS_OWNERDRAW | SS_NOTIFY, nullptr);
    make(Control::cmdEnde, WC_BUTTONW, BS_OWNERDRAW | WS_TABSTOP, bigFont_.Get());
    make(Control::cmdReorg, WC_BUTTONW, BS_OWNERDRAW | WS_TABSTOP, bigFont_.Get());
    make(Control::txtDatenbank, WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, smallFont_.Get(), WS_EX_CLIENTEDGE);
    make(Control::cmdDatendatei, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, plainFont_.Get());
    make(Control::lblFortschritt, WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE, plainFont_.Get());
    make(Control::lblDatendatei, WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE, smallFont_.Get());
    busyText_ = MakeControl(window_, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, kBusyTextId, place(design::kBusyText),
                            plainFont_.Get(), true);
    busyBar_ = MakeControl(window_, PROGRESS_CLASSW, L"", PBS_SMOOTH, kBusyBarId, place(design::kBusyBar), nullptr, true);
    SendMessageW(busyBar_, PBM_SETRANGE32, 0, 20);
    SendMessageW(busyBar_, PBM_SETSTEP, 1, 0);

    HWND field = Handle(Control::txtDatenbank);
    SetWindowSubclass(field, FieldProc, 1, reinterpret_cast<DWORD_PTR>(this));
    tooltip_ = MakeTooltip(window_);
    SetTip(tooltip_, field, L"Pfad und Name der Datenbank (ZQData.mdb)");

    for (std::size_t i = 0; i < reorg::kControlCount; ++i) Apply(static_cast<Control>(i));
    // Boxes and the file dialog are modal to the window from now on.
    dialogs_.SetOwner(reinterpret_cast<WindowHandle>(window_));
}

void WinReorgView::Apply(Control c) {
    if (window_ == nullptr) return;
    const reorg::ControlState& s = State(c);
    HWND w = Handle(c);
    if (w == nullptr) return;
    const std::wstring text = Wide(s.text);
    switch (c) {
        case Control::frmZQR: SetWindowTextW(w, text.c_str()); return;
        case Control::txtDatenbank:
            // Only a changed text is put in, with the caret at its end so the file name shows;
            // otherwise the caret stays where the user left it.
            if (Utf8(text) != Text(c)) {
                SetWindowTextW(w, text.c_str());
                SendMessageW(w, EM_SETSEL, text.size(), static_cast<LPARAM>(text.size()));
            }
            SendMessageW(w, EM_SETREADONLY, s.readOnly ? TRUE : FALSE, 0);
            break;
        case Control::cmdEnde:
        case Control::cmdReorg:
            SetWindowTextW(w, text.c_str());
            if (s.systemDrawn && IsOwnerDrawn(w)) win32::UseSystemDrawnButton(w);
            break;
        case Control::lblFortschritt:
        case Control::lblDatendatei: {
            SetWindowTextW(w, text.c_str());
            LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK);
            SetWindowLongPtrW(w, GWL_STYLE, style | (s.rightAligned ? SS_RIGHT : SS_LEFT));
            InvalidateRect(w, nullptr, TRUE);
            break;
        }
        case Control::cmdDatendatei:
        case Control::picDatendatei: SetWindowTextW(w, text.c_str()); break;
    }
    EnableWindow(w, s.enabled ? TRUE : FALSE);
    ShowWindow(w, s.visible ? SW_SHOWNA : SW_HIDE);
}

Flow WinReorgView::Deliver(Event event) {
    if (events_ == nullptr || ended_) return Flow::End;
    // What the user typed is the field's text from now on, whatever the logic makes of it.
    State(Control::txtDatenbank).text = Text(Control::txtDatenbank);
    const Flow flow = events_->Deliver(event);
    if (flow == Flow::End) EndProgram();
    return flow;
}

void WinReorgView::EndProgram() {
    ended_ = true;
    busy_ = false;
    if (window_ != nullptr) {
        dialogs_.SetOwner(0);  // later boxes belong to no hidden window
        ShowWindow(window_, SW_HIDE);
    }
}

LRESULT CALLBACK WinReorgView::FieldProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    const LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);
    if (msg == WM_KILLFOCUS) {
        auto* self = reinterpret_cast<WinReorgView*>(data);
        // Only a move to another control of the window leaves the field; switching to another
        // window or a box does not.
        const HWND next = reinterpret_cast<HWND>(wp);
        if (next != nullptr && IsChild(self->window_, next)) (void)self->Deliver(Event::TxtDatenbankLostFocus);
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, FieldProc, 1);
    }
    return result;
}

LRESULT WinReorgView::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            const int code = HIWORD(wp);
            if (code == BN_CLICKED && id == IdOf(Control::cmdEnde)) (void)Deliver(Event::CmdEndeClick);
            else if (code == BN_CLICKED && id == IdOf(Control::cmdReorg)) (void)Deliver(Event::CmdReorgClick);
            else if (code == BN_CLICKED && id == IdOf(Control::cmdDatendatei)) (void)Deliver(Event::CmdDatendateiClick);
            else if (code == STN_CLICKED && id == IdOf(Control::picDatendatei)) (void)Deliver(Event::PicDatendateiClick);
            return 0;
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (item.CtlID == static_cast<UINT>(IdOf(Control::picDatendatei))) {
                DrawPicture(item, folder_, design::TwipsToPixels(design::kPictureSize, WindowDpi(window_)));
            } else {
                // The start button in the design's light green, the end button in the face colour.
                const COLORREF face = item.CtlID == static_cast<UINT>(IdOf(Control::cmdReorg))
                                          ? kStartGreen
                                          : GetSysColor(COLOR_BTNFACE);
                DrawDesignButton(item, face, bigFont_.Get());
            }
            return TRUE;
        }
        case WM_SETCURSOR:
            if (busy_) {
                SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            // Whether the window goes is the logic's decision.
            if (!ended_) (void)Deliver(Event::Close);
            return 0;
        case WM_DESTROY:
            ended_ = true;
            window_ = nullptr;
            return 0;
        default: break;
    }
    return DefWindowProcW(window_, msg, wp, lp);
}

Flow WinReorgView::Show(reorg::IReorgEvents& events) {
    events_ = &events;
    if (shown_) return ended_ ? Flow::End : Flow::Go;
    shown_ = true;
    MakeWindow();
    if (window_ == nullptr) {
        // No window can be made (no display): the program cannot be worked from here.
        ended_ = true;
        return Flow::End;
    }
    const Flow flow = events.OnLoad();
    if (flow == Flow::End) {
        ended_ = true;
        return flow;
    }
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    SetFocus(Handle(Control::txtDatenbank));
    UpdateWindow(window_);
    return flow;
}

bool WinReorgView::IsShown() const { return shown_ && !ended_; }

std::string WinReorgView::Text(Control control) const {
    HWND field = Handle(Control::txtDatenbank);
    if (control == Control::txtDatenbank && field != nullptr) {
        const int length = GetWindowTextLengthW(field);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        const int got = GetWindowTextW(field, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
        return Utf8(text);
    }
    return State(control).text;
}

void WinReorgView::ApplyReadOnly(Control control) {
    HWND w = Handle(control);
    if (w != nullptr && control == Control::txtDatenbank)
        SendMessageW(w, EM_SETREADONLY, State(control).readOnly ? TRUE : FALSE, 0);
}

void WinReorgView::ProcessPendingInput() {
    if (window_ == nullptr || ended_) return;
    ProcessPendingMessages(window_);
}

void WinReorgView::ShowBusy(const std::string& text) {
    if (window_ == nullptr) return;  // an unattended run has no window to mark
    if (text.empty()) {
        busy_ = false;
        ShowWindow(busyText_, SW_HIDE);
        ShowWindow(busyBar_, SW_HIDE);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return;
    }
    busy_ = true;
    SetWindowTextW(busyText_, Wide(text).c_str());
    SendMessageW(busyBar_, PBM_STEPIT, 0, 0);  // starts over at its end: a moving sign
    ShowWindow(busyText_, SW_SHOWNA);
    ShowWindow(busyBar_, SW_SHOWNA);
    SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
    RepaintNow(window_);
}

void WinReorgView::Run(reorg::IReorgEvents& events) {
    if (!shown_ && Show(events) == Flow::End) return;
    events_ = &events;
    MSG msg;
    while (!ended_ && window_ != nullptr && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace zq::win32
