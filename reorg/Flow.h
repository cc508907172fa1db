#pragma once
// Whether the reorganiser goes on or ends; an ending carries the run's exit code back to main.

namespace zq::reorg {

enum class [[nodiscard]] Flow { Go, End };

}  // namespace zq::reorg
