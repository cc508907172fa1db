#include "common/AccessDetection.h"

#include "common/Messages.h"
#include "common/Paths.h"
#include "common/RegistryAccess.h"

namespace zq {

namespace {
constexpr int kMsoWidth = 19;  // the streamed Office block is shared with the starter

std::string WithSeparator(const std::string& folder, PathStyle style) {
    return EnsureTrailingSeparator(folder, style);
}

// One registry place: read the value, trace it, test the folder and its "office" subfolder.
bool Probe(AccessSearch& search, AccessSettings& s, const std::string& section,
           const std::string& keyPath, const std::string& valueName) {
    TraceLog& trace = search.trace;
    std::string value =
        ReadStringValue(search.platform.registry, RegRoot::LocalMachine, keyPath, valueName);
    trace.Section(section);
    trace.Label("Read Registry", keyPath + "\\" + valueName);
    trace.Result(value);
    std::string root = Trim(value);
    if (root.empty()) return false;
    PathStyle style = search.platform.env.Style();
    root = WithSeparator(root, style);
    s.accessExe = root + kAccessExe;
    if (TestAccess(search, s)) return true;
    s.accessExe = root + "office" + Separator(style) + kAccessExe;
    return TestAccess(search, s);
}

bool RegistryPass(AccessSearch& search, AccessSettings& s) {
    const std::string& v = s.version;
    return Probe(search, s, "Check Office " + v, s.regPathAccVar, "") ||
           Probe(search, s, "Check Office " + v + " Special", s.regPathAccVar, "Path") ||
           Probe(search, s, "Check Access " + v + " Runtime", s.regPathAccVarRT, "") ||
           Probe(search, s, "Check Access " + v + " Runtime Special", s.regPathAccVarRT, "Path");
}
}  // namespace

bool IsValidOfficeVersion(const std::string& value) {
    return value.size() == 4 && value.find('.') == 2 && !IsNotSetMarker(value);
}

void BuildKeyPaths(AccessSettings& s) {
    const std::string office = "Software\\Microsoft\\Office\\" + s.version;
    s.regPathAccVar = office + "\\Common\\InstallRoot";
    s.regPathAccVarRT = office + "\\Access\\InstallRoot";
    s.regPathTrusted = office + "\\Access\\Security\\Trusted Locations";
    s.regPathLocation = s.regPathTrusted + "\\Location";
}

std::string ProductName(const std::string& version) {
    static const std::pair<const char*, const char*> table[] = {
        {"9.0", "2000"},  {"10.0", "XP"},   {"11.0", "2003"}, {"12.0", "2007"},
        {"14.0", "2010"}, {"15.0", "2013"}, {"16.0", "2016"}};
    for (const auto& [v, name] : table)
        if (version == v) return name;
    return version;
}

void ReadAccessSettings(IProfile& profile, const std::string& iniFile, PathStyle style,
                        AccessSettings& s) {
    std::string version = Trim(IniRead(profile, iniFile, "Datenbasis", "Version"));
    if (IsValidOfficeVersion(version)) {
        s.version = version;
        s.versionConfigured = true;
    }
    std::string bit = Trim(IniRead(profile, iniFile, "Datenbasis", "Bit"));
    if (!bit.empty() && !IsNotSetMarker(bit)) s.bitness = bit;
    std::string folder = Trim(IniRead(profile, iniFile, "Datenbasis", "Pfad"));
    if (!folder.empty() && !IsNotSetMarker(folder)) s.folder = WithSeparator(folder, style);
}

void ReportReorgConfig(IFiles& files, TraceLog& trace, const std::string& iniFile,
                       const AccessSettings& s) {
    trace.Section("Check Zequora Config");
    trace.Label("Check Config", iniFile);
    if (!files.Exists(iniFile, kAttrNormal)) {
        trace.Result("Not found");
        trace.Label("Access Ver. Auto", s.version);
        return;
    }
    trace.Result("OK");
    if (s.versionConfigured) {
        trace.Label("Access Ver. Cfg", s.version);
    } else {
        trace.Label("Access Ver. Cfg", "Not Set");
        trace.Label("Access Ver. Auto", "10.0");
    }
    trace.Label("Access Bit Cfg", s.bitness.empty() ? "Not Set" : s.bitness);
    trace.Label("Access Pfad Cfg", s.folder.empty() ? "Not Set" : s.folder);
}

bool TestAccess(AccessSearch& search, AccessSettings& s) {
    search.trace.Label("Check Access", s.accessExe);
    bool exists = search.platform.files.Exists(s.accessExe, kAttrNormal);
    search.trace.Result(exists ? "OK" : "Error");
    return exists;
}

bool FindAccess(AccessSearch& search, AccessSettings& s) {
    auto found = [&] {
        if (search.found) search.found();
        return true;
    };
    if (!s.folder.empty()) {
        s.accessExe = Trim(s.folder) + kAccessExe;
        if (TestAccess(search, s)) return found();
    }
    if (RegistryPass(search, s)) return found();
    if (!s.versionConfigured) {
        search.trace.Empty();
        search.trace.Free(
            ReplaceAll("--- Change Version : XXXXX --> 16.0 ----------------------", "XXXXX", s.version));
        s.version = "16.0";
        BuildKeyPaths(s);
        if (RegistryPass(search, s)) return found();
    }
    if (s.version == "16.0") {
        bool is64 = s.bitness == "64";
        if (!is64) s.bitness = "32";
        s.folder = search.platform.env.StreamedOffice16Folder(is64);
        s.accessExe = s.folder + kAccessExe;
        search.trace.Section("Check Access 16.0 MSO Standard");
        search.trace.Label("Version", s.version + "/" + s.bitness + " bit", kMsoWidth);
        search.trace.Label("Result", s.folder, kMsoWidth);
        if (TestAccess(search, s)) return found();
    }
    std::string message = ReplaceAll(search.notFoundTemplate, "10.0", ProductName(s.version));
    search.platform.dialogs.ShowMessage(message, search.defaultTitle, MsgIcon::Stop, MsgButtons::Ok);
    search.trace.Error(message);
    return false;
}

}  // namespace zq
