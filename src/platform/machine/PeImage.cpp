#include "platform/machine/PeImage.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <vector>

#include "platform/api/Ansi.h"
#include "platform/machine/AtomicFile.h"

namespace tarnel::platform {

namespace {

// Little-endian reads; callers check the bounds first.
uint16_t Get16(std::string_view b, size_t off) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[off]) |
                                 static_cast<uint8_t>(b[off + 1]) << 8);
}
uint32_t Get32(std::string_view b, size_t off) {
    return static_cast<uint32_t>(Get16(b, off)) | static_cast<uint32_t>(Get16(b, off + 2)) << 16;
}
uint64_t Get64(std::string_view b, size_t off) {
    return static_cast<uint64_t>(Get32(b, off)) | static_cast<uint64_t>(Get32(b, off + 4)) << 32;
}

// True when [off, off + len) lies inside a buffer of `size` bytes (no overflow).
bool Fits(uint64_t off, uint64_t len, uint64_t size) { return off <= size && len <= size - off; }

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMagicPe32 = 0x10b;
constexpr uint16_t kMagicPe32Plus = 0x20b;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kResDirHeaderSize = 16;
constexpr size_t kResDirEntrySize = 8;
constexpr size_t kResDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
// The loader itself refuses more; anything above is not an image worth reading.
constexpr uint16_t kMaxSections = 96;
// type -> name -> language: a fourth level is never valid.
constexpr int kResourceLevels = 3;
// Upper bound on directory entries examined in one lookup, so that a hostile
// tree cannot make a lookup slow even without loops.
constexpr size_t kMaxEntriesVisited = 1u << 16;
// Driver files are small; a version block never needs more than 64 KiB,
// and reading a far larger file only to find that out is not worth it.
constexpr uint64_t kMaxImageBytes = 256ull << 20;

}  // namespace

bool LooksLikePe(std::string_view bytes) {
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    uint32_t peOff = Get32(bytes, 0x3c);
    return Fits(peOff, 4, bytes.size()) && Get32(bytes, peOff) == kPeSignature;
}

PeImage::PeImage(std::string bytes, std::string origin)
    : bytes_(std::move(bytes)), origin_(std::move(origin)) {
    auto fail = [this](const std::string& why) { throw EPeFormat(origin_ + ": " + why); };
    const std::string_view b = bytes_;
    if (b.size() < 0x40) fail("file too short for a DOS header (" + std::to_string(b.size()) + " bytes)");
    if (b[0] != 'M' || b[1] != 'Z') fail("no MZ signature at offset 0");
    const uint32_t peOff = Get32(b, 0x3c);
    if (!Fits(peOff, 4 + 20, b.size()))
        fail("PE header offset " + std::to_string(peOff) + " lies outside the file");
    if (Get32(b, peOff) != kPeSignature) fail("no PE signature at offset " + std::to_string(peOff));

    const size_t coff = peOff + 4;
    machine_ = Get16(b, coff);
    sectionCount_ = Get16(b, coff + 2);
    const uint16_t optSize = Get16(b, coff + 16);
    const size_t opt = coff + 20;
    if (!Fits(opt, optSize, b.size())) fail("optional header truncated");
    if (optSize < 2) fail("optional header missing");
    const uint16_t magic = Get16(b, opt);
    if (magic == kMagicPe32)
        is64_ = false;
    else if (magic == kMagicPe32Plus)
        is64_ = true;
    else
        fail("unknown optional header magic " + std::to_string(magic));

    // Where NumberOfRvaAndSizes and the data directories sit differs by format.
    const size_t countAt = is64_ ? 108 : 92;
    const size_t dirsAt = countAt + 4;
    if (optSize >= countAt + 4) {
        const uint32_t dirCount = Get32(b, opt + countAt);
        const size_t resEntry = dirsAt + kResourceDirectoryIndex * 8;
        if (dirCount > kResourceDirectoryIndex && resEntry + 8 <= optSize) {
            resourceRva_ = Get32(b, opt + resEntry);
            resourceSize_ = Get32(b, opt + resEntry + 4);
        }
    }

    if (sectionCount_ > kMaxSections)
        fail("implausible section count " + std::to_string(sectionCount_));
    sectionTable_ = static_cast<uint32_t>(opt + optSize);
    if (!Fits(sectionTable_, uint64_t(sectionCount_) * kSectionHeaderSize, b.size()))
        fail("section table truncated");
    if (resourceSize_ > b.size())
        fail("resource directory claims " + std::to_string(resourceSize_) +
             " bytes, more than the whole file");
}

