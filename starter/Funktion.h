#pragma once
// Path and environment helpers of the start program.
#include <optional>
#include <string>

#include "platform/Environment.h"
#include "platform/Files.h"

namespace zq::starter {

// Settings that name paths are upper-cased on Windows only; POSIX names are case-sensitive.
std::string PathCase(const std::string& path, PathStyle style);
// The leading whole number of a text such as "14.0" (0 when it does not start with digits).
long LeadingNumber(const std::string& text);
// A version part as a number; nothing when the text is not a number as a whole.
std::optional<double> ParseNumber(const std::string& text);
// Whether a data folder lies on the network: on Windows a drive prefix such as "H:" naming a
// remote drive; on POSIX any folder on a network file system.
bool IsNetworkDrive(IFiles& files, const std::string& folder, PathStyle style);

}  // namespace zq::starter
