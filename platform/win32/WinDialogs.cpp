#include "platform/win32/WinDialogs.h"


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

namespace {

// The folder the dialog starts in: a folder as it is, a file's path its folder part.
std::wstring StartFolder(const std::wstring& path) {
    if (path.empty()) return path;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return path;
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return {};
    // "C:\" stays a root; elsewhere the separator goes.
    return path.substr(0, cut == 2 && path[1] == L':' ? cut + 1 : cut);
}

// "*.mdb" gives "mdb"; a pattern of several parts or with wildcards in its extension none.
std::wstring DefaultExtension(const std::wstring& pattern) {
    if (pattern.size() < 3 || pattern.compare(0, 2, L"*.") != 0) return {};
    std::wstring extension = pattern.substr(2);
    if (extension.find_first_of(L"*?;. ") != std::wstring::npos) return {};
    return extension;
}

}  // namespace

OpenFileSetup::OpenFileSetup(HWND owner, const std::string& title, const std::string& filterName,
                             const std::string& filterPattern, const std::string& initialFolder)
    // Description and pattern, each ended by a NUL, the list ended by a second one.
    : filter_(Shown(filterName) + L'\0' + Shown(filterPattern) + L'\0' + L'\0'),
      title_(Shown(title)),
      folder_(StartFolder(Shown(initialFolder))),
      extension_(DefaultExtension(Shown(filterPattern))),
      // Room for long paths through the extended forms.
      file_(32768, L'\0') {
    ofn_.lStructSize = sizeof ofn_;
    ofn_.hwndOwner = owner;
    ofn_.lpstrFilter = filter_.c_str();
    ofn_.nFilterIndex = 1;
    ofn_.lpstrFile = file_.data();
    ofn_.nMaxFile = static_cast<DWORD>(file_.size());
    ofn_.lpstrInitialDir = folder_.empty() ? nullptr : folder_.c_str();
    ofn_.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
    ofn_.lpstrDefExt = extension_.empty() ? nullptr : extension_.c_str();
    ofn_.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
}

std::string OpenFileSetup::Chosen() const { return Utf8(std::wstring(file_.data())); }

std::optional<std::string> WinDialogs::OpenFile(const std::string& title, const std::string& filterName,
                                                const std::string& filterPattern,
                                                const std::string& initialFolder) {
    OpenFileSetup setup(reinterpret_cast<HWND>(owner_), title, filterName, filterPattern, initialFolder);
    if (!GetOpenFileNameW(&setup.Get())) return std::nullopt;
    return setup.Chosen();
}

}  // namespace zq::win32
