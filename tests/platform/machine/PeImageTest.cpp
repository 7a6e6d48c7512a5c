#include "platform/machine/PeImage.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>

#include "platform/api/WinError.h"
#include "platform/machine/AtomicFile.h"
#include "support/TempMachine.h"
#include "support/Seed.h"

namespace tarnel::platform {
namespace {

using test::PeFixture;
using test::TempDir;

std::string Fixture(const std::string& name) { return ReadWholeFile(PeFixture(name)); }

// Scratch files need no durability; a plain write keeps the many small cases fast.
void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

uint16_t Le16(const std::string& b, size_t off) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[off]) | static_cast<uint8_t>(b[off + 1]) << 8);
}
uint32_t Le32(const std::string& b, size_t off) { return Le16(b, off) | uint32_t(Le16(b, off + 2)) << 16; }
void Put16(std::string& b, size_t off, uint16_t v) {
    b[off] = static_cast<char>(v & 0xff);
    b[off + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, size_t off, uint32_t v) {
    Put16(b, off, static_cast<uint16_t>(v));
    Put16(b, off + 2, static_cast<uint16_t>(v >> 16));
}

// Where the interesting structures of a fixture sit, found independently of
// the reader under test so that the corruption tests can aim at them.
struct Layout {
    size_t peHeader, optional, resourceDirEntry, rsrc;  // rsrc: file offset of the resource tree
    uint32_t rsrcRva;
    size_t SectionTable(const std::string& b) const { return optional + Le16(b, peHeader + 20); }
};

Layout LayoutOf(const std::string& b) {
    Layout l{};
    l.peHeader = Le32(b, 0x3c);
    l.optional = l.peHeader + 24;
    const bool is64 = Le16(b, l.optional) == 0x20b;
    l.resourceDirEntry = l.optional + (is64 ? 112 : 96) + 16;
    l.rsrcRva = Le32(b, l.resourceDirEntry);
    const size_t table = l.SectionTable(b);
    for (size_t i = 0; i < Le16(b, l.peHeader + 6); ++i) {
        const size_t sh = table + 40 * i;
        const uint32_t va = Le32(b, sh + 12);
        if (l.rsrcRva >= va && l.rsrcRva < va + Le32(b, sh + 16)) l.rsrc = Le32(b, sh + 20) + (l.rsrcRva - va);
    }
    return l;
}

// File offset of the entry with numeric `id` in the resource directory at `dir`.
size_t EntryWithId(const std::string& b, const Layout& l, uint32_t dir, uint16_t id) {
    const size_t d = l.rsrc + dir;
    const size_t count = Le16(b, d + 12) + Le16(b, d + 14);
    for (size_t i = 0; i < count; ++i) {
        const size_t e = d + 16 + 8 * i;
        if (Le32(b, e) == id) return e;
    }
    ADD_FAILURE() << "no resource entry " << id;
    return 0;
}

// The chain type entry -> name entry -> language entry -> data entry of the
// version resource (id 1) of a fixture.
struct VersionChain {
    size_t typeEntry, nameEntry, langEntry, dataEntry;
};
VersionChain ChainOf(const std::string& b, const Layout& l) {
    VersionChain c{};
    c.typeEntry = EntryWithId(b, l, 0, kRtVersion);
    c.nameEntry = EntryWithId(b, l, Le32(b, c.typeEntry + 4) & 0x7fffffff, 1);
    const size_t langDir = l.rsrc + (Le32(b, c.nameEntry + 4) & 0x7fffffff);
    c.langEntry = langDir + 16;
    c.dataEntry = l.rsrc + Le32(b, c.langEntry + 4);
    return c;
}

// Expects the version lookup of a damaged image to fail cleanly with an
// EPeFormat naming the image, whether the headers or the tree are at fault.
void ExpectVersionLookupRefused(std::string bytes, const std::string& what) {
    SCOPED_TRACE(what);
    try {
        PeImage image(std::move(bytes), "damaged.dll");
        (void)image.FindResource(ResId::Id(kRtVersion), ResId::Id(1));
        ADD_FAILURE() << "damaged image was accepted";
    } catch (const EPeFormat& e) {
        EXPECT_NE(std::string(e.what()).find("damaged.dll"), std::string::npos) << e.what();
    }
}

TEST(PeImage, ReadsHeadersOfBothFormats) {
    const PeImage image32(Fixture("version32.dll"), "version32.dll");
    EXPECT_FALSE(image32.Is64());
    EXPECT_EQ(image32.Machine(), 0x14c);
    const PeImage image64(Fixture("version64.dll"), "version64.dll");
    EXPECT_TRUE(image64.Is64());
    EXPECT_EQ(image64.Machine(), 0x8664);

    EXPECT_TRUE(LooksLikePe(Fixture("noversion32.dll")));
    EXPECT_FALSE(LooksLikePe("MZ"));
    EXPECT_FALSE(LooksLikePe(std::string(0x40, 'M')));
    EXPECT_FALSE(LooksLikePe(ReadWholeFile("/proc/self/exe")));
}

TEST(PeImage, FindsResourcesByNumericAndNamedIds) {
    for (const char* name : {"version32.dll", "version64.dll"}) {
        SCOPED_TRACE(name);
        const PeImage image = PeImage::Load(PeFixture(name));
        const auto first = image.FindResource(ResId::Id(kRtVersion), ResId::Id(1));
        ASSERT_TRUE(first);
        EXPECT_EQ(Le16(*first, 0), first->size());  // the block's own length
        const auto second = image.FindResource(ResId::Id(kRtVersion), ResId::Id(2));
        ASSERT_TRUE(second);
        EXPECT_NE(*first, *second);
        EXPECT_EQ(image.FindFirstResource(ResId::Id(kRtVersion)), first);
        EXPECT_FALSE(image.FindResource(ResId::Id(kRtVersion), ResId::Id(3)));
        EXPECT_EQ(image.FindResource(ResId::Id(10), ResId::Id(7)), std::string("seven\0", 6));
    }

    const PeImage plain = PeImage::Load(PeFixture("noversion32.dll"));
    EXPECT_FALSE(plain.FindFirstResource(ResId::Id(kRtVersion)));
    EXPECT_EQ(plain.FindResource(ResId::Name("tarnelData"), ResId::Name("codecinfo")),
              std::string("named-entry\0", 12));
    EXPECT_FALSE(plain.FindResource(ResId::Name("TARNELDATA"), ResId::Name("CODEC")));
    EXPECT_FALSE(plain.FindResource(ResId::Name("TARNELDATA"), ResId::Id(1)));
    EXPECT_FALSE(plain.FindResource(ResId::Id(10), ResId::Name("7")));
    // Two languages of one resource: the first in the tree (lowest id) answers.
    EXPECT_EQ(plain.FindResource(ResId::Id(10), ResId::Id(7)), std::string("german\0", 7));
    EXPECT_TRUE(plain.FindFirstResource(ResId::Id(6)));  // the string table
}

TEST(PeImage, RefusesDamagedHeaders) {
    const std::string good = Fixture("version32.dll");
    const Layout l = LayoutOf(good);

    std::string b = good;
    b[0] = 'X';
    ExpectVersionLookupRefused(b, "no MZ");
    b = good;
    Put32(b, 0x3c, 0xfffffff0u);
    ExpectVersionLookupRefused(b, "PE header offset overflowing");
    b = good;
    Put16(b, l.optional, 0x999);
    ExpectVersionLookupRefused(b, "unknown magic");
    b = good;
    Put16(b, l.peHeader + 6, 0xffff);
    ExpectVersionLookupRefused(b, "section count");
    b = good;
    Put16(b, l.peHeader + 20, 0xfff0);
    ExpectVersionLookupRefused(b, "optional header size");
    b = good;
    Put32(b, l.resourceDirEntry, 0x7fff0000u);
    ExpectVersionLookupRefused(b, "resource RVA in no section");
    b = good;
    for (size_t i = 0; i < Le16(good, l.peHeader + 6); ++i)  // every section's raw data pointer
        Put32(b, l.SectionTable(good) + 40 * i + 20, 0xfffff000u);
    ExpectVersionLookupRefused(b, "sections outside the file");
    b = good;
    // The resource section ends inside the version data.
    const uint32_t dataStart = Le32(good, ChainOf(good, l).dataEntry) - l.rsrcRva;
    for (size_t i = 0; i < Le16(good, l.peHeader + 6); ++i) {
        const size_t sh = l.SectionTable(good) + 40 * i;
        if (Le32(good, sh + 12) != l.rsrcRva) continue;
        Put32(b, sh + 8, dataStart + 4);
        Put32(b, sh + 16, dataStart + 4);
    }
    ExpectVersionLookupRefused(b, "resource section shorter than its contents");
}

TEST(PeImage, RefusesDamagedResourceTrees) {
    const std::string good = Fixture("version32.dll");
    const Layout l = LayoutOf(good);
    const VersionChain c = ChainOf(good, l);

    std::string b = good;
    Put32(b, c.typeEntry + 4, 0x80000000u);  // type directory is the root again
    ExpectVersionLookupRefused(b, "type entry loops to the root");
    b = good;
    Put32(b, c.nameEntry + 4, Le32(good, c.typeEntry + 4));  // name directory is its parent
    ExpectVersionLookupRefused(b, "name entry loops to its parent");
    b = good;
    Put32(b, c.langEntry + 4, 0x80000000u | Le32(good, c.nameEntry + 4));
    ExpectVersionLookupRefused(b, "language entry is a directory");
    b = good;
    Put32(b, c.typeEntry + 4, 0x80000000u | 0x7ffff000u);
    ExpectVersionLookupRefused(b, "subdirectory outside the tree");
    b = good;
    Put32(b, c.typeEntry + 4, 0x0);  // data where a directory belongs
    ExpectVersionLookupRefused(b, "data at type level");
    b = good;
    Put16(b, l.rsrc + 14, 0xffff);
    ExpectVersionLookupRefused(b, "root claims 65535 entries");
    b = good;
    Put32(b, c.dataEntry + 4, 0x7fffffffu);
    ExpectVersionLookupRefused(b, "gigantic data size");
    b = good;
    Put32(b, c.dataEntry + 4, static_cast<uint32_t>(good.size()));
    ExpectVersionLookupRefused(b, "data running past its section");
    b = good;
    Put32(b, c.dataEntry, 0x00f00000u);
    ExpectVersionLookupRefused(b, "data RVA in no section");

    // A name lookup has to read the names; one that points outside is refused.
    std::string named = Fixture("noversion32.dll");
    const Layout nl = LayoutOf(named);
    const size_t firstEntry = nl.rsrc + 16;
    ASSERT_TRUE(Le32(named, firstEntry) & 0x80000000u) << "named type comes first";
    Put32(named, firstEntry, 0x80000000u | 0x7ffffff0u);
    EXPECT_THROW(PeImage(named, "n.dll").FindResource(ResId::Name("TARNELDATA"), ResId::Name("CODECINFO")),
                 EPeFormat);
}

TEST(PeImage, TruncatedImagesNeverReadOutside) {
    const std::string good = Fixture("version32.dll");
    const Layout l = LayoutOf(good);
    const VersionChain c = ChainOf(good, l);
    const size_t dataEnd = LayoutOf(good).rsrc + (Le32(good, c.dataEntry) - l.rsrcRva) + Le32(good, c.dataEntry + 4);

    for (size_t len = 0; len < good.size(); len += 61) {
        SCOPED_TRACE(len);
        const std::string cut = good.substr(0, len);
        bool complete = false;
        try {
            PeImage image(cut, "cut.dll");
            complete = image.FindResource(ResId::Id(kRtVersion), ResId::Id(1)).has_value();
        } catch (const EPeFormat& e) {
            EXPECT_NE(std::string(e.what()).find("cut.dll"), std::string::npos);
        }
        // Without its whole resource data no version block can come out.
        if (len < dataEnd) {
            EXPECT_FALSE(complete);
        }
    }

    TempDir dir;
    const auto file = dir.Path() / "Short Driver.dll";
    WriteBytes(file, good.substr(0, dataEnd - 1));
    try {
        PeImage::Load(file).FindResource(ResId::Id(kRtVersion), ResId::Id(1));
        ADD_FAILURE() << "truncated file accepted";
    } catch (const EPeFormat& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
    EXPECT_FALSE(ReadVersionBlock(file));
}

TEST(PeImage, RandomDamageOnlyEverRaisesFormatErrors) {
    const std::string good = Fixture("version32.dll");
    const Layout l = LayoutOf(good);
    std::mt19937 rng(test::TestSeed(20260));
    // Aim at the headers and the resource tree, where offsets live.
    std::uniform_int_distribution<size_t> header(0, l.SectionTable(good) + 40 * 6);
    std::uniform_int_distribution<size_t> tree(l.rsrc, l.rsrc + 0x80);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 3000; ++round) {
        std::string b = good;
        for (int k = 0; k < 3; ++k) b[(k == 0 ? header(rng) : tree(rng))] = static_cast<char>(byte(rng));
        try {
            PeImage image(b, "fuzz.dll");
            (void)image.FindResource(ResId::Id(kRtVersion), ResId::Id(1));
            (void)image.FindResource(ResId::Name("X"), ResId::Name("Y"));
            (void)image.FindFirstResource(ResId::Id(10));
        } catch (const EPeFormat&) {
        }
    }
}

TEST(PeImage, OverstatedResourceDirectorySizeIsReadWithinItsSection) {
    TempDir dir;
    for (const char* name : {"version32.dll", "version64.dll", "noversion32.dll"}) {
        SCOPED_TRACE(name);
        const std::string good = Fixture(name);
        const Layout l = LayoutOf(good);
        for (uint32_t claimed : {static_cast<uint32_t>(good.size()) + 0x1000u, 0x7fffffffu, 0xfffffff0u}) {
            std::string b = good;
            Put32(b, l.resourceDirEntry + 4, claimed);
            const auto file = dir.Path() / name;
            WriteBytes(file, b);
            const PeImage image = PeImage::Load(file);
            EXPECT_EQ(image.FindResource(ResId::Id(kRtVersion), ResId::Id(1)),
                      PeImage(good, name).FindResource(ResId::Id(kRtVersion), ResId::Id(1)));
            EXPECT_EQ(image.FindResource(ResId::Name("TARNELDATA"), ResId::Name("CODECINFO")),
                      PeImage(good, name).FindResource(ResId::Name("TARNELDATA"), ResId::Name("CODECINFO")));
            EXPECT_EQ(ReadVersionBlock(file), ReadVersionBlock(PeFixture(name)));
        }
    }
    // The tree itself still may not run past its section's file data.
    std::string b = Fixture("version32.dll");
    const Layout l = LayoutOf(b);
    Put32(b, l.resourceDirEntry + 4, 0x7fffffffu);
    Put16(b, l.rsrc + 14, 0x4000);
    ExpectVersionLookupRefused(b, "root entries beyond the section");
}

TEST(PeImage, ManySectionsAreNoReasonToRefuse) {
    // Move the section table to the end of the file and give it 200 sections:
    // the originals followed by empty ones.
    std::string b = Fixture("version32.dll");
    const Layout l = LayoutOf(b);
    const size_t count = Le16(b, l.peHeader + 6);
    const std::string table = b.substr(l.SectionTable(b), 40 * count);
    while (b.size() % 8) b.push_back('\0');
    const size_t optSize = b.size() - l.optional;
    ASSERT_LT(optSize, 0x10000u);
    b += table + std::string(40 * (200 - count), '\0');
    Put16(b, l.peHeader + 20, static_cast<uint16_t>(optSize));
    Put16(b, l.peHeader + 6, 200);
    const PeImage image(b, "many.dll");
    EXPECT_EQ(image.FindResource(ResId::Id(kRtVersion), ResId::Id(1)), ReadVersionBlock(PeFixture("version32.dll")));
}

TEST(PeImage, HugeFilesCostOnlyThePiecesRead) {
    TempDir dir;
    const auto file = dir.Path() / "huge.dll";
    for (const char* name : {"version32.dll", "noversion32.dll"}) {
        SCOPED_TRACE(name);
        WriteBytes(file, Fixture(name));
        // Sparse: 4 GiB and more on paper, nothing on disk.
        ASSERT_EQ(truncate(file.c_str(), (4ll << 30) + 4096), 0);
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        const PeImage image = PeImage::Load(file);
        EXPECT_EQ(image.FindResource(ResId::Id(kRtVersion), ResId::Id(1)),
                  PeImage(Fixture(name), name).FindResource(ResId::Id(kRtVersion), ResId::Id(1)));
        EXPECT_EQ(image.FindResource(ResId::Name("TARNELDATA"), ResId::Name("CODECINFO")),
                  PeImage(Fixture(name), name).FindResource(ResId::Name("TARNELDATA"), ResId::Name("CODECINFO")));
        EXPECT_EQ(ReadVersionBlock(file), ReadVersionBlock(PeFixture(name)));
        getrusage(RUSAGE_SELF, &after);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "KiB of memory taken";
    }
}

TEST(ReadVersionBlock, TellsWhyThereIsNoBlock) {
    TempDir dir;
    EXPECT_EQ(ReadVersionBlockOf(PeFixture("version32.dll")).error, kErrorSuccess);
    EXPECT_EQ(ReadVersionBlockOf(PeFixture("noversion32.dll")).error, kErrorResourceTypeNotFound);
    EXPECT_EQ(ReadVersionBlockOf(dir.Path() / "missing.dll").error, kErrorFileNotFound);
    EXPECT_EQ(ReadVersionBlockOf(dir.Path()).error, kErrorAccessDenied);
    WriteBytes(dir.Path() / "text.dll", "just some text, no image");
    EXPECT_EQ(ReadVersionBlockOf(dir.Path() / "text.dll").error, kErrorResourceDataNotFound);

    // No resource directory at all.
    std::string b = Fixture("version32.dll");
    Layout l = LayoutOf(b);
    Put32(b, l.resourceDirEntry, 0);
    Put32(b, l.resourceDirEntry + 4, 0);
    WriteBytes(dir.Path() / "nores.dll", b);
    EXPECT_EQ(ReadVersionBlockOf(dir.Path() / "nores.dll").error, kErrorResourceDataNotFound);
    // A version resource, but not with id 1.
    b = Fixture("version32.dll");
    Put32(b, ChainOf(b, l).nameEntry, 9);
    WriteBytes(dir.Path() / "noname.dll", b);
    EXPECT_EQ(ReadVersionBlockOf(dir.Path() / "noname.dll").error, kErrorResourceNameNotFound);
    // Neither a FIFO nor a device is opened for long.
    ASSERT_EQ(mkfifo((dir.Path() / "fifo.dll").c_str(), 0644), 0);
    EXPECT_EQ(ReadVersionBlockOf(dir.Path() / "fifo.dll").error, kErrorAccessDenied);
    EXPECT_FALSE(ReadVersionBlock("/dev/zero"));
}

// A minimal little-endian ELF file with the sections "", ".tarnel_version"
// and ".shstrtab"; the knobs damage it on purpose.
struct ElfSpec {
    bool is64 = true;
    std::string payload;
    uint32_t versionType = 1;  // SHT_PROGBITS
    std::optional<uint64_t> versionOffset;
    std::optional<uint64_t> versionSize;
    std::optional<uint16_t> shstrndx;
    char endian = 1;
    std::string sectionName = ".tarnel_version";
};

std::string MakeElf(const ElfSpec& s) {
    const size_t ehsize = s.is64 ? 64 : 52, shentsize = s.is64 ? 64 : 40;
    const std::string names = std::string("\0", 1) + s.sectionName + '\0' + ".shstrtab" + '\0';
    std::string b(ehsize, '\0');
    const size_t payloadAt = b.size();
    b += s.payload;
    const size_t namesAt = b.size();
    b += names;
    while (b.size() % 8) b.push_back('\0');
    const size_t shoff = b.size();
    b.append(3 * shentsize, '\0');

    auto put = [&](size_t off, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b[off + i] = static_cast<char>(v >> (8 * i));
    };
    std::memcpy(b.data(), "\x7f" "ELF", 4);
    b[4] = s.is64 ? 2 : 1;
    b[5] = s.endian;
    b[6] = 1;
    put(16, 1, 2);  // relocatable
    put(18, s.is64 ? 62 : 3, 2);
    put(20, 1, 4);
    const uint16_t strndx = s.shstrndx.value_or(2);
    if (s.is64) {
        put(40, shoff, 8);
        put(52, ehsize, 2);
        put(58, shentsize, 2);
        put(60, 3, 2);
        put(62, strndx, 2);
    } else {
        put(32, shoff, 4);
        put(40, ehsize, 2);
        put(46, shentsize, 2);
        put(48, 3, 2);
        put(50, strndx, 2);
    }
    auto section = [&](int i, uint32_t name, uint32_t type, uint64_t off, uint64_t size) {
        const size_t h = shoff + i * shentsize;
        put(h, name, 4);
        put(h + 4, type, 4);
        put(h + (s.is64 ? 24 : 16), off, s.is64 ? 8 : 4);
        put(h + (s.is64 ? 32 : 20), size, s.is64 ? 8 : 4);
    };
    section(1, 1, s.versionType, s.versionOffset.value_or(payloadAt), s.versionSize.value_or(s.payload.size()));
    section(2, static_cast<uint32_t>(2 + s.sectionName.size()), 3, namesAt, names.size());
    return b;
}

TEST(ReadVersionBlock, TakesTheVersionResourceOfImages) {
    const auto block = ReadVersionBlock(PeFixture("version32.dll"));
    ASSERT_TRUE(block);
    EXPECT_EQ(block, PeImage::Load(PeFixture("version32.dll")).FindResource(ResId::Id(kRtVersion), ResId::Id(1)));
    EXPECT_EQ(ReadVersionBlock(PeFixture("version64.dll")), block);  // same script, same block
    EXPECT_FALSE(ReadVersionBlock(PeFixture("noversion32.dll")));

    TempDir dir;
    EXPECT_FALSE(ReadVersionBlock(dir.Path() / "missing.dll"));
    EXPECT_FALSE(ReadVersionBlock(dir.Path()));  // a folder
    WriteBytes(dir.Path() / "empty.dll", "");
    EXPECT_FALSE(ReadVersionBlock(dir.Path() / "empty.dll"));
    WriteBytes(dir.Path() / "text.dll", "MZ but then only text, no PE header at all......................");
    EXPECT_FALSE(ReadVersionBlock(dir.Path() / "text.dll"));
    std::string loop = Fixture("version32.dll");
    Put32(loop, ChainOf(loop, LayoutOf(loop)).typeEntry + 4, 0x80000000u);
    WriteBytes(dir.Path() / "loop.dll", loop);
    EXPECT_FALSE(ReadVersionBlock(dir.Path() / "loop.dll"));
}

TEST(ReadVersionBlock, TakesTheSectionOfElfFiles) {
    TempDir dir;
    const auto file = dir.Path() / "prog";
    // The section may carry linker padding after the block's own length.
    const std::string block = *ReadVersionBlock(PeFixture("version32.dll"));
    for (bool is64 : {true, false}) {
        SCOPED_TRACE(is64);
        ElfSpec s;
        s.is64 = is64;
        s.payload = block + std::string(8, '\0');
        WriteBytes(file, MakeElf(s));
        EXPECT_EQ(ReadVersionBlock(file), block);
    }

    const std::pair<const char*, std::function<void(ElfSpec&)>> damage[] = {
        {"other section name", [](ElfSpec& s) { s.sectionName = ".tarnel_versio"; }},
        {"section without file data", [](ElfSpec& s) { s.versionType = 8; }},
        {"section offset outside", [](ElfSpec& s) { s.versionOffset = 0xffffffffffff0000ull; }},
        {"gigantic section size", [](ElfSpec& s) { s.versionSize = 0x7fffffffffffull; }},
        {"string table index out of range", [](ElfSpec& s) { s.shstrndx = 7; }},
        {"big-endian file", [](ElfSpec& s) { s.endian = 2; }},
    };
    for (const auto& [what, apply] : damage) {
        SCOPED_TRACE(what);
        ElfSpec s;
        s.payload = block;
        apply(s);
        WriteBytes(file, MakeElf(s));
        EXPECT_FALSE(ReadVersionBlock(file));
    }

    ElfSpec good;
    good.payload = block;
    const std::string whole = MakeElf(good);
    // The section headers come last, so every cut loses them.
    for (size_t len = 0; len < whole.size(); len += 37) {
        WriteBytes(file, whole.substr(0, len));
        EXPECT_FALSE(ReadVersionBlock(file)) << len;
    }
}

}  // namespace
}  // namespace tarnel::platform
