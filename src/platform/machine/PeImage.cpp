#include "platform/machine/PeImage.h"

#include <algorithm>
#include <set>

#include "platform/api/Ansi.h"
#include "platform/api/WinError.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"

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
constexpr uint32_t kExportDirectorySize = 40;
// More names than any driver exports: a damaged count is not followed further.
constexpr uint32_t kMaxExportNames = 1u << 16;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kResDirHeaderSize = 16;
constexpr size_t kResDirEntrySize = 8;
constexpr size_t kResDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
// Upper bound on directory entries examined in one lookup, so that a hostile
// tree cannot make a lookup slow even without loops.
constexpr size_t kMaxEntriesVisited = 1u << 16;
// No resource this program reads comes near this: a version block is at
// most 64 KiB, a driver's self-description a few hundred bytes.
constexpr uint64_t kMaxResourceBytes = 16ull << 20;

}  // namespace

// The bytes of an image, read on demand.
class PeImage::Source {
public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    // Exactly `len` bytes at `off`, or nullopt when the image is shorter.
    virtual std::optional<std::string> Read(uint64_t off, uint64_t len) const = 0;
};

namespace {

class MemorySource final : public PeImage::Source {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    uint64_t Size() const override { return bytes_.size(); }
    std::optional<std::string> Read(uint64_t off, uint64_t len) const override {
        if (!Fits(off, len, bytes_.size())) return std::nullopt;
        return bytes_.substr(static_cast<size_t>(off), static_cast<size_t>(len));
    }

private:
    std::string bytes_;
};

class FileSource final : public PeImage::Source {
public:
    explicit FileSource(const std::filesystem::path& file) : file_(file) {}
    uint64_t Size() const override { return file_.Size(); }
    std::optional<std::string> Read(uint64_t off, uint64_t len) const override { return file_.ReadAt(off, len); }

private:
    RegularFile file_;
};

}  // namespace

bool LooksLikePe(std::string_view bytes) {
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    uint32_t peOff = Get32(bytes, 0x3c);
    return Fits(peOff, 4, bytes.size()) && Get32(bytes, peOff) == kPeSignature;
}

uint32_t PeImage::Section::Span() const {
    // Only what is backed by file data counts; the zero-filled tail of a
    // section holds no resource.
    return virtualSize != 0 && virtualSize < rawSize ? virtualSize : rawSize;
}

void PeImage::Fail(const std::string& why) const { throw EPeFormat(origin_ + ": " + why); }

PeImage::PeImage(std::string bytes, std::string origin)
    : PeImage(std::make_shared<MemorySource>(std::move(bytes)), std::move(origin)) {}

PeImage PeImage::Load(const std::filesystem::path& file) {
    return PeImage(std::make_shared<FileSource>(file), file.string());
}

PeImage::PeImage(std::shared_ptr<const Source> source, std::string origin)
    : source_(std::move(source)), origin_(std::move(origin)) {
    const uint64_t size = source_->Size();
    if (size < 0x40) Fail("file too short for a DOS header (" + std::to_string(size) + " bytes)");
    const std::string dos = *source_->Read(0, 0x40);
    if (dos[0] != 'M' || dos[1] != 'Z') Fail("no MZ signature at offset 0");
    const uint32_t peOff = Get32(dos, 0x3c);
    const auto coffBytes = source_->Read(peOff, 4 + 20);
    if (!coffBytes) Fail("PE header offset " + std::to_string(peOff) + " lies outside the file");
    const std::string_view coff = *coffBytes;
    if (Get32(coff, 0) != kPeSignature) Fail("no PE signature at offset " + std::to_string(peOff));

    machine_ = Get16(coff, 4);
    const uint16_t sectionCount = Get16(coff, 6);
    const uint16_t optSize = Get16(coff, 20);
    const uint64_t optAt = uint64_t(peOff) + 4 + 20;
    const auto optBytes = source_->Read(optAt, optSize);
    if (!optBytes) Fail("optional header truncated");
    if (optSize < 2) Fail("optional header missing");
    const std::string_view opt = *optBytes;
    const uint16_t magic = Get16(opt, 0);
    if (magic == kMagicPe32)
        is64_ = false;
    else if (magic == kMagicPe32Plus)
        is64_ = true;
    else
        Fail("unknown optional header magic " + std::to_string(magic));

    // Where NumberOfRvaAndSizes and the data directories sit differs by format.
    const size_t countAt = is64_ ? 108 : 92;
    const size_t dirsAt = countAt + 4;
    if (optSize >= countAt + 4) {
        const uint32_t dirCount = Get32(opt, countAt);
        const size_t resEntry = dirsAt + kResourceDirectoryIndex * 8;
        if (dirCount > kResourceDirectoryIndex && resEntry + 8 <= optSize) {
            resourceRva_ = Get32(opt, resEntry);
            resourceSize_ = Get32(opt, resEntry + 4);
        }
        // The export directory is entry 0.
        if (dirCount > 0 && dirsAt + 8 <= optSize) {
            exportRva_ = Get32(opt, dirsAt);
            exportSize_ = Get32(opt, dirsAt + 4);
        }
    }

    const auto table = source_->Read(optAt + optSize, uint64_t(sectionCount) * kSectionHeaderSize);
    if (!table) Fail("section table truncated");
    sections_.reserve(sectionCount);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const size_t sh = i * kSectionHeaderSize;
        sections_.push_back({Get32(*table, sh + 8), Get32(*table, sh + 12), Get32(*table, sh + 16),
                             Get32(*table, sh + 20)});
    }
}