PeImage PeImage::Load(const std::filesystem::path& file) {
    return PeImage(ReadWholeFile(file), file.string());
}

std::optional<uint32_t> PeImage::RvaToOffset(uint32_t rva, uint32_t size) const {
    const std::string_view b = bytes_;
    for (uint16_t i = 0; i < sectionCount_; ++i) {
        const size_t sh = sectionTable_ + i * kSectionHeaderSize;
        const uint32_t virtualSize = Get32(b, sh + 8);
        const uint32_t virtualAddress = Get32(b, sh + 12);
        const uint32_t rawSize = Get32(b, sh + 16);
        const uint32_t rawPointer = Get32(b, sh + 20);
        // Only what is backed by file data counts; the zero-filled tail of a
        // section holds no resource.
        const uint32_t span = virtualSize != 0 && virtualSize < rawSize ? virtualSize : rawSize;
        if (rva < virtualAddress || rva - virtualAddress >= span) continue;
        const uint64_t inSection = rva - virtualAddress;
        if (!Fits(inSection, size, span)) return std::nullopt;
        const uint64_t off = rawPointer + inSection;
        if (!Fits(off, size, b.size())) return std::nullopt;
        return static_cast<uint32_t>(off);
    }
    return std::nullopt;
}

namespace {

// One walk over the resource tree of an image: every offset is checked
// against the directory's extent, subdirectories already on the current path
// are refused (loops), and the number of entries looked at is capped.
class ResourceWalker {
public:
    ResourceWalker(std::string_view rsrc, const std::string& origin) : rsrc_(rsrc), origin_(origin) {}

    struct Entry {
        uint32_t nameField;
        uint32_t target;
        bool isDirectory() const { return (target & kHighBit) != 0; }
        bool isNamed() const { return (nameField & kHighBit) != 0; }
    };

    // The entries of the directory at `off`, checked to lie inside.
    std::vector<Entry> Entries(uint32_t off) {
        if (!Fits(off, kResDirHeaderSize, rsrc_.size()))
            Fail("resource directory at " + std::to_string(off) + " lies outside the resource data");
        const size_t count = size_t(Get16(rsrc_, off + 12)) + Get16(rsrc_, off + 14);
        if (!Fits(uint64_t(off) + kResDirHeaderSize, uint64_t(count) * kResDirEntrySize, rsrc_.size()))
            Fail("resource directory at " + std::to_string(off) + " claims " + std::to_string(count) +
                 " entries, more than the resource data holds");
        visited_ += count;
        if (visited_ > kMaxEntriesVisited) Fail("too many resource directory entries");
        std::vector<Entry> out;
        out.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            const size_t e = off + kResDirHeaderSize + i * kResDirEntrySize;
            out.push_back({Get32(rsrc_, e), Get32(rsrc_, e + 4)});
        }
        return out;
    }

    bool Matches(const Entry& e, const ResId& id) {
        if (id.id) return !e.isNamed() && (e.nameField & 0xffff) == *id.id;
        if (!e.isNamed()) return false;
        return EqualsNoCase(NameOf(e), id.name);
    }

    std::string NameOf(const Entry& e) {
        const uint32_t off = e.nameField & ~kHighBit;
        if (!Fits(off, 2, rsrc_.size())) Fail("resource name at " + std::to_string(off) + " lies outside");
        const uint16_t len = Get16(rsrc_, off);
        if (!Fits(off + 2ull, len * 2ull, rsrc_.size()))
            Fail("resource name at " + std::to_string(off) + " runs past the resource data");
        std::u16string name(len, u'\0');
        for (uint16_t i = 0; i < len; ++i) name[i] = static_cast<char16_t>(Get16(rsrc_, off + 2 + 2 * i));
        return Utf16ToAnsi(name);
    }

