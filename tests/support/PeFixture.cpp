#include "support/PeFixture.h"

namespace zqtest {

namespace {

constexpr std::uint32_t kFileAlign = 0x200;
constexpr std::uint32_t kTextRva = 0x1000, kTextRaw = 0x200;
constexpr std::uint32_t kRsrcRva = 0x2000, kRsrcRaw = 0x400;

void Put16(std::string& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2, '\0');
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

void PutBytes(std::string& b, std::size_t at, const std::string& bytes) {
    if (b.size() < at + bytes.size()) b.resize(at + bytes.size(), '\0');
    b.replace(at, bytes.size(), bytes);
}

std::uint32_t Align(std::uint32_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

// VS_VERSIONINFO with its key and the fixed part; no string tables.
std::string VersionBlock(const PeOptions& o) {
    std::string b;
    std::size_t key = 6;
    const char* name = "VS_VERSION_INFO";
    std::size_t k = 0;
    for (; name[k]; ++k) Put16(b, key + k * 2, static_cast<unsigned char>(name[k]));
    Put16(b, key + k * 2, 0);
    std::size_t fixed = Align(static_cast<std::uint32_t>(key + (k + 1) * 2), 4);
    if (o.paddedKey) fixed += 8;
    Put32(b, fixed + 0, o.noFixedInfo ? 0x12345678u : 0xFEEF04BDu);
    Put32(b, fixed + 4, 0x00010000);
    Put32(b, fixed + 8, (std::uint32_t(o.version[0]) << 16) | o.version[1]);
    Put32(b, fixed + 12, (std::uint32_t(o.version[2]) << 16) | o.version[3]);
    Put32(b, fixed + 16, (std::uint32_t(o.version[0]) << 16) | o.version[1]);
    Put32(b, fixed + 20, (std::uint32_t(o.version[2]) << 16) | o.version[3]);
    Put32(b, fixed + 24, 0x3F);
    Put32(b, fixed + 32, 0x40004);  // VOS_NT_WINDOWS32
    Put32(b, fixed + 36, 1);        // VFT_APP
    b.resize(fixed + 52, '\0');
    Put16(b, 0, static_cast<std::uint32_t>(b.size()));
    Put16(b, 2, 52);
    Put16(b, 4, 0);
    return b;
}

// Resource tree: root (type 16) -> name 1 -> language 0x407 -> data entry -> block.
std::string ResourceSection(const PeOptions& o) {
    std::string r;
    auto dir = [&](std::size_t at, std::uint32_t id, std::uint32_t target) {
        Put16(r, at + 14, 1);  // one id entry
        Put32(r, at + 16, id);
        Put32(r, at + 20, target);
    };
    dir(0x00, 16, 0x80000000u | 0x18);
    dir(0x18, 1, 0x80000000u | (o.loopingTree ? 0x00 : 0x30));
    dir(0x30, 0x407, 0x48);
    std::string block = VersionBlock(o);
    std::uint32_t blockRva = o.dataOutsideFile ? 0x00F00000u : kRsrcRva + 0x58;
    Put32(r, 0x48, blockRva);
    Put32(r, 0x4C, static_cast<std::uint32_t>(block.size()));
    Put32(r, 0x50, 1252);
    PutBytes(r, 0x58, block);
    return r;
}

}  // namespace

std::uint32_t PeResourceOffset() { return kRsrcRaw; }

std::string MakePe(const PeOptions& o) {
    std::string f;
    PutBytes(f, 0, "MZ");
    Put32(f, 0x3C, 0x40);
    PutBytes(f, 0x40, std::string("PE\0\0", 4));
    const std::size_t coff = 0x44;
    const std::uint32_t optSize = o.pe32Plus ? 240 : 224;
    const std::uint32_t sections = o.withVersion ? 2 : 1;
    Put16(f, coff + 0, o.pe32Plus ? 0x8664 : 0x14C);
    Put16(f, coff + 2, sections);
    Put32(f, coff + 4, 0x5F000000);
    Put16(f, coff + 16, optSize);
    Put16(f, coff + 18, o.pe32Plus ? 0x0022 : 0x0102);

    const std::size_t opt = coff + 20;
    std::string rsrc = o.withVersion ? ResourceSection(o) : std::string();
    std::uint32_t rsrcRawSize = Align(static_cast<std::uint32_t>(rsrc.size()), kFileAlign);
    Put16(f, opt + 0, o.pe32Plus ? 0x20B : 0x10B);
    Put32(f, opt + 4, kFileAlign);           // size of code
    Put32(f, opt + 16, kTextRva);            // entry point
    Put32(f, opt + 20, kTextRva);            // base of code
    if (o.pe32Plus) {
        Put32(f, opt + 24, 0x40000000);      // image base, 64 bits
        Put32(f, opt + 28, 0x1);
    } else {
        Put32(f, opt + 24, 0x2000);          // base of data
        Put32(f, opt + 28, 0x400000);        // image base
    }
    Put32(f, opt + 32, 0x1000);              // section alignment
    Put32(f, opt + 36, kFileAlign);          // file alignment
    Put16(f, opt + 40, 6);                   // OS version
    Put16(f, opt + 48, 6);                   // subsystem version
    Put32(f, opt + 56, o.withVersion ? 0x3000 : 0x2000);  // size of image
    Put32(f, opt + 60, 0x200);               // size of headers
    Put16(f, opt + 68, 2);                   // GUI subsystem
    const std::size_t countAt = o.pe32Plus ? 108 : 92;
    Put32(f, opt + countAt, 16);
    if (o.withVersion) {
        Put32(f, opt + countAt + 4 + 2 * 8, kRsrcRva);
        Put32(f, opt + countAt + 4 + 2 * 8 + 4, static_cast<std::uint32_t>(rsrc.size()));
    }
    if (f.size() < opt + optSize) f.resize(opt + optSize, '\0');

    std::size_t table = opt + optSize;
    auto section = [&](std::size_t at, const char* name, std::uint32_t vsize, std::uint32_t rva,
                       std::uint32_t rawSize, std::uint32_t raw, std::uint32_t flags) {
        PutBytes(f, at, std::string(name));
        Put32(f, at + 8, vsize);
        Put32(f, at + 12, rva);
        Put32(f, at + 16, rawSize);
        Put32(f, at + 20, raw);
        Put32(f, at + 36, flags);
    };
    section(table, ".text", 0x10, kTextRva, kFileAlign, kTextRaw, 0x60000020);
    if (o.withVersion)
        section(table + 40, ".rsrc", static_cast<std::uint32_t>(rsrc.size()), kRsrcRva,
                rsrcRawSize, kRsrcRaw, 0x40000040);

    f.resize(kTextRaw, '\0');
    std::string code(kFileAlign, '\0');
    code[0] = static_cast<char>(0xC3);  // ret
    f += code;
    if (o.withVersion) {
        rsrc.resize(rsrcRawSize, '\0');
        f += rsrc;
    }
    f += o.overlay;
    return f;
}

std::string MakePeWithVersion(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
    PeOptions o;
    o.version[0] = a;
    o.version[1] = b;
    o.version[2] = c;
    o.version[3] = d;
    return MakePe(o);
}

std::string MakePeWithoutVersion() {
    PeOptions o;
    o.withVersion = false;
    return MakePe(o);
}

}  // namespace zqtest
