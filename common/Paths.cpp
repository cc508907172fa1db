#include "common/Paths.h"

#include "common/Messages.h"

namespace zq {

namespace {

constexpr const char* kFolderErrorText =
    "Bei der Erstellung des folgenden Verzeichnisses ist ein Fehler aufgetreten: \r\nXXXXX\r\n"
    "\r\nMögliche Ursachen: \r\n- Sie verfügen nicht über ausreichende Berechtigungen.\r\n"
    "- Die Pfadangabe ist ungültig.\r\n";

bool IsDriveRoot(const std::string& p) {
    return (p.size() == 2 && p[1] == ':') || (p.size() == 3 && p[1] == ':' && p[2] == '\\');
}

// "\\server\share" (with or without a final "\") is the root of a network share.
bool IsShareRoot(const std::string& p) {
    if (p.size() < 3 || p[0] != '\\' || p[1] != '\\') return false;
    std::string rest = p.substr(2);
    if (!rest.empty() && rest.back() == '\\') rest.pop_back();
    auto slash = rest.find('\\');
    return slash != std::string::npos && slash > 0 && slash + 1 < rest.size() &&
           rest.find('\\', slash + 1) == std::string::npos;
}

// The parent folder's name as the scripting file-system object gives it: empty for a root,
// an empty path or a relative name without any folder.
std::string ParentName(const std::string& folder, PathStyle style) {
    char sep = Separator(style);
    std::string p = folder;
    if (style == PathStyle::Windows) {
        if (p.empty() || IsDriveRoot(p) || IsShareRoot(p) || p == "\\\\") return {};
        while (p.size() > 1 && p.back() == sep && !IsDriveRoot(p)) p.pop_back();
        if (IsDriveRoot(p)) return {};
        auto pos = p.find_last_of(sep);
        if (pos == std::string::npos) return {};
        std::string parent = p.substr(0, pos);
        if (parent.size() == 2 && parent[1] == ':') parent += sep;
        if (parent.empty() || parent == "\\") return {};
        return parent;
    }
    while (p.size() > 1 && p.back() == sep) p.pop_back();
    if (p.empty() || p == "/") return {};
    auto pos = p.find_last_of(sep);
    if (pos == std::string::npos) return {};
    if (pos == 0) return "/";
    std::string parent = p.substr(0, pos);
    while (parent.size() > 1 && parent.back() == sep) parent.pop_back();
    return parent;
}

bool FolderExists(IFiles& files, const std::string& folder) { return files.IsDirectory(folder); }

// Creates folder after its parents; the first failure ends the creation.
FsStatus CreateTree(IFiles& files, const std::string& folder, PathStyle style, int depth) {
    if (FolderExists(files, folder)) return {};
    std::string parent = ParentName(folder, style);
    if (parent.empty() || depth > 4096)
        return {kErrPathNotFound, "Path not found: " + folder};
    FsStatus st = CreateTree(files, parent, style, depth + 1);
    if (!st.ok()) return st;
    st = files.MakeDirectory(folder);
    if (!st.ok() && FolderExists(files, folder)) return {};  // made meanwhile by someone else
    return st;
}

}  // namespace

char Separator(PathStyle style) { return style == PathStyle::Windows ? '\\' : '/'; }

std::string FilePart(const std::string& path, PathStyle style) {
    auto pos = path.find_last_of(Separator(style));
    return pos == std::string::npos ? std::string() : path.substr(pos + 1);
}

std::string FolderPart(const std::string& path, PathStyle style) {
    auto pos = path.find_last_of(Separator(style));
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string EnsureTrailingSeparator(const std::string& path, PathStyle style) {
    // An empty path stays empty: a lone separator would name the root.
    if (path.empty() || path.back() == Separator(style)) return path;
    return path + Separator(style);
}

bool IsAbsolute(const std::string& path, PathStyle style) {
    if (style == PathStyle::Windows)
        return path.find(':') != std::string::npos || path.rfind("\\\\", 0) == 0;
    return !path.empty() && path[0] == '/';
}

std::string ProgramFolder(IEnvironment& env) {
    const PathStyle style = env.Style();
    std::string folder = FolderPart(env.ProgramPath(), style);
    const bool isRoot = folder.size() == 1 || (style == PathStyle::Windows && folder.size() == 3 &&
                                               folder[1] == ':');
    if (!folder.empty() && !isRoot) folder.pop_back();
    return folder;
}

std::string JoinPath(const std::string& folder, const std::string& name, PathStyle style) {
    char sep = Separator(style);
    std::size_t skip = 0;
    while (skip < name.size() && name[skip] == sep) ++skip;
    if (folder.empty()) return name;
    return EnsureTrailingSeparator(folder, style) + name.substr(skip);
}

std::string CompletePath(const std::string& path, const std::string& base,
                         const std::string& dataFolder, PathStyle style) {
    char sep = Separator(style);
    std::string p = path;
    // No "." near the end: the path names a folder.
    if (p.size() > 4 && p.substr(p.size() - 5).find('.') == std::string::npos)
        p = EnsureTrailingSeparator(p, style);
    if (IsAbsolute(p, style)) return p;

    std::string folder;
    auto basePos = base.empty() ? std::string::npos : p.find(base);
    bool useBase = !base.empty() && (p.empty() || p[0] != sep) &&
                   (basePos == std::string::npos || basePos >= 2);
    if (useBase)
        folder = CompletePath(base, "", dataFolder, style);
    else
        folder = dataFolder;
    folder = EnsureTrailingSeparator(folder, style);

    if (!p.empty() && p[0] == sep) {
        if (p.size() > 1 && p[1] == sep) return p;
        return folder + p.substr(1);
    }
    return folder + p;
}

std::string ExtendedPath(const std::string& path, PathStyle style) {
    if (style != PathStyle::Windows) return path;
    if (path.rfind("\\\\?\\", 0) == 0) return path;
    if (path.rfind("\\\\", 0) == 0) return "\\\\?\\UNC\\" + path.substr(2);
    return "\\\\?\\" + path;
}

bool CreateFolderTree(IFiles& files, const std::string& folder, PathStyle style,
                      FsStatus* raised) {
    FsStatus st = CreateTree(files, folder, style, 0);
    if (raised) *raised = st;
    if (!st.ok()) return false;
    return files.Exists(folder, kAttrDirectory | kAttrHidden);
}

bool CreateFolderWithReport(IFiles& files, IDialogs& dialogs, const std::string& folder,
                            bool quiet, PathStyle style) {
    if (folder.find(Separator(style)) == std::string::npos) return false;
    FsStatus raised;
    bool created = CreateFolderTree(files, folder, style, &raised);
    if (raised.ok()) return created;
    if (!quiet)
        dialogs.ShowMessage(ReplaceAll(kFolderErrorText, "XXXXX", folder), ReorgTitle(MsgKind::Error),
                           MsgIcon::Exclamation, MsgButtons::Ok);
    return false;
}

bool CopyFileTo(IFiles& files, const std::string& source, const std::string& target,
                bool overwrite) {
    return files.Copy(source, target, overwrite).ok();
}

bool ClearAttributes(IFiles& files, const std::string& path, std::uint32_t attributes,
                     PathStyle style) {
    return files.SetAttributes(ExtendedPath(path, style), attributes).ok();
}

FsStatus DeleteFileOp(IFiles& files, const std::string& path, PathStyle style) {
    ClearAttributes(files, path, 0, style);
    return files.Remove(path);
}

bool IsNetworkLocation(IFiles& files, const std::string& path) { return files.IsRemote(path); }

}  // namespace zq
