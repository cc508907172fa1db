// SHA-256 against the published test vectors, split input, and the system's sha256sum.
#include <gtest/gtest.h>

#include <random>

#include "common/Sha256.h"
#include "platform/posix/PosixFiles.h"
#include "support/TestSupport.h"

namespace {

TEST(Sha256, PublishedVectors) {
    EXPECT_EQ(zq::Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(zq::Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(zq::Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(zq::Sha256Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                            "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(zq::Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecesAtEveryBoundaryAgreeWithTheSystemTool) {
    if (!zqtest::FileExists("/usr/bin/sha256sum")) GTEST_SKIP() << "sha256sum is not installed";
    zqtest::TempDir dir;
    zq::posix::PosixFiles files;
    std::mt19937 rng(99);
    // Lengths around the padding boundaries (55, 56, 64) and a file of several read chunks.
    for (std::size_t length : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 3u * 1048576u + 5u}) {
        std::string bytes(length, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        const std::string path = dir / "f.bin";
        zqtest::WriteFile(path, bytes);
        const auto tool = zqtest::Run({"/usr/bin/sha256sum", path});
        ASSERT_EQ(tool.exitCode, 0);
        const std::string expected = tool.out.substr(0, 64);

        EXPECT_EQ(zq::Sha256Hex(bytes), expected) << length;
        zq::Sha256 pieces;
        for (std::size_t at = 0; at < length;) {
            const std::size_t n = std::min<std::size_t>(length - at, 1 + rng() % 97);
            pieces.Update(bytes.data() + at, n);
            at += n;
        }
        EXPECT_EQ(pieces.FinishHex(), expected) << length;
        auto file = files.OpenRead(path);
        ASSERT_TRUE(file);
        EXPECT_EQ(zq::Sha256HexOfFile(*file), expected) << length;
    }
}

}  // namespace