    // Descends into the subdirectory an entry at `level` (1-based) points to.
    uint32_t Subdirectory(const Entry& e, int level) {
        if (!e.isDirectory())
            Fail("resource entry at level " + std::to_string(level) + " holds data where a directory belongs");
        const uint32_t sub = e.target & ~kHighBit;
        if (path_.count(sub)) Fail("resource directory at " + std::to_string(sub) + " loops onto itself");
        return sub;
    }

    // Offset (inside the resource data) of the data entry an entry points to.
    uint32_t DataEntry(const Entry& e) {
        if (e.isDirectory()) Fail("resource tree is deeper than type, name and language");
        if (!Fits(e.target, kResDataEntrySize, rsrc_.size()))
            Fail("resource data entry at " + std::to_string(e.target) + " lies outside");
        return e.target;
    }

    void Enter(uint32_t dir) { path_.insert(dir); }
    void Leave(uint32_t dir) { path_.erase(dir); }

    [[noreturn]] void Fail(const std::string& why) { throw EPeFormat(origin_ + ": " + why); }

private:
    std::string_view rsrc_;
    const std::string& origin_;
    std::set<uint32_t> path_;
    size_t visited_ = 0;
};

}  // namespace

std::optional<std::string> PeImage::FindResource(const ResId& type, const ResId& name) const {
    if (resourceRva_ == 0 || resourceSize_ == 0) return std::nullopt;
    const auto base = RvaToOffset(resourceRva_, resourceSize_);
    if (!base) throw EPeFormat(origin_ + ": resource directory lies outside the file's sections");
    const std::string_view rsrc = std::string_view(bytes_).substr(*base, resourceSize_);
    ResourceWalker w(rsrc, origin_);

    // A name without id or text stands for any name (FindFirstResource).
    const bool anyName = !name.id && name.name.empty();
    w.Enter(0);
    for (const auto& t : w.Entries(0)) {
        if (!w.Matches(t, type)) continue;
        const uint32_t typeDir = w.Subdirectory(t, 1);
        w.Enter(typeDir);
        for (const auto& n : w.Entries(typeDir)) {
            if (!anyName && !w.Matches(n, name)) continue;
            const uint32_t nameDir = w.Subdirectory(n, 2);
            w.Enter(nameDir);
            for (const auto& lang : w.Entries(nameDir)) {
                const uint32_t de = w.DataEntry(lang);
                const uint32_t dataRva = Get32(rsrc, de);
                const uint32_t dataSize = Get32(rsrc, de + 4);
                if (dataSize > bytes_.size())
                    w.Fail("resource data claims " + std::to_string(dataSize) +
                           " bytes, more than the whole file");
                const auto dataOff = RvaToOffset(dataRva, dataSize);
                if (!dataOff) w.Fail("resource data at RVA " + std::to_string(dataRva) + " lies outside the file");
                return bytes_.substr(*dataOff, dataSize);
            }
            w.Leave(nameDir);
            if (!anyName) return std::nullopt;  // the name exists but has no language
        }
        return std::nullopt;  // types are unique; no need to look further
    }
    return std::nullopt;
}

std::optional<std::string> PeImage::FindFirstResource(const ResId& type) const {
    return FindResource(type, ResId{});
}