std::optional<uint64_t> PeImage::RvaToOffset(uint32_t rva, uint32_t size) const {
    for (const Section& s : sections_) {
        const uint32_t span = s.Span();
        if (rva < s.virtualAddress || rva - s.virtualAddress >= span) continue;
        const uint64_t inSection = rva - s.virtualAddress;
        if (!Fits(inSection, size, span)) return std::nullopt;
        const uint64_t off = uint64_t(s.rawPointer) + inSection;
        if (!Fits(off, size, source_->Size())) return std::nullopt;
        return off;
    }
    return std::nullopt;
}

bool PeImage::ExportsName(std::string_view wanted) const {
    if (exportRva_ == 0 || exportSize_ < kExportDirectorySize) return false;
    const auto dirAt = RvaToOffset(exportRva_, kExportDirectorySize);
    if (!dirAt) return false;
    const auto dir = source_->Read(*dirAt, kExportDirectorySize);
    if (!dir) return false;
    const uint32_t nameCount = std::min<uint32_t>(Get32(*dir, 24), kMaxExportNames);
    const uint32_t namesRva = Get32(*dir, 32);
    if (nameCount == 0) return false;
    const auto namesAt = RvaToOffset(namesRva, nameCount * 4);
    if (!namesAt) return false;
    const auto names = source_->Read(*namesAt, uint64_t(nameCount) * 4);
    if (!names) return false;
    for (uint32_t i = 0; i < nameCount; ++i) {
        // A name is compared with one read of its length plus its zero byte.
        const auto at = RvaToOffset(Get32(*names, size_t(i) * 4), uint32_t(wanted.size() + 1));
        if (!at) continue;
        const auto text = source_->Read(*at, wanted.size() + 1);
        if (text && text->compare(0, wanted.size(), wanted) == 0 && (*text)[wanted.size()] == '\0') return true;
    }
    return false;
}

namespace {

// One walk over the resource tree of an image, reading from the file only
// what it visits. Every offset is checked against the tree's extent (the
// file data of its section from the tree's start on), subdirectories
// already on the current path are refused (loops), and the number of entries
// looked at is capped.
class ResourceWalker {
public:
    ResourceWalker(const PeImage::Source& src, uint64_t base, uint64_t extent, const std::string& origin)
        : src_(src), base_(base), extent_(extent), origin_(origin) {}

    struct Entry {
        uint32_t nameField;
        uint32_t target;
        bool isDirectory() const { return (target & kHighBit) != 0; }
        bool isNamed() const { return (nameField & kHighBit) != 0; }
    };

    // `len` bytes at `off` inside the tree.
    std::string Bytes(uint64_t off, uint64_t len, const char* what) {
        if (!Fits(off, len, extent_))
            Fail(std::string(what) + " at " + std::to_string(off) + " lies outside the resource data");
        auto b = src_.Read(base_ + off, len);
        if (!b) Fail(std::string(what) + " at " + std::to_string(off) + " lies outside the file");
        return std::move(*b);
    }

