#pragma once
// Small PE files made in memory for tests: a PE32 image with a .rsrc section holding a
// version resource, one without resources, and variants damaged in known places.
#include <cstdint>
#include <string>

namespace zqtest {

// A minimal, complete PE32 file whose version resource says a.b.c.d.
std::string MakePeWithVersion(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d);
// A complete PE32 file without any resource section.
std::string MakePeWithoutVersion();

struct PeOptions {
    bool withVersion = true;
    std::uint16_t version[4] = {1, 0, 0, 0};
    bool pe32Plus = false;             // PE32+ optional header (64-bit image)
    bool dataOutsideFile = false;      // the version data entry points past the end of the file
    bool loopingTree = false;          // the name level points back at the root directory
    bool noFixedInfo = false;          // a version block without the fixed part's signature
    bool paddedKey = false;            // the fixed part lies further in than the plain layout
    std::string overlay;               // bytes appended after the last section (installers)
};
std::string MakePe(const PeOptions& options);

// Offset of the .rsrc section's raw data in files made by MakePe (tests cut there).
std::uint32_t PeResourceOffset();

}  // namespace zqtest