namespace {

// Random-access reads of a file, each checked against its size.
class BoundedFile {
public:
    explicit BoundedFile(const std::filesystem::path& p) : in_(p, std::ios::binary) {
        if (!in_) return;
        in_.seekg(0, std::ios::end);
        const auto end = in_.tellg();
        if (end < 0) return;
        size_ = static_cast<uint64_t>(end);
        ok_ = true;
    }
    bool ok() const { return ok_; }
    uint64_t size() const { return size_; }
    std::optional<std::string> Read(uint64_t off, uint64_t len) {
        if (!ok_ || !Fits(off, len, size_)) return std::nullopt;
        std::string out(len, '\0');
        in_.seekg(static_cast<std::streamoff>(off));
        if (!in_.read(out.data(), static_cast<std::streamsize>(len))) return std::nullopt;
        return out;
    }

private:
    std::ifstream in_;
    uint64_t size_ = 0;
    bool ok_ = false;
};

constexpr std::string_view kVersionSection = ".tarnel_version";
constexpr uint32_t kShtNobits = 8;
constexpr uint16_t kShnXindex = 0xffff;
constexpr uint32_t kMaxElfSections = 1u << 16;

// The contents of the section ".tarnel_version" of a little-endian ELF file.
std::optional<std::string> ElfVersionSection(BoundedFile& f) {
    const auto ident = f.Read(0, std::min<uint64_t>(64, f.size()));
    if (!ident || ident->size() < 52) return std::nullopt;
    const std::string_view h = *ident;
    const bool is64 = h[4] == 2;
    if ((h[4] != 1 && h[4] != 2) || h[5] != 1) return std::nullopt;  // only little-endian
    if (is64 && h.size() < 64) return std::nullopt;

    const uint64_t shoff = is64 ? Get64(h, 0x28) : Get32(h, 0x20);
    const uint16_t shentsize = Get16(h, is64 ? 0x3a : 0x2e);
    uint64_t shnum = Get16(h, is64 ? 0x3c : 0x30);
    uint32_t shstrndx = Get16(h, is64 ? 0x3e : 0x32);
    const uint16_t minEntry = is64 ? 64 : 40;
    if (shoff == 0 || shentsize < minEntry) return std::nullopt;

    auto header = [&](uint64_t i) { return f.Read(shoff + i * shentsize, minEntry); };
    struct Section {
        uint32_t name, type;
        uint64_t offset, size, link;
    };
    auto section = [&](uint64_t i) -> std::optional<Section> {
        const auto s = header(i);
        if (!s) return std::nullopt;
        const std::string_view v = *s;
        if (is64) return Section{Get32(v, 0), Get32(v, 4), Get64(v, 0x18), Get64(v, 0x20), Get32(v, 0x28)};
        return Section{Get32(v, 0), Get32(v, 4), Get32(v, 0x10), Get32(v, 0x14), Get32(v, 0x18)};
    };

    // Many sections: the real count and string-table index live in section 0.
    if (shnum == 0 || shstrndx == kShnXindex) {
        const auto s0 = section(0);
        if (!s0) return std::nullopt;
        if (shnum == 0) shnum = s0->size;
        if (shstrndx == kShnXindex) shstrndx = static_cast<uint32_t>(s0->link);
    }
    if (shnum > kMaxElfSections || shstrndx >= shnum) return std::nullopt;
    if (!Fits(shoff, shnum * shentsize, f.size())) return std::nullopt;

    const auto strtab = section(shstrndx);
    if (!strtab || strtab->type == kShtNobits) return std::nullopt;
    const auto names = f.Read(strtab->offset, strtab->size);
    if (!names) return std::nullopt;

    for (uint64_t i = 1; i < shnum; ++i) {
        const auto s = section(i);
        if (!s) return std::nullopt;
        if (s->name >= names->size()) continue;
        const size_t end = names->find('\0', s->name);
        if (end == std::string::npos) continue;
        if (std::string_view(*names).substr(s->name, end - s->name) != kVersionSection) continue;
        if (s->type == kShtNobits) return std::nullopt;
        return f.Read(s->offset, s->size);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadVersionBlock(const std::filesystem::path& file) {
    try {
        BoundedFile f(file);
        if (!f.ok()) return std::nullopt;
        const auto magic = f.Read(0, 4);
        if (!magic) return std::nullopt;
        if (*magic == std::string_view("\x7f" "ELF", 4)) {
            auto block = ElfVersionSection(f);
            // The section holds one block; anything after its own length is
            // alignment from the linker.
            if (block && block->size() >= 6) {
                const uint16_t len = Get16(*block, 0);
                if (len >= 6 && len < block->size()) block->resize(len);
            }
            return block;
        }
        if (magic->compare(0, 2, "MZ") != 0 || f.size() > kMaxImageBytes) return std::nullopt;
        auto bytes = f.Read(0, f.size());
        if (!bytes || !LooksLikePe(*bytes)) return std::nullopt;
        PeImage image(std::move(*bytes), file.string());
        // The system reads the version resource by its fixed id, VS_VERSION_INFO (1).
        return image.FindResource(ResId::Id(kRtVersion), ResId::Id(1));
    } catch (const EPeFormat&) {
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace tarnel::platform
