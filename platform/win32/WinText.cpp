#include "platform/win32/WinText.h"

#include <climits>

namespace zq::win32 {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int size = static_cast<int>(utf8.size());
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
    return out;
}

std::string Utf8(const wchar_t* text, std::size_t length) {
    if (text == nullptr || length == 0 || length > static_cast<std::size_t>(INT_MAX)) return {};
    const int size = static_cast<int>(length);
    int n = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, size, out.data(), n, nullptr, nullptr);
    return out;
}

std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

std::string Ansi(const std::string& utf8) {
    const std::wstring wide = Wide(utf8);
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

std::string ErrorText(DWORD code, const std::string& subject) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer != nullptr) text = Utf8(buffer, n);
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) text = "Windows error " + std::to_string(code);
    // The system's texts hold inserts ("%1 is not a valid application"): filled with what
    // the failure was about, never shown as they are.
    std::string filled;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            filled += subject.empty() ? "..." : subject;
            ++i;
            while (i + 1 < text.size() && text[i + 1] == '!') {  // a format spec such as %1!s!
                std::size_t close = text.find('!', i + 2);
                if (close == std::string::npos) break;
                i = close;
            }
            continue;
        }
        filled += text[i];
    }
    return filled;
}

int ClassifyError(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return kErrFileNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_DRIVE:
        case ERROR_NOT_READY:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_NETNAME_DELETED:
        case ERROR_NETWORK_ACCESS_DENIED:
        case ERROR_REM_NOT_LIST:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_UNEXP_NET_ERR:
        case ERROR_BAD_NET_RESP:
        case ERROR_SEM_TIMEOUT:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
        case ERROR_BAD_DEVICE:
        case ERROR_CONNECTION_REFUSED:
        case ERROR_NO_NET_OR_BAD_PATH:
        case ERROR_NETWORK_UNREACHABLE:
        case ERROR_HOST_UNREACHABLE:
        case ERROR_LOGON_FAILURE:
        case ERROR_CANT_ACCESS_FILE:
        case ERROR_CANT_RESOLVE_FILENAME:
            return kErrBadFileName;
        default:
            return kErrDeviceIo;
    }
}

int ChangeError(DWORD code, bool renameHeld) {
    switch (code) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return renameHeld ? kErrPathFileAccess : kErrPermission;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_CURRENT_DIRECTORY:
        case ERROR_DIR_NOT_EMPTY:
            return kErrPermission;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return kErrFileExists;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return kErrDiskFull;
        case ERROR_FILE_NOT_FOUND:
            return kErrFileNotFound;
        case ERROR_PATH_NOT_FOUND:
            return kErrPathNotFound;
        case ERROR_NOT_SAME_DEVICE:
            return kErrPathFileAccess;
        default: {
            int classified = ClassifyError(code);
            return classified == kErrFileNotFound ? kErrDeviceIo : classified;
        }
    }
}

FsStatus Failure(DWORD code, const std::string& path, bool renameHeld) {
    return {ChangeError(code, renameHeld), ErrorText(code, path) + ": " + path, static_cast<long>(code)};
}

bool WidePath(const std::string& path, std::wstring& out) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    out = Wide(path);
    return !out.empty();
}

}  // namespace zq::win32
