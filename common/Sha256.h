#pragma once
// SHA-256 (FIPS 180-4), to compare a downloaded installer with the checksum its server names.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace zq {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything given so far; the object must not be updated afterwards.
    std::array<std::uint8_t, 32> Finish();
    // The digest as 64 lower-case hex digits.
    std::string FinishHex();

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;  // bytes
};

// The lower-case hex digest of bytes.
std::string Sha256Hex(std::string_view bytes);
// The lower-case hex digest of a whole file; nothing when it cannot be read to its end.
std::optional<std::string> Sha256HexOfFile(IReadFile& file);

}  // namespace zq
