#include "platform/win32/WinUpdateView.h"

#include <commctrl.h>

#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace ctl = update::ctl;

namespace {

constexpr int kFirstId = 100;  // clear of IDOK and IDCANCEL, which dialog keys send
constexpr UINT_PTR kBusyTimer = 1;
constexpr std::string_view kBusyText = "busyText";
constexpr std::string_view kProgress = "progress";
constexpr std::string_view kNote = "note";

// The layout at 96 DPI: the registry information on top, the update folder, the two parts
// side by side, the busy sign and remarks, the buttons at the bottom.
constexpr int kClientWidth = 540;
constexpr int kClientHeight = 380;

RECT At(int left, int top, int width, int height) { return RECT{left, top, left + width, top + height}; }

}  // namespace

WinUpdateView::WinUpdateView(IDialogs& dialogs) : dialogs_(dialogs) {
    using K = Kind;
    std::vector<Item> groups;
    auto group = [this, &groups](int x, std::string_view frame, std::string_view c1, std::string_view v1,
                        std::string_view c2, std::string_view v2, std::string_view c3,
                        std::string_view v3, std::string_view download) {
        const int y = 124, w = 252;
        items_.emplace_back(c1, K::Label, At(x + 10, y + 24, 110, 16));
        items_.emplace_back(v1, K::Label, At(x + 124, y + 24, w - 134, 16));
        items_.emplace_back(c2, K::Label, At(x + 10, y + 46, 110, 16));
        items_.emplace_back(v2, K::Label, At(x + 124, y + 46, w - 134, 16));
        items_.emplace_back(c3, K::Label, At(x + 10, y + 68, 110, 16));
        items_.emplace_back(v3, K::Label, At(x + 124, y + 68, w - 134, 16));
        items_.emplace_back(download, K::DesignButton, At(x + 10, y + 94, w - 20, 28));
        groups.emplace_back(frame, K::Group, At(x, y, w, 132));
    };
    items_.emplace_back(ctl::lblInfo, K::Bold, At(12, 10, 516, 18));
    items_.emplace_back(ctl::lblInfoRegKey, K::Label, At(12, 32, 516, 16));
    items_.emplace_back(ctl::lblInfoRegSubKeyZQM, K::Label, At(12, 50, 516, 16));
    items_.emplace_back(ctl::lblInfoRegSubKeyZQC, K::Label, At(12, 68, 516, 16));
    items_.emplace_back(ctl::Label2, K::Label, At(12, 97, 138, 16));
    items_.emplace_back(ctl::picExplorer, K::Picture, At(152, 95, 20, 20));
    items_.emplace_back(ctl::lblUpdStorePfad, K::Label, At(178, 97, 350, 16));
    group(12, ctl::Frame2, ctl::Label1, ctl::lblZQMVersionNeu, ctl::lbxZQMVersionAkt, ctl::lblZQMVersionAkt,
          ctl::lbxZQMInstDat, ctl::lblZQMInstDat, ctl::cmdDownloadZQM);
    group(276, ctl::Frame1, ctl::Label3, ctl::lblZQCVersionNeu, ctl::lbxZQCVersionAkt, ctl::lblZQCVersionAkt,
          ctl::lbxZQCInstDat, ctl::lblZQCInstDat, ctl::cmdDownloadZQC);
    items_.emplace_back(kBusyText, K::Label, At(12, 264, 516, 16));
    items_.emplace_back(kProgress, K::Progress, At(12, 282, 516, 12));
    items_.emplace_back(kNote, K::Note, At(12, 300, 516, 32));
    items_.emplace_back(ctl::cmdHistorie, K::Button, At(12, 340, 140, 28));
    items_.emplace_back(ctl::cmdExplorer, K::IconButton, At(160, 340, 40, 28));
    items_.emplace_back(ctl::cmdOK, K::Button, At(418, 340, 110, 28));
    // The frames last: below the controls they hold, which paint over them.
    items_.insert(items_.end(), groups.begin(), groups.end());
    MakeWindow();
}

WinUpdateView::~WinUpdateView() {
    // The logic may be gone already: nothing the window does while it goes reaches it.
    closed_ = true;
    events_ = nullptr;
    DestroyViewWindow(window_, folder_, dialogs_);
}

