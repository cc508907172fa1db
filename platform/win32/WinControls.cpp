#include "platform/win32/WinControls.h"

#include <commctrl.h>

#include <cmath>
#include <vector>

namespace zq::win32 {

int WindowDpi(HWND window) {
    // Windows 10's per-window DPI, looked up so the program still starts on older systems.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi != nullptr && window != nullptr) {
        const UINT dpi = getDpi(window);
        if (dpi > 0) return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int FontHeight(double points, int dpi) { return -static_cast<int>(std::lround(points * dpi / 72.0)); }

Font::Font(const wchar_t* face, double points, bool bold, int dpi) {
    LOGFONTW lf{};
    lf.lfHeight = FontHeight(points, dpi);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    font_ = CreateFontIndirectW(&lf);
}

Font Font::Message(int dpi, bool bold) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW lf{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        lf = metrics.lfMessageFont;
        // The metrics are for the screen's DPI; the window may have another.
        HDC screen = GetDC(nullptr);
        const int screenDpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen != nullptr) ReleaseDC(nullptr, screen);
        lf.lfHeight = MulDiv(lf.lfHeight, dpi, screenDpi > 0 ? screenDpi : 96);
    } else {
        lf.lfHeight = FontHeight(8, dpi);
        lstrcpynW(lf.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
    }
    if (bold) lf.lfWeight = FW_BOLD;
    return Font(CreateFontIndirectW(&lf));
}

Font::~Font() {
    if (font_ != nullptr) DeleteObject(font_);
}

Font& Font::operator=(Font&& other) noexcept {
    if (this != &other) {
        if (font_ != nullptr) DeleteObject(font_);
        font_ = other.font_;
        other.font_ = nullptr;
    }
    return *this;
}

const wchar_t* WindowClass(const wchar_t* name, WNDPROC proc) {
    WNDCLASSEXW known{};
    known.cbSize = sizeof known;
    HINSTANCE self = GetModuleHandleW(nullptr);
    if (GetClassInfoExW(self, name, &known)) return name;
    // The tooltip and progress bar classes, before the first window that uses them.
    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&init);
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = proc;
    cls.hInstance = self;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    cls.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    cls.lpszClassName = name;
    RegisterClassExW(&cls);
    return name;
}

