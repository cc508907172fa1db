#pragma once
// File version (from a PE file's version resource) and file times.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Dialogs.h"
#include "platform/Files.h"

namespace zq {

// VS_FIXEDFILEINFO's file version: four 16-bit parts.
struct FileVersionParts {
    std::array<std::uint16_t, 4> part{};
    std::string Text() const;  // "a.b.c.d", unsigned decimal
};

// Reads the fixed part of the version resource; nothing when the file is not a PE file,
// has no version resource or its offsets point outside the file.
std::optional<FileVersionParts> ReadPeFileVersion(IReadFile& file);
// True when the file is a complete PE file (headers and sections inside the file).
bool IsCompletePeFile(IReadFile& file);
// The machine a complete PE file is built for (0x14C x86, 0x8664 x64, 0xAA64 ARM64).
std::optional<std::uint16_t> PeMachine(IReadFile& file);
// The starter's file version text: "0.0.0.0" without a version resource.
std::string FileVersionText(IFiles& files, const std::string& path);

// The reorganiser's file facts: shows "Falscher Dateiname oder Pfad" (OK, no icon,
// default title) when no file exists at path; empty times then.
FileTimes FileFacts(IFiles& files, IDialogs& dialogs, const std::string& defaultTitle,
                    const std::string& path);

}  // namespace zq