void WinUpdateView::MakeWindow() {
    const wchar_t* cls = WindowClass(L"ZequoraFrmMain", RouteToView<WinUpdateView>);
    // Without clipping its children: the window paints the inside of the group frames.
    window_ = CreateWindowExW(0, cls, L"", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                              CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) return;
    dpi_ = WindowDpi(window_);
    auto px = [this](int v) { return MulDiv(v, dpi_, 96); };
    PlaceCentred(window_, px(kClientWidth), px(kClientHeight));
    font_ = Font::Message(dpi_);
    bold_ = Font::Message(dpi_, true);
    folder_ = MakeFolderIcon(px(16));
    tooltip_ = MakeTooltip(window_);

    int id = kFirstId;
    for (Item& item : items_) {
        const RECT r{px(item.place.left), px(item.place.top), px(item.place.right), px(item.place.bottom)};
        HFONT font = item.kind == Kind::Bold ? bold_.Get() : font_.Get();
        const bool hidden = item.name == kBusyText || item.name == kProgress || item.name == kNote;
        switch (item.kind) {
            case Kind::Label:
            case Kind::Bold:
                // Notifying labels: a tooltip sees the mouse over them.
                item.hwnd = MakeControl(window_, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, id, r, font, hidden);
                break;
            case Kind::Note:
                item.hwnd = MakeControl(window_, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, id, r, font, hidden);
                break;
            case Kind::Group: item.hwnd = MakeControl(window_, WC_BUTTONW, L"", BS_GROUPBOX, id, r, font); break;
            case Kind::Button:
                item.hwnd = MakeControl(window_, WC_BUTTONW, L"", BS_PUSHBUTTON | WS_TABSTOP, id, r, font);
                break;
            case Kind::DesignButton:
                item.hwnd = MakeControl(window_, WC_BUTTONW, L"", BS_OWNERDRAW | WS_TABSTOP, id, r, font);
                break;
            case Kind::IconButton:
                item.hwnd = MakeControl(window_, WC_BUTTONW, L"", BS_PUSHBUTTON | BS_ICON | WS_TABSTOP, id, r, font);
                SendMessageW(item.hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(folder_));
                SetTip(tooltip_, item.hwnd, L"Auto-Update Verzeichnis öffnen");
                break;
            case Kind::Picture:
                item.hwnd = MakeControl(window_, WC_STATICW, L"", SS_OWNERDRAW | SS_NOTIFY, id, r, nullptr);
                SetTip(tooltip_, item.hwnd, L"Auto-Update Verzeichnis öffnen");
                break;
            case Kind::Progress:
                item.hwnd = MakeControl(window_, PROGRESS_CLASSW, L"", PBS_SMOOTH, id, r, nullptr, hidden);
                SendMessageW(item.hwnd, PBM_SETRANGE32, 0, 1000);
                break;
        }
        ++id;
    }
    // Boxes belong to the window from now on.
    dialogs_.SetOwner(reinterpret_cast<WindowHandle>(window_));
}

WinUpdateView::Item* WinUpdateView::Find(std::string_view control) {
    for (Item& item : items_) {
        if (item.name == control) return &item;
    }
    return nullptr;
}

HWND WinUpdateView::Handle(std::string_view control) const {
    if (control == ctl::frmMain) return window_;
    for (const Item& item : items_) {
        if (item.name == control) return item.hwnd;
    }
    return nullptr;
}

void WinUpdateView::ShowLabel(Item& item) {
    RECT r{};
    GetClientRect(item.hwnd, &r);
    const std::wstring whole = Wide(item.text);
    const std::wstring shown = ElidedText(item.hwnd, whole, r.right - r.left);
    SetWindowTextW(item.hwnd, shown.c_str());
    SetTip(tooltip_, item.hwnd, shown == whole ? std::wstring() : whole);
}

void WinUpdateView::SetText(std::string_view control, const std::string& text) {
    if (control == ctl::frmMain) {
        if (window_ != nullptr) SetWindowTextW(window_, Wide(text).c_str());
        return;
    }
    Item* item = Find(control);
    if (item == nullptr || item->hwnd == nullptr) return;
    item->text = text;
    if (item->kind == Kind::Label || item->kind == Kind::Bold) {
        ShowLabel(*item);
    } else if (item->kind != Kind::Picture && item->kind != Kind::IconButton) {
        SetWindowTextW(item->hwnd, Wide(text).c_str());
    }
}

void WinUpdateView::SetEnabled(std::string_view control, bool enabled) {
    if (HWND w = Handle(control)) {
        EnableWindow(w, enabled ? TRUE : FALSE);
        InvalidateRect(w, nullptr, TRUE);
    }
}

void WinUpdateView::UseStandardButtonStyle(std::string_view control) {
    if (HWND w = Handle(control); w != nullptr && IsOwnerDrawn(w)) UseSystemDrawnButton(w);
}

void WinUpdateView::Show(update::IMainEvents& events) {
    events_ = &events;
    if (closed_ || window_ == nullptr || IsWindowVisible(window_)) return;
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    UpdateWindow(window_);
    RepaintNow(window_);
}

