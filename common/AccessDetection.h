#pragma once
// Finding msaccess.exe: the configured folder, the Office registry keys of the version in
// force (then of 16.0 when no version is configured), and the streamed Office 16 folder.
#include <functional>
#include <string>

#include "common/Trace.h"
#include "platform/Platform.h"

namespace zq {

inline constexpr const char* kAccessExe = "msaccess.exe";

struct AccessSettings {
    std::string version = "10.0";
    bool versionConfigured = false;
    std::string bitness;  // "32", "64" or empty
    std::string folder;   // ends with the separator; empty when not configured
    // Key paths under HKEY_LOCAL_MACHINE (and the trusted-location paths under HKCU).
    std::string regPathAccVar, regPathAccVarRT, regPathTrusted, regPathLocation;
    std::string accessExe;  // the msaccess.exe path tested last / found
};

// True for an Office version text of exactly four characters with "." third.
bool IsValidOfficeVersion(const std::string& value);
void BuildKeyPaths(AccessSettings& settings);
// "2016" for "16.0" and so on; any other text unchanged.
std::string ProductName(const std::string& version);

// Reads "Datenbasis" Version, Bit and Pfad without writing anything (the reorganiser's way).
void ReadAccessSettings(IProfile& profile, const std::string& iniFile, PathStyle style,
                        AccessSettings& settings);
// The reorganiser's "Check Zequora Config" section.
void ReportReorgConfig(IFiles& files, TraceLog& trace, const std::string& iniFile,
                       const AccessSettings& settings);

struct AccessSearch {
    Platform& platform;
    TraceLog& trace;
    std::string notFoundTemplate;  // every "10.0" is replaced by the product name
    std::string defaultTitle;      // the program's default message title
    std::function<void()> found;   // runs exactly once when msaccess.exe is found
};

// Traces "Check Access" and the result; true when the file exists.
bool TestAccess(AccessSearch& search, AccessSettings& settings);
// Runs the probes in order; false (after the not-found message) when nothing was found.
bool FindAccess(AccessSearch& search, AccessSettings& settings);

}  // namespace zq