    // The entries of the directory at `off`, checked to lie inside.
    std::vector<Entry> Entries(uint32_t off) {
        const std::string head = Bytes(off, kResDirHeaderSize, "resource directory");
        const size_t count = size_t(Get16(head, 12)) + Get16(head, 14);
        if (!Fits(uint64_t(off) + kResDirHeaderSize, uint64_t(count) * kResDirEntrySize, extent_))
            Fail("resource directory at " + std::to_string(off) + " claims " + std::to_string(count) +
                 " entries, more than the resource data holds");
        visited_ += count;
        if (visited_ > kMaxEntriesVisited) Fail("too many resource directory entries");
        const std::string list = Bytes(uint64_t(off) + kResDirHeaderSize, count * kResDirEntrySize, "resource directory");
        std::vector<Entry> out;
        out.reserve(count);
        for (size_t i = 0; i < count; ++i) out.push_back({Get32(list, i * 8), Get32(list, i * 8 + 4)});
        return out;
    }

    bool Matches(const Entry& e, const ResId& id) {
        if (id.id) return !e.isNamed() && (e.nameField & 0xffff) == *id.id;
        if (!e.isNamed()) return false;
        return EqualsNoCase(NameOf(e), id.name);
    }

    std::string NameOf(const Entry& e) {
        const uint32_t off = e.nameField & ~kHighBit;
        const uint16_t len = Get16(Bytes(off, 2, "resource name"), 0);
        const std::string chars = Bytes(off + 2ull, len * 2ull, "resource name");
        std::u16string name(len, u'\0');
        for (uint16_t i = 0; i < len; ++i) name[i] = static_cast<char16_t>(Get16(chars, 2 * i));
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

    // The data entry (RVA, size) an entry points to.
    std::pair<uint32_t, uint32_t> DataEntry(const Entry& e) {
        if (e.isDirectory()) Fail("resource tree is deeper than type, name and language");
        const std::string d = Bytes(e.target, kResDataEntrySize, "resource data entry");
        return {Get32(d, 0), Get32(d, 4)};
    }

    void Enter(uint32_t dir) { path_.insert(dir); }
    void Leave(uint32_t dir) { path_.erase(dir); }

    [[noreturn]] void Fail(const std::string& why) { throw EPeFormat(origin_ + ": " + why); }

private:
    const PeImage::Source& src_;
    uint64_t base_, extent_;
    const std::string& origin_;
    std::set<uint32_t> path_;
    size_t visited_ = 0;
};

}  // namespace

std::optional<std::string> PeImage::FindResource(const ResId& type, const ResId& name, ResourceMiss& miss) const {
    miss = ResourceMiss::NoResources;
    if (resourceRva_ == 0 || resourceSize_ == 0) return std::nullopt;
    // The tree is read within its section's file data; the size in the data
    // directory is not trusted (some linkers overstate it).
    const Section* holder = nullptr;
    for (const Section& s : sections_)
        if (resourceRva_ >= s.virtualAddress && resourceRva_ - s.virtualAddress < s.Span()) {
            holder = &s;
            break;
        }
    if (!holder) Fail("resource directory lies outside the file's sections");
    const uint64_t inSection = resourceRva_ - holder->virtualAddress;
    const uint64_t base = uint64_t(holder->rawPointer) + inSection;
    if (base >= source_->Size()) Fail("resource directory lies outside the file");
    const uint64_t extent = std::min<uint64_t>(holder->Span() - inSection, source_->Size() - base);
    ResourceWalker w(*source_, base, extent, origin_);

    // A name without id or text stands for any name (FindFirstResource).
    const bool anyName = !name.id && name.name.empty();
    miss = ResourceMiss::NoType;
    w.Enter(0);
    for (const auto& t : w.Entries(0)) {
        if (!w.Matches(t, type)) continue;
        const uint32_t typeDir = w.Subdirectory(t, 1);
        miss = ResourceMiss::NoName;
        w.Enter(typeDir);
        for (const auto& n : w.Entries(typeDir)) {
            if (!anyName && !w.Matches(n, name)) continue;
            const uint32_t nameDir = w.Subdirectory(n, 2);
            w.Enter(nameDir);
            for (const auto& lang : w.Entries(nameDir)) {
                const auto [dataRva, dataSize] = w.DataEntry(lang);
                if (dataSize > kMaxResourceBytes)
                    w.Fail("resource data claims " + std::to_string(dataSize) + " bytes, more than any resource");
                const auto dataOff = RvaToOffset(dataRva, dataSize);
                if (!dataOff) w.Fail("resource data at RVA " + std::to_string(dataRva) + " lies outside the file");
                auto data = source_->Read(*dataOff, dataSize);
                if (!data) w.Fail("resource data at RVA " + std::to_string(dataRva) + " lies outside the file");
                miss = ResourceMiss::None;
                return data;
            }
            w.Leave(nameDir);
            if (!anyName) return std::nullopt;  // the name exists but has no language
        }
        return std::nullopt;  // types are unique; no need to look further
    }
    return std::nullopt;
}

std::optional<std::string> PeImage::FindResource(const ResId& type, const ResId& name) const {
    ResourceMiss miss;
    return FindResource(type, name, miss);
}

std::optional<std::string> PeImage::FindFirstResource(const ResId& type) const {
    return FindResource(type, ResId{});
}

namespace {

constexpr std::string_view kVersionSection = ".tarnel_version";
constexpr uint32_t kShtNobits = 8;
constexpr uint16_t kShnXindex = 0xffff;
constexpr uint32_t kMaxElfSections = 1u << 16;
// A section-name table is a few hundred bytes.
constexpr uint64_t kMaxElfNames = 1u << 20;

// The contents of the section ".tarnel_version" of a little-endian ELF file.
std::optional<std::string> ElfVersionSection(const RegularFile& f) {
    const auto ident = f.ReadAt(0, std::min<uint64_t>(64, f.Size()));
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

    auto header = [&](uint64_t i) { return f.ReadAt(shoff + i * shentsize, minEntry); };
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
    if (!Fits(shoff, shnum * shentsize, f.Size())) return std::nullopt;

    const auto strtab = section(shstrndx);
    if (!strtab || strtab->type == kShtNobits) return std::nullopt;
    if (strtab->size > kMaxElfNames) return std::nullopt;
    const auto names = f.ReadAt(strtab->offset, strtab->size);
    if (!names) return std::nullopt;

    for (uint64_t i = 1; i < shnum; ++i) {
        const auto s = section(i);
        if (!s) return std::nullopt;
        if (s->name >= names->size()) continue;
        const size_t end = names->find('\0', s->name);
        if (end == std::string::npos) continue;
        if (std::string_view(*names).substr(s->name, end - s->name) != kVersionSection) continue;
        if (s->type == kShtNobits || s->size > kMaxResourceBytes) return std::nullopt;
        return f.ReadAt(s->offset, s->size);
    }
    return std::nullopt;
}

}  // namespace

VersionBlockRead ReadVersionBlockOf(const std::filesystem::path& file) {
    try {
        RegularFile f(file);
        const auto magic = f.ReadAt(0, std::min<uint64_t>(4, f.Size()));
        if (magic && *magic == std::string_view("\x7f" "ELF", 4)) {
            auto block = ElfVersionSection(f);
            // The section holds one block; anything after its own length is
            // alignment from the linker.
            if (block && block->size() >= 6) {
                const uint16_t len = Get16(*block, 0);
                if (len >= 6 && len < block->size()) block->resize(len);
            }
            if (!block) return {std::nullopt, kErrorResourceDataNotFound};
            return {std::move(block), kErrorSuccess};
        }
        if (!magic || magic->size() < 2 || magic->compare(0, 2, "MZ") != 0)
            return {std::nullopt, kErrorResourceDataNotFound};
        PeImage image = PeImage::Load(file);
        ResourceMiss miss;
        // The system reads the version resource by its fixed id, VS_VERSION_INFO (1).
        auto block = image.FindResource(ResId::Id(kRtVersion), ResId::Id(1), miss);
        if (block) return {std::move(block), kErrorSuccess};
        switch (miss) {
            case ResourceMiss::NoType: return {std::nullopt, kErrorResourceTypeNotFound};
            case ResourceMiss::NoName: return {std::nullopt, kErrorResourceNameNotFound};
            default: return {std::nullopt, kErrorResourceDataNotFound};
        }
    } catch (const EFileError& e) {
        return {std::nullopt, WinErrorFromErrno(e.ErrorNumber())};
    } catch (const EPeFormat&) {
        return {std::nullopt, kErrorResourceDataNotFound};
    } catch (const std::exception&) {
        return {std::nullopt, kErrorResourceDataNotFound};
    }
}

std::optional<std::string> ReadVersionBlock(const std::filesystem::path& file) {
    return ReadVersionBlockOf(file).block;
}

}  // namespace tarnel::platform