void WinUpdateView::SetBusy(bool busy, const std::string& what) {
    if (window_ == nullptr) return;
    Item* text = Find(kBusyText);
    text->text = what;
    ShowLabel(*text);
    ShowWindow(text->hwnd, busy && !what.empty() ? SW_SHOWNA : SW_HIDE);
    HWND bar = Handle(kProgress);
    if (busy != busy_) {
        busy_ = busy;
        if (busy) {
            // Until a download knows its size, the bar keeps moving.
            sizeKnown_ = false;
            lastPermille_ = -1;
            SendMessageW(bar, PBM_SETPOS, 0, 0);
            SetTimer(window_, kBusyTimer, 100, nullptr);
        } else {
            KillTimer(window_, kBusyTimer);
        }
        ShowWindow(bar, busy ? SW_SHOWNA : SW_HIDE);
        SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
    }
    RepaintNow(window_);
}

void WinUpdateView::ProcessPendingEvents() {
    if (window_ != nullptr) ProcessPendingMessages(window_);
}

void WinUpdateView::ShowProgress(std::uint64_t done, std::uint64_t total) {
    if (window_ == nullptr) return;
    int permille = -1;
    sizeKnown_ = total > 0;
    if (sizeKnown_) {
        permille = static_cast<int>(done >= total ? 1000 : done * 1000 / total);
        SendMessageW(Handle(kProgress), PBM_SETPOS, static_cast<WPARAM>(permille), 0);
    }
    // The window answers while the download runs: its messages are let through (a click is
    // refused by the window's logic while one is at work), and the bar is repainted.
    const DWORD now = GetTickCount();
    if (permille != lastPermille_ || now - lastRepaint_ >= 50) {
        lastPermille_ = permille;
        lastRepaint_ = now;
        ProcessPendingMessages(window_);
    }
}

void WinUpdateView::ShowNote(const std::string& text) {
    Item* note = Find(kNote);
    if (note == nullptr || note->hwnd == nullptr) return;
    note->text = note->text.empty() ? text : note->text + "\r\n" + text;
    SetWindowTextW(note->hwnd, Wide(note->text).c_str());
    ShowWindow(note->hwnd, SW_SHOWNA);
}

void WinUpdateView::Run(update::IMainEvents& events) {
    if (closed_ || window_ == nullptr) return;
    events_ = &events;
    if (!IsWindowVisible(window_)) Show(events);
    MSG msg;
    while (!closed_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    events_ = nullptr;
    if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
}

void WinUpdateView::Close() { Gone(); }

void WinUpdateView::Gone() {
    closed_ = true;
    if (busy_) SetBusy(false, "");
    if (window_ != nullptr) {
        dialogs_.SetOwner(0);  // later boxes belong to no hidden window
        ShowWindow(window_, SW_HIDE);
    }
}

void WinUpdateView::Click(std::string_view control) {
    if (closed_ || events_ == nullptr) return;
    if (!events_->Deliver({update::MainEvent::Kind::Click, control})) Gone();
}

LRESULT WinUpdateView::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND: {
            const int index = LOWORD(wp) - kFirstId;
            const int code = HIWORD(wp);
            if (index < 0 || index >= static_cast<int>(items_.size())) return 0;
            const Item& item = items_[static_cast<std::size_t>(index)];
            const bool button =
                item.kind == Kind::Button || item.kind == Kind::DesignButton || item.kind == Kind::IconButton;
            if ((button && code == BN_CLICKED) || (item.kind == Kind::Picture && code == STN_CLICKED)) {
                Click(item.name);
            }
            return 0;
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (item.hwndItem == Handle(ctl::picExplorer)) {
                DrawPicture(item, folder_, MulDiv(16, dpi_, 96));
            } else {
                DrawDesignButton(item, GetSysColor(COLOR_BTNFACE), font_.Get());
            }
            return TRUE;
        }
        case WM_TIMER:
            if (wp == kBusyTimer && !sizeKnown_) {
                // A moving sign while the end is unknown.
                HWND bar = Handle(kProgress);
                const LRESULT pos = SendMessageW(bar, PBM_GETPOS, 0, 0);
                SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(pos >= 1000 ? 0 : pos + 50), 0);
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            // Labels on the window's face colour, also inside the group frames.
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
            SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_SETCURSOR:
            if (busy_) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            // Whether the window goes is the logic's decision.
            if (!closed_ && events_ != nullptr && events_->Deliver({update::MainEvent::Kind::Close, {}})) return 0;
            Gone();
            return 0;
        case WM_DESTROY: window_ = nullptr; return 0;
        default: break;
    }
    return DefWindowProcW(window_, msg, wp, lp);
}

}  // namespace zq::win32
