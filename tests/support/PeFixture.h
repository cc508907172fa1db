#pragma once
// Small PE files made in memory for tests: a PE32 image with a .rsrc section holding a
// version resource, one without resources, and helpers to damage them.
#include <cstdint>
#include <string>

namespace zqtest {

// A minimal, complete PE32 file whose version resource says a.b.c.d.
std::string MakePeWithVersion(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d);
// A complete PE32 file without any resource section.
std::string MakePeWithoutVersion();

}  // namespace zqtest