HWND MakeControl(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                 RECT place, HFONT font, bool hidden, DWORD exStyle) {
    // Siblings overlap in the design (the folder picture over its button): each paints only
    // where no sibling above it lies.
    style |= WS_CHILD | WS_CLIPSIBLINGS | (hidden ? 0 : WS_VISIBLE);
    HWND control = CreateWindowExW(exStyle, cls, text.c_str(), style, place.left, place.top,
                                   place.right - place.left, place.bottom - place.top, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (control != nullptr && font != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void PlaceCentred(HWND window, int clientWidth, int clientHeight) {
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + ((work.right - work.left) - width) / 2;
    const int y = work.top + ((work.bottom - work.top) - height) / 2;
    SetWindowPos(window, nullptr, x > work.left ? x : work.left, y > work.top ? y : work.top, width,
                 height, SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

TOOLINFOW Tool(HWND control) {
    TOOLINFOW tool{};
    // The size older common controls know, so tips show with and without visual styles.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    return tool;
}

}  // namespace

HWND MakeTooltip(HWND owner) {
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    // Long paths are shown whole, on several lines where the screen is narrow.
    if (tip != nullptr) SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 600);
    return tip;
}

void SetTip(HWND tooltip, HWND control, const std::wstring& text) {
    if (tooltip == nullptr || control == nullptr) return;
    TOOLINFOW tool = Tool(control);
    const bool known = SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
    tool = Tool(control);
    if (text.empty()) {
        if (known) SendMessageW(tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        return;
    }
    std::wstring copy = text;
    tool.lpszText = copy.data();
    SendMessageW(tooltip, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::wstring TipText(HWND tooltip, HWND control) {
    if (tooltip == nullptr || control == nullptr) return {};
    TOOLINFOW tool = Tool(control);
    if (SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) == 0) return {};
    std::vector<wchar_t> buffer(4096, L'\0');
    tool = Tool(control);
    tool.lpszText = buffer.data();
    SendMessageW(tooltip, TTM_GETTEXTW, buffer.size(), reinterpret_cast<LPARAM>(&tool));
    return std::wstring(buffer.data());
}

void DrawDesignButton(const DRAWITEMSTRUCT& item, COLORREF face, HFONT font) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    HBRUSH brush = CreateSolidBrush(face);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    const int length = GetWindowTextLengthW(item.hwndItem);
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(item.hwndItem, caption.data(), length + 1);
    caption.resize(static_cast<std::size_t>(length));
    HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    RECT text = r;
    if (pressed) OffsetRect(&text, 1, 1);
    UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (item.itemState & ODS_NOACCEL) format |= DT_HIDEPREFIX;
    if (disabled) {
        // Engraved, as the system greys a caption.
        OffsetRect(&text, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextW(dc, caption.c_str(), length, &text, format);
        OffsetRect(&text, -1, -1);
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    }
    DrawTextW(dc, caption.c_str(), length, &text, format);
    SelectObject(dc, old);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        RECT focus = r;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(dc, &focus);
    }
}

void UseSystemDrawnButton(HWND button) {
    if (button == nullptr) return;
    LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
    style &= ~kButtonTypeBits;
    style |= kMultiLine;
    SetWindowLongPtrW(button, GWL_STYLE, style);
    InvalidateRect(button, nullptr, TRUE);
}

bool IsOwnerDrawn(HWND button) {
    return (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW;
}

HICON MakeFolderIcon(int size) {
    if (size < 8) size = 8;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP colour = CreateCompatibleBitmap(screen, size, size);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
    ReleaseDC(nullptr, screen);

    // The shape in design units of a 16 by 16 picture: a tab on the back, the front below.
    auto scale = [size](int v) { return v * size / 16; };
    const POINT back[] = {{scale(1), scale(3)}, {scale(6), scale(3)}, {scale(7), scale(5)},
                          {scale(14), scale(5)}, {scale(14), scale(13)}, {scale(1), scale(13)}};
    const POINT front[] = {{scale(1), scale(13)}, {scale(3), scale(7)}, {scale(15), scale(7)},
                           {scale(14), scale(13)}};
    HPEN outline = CreatePen(PS_SOLID, 1, RGB(128, 96, 0));
    HBRUSH backFill = CreateSolidBrush(RGB(224, 176, 48));
    HBRUSH frontFill = CreateSolidBrush(RGB(255, 216, 96));

    // Mask: white (transparent) everywhere but the folder.
    HGDIOBJ oldBitmap = SelectObject(dc, mask);
    RECT all{0, 0, size, size};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Polygon(dc, back, 6);
    Polygon(dc, front, 4);

    // Colour: black where transparent, so the mask's XOR leaves the background.
    SelectObject(dc, colour);
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SelectObject(dc, outline);
    SelectObject(dc, backFill);
    Polygon(dc, back, 6);
    SelectObject(dc, frontFill);
    Polygon(dc, front, 4);

    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBitmap);
    DeleteDC(dc);
    DeleteObject(outline);
    DeleteObject(backFill);
    DeleteObject(frontFill);

    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = colour;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(colour);
    return icon;
}

void DrawPicture(const DRAWITEMSTRUCT& item, HICON icon, int size) {
    RECT r = item.rcItem;
    FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    const int x = r.left + ((r.right - r.left) - size) / 2;
    const int y = r.top + ((r.bottom - r.top) - size) / 2;
    if (!IsWindowEnabled(item.hwndItem)) {
        DrawStateW(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, size, size,
                   DST_ICON | DSS_DISABLED);
    } else {
        DrawIconEx(item.hDC, x, y, icon, size, size, 0, nullptr, DI_NORMAL);
    }
}

std::wstring ElidedText(HWND label, const std::wstring& text, int width) {
    if (text.empty() || width <= 0) return text;
    HDC screen = GetDC(label);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(label, screen);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    std::wstring shown = text;
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    if (extent.cx > width) {
        // A folder's final "\" stays; the name before it is what the system keeps whole.
        const bool folder = text.size() > 1 && text.back() == L'\\';
        std::wstring body = folder ? text.substr(0, text.size() - 1) : text;
        SIZE separator{};
        if (folder) GetTextExtentPoint32W(dc, L"\\", 1, &separator);
        // The system shortens the text in place (room for the "..." it inserts); drawn into a
        // memory context nobody sees.
        std::vector<wchar_t> buffer(body.begin(), body.end());
        buffer.resize(body.size() + 5, L'\0');
        RECT r{0, 0, width - separator.cx, 100};
        DrawTextW(dc, buffer.data(), static_cast<int>(body.size()), &r,
                  DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS | DT_MODIFYSTRING);
        shown = std::wstring(buffer.data()) + (folder ? L"\\" : L"");
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return shown;
}

void DestroyViewWindow(HWND window, HICON folder, IDialogs& dialogs) {
    if (window != nullptr) {
        dialogs.SetOwner(0);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    if (folder != nullptr) DestroyIcon(folder);
}

void ProcessPendingMessages(HWND window) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that owns it
            break;
        }
        if (window != nullptr && IsWindow(window) && IsDialogMessageW(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (window != nullptr && IsWindow(window)) RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void RepaintNow(HWND window) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
    while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) DispatchMessageW(&msg);
    if (window != nullptr && IsWindow(window)) RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

}  // namespace zq::win32
