#pragma once
// Registering the program, update and data folders as trusted locations of the database
// program, per user (HKEY_CURRENT_USER).
#include <string>

#include "starter/Global.h"

namespace zq::starter {

// Result codes of one registration.
inline constexpr int kTrustedRegistered = -1;     // registered now, or nothing to register
inline constexpr int kTrustedExists = -2;         // an entry with that path exists
inline constexpr int kTrustedKeyNotFound = 0;     // no Trusted Locations key, or no free number
inline constexpr int kTrustedLocationNotSet = 1;
inline constexpr int kTrustedFailed = 2;          // writing the new entry failed

// Network setting passed with a folder: leave "AllowNetworkLocations" alone, local, network.
inline constexpr int kNetworkLeave = -1;
inline constexpr int kNetworkLocal = 0;
inline constexpr int kNetworkRemote = 1;

void RegisterTrustedFolders(StarterContext& ctx);
// Traces label + folder, registers it, traces the result and an empty line.
int RegisterFolder(StarterContext& ctx, const std::string& folder, const std::string& label,
                   int network);
int AddTrustedLocation(StarterContext& ctx, const std::string& folder, int network);
std::string TrustedResultText(int code);
// The network setting for the data folder from the "Netzwerk" entry and where the folder lies.
int DataFolderNetworkSetting(StarterContext& ctx, const std::string& dataFolder,
                             const std::string& networkEntry);

}  // namespace zq::starter
