#pragma once
// zqr.ini: the six options, written with their defaults and comments where missing.
#include <string>

#include "common/IniText.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "reorg/Global.h"

namespace zq::reorg {

inline constexpr const char* kOptionsSection = "Global";

// Completes the options file: each missing or empty key is written in lower case with its
// default, its comment lines and an empty line. A new file gets newFileEncoding; an existing
// one keeps its own.
void WriteDefaultOptions(IProfile& profile, IFiles& files, const std::string& optionsFile,
                         IniEncoding newFileEncoding);
// The options in force: trimmed, upper-cased, "DateiAnzahlMax" as its leading number; the
// default where the file gives no value.
ReorgOptions ReadOptions(IProfile& profile, const std::string& optionsFile);
// One option (key as given) for the Manager-settings answer.
void WriteOption(IProfile& profile, const std::string& optionsFile, const std::string& key,
                 const std::string& value);
// Reads one option back as in force (trimmed, upper-cased).
std::string ReadOptionBack(IProfile& profile, const std::string& optionsFile,
                           const std::string& key);

void WriteDefaultOptions(ReorgContext& ctx);
void ReadOptions(ReorgContext& ctx);

}  // namespace zq::reorg
