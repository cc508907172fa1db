#include "starter/TrustedLocations.h"

#include <memory>

#include "common/Paths.h"
#include "common/RegistryAccess.h"
#include "starter/Datei.h"
#include "starter/Funktion.h"

namespace zq::starter {

namespace {

constexpr RegRoot kUser = RegRoot::CurrentUser;
constexpr const char* kAllowNetwork = "AllowNetworkLocations";

// A missing or unreadable value counts as different from any setting.
bool NetworkValueIs(StarterContext& ctx, int value) {
    return ReadStringValue(ctx.platform.registry, kUser, ctx.access.regPathTrusted, kAllowNetwork) ==
           std::to_string(value);
}

}  // namespace

std::string TrustedResultText(int code) {
    switch (code) {
        case kTrustedRegistered: return "OK";
        case kTrustedExists: return "Entry already exists";
        case kTrustedKeyNotFound: return "Key not found";
        case kTrustedLocationNotSet: return "Location not set";
        default: return "Failed";
    }
}

int AddTrustedLocation(StarterContext& ctx, const std::string& folder, int network) {
    IRegistry& reg = ctx.platform.registry;
    // The key exists once the user has run that version of the database program; it is
    // never created here.
    if (!KeyExists(reg, kUser, ctx.access.regPathTrusted)) return kTrustedKeyNotFound;
    if (folder.empty()) return kTrustedRegistered;

    // Another start of the program registers the same folders at the same moment: the
    // look-up and the write are one step, or both find no entry and both add one. Without
    // the lock the registration goes on as before.
    const std::unique_ptr<RegLock> lock = reg.LockRoot(kUser);
    std::string f = folder;
    int calls = 0;
    const std::vector<std::string> subkeys = EnumerateSubkeys(reg, kUser, ctx.access.regPathTrusted, &calls);
    for (const std::string& name : subkeys) {
        std::string path = ReadStringValue(reg, kUser, ctx.access.regPathTrusted + "\\" + name, "Path");
        path = EnsureTrailingSeparator(path, ctx.style);
        f = EnsureTrailingSeparator(f, ctx.style);
        if (path != f) continue;
        if ((network == kNetworkLocal || network == kNetworkRemote) && !NetworkValueIs(ctx, network))
            WriteDwordValue(reg, kUser, ctx.access.regPathTrusted, kAllowNetwork, network);
        return kTrustedExists;
    }

    for (int k = 0; k <= calls + 1; ++k) {
        const std::string key = ctx.access.regPathLocation + std::to_string(k);
        if (KeyExists(reg, kUser, key)) continue;
        if (network == kNetworkRemote) WriteDwordValue(reg, kUser, ctx.access.regPathTrusted, kAllowNetwork, 1);
        long status = WriteStringValue(reg, kUser, key, "Path", f);
        // Without its path the entry is useless; say so instead of reporting success.
        if (status != kRegSuccess) return kTrustedFailed;
        WriteStringValue(reg, kUser, key, "Description", "set by Zequora");
        IClock& clock = ctx.platform.clock;
        WriteStringValue(reg, kUser, key, "Date", clock.FormatGeneral(clock.Now()));
        WriteDwordValue(reg, kUser, key, "AllowSubfolders", 0);
        return kTrustedRegistered;
    }
    return kTrustedKeyNotFound;
}

int RegisterFolder(StarterContext& ctx, const std::string& folder, const std::string& label,
                   int network) {
    ctx.trace.Label(label, folder);
    int code = AddTrustedLocation(ctx, folder, network);
    ctx.trace.Result(TrustedResultText(code));
    ctx.trace.Empty();
    return code;
}

int DataFolderNetworkSetting(StarterContext& ctx, const std::string& dataFolder,
                             const std::string& networkEntry) {
    int network = kNetworkLeave;
    if (networkEntry == "n")
        network = kNetworkLocal;
    else if (networkEntry == "y")
        network = kNetworkRemote;
    if (dataFolder.size() > 2 && IsNetworkDrive(ctx.platform.files, dataFolder, ctx.style))
        network = kNetworkRemote;
    if (dataFolder.size() > 2 && dataFolder.compare(0, 2, "\\\\") == 0) network = kNetworkRemote;
    return network;
}

void RegisterTrustedFolders(StarterContext& ctx) {
    TraceLog& t = ctx.trace;
    t.Section("Add folders to trusted locations");
    RegisterFolder(ctx, ctx.glProgramFolder, "Program folder", kNetworkLeave);
    RegisterFolder(ctx, ctx.platform.env.LocalUpdateFolder(), "Update folder", kNetworkLeave);
    const std::string dataFolder = IniGet(ctx, "Datendatei", "Pfad");
    const std::string networkEntry = IniGet(ctx, "Datendatei", "Netzwerk");
    RegisterFolder(ctx, dataFolder, "Data folder",
                   DataFolderNetworkSetting(ctx, dataFolder, networkEntry));
    if (NetworkValueIs(ctx, 1)) {
        IniPut(ctx, "Datendatei", "Netzwerk", "y");
        t.Label("Settings", "Network locations are allowed");
    } else {
        t.Label("Settings", "Network locations are NOT allowed");
    }
}

}  // namespace zq::starter
