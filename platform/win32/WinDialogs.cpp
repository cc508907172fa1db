#include "platform/win32/WinDialogs.h"

#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

// The system cuts texts at a NUL; what follows one is not shown.
std::wstring Shown(const std::string& text) {
    return Wide(text.substr(0, text.find('\0')));
}

}  // namespace

unsigned MessageBoxStyle(MsgIcon icon, MsgButtons buttons, int defaultButton) {
    unsigned style = 0;
    switch (icon) {
        case MsgIcon::Stop: style |= MB_ICONHAND; break;
        case MsgIcon::Question: style |= MB_ICONQUESTION; break;
        case MsgIcon::Exclamation: style |= MB_ICONEXCLAMATION; break;
        case MsgIcon::Information: style |= MB_ICONASTERISK; break;
        case MsgIcon::None: break;
    }
    int count = 1;
    switch (buttons) {
        case MsgButtons::Ok: style |= MB_OK; break;
        case MsgButtons::YesNoCancel: style |= MB_YESNOCANCEL; count = 3; break;
        case MsgButtons::YesNo: style |= MB_YESNO; count = 2; break;
    }
    if (defaultButton == 1 && count > 1) style |= MB_DEFBUTTON2;
    if (defaultButton == 2 && count > 2) style |= MB_DEFBUTTON3;
    return style;
}

MsgResult MessageBoxAnswer(int result, MsgButtons buttons, int defaultButton) {
    switch (result) {
        case IDOK: return MsgResult::Ok;
        case IDYES: return MsgResult::Yes;
        case IDNO: return MsgResult::No;
        case IDCANCEL: return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Cancel;
        default: break;
    }
    switch (buttons) {
        case MsgButtons::Ok: return MsgResult::Ok;
        case MsgButtons::YesNoCancel: return MsgResult::Cancel;
        case MsgButtons::YesNo: return defaultButton == 1 ? MsgResult::No : MsgResult::Yes;
    }
    return MsgResult::Cancel;
}

MsgResult WinDialogs::ShowMessage(const std::string& text, const std::string& title, MsgIcon icon,
                                  MsgButtons buttons, int defaultButton) {
    HWND owner = reinterpret_cast<HWND>(owner_);
    // Without a window of its own the box is modal to the whole program and comes to the
    // front, so it is not hidden behind the window that started the program.
    UINT style = MessageBoxStyle(icon, buttons, defaultButton) |
                 (owner == nullptr ? MB_TASKMODAL | MB_SETFOREGROUND : MB_APPLMODAL);
    int result = MessageBoxW(owner, Shown(text).c_str(), Shown(title).c_str(), style);
    return MessageBoxAnswer(result, buttons, defaultButton);
}

std::optional<std::string> WinDialogs::OpenFile(const std::string& title, const std::string& filterName,
                                                const std::string& filterPattern,
                                                const std::string& initialFolder) {
    // Description and pattern, each ended by a NUL, the list ended by a second one.
    std::wstring filter = Shown(filterName) + L'\0' + Shown(filterPattern) + L'\0' + L'\0';
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring caption = Shown(title);
    const std::wstring folder = Shown(initialFolder);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = reinterpret_cast<HWND>(owner_);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = caption.empty() ? nullptr : caption.c_str();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;
    return Utf8(std::wstring(file.data()));
}

}  // namespace zq::win32
