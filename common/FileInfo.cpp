#include "common/FileInfo.h"

#include <algorithm>
#include <vector>

namespace zq {

namespace {

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::size_t kMaxVersionBlock = 65536;  // the block's own length field is 16 bits
constexpr std::size_t kMaxSections = 96;         // the most a loader accepts
constexpr std::size_t kMaxDirEntries = 4096;

// Bounded little-endian reads from the file; every read says whether it was inside it.
class Reader {
public:
    explicit Reader(IReadFile& file) : file_(file), size_(file.Size()) {}
    std::uint64_t Size() const { return size_; }
    bool Inside(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    std::optional<std::string> Bytes(std::uint64_t offset, std::size_t length) {
        if (!Inside(offset, length)) return std::nullopt;
        std::string b = file_.ReadAt(offset, length);
        if (b.size() != length) return std::nullopt;
        return b;
    }
    std::optional<std::uint32_t> U16(std::uint64_t offset) { return Le(offset, 2); }
    std::optional<std::uint32_t> U32(std::uint64_t offset) { return Le(offset, 4); }

private:
    std::optional<std::uint32_t> Le(std::uint64_t offset, std::size_t n) {
        auto b = Bytes(offset, n);
        if (!b) return std::nullopt;
        std::uint32_t v = 0;
        for (std::size_t k = n; k-- > 0;) v = (v << 8) | static_cast<unsigned char>((*b)[k]);
        return v;
    }
    IReadFile& file_;
    std::uint64_t size_;
};

std::uint32_t LeAt(const std::string& b, std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t k = 4; k-- > 0;) v = (v << 8) | static_cast<unsigned char>(b[offset + k]);
    return v;
}

struct Section {
    std::uint32_t virtualAddress = 0, virtualSize = 0, rawSize = 0, rawOffset = 0;
};

struct PeHeaders {
    std::uint32_t resourceRva = 0, resourceSize = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::vector<Section> sections;
};

std::optional<PeHeaders> ReadHeaders(Reader& r) {
    auto mz = r.Bytes(0, 2);
    if (!mz || *mz != "MZ") return std::nullopt;
    auto lfanew = r.U32(0x3C);
    if (!lfanew) return std::nullopt;
    std::uint64_t pe = *lfanew;
    auto sig = r.Bytes(pe, 4);
    if (!sig || *sig != std::string("PE\0\0", 4)) return std::nullopt;
    std::uint64_t coff = pe + 4;
    auto sectionCount = r.U16(coff + 2);
    auto optSize = r.U16(coff + 16);
    if (!sectionCount || !optSize || *sectionCount > kMaxSections) return std::nullopt;
    std::uint64_t opt = coff + 20;
    if (!r.Inside(opt, *optSize)) return std::nullopt;
    auto magic = r.U16(opt);
    if (!magic || *optSize < 2) return std::nullopt;

    std::uint64_t countOffset, dirOffset;
    if (*magic == 0x10B) {
        countOffset = 92;
        dirOffset = 96;
    } else if (*magic == 0x20B) {
        countOffset = 108;
        dirOffset = 112;
    } else {
        return std::nullopt;
    }
    if (*optSize < dirOffset) return std::nullopt;

    PeHeaders h;
    auto sizeOfHeaders = r.U32(opt + 60);
    if (!sizeOfHeaders) return std::nullopt;
    h.sizeOfHeaders = *sizeOfHeaders;
    auto dirCount = r.U32(opt + countOffset);
    if (!dirCount) return std::nullopt;
    // The resource directory is entry 2; it must lie inside the optional header.
    if (*dirCount > 2 && dirOffset + 3 * 8 <= *optSize) {
        auto rva = r.U32(opt + dirOffset + 16);
        auto size = r.U32(opt + dirOffset + 20);
        if (!rva || !size) return std::nullopt;
        h.resourceRva = *rva;
        h.resourceSize = *size;
    }

    std::uint64_t table = opt + *optSize;
    if (!r.Inside(table, static_cast<std::uint64_t>(*sectionCount) * 40)) return std::nullopt;
    for (std::uint32_t k = 0; k < *sectionCount; ++k) {
        auto raw = r.Bytes(table + k * 40ull, 40);
        if (!raw) return std::nullopt;
        Section s;
        s.virtualSize = LeAt(*raw, 8);
        s.virtualAddress = LeAt(*raw, 12);
        s.rawSize = LeAt(*raw, 16);
        s.rawOffset = LeAt(*raw, 20);
        h.sections.push_back(s);
    }
    return h;
}

bool SectionsInside(const Reader& r, const PeHeaders& h) {
    if (h.sizeOfHeaders > r.Size()) return false;
    for (const auto& s : h.sections)
        if (s.rawSize != 0 && !r.Inside(s.rawOffset, s.rawSize)) return false;
    return true;
}

// File offset of an address of the loaded image, when its bytes lie in a section's raw data.
std::optional<std::uint64_t> RvaToOffset(const PeHeaders& h, std::uint64_t rva, std::uint64_t length) {
    for (const auto& s : h.sections) {
        if (rva < s.virtualAddress) continue;
        std::uint64_t delta = rva - s.virtualAddress;
        if (delta < s.rawSize && length <= s.rawSize - delta) return s.rawOffset + delta;
    }
    return std::nullopt;
}

// The first entry of a resource directory (with wantedId, the entry with that number).
std::optional<std::uint32_t> FindEntry(Reader& r, std::uint64_t base, std::uint64_t limit,
                                       std::uint64_t dirOffset, std::optional<std::uint32_t> wantedId) {
    if (dirOffset + 16 > limit) return std::nullopt;
    auto named = r.U16(base + dirOffset + 12);
    auto ids = r.U16(base + dirOffset + 14);
    if (!named || !ids) return std::nullopt;
    std::uint64_t count = std::uint64_t(*named) + *ids;
    if (count > kMaxDirEntries) count = kMaxDirEntries;
    for (std::uint64_t k = 0; k < count; ++k) {
        std::uint64_t entry = dirOffset + 16 + k * 8;
        if (entry + 8 > limit) return std::nullopt;
        auto name = r.U32(base + entry);
        auto target = r.U32(base + entry + 4);
        if (!name || !target) return std::nullopt;
        if (!wantedId || ((*name & kSubdirectoryBit) == 0 && *name == *wantedId)) return *target;
    }
    return std::nullopt;
}

}  // namespace

std::string FileVersionParts::Text() const {
    return std::to_string(part[0]) + "." + std::to_string(part[1]) + "." +
           std::to_string(part[2]) + "." + std::to_string(part[3]);
}

std::optional<FileVersionParts> ReadPeFileVersion(IReadFile& file) {
    Reader r(file);
    auto h = ReadHeaders(r);
    if (!h || h->resourceRva == 0 || h->resourceSize < 16) return std::nullopt;
    // A cut-off file (an interrupted download) does not load on Windows either.
    if (!SectionsInside(r, *h)) return std::nullopt;
    auto base = RvaToOffset(*h, h->resourceRva, 16);
    if (!base || *base >= r.Size()) return std::nullopt;
    // The tree may not reach beyond the section that holds it nor beyond the file.
    std::uint64_t limit = r.Size() - *base;
    for (const auto& s : h->sections) {
        if (h->resourceRva >= s.virtualAddress && h->resourceRva - s.virtualAddress < s.rawSize)
            limit = std::min<std::uint64_t>(limit, s.rawSize - (h->resourceRva - s.virtualAddress));
    }

    // Type (the version type), then the first name, then the first language: three levels,
    // the first two directories, the last a data entry; so a looping tree ends here too.
    auto typeDir = FindEntry(r, *base, limit, 0, kResourceTypeVersion);
    if (!typeDir || !(*typeDir & kSubdirectoryBit)) return std::nullopt;
    auto nameDir = FindEntry(r, *base, limit, *typeDir & ~kSubdirectoryBit, std::nullopt);
    if (!nameDir || !(*nameDir & kSubdirectoryBit)) return std::nullopt;
    auto dataEntry = FindEntry(r, *base, limit, *nameDir & ~kSubdirectoryBit, std::nullopt);
    if (!dataEntry || (*dataEntry & kSubdirectoryBit)) return std::nullopt;
    if (std::uint64_t(*dataEntry) + 16 > limit) return std::nullopt;

    auto dataRva = r.U32(*base + *dataEntry);
    auto dataSize = r.U32(*base + *dataEntry + 4);
    if (!dataRva || !dataSize || *dataSize < kFixedInfoSize) return std::nullopt;
    std::size_t blockSize = std::min<std::size_t>(*dataSize, kMaxVersionBlock);
    auto blockOffset = RvaToOffset(*h, *dataRva, blockSize);
    if (!blockOffset) return std::nullopt;
    auto block = r.Bytes(*blockOffset, blockSize);
    if (!block) return std::nullopt;

    // VS_VERSIONINFO: its own length bounds the search for the fixed part's signature.
    std::size_t length = static_cast<unsigned char>((*block)[0]) |
                         (static_cast<std::size_t>(static_cast<unsigned char>((*block)[1])) << 8);
    if (length < kFixedInfoSize || length > block->size()) length = block->size();
    for (std::size_t at = 0; at + kFixedInfoSize <= length; at += 4) {
        if (LeAt(*block, at) != kFixedInfoSignature) continue;
        std::uint32_t ms = LeAt(*block, at + 8);
        std::uint32_t ls = LeAt(*block, at + 12);
        FileVersionParts v;
        v.part = {static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms & 0xFFFF),
                  static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls & 0xFFFF)};
        return v;
    }
    return std::nullopt;
}

bool IsCompletePeFile(IReadFile& file) {
    Reader r(file);
    auto h = ReadHeaders(r);
    return h && SectionsInside(r, *h);
}

std::optional<std::uint16_t> PeMachine(IReadFile& file) {
    Reader r(file);
    auto h = ReadHeaders(r);
    if (!h || !SectionsInside(r, *h)) return std::nullopt;
    auto lfanew = r.U32(0x3C);
    return lfanew ? r.U16(std::uint64_t(*lfanew) + 4) : std::nullopt;
}

std::string FileVersionText(IFiles& files, const std::string& path) {
    auto file = files.OpenRead(path);
    if (!file) return "0.0.0.0";
    auto v = ReadPeFileVersion(*file);
    return v ? v->Text() : "0.0.0.0";
}

FileTimes FileFacts(IFiles& files, IDialogs& dialogs, const std::string& defaultTitle,
                    const std::string& path) {
    if (!files.Exists(path, kAttrHidden | kAttrSystem)) {
        dialogs.ShowMessage("Falscher Dateiname oder Pfad", defaultTitle, MsgIcon::None,
                           MsgButtons::Ok);
        return {};
    }
    return files.Times(path);
}

}  // namespace zq
