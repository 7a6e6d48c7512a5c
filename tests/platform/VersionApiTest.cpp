#include "platform/api/VersionApi.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "platform/api/VersionBlock.h"
#include "platform/api/WinError.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/PeImage.h"
#include "support/TempMachine.h"
#include "support/VersionFixtures.h"
#include "support/Seed.h"

namespace tarnel::platform {
namespace {

using test::PeFixture;
using test::ScriptFields;
using test::TempMachine;

uint16_t Le16(const void* p, size_t off) {
    const auto* b = static_cast<const uint8_t*>(p) + off;
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}
uint32_t Le32(const void* p, size_t off) { return Le16(p, off) | uint32_t(Le16(p, off + 2)) << 16; }

// A machine whose system32 holds the fixture images under their own names.
class VersionApi : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"version32.dll", "version64.dll", "noversion32.dll", "secondtable32.dll",
                                 "varfirst32.dll", "badtranslation32.dll"})
            machine.WriteFile(std::string("drive_c/windows/system32/") + name, ReadWholeFile(PeFixture(name)));
    }

    // The block as the program's reader obtains it: size, zero-filled buffer, read.
    static std::vector<uint8_t> Load(const std::string& file) {
        uint32_t handle = 99;
        const uint32_t size = GetFileVersionInfoSizeA(file, &handle);
        EXPECT_EQ(handle, 0u);
        std::vector<uint8_t> block(size);
        if (size) {
            EXPECT_TRUE(GetFileVersionInfoA(file, handle, size, block.data()));
        }
        return block;
    }

    static std::optional<std::string> Text(std::vector<uint8_t>& block, const std::string& path) {
        void* p = nullptr;
        uint32_t len = 77;
        if (!VerQueryValueA(block.data(), path, &p, &len)) {
            EXPECT_EQ(len, 0u);
            return std::nullopt;
        }
        const auto* c = static_cast<const char*>(p);
        EXPECT_GE(c, reinterpret_cast<const char*>(block.data()));
        EXPECT_LE(c + len, reinterpret_cast<const char*>(block.data() + block.size()));
        return std::string(c, strnlen(c, len));
    }

    // The table key at offsets 134..148, the way the NT-family reader takes it.
    static std::string KeyAt134(const std::vector<uint8_t>& block) {
        std::string key;
        for (size_t off = 134; off <= 148; off += 2) key += static_cast<char>(block.at(off));
        return key;
    }

    TempMachine machine;
};

TEST_F(VersionApi, BuildsBlocksExactlyAsTheResourceCompiler) {
    const struct {
        const char* image;
        const char* script;
    } cases[] = {{"version32.dll", "version.rc"},
                 {"version64.dll", "version.rc"},
                 {"secondtable32.dll", "secondtable.rc"},
                 {"badtranslation32.dll", "badtranslation.rc"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        const auto compiled = ReadVersionBlock(PeFixture(c.image));
        ASSERT_TRUE(compiled);
        const std::string built = BuildVersionResource(ScriptFields(c.script));
        ASSERT_EQ(built.size(), compiled->size());
        for (size_t i = 0; i < built.size(); ++i)
            ASSERT_EQ(static_cast<uint8_t>(built[i]), static_cast<uint8_t>((*compiled)[i])) << "offset " << i;
    }

    VersionResourceSpec huge = ScriptFields("version.rc");
    huge.tables[0].strings.push_back({"Comments", std::string(40000, 'x')});
    EXPECT_THROW(BuildVersionResource(huge), std::length_error);
}

TEST_F(VersionApi, FindsFilesTheWayTheLoaderDoes) {
    const std::string raw = *ReadVersionBlock(PeFixture("version32.dll"));
    EXPECT_EQ(GetFileVersionInfoSizeA("version32.dll", nullptr), raw.size() * 2 + 4);
    EXPECT_EQ(GetFileVersionInfoSizeA("VERSION32.DLL", nullptr), raw.size() * 2 + 4);
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\Windows\\SYSTEM32\\Version32.dll", nullptr), raw.size() * 2 + 4);
    EXPECT_EQ(GetFileVersionInfoSizeA("/Windows/System32/version32.dll", nullptr), raw.size() * 2 + 4);
    EXPECT_EQ(GetFileVersionInfoSizeA("\\WINDOWS\\system32\\version32.dll", nullptr), raw.size() * 2 + 4);
    // A host path names a file of the machine only inside the machine's folder.
    EXPECT_EQ(GetFileVersionInfoSizeA((machine.System32() / "version32.dll").string(), nullptr), raw.size() * 2 + 4);
    test::TempDir outside;
    const auto host = outside.Path() / "version32.dll";
    std::filesystem::copy_file(PeFixture("version32.dll"), host);
    EXPECT_EQ(GetFileVersionInfoSizeA(host.string(), nullptr), 0u);
    AdmitHostFile(host);
    EXPECT_EQ(GetFileVersionInfoSizeA(host.string(), nullptr), raw.size() * 2 + 4);

    uint32_t handle = 5;
    EXPECT_EQ(GetFileVersionInfoSizeA("missing.dll", &handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA(".", nullptr), 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA("\\System32\\version32.dll", nullptr), 0u);  // C:\System32 is no folder
    EXPECT_EQ(GetFileVersionInfoSizeA("noversion32.dll", nullptr), 0u);
    std::vector<uint8_t> buffer(64);
    EXPECT_FALSE(GetFileVersionInfoA("missing.dll", 0, 64, buffer.data()));
    EXPECT_FALSE(GetFileVersionInfoA("noversion32.dll", 0, 64, buffer.data()));
}

TEST_F(VersionApi, CopiesTheRawBlockAndMarksTheSpareRoom) {
    const std::string raw = *ReadVersionBlock(PeFixture("version32.dll"));
    const uint32_t size = GetFileVersionInfoSizeA("version32.dll", nullptr);
    std::vector<uint8_t> block(size + 16, 0xcc);
    EXPECT_FALSE(GetFileVersionInfoA("version32.dll", 0, static_cast<uint32_t>(raw.size() - 1), block.data()));
    ASSERT_TRUE(GetFileVersionInfoA("version32.dll", 0, size, block.data()));
    EXPECT_EQ(std::memcmp(block.data(), raw.data(), raw.size()), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data()) + Le16(block.data(), 0), 4), "FE2X");
    for (size_t i = size; i < block.size(); ++i) ASSERT_EQ(block[i], 0xcc) << "written past the size at " << i;
}

TEST_F(VersionApi, AnswersFixedInfoTranslationAndStrings) {
    auto block = Load("version32.dll");
    void* p = nullptr;
    uint32_t len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &p, &len));
    ASSERT_EQ(len, 52u);
    EXPECT_EQ(Le32(p, 0), 0xFEEF04BDu);
    EXPECT_EQ(Le32(p, 8), (2u << 16) | 7u);
    EXPECT_EQ(Le32(p, 12), 113u);

    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &p, &len));
    ASSERT_EQ(len, 4u);
    EXPECT_EQ(Le16(p, 0), 0x409);
    EXPECT_EQ(Le16(p, 2), 1252);

    // The ANSI copy sits behind the raw block and its marker, at the offset
    // of the UTF-16 original.
    const std::u16string wide = u"Brennic Labs";
    const std::string raw(reinterpret_cast<const char*>(block.data()), Le16(block.data(), 0));
    const size_t original = raw.find(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
    ASSERT_NE(original, std::string::npos);
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\CompanyName", &p, &len));
    EXPECT_EQ(static_cast<uint8_t*>(p), block.data() + raw.size() + 4 + original);
    EXPECT_EQ(len, wide.size() + 1);
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\CompanyName"), "Brennic Labs");
    EXPECT_EQ(Text(block, "\\stringfileinfo\\040904e4\\COMPANYNAME"), "Brennic Labs");
    EXPECT_EQ(Text(block, "StringFileInfo\\\\040904E4\\CompanyName\\"), "Brennic Labs");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\LegalCopyright"), "\xA9 2026 Brennic Labs");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\LegalTradeMarks"), "Wavelet\xAE");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\Comments"), "");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\Company"), std::nullopt);
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\CompanyNameX"), std::nullopt);
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904B0\\CompanyName"), std::nullopt);
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\CompanyName\\More"), std::nullopt);
}

TEST_F(VersionApi, AnsiCopiesLeaveTheBlockAndEachOtherIntact) {
    auto block = Load("version64.dll");
    const std::vector<uint8_t> before(block.begin(), block.begin() + Le16(block.data(), 0));
    const char* names[] = {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                           "LegalTradeMarks", "OriginalFilename", "ProductName", "ProductVersion", "Comments"};
    std::vector<const char*> results;
    for (const char* name : names) {
        void* p = nullptr;
        uint32_t len = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), std::string("\\StringFileInfo\\040904E4\\") + name, &p, &len))
            << name;
        results.push_back(static_cast<const char*>(p));
    }
    // Every copy is still whole after all the others were made.
    const auto layout = ScriptFields("version.rc");
    for (size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(results[i], layout.tables[0].strings[i].second) << names[i];
    EXPECT_TRUE(std::equal(before.begin(), before.end(), block.begin()));
    // Asking again gives the same place and text.
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\CompanyName"), "Brennic Labs");
}

TEST_F(VersionApi, ReadsOtherLayoutsByTheirOwnStructure) {
    // Offsets 134..148 hold the first table's key only in the usual layout.
    auto usual = Load("version32.dll");
    EXPECT_EQ(KeyAt134(usual), "040904E4");
    auto varFirst = Load("varfirst32.dll");
    EXPECT_NE(KeyAt134(varFirst), "040904E4");
    EXPECT_EQ(Text(varFirst, "\\StringFileInfo\\040904E4\\CompanyName"), "Ostrander Media");

    auto second = Load("secondtable32.dll");
    EXPECT_EQ(KeyAt134(second), "040704B0");
    EXPECT_EQ(Text(second, "\\StringFileInfo\\040704B0\\CompanyName"), std::nullopt);
    EXPECT_EQ(Text(second, "\\StringFileInfo\\040904E4\\CompanyName"), "Quellmark");

    auto badTranslation = Load("badtranslation32.dll");
    void* p = nullptr;
    uint32_t len = 0;
    ASSERT_TRUE(VerQueryValueA(badTranslation.data(), "\\VarFileInfo\\Translation", &p, &len));
    ASSERT_EQ(len, 8u);
    EXPECT_EQ(Le16(p, 0), 0x407);
    EXPECT_EQ(Le16(p, 2), 0x4B0);
    EXPECT_EQ(Text(badTranslation, "\\StringFileInfo\\040704B0\\CompanyName"), std::nullopt);
    EXPECT_EQ(Text(badTranslation, "\\StringFileInfo\\040904E4\\CompanyName"), "Feldwick");
}

TEST_F(VersionApi, ReadsTheProgramsOwnVersion) {
    AdmitHostFile("/proc/self/exe");
    auto block = Load("/proc/self/exe");
    ASSERT_FALSE(block.empty()) << "the test program carries no version section";
    EXPECT_EQ(KeyAt134(block), "040904E4");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\CompanyName"), "Halvorin");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\ProductName"), "Tarnel");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\OriginalFilename"), "Tarnel.exe");
    void* p = nullptr;
    uint32_t len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &p, &len));
    const uint32_t ms = Le32(p, 8), ls = Le32(p, 12);
    const std::string dotted = std::to_string(ms >> 16) + "." + std::to_string(ms & 0xffff) + "." +
                               std::to_string(ls >> 16) + "." + std::to_string(ls & 0xffff);
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\FileVersion"), dotted);
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\ProductVersion"), dotted);
}

TEST_F(VersionApi, LastErrorTellsWhyThereIsNoVersion) {
    auto sizeError = [](const std::string& file) {
        SetLastError(0xdeadbeef);
        uint32_t handle = 7;
        EXPECT_EQ(GetFileVersionInfoSizeA(file, &handle), 0u) << file;
        EXPECT_EQ(handle, 0u);
        return GetLastError();
    };
    machine.WriteFile("drive_c/windows/system32/text.dll", "no image here");
    std::string noResources = ReadWholeFile(PeFixture("version32.dll"));
    const size_t pe = Le32(noResources.data(), 0x3c);
    std::memset(noResources.data() + pe + 24 + 96 + 16, 0, 8);  // the resource directory entry
    machine.WriteFile("drive_c/windows/system32/nores.dll", noResources);
    std::filesystem::create_symlink("loop.dll", machine.System32() / "loop.dll");

    EXPECT_EQ(sizeError("noversion32.dll"), kErrorResourceDataNotFound) << "resources, none of them a version";
    EXPECT_EQ(sizeError("nores.dll"), kErrorResourceDataNotFound) << "no resources at all";
    EXPECT_EQ(sizeError("text.dll"), kErrorResourceDataNotFound);
    EXPECT_EQ(sizeError("missing.dll"), kErrorFileNotFound);
    EXPECT_EQ(sizeError("C:\\nofolder\\version32.dll"), kErrorPathNotFound);
    EXPECT_EQ(sizeError("C:\\windows\\system32"), kErrorAccessDenied);
    EXPECT_EQ(sizeError("loop.dll"), kErrorCantResolveFilename);
    EXPECT_EQ(sizeError(""), kErrorBadPathname);

    SetLastError(0xdeadbeef);
    EXPECT_GT(GetFileVersionInfoSizeA("version32.dll", nullptr), 0u);
    EXPECT_EQ(GetLastError(), kErrorSuccess);
    std::vector<uint8_t> buffer(64);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetFileVersionInfoA("noversion32.dll", 0, 64, buffer.data()));
    EXPECT_EQ(GetLastError(), kErrorResourceDataNotFound);
    EXPECT_FALSE(GetFileVersionInfoA("version32.dll", 0, 64, buffer.data()));
    EXPECT_EQ(GetLastError(), kErrorInsufficientBuffer);
}

// A buffer whose last byte is followed by a page nothing may touch.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size) : size_(size) {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        span_ = ((size + page_ - 1) / page_ + 1) * page_;
        base_ = static_cast<uint8_t*>(mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(base_ + span_ - page_, page_, PROT_NONE);
    }
    ~GuardedBuffer() { munmap(base_, span_); }
    uint8_t* data() const { return base_ + span_ - page_ - size_; }
    uint32_t size() const { return static_cast<uint32_t>(size_); }

private:
    size_t size_, page_ = 0, span_ = 0;
    uint8_t* base_ = nullptr;
};

TEST_F(VersionApi, QueriesStayInsideABufferJustLargeEnoughForTheBlock) {
    const std::string raw = *ReadVersionBlock(PeFixture("version32.dll"));
    ASSERT_EQ(Le16(raw.data(), 0), raw.size()) << "the block ends where the resource ends";
    const char* names[] = {"CompanyName", "FileDescription", "LegalCopyright", "Comments"};
    for (size_t extra : {size_t(0), size_t(2), size_t(4), size_t(40), raw.size() + 4}) {
        SCOPED_TRACE(extra);
        GuardedBuffer buf(raw.size() + extra);  // any read or write past it faults
        ASSERT_TRUE(GetFileVersionInfoA("version32.dll", 0, buf.size(), buf.data()));
        EXPECT_EQ(std::memcmp(buf.data(), raw.data(), raw.size()), 0);
        void* p = nullptr;
        uint32_t len = 0;
        ASSERT_TRUE(VerQueryValueA(buf.data(), "\\", &p, &len));
        EXPECT_EQ(len, 52u);
        for (const char* name : names) {
            ASSERT_TRUE(VerQueryValueA(buf.data(), std::string("\\StringFileInfo\\040904E4\\") + name, &p, &len))
                << name;
            const auto* c = static_cast<const uint8_t*>(p);
            ASSERT_GE(c, buf.data());
            const bool ansi = c >= buf.data() + raw.size();
            ASSERT_LE(c + len * (ansi ? 1 : 2), buf.data() + buf.size()) << name;
            // With the whole room the text is an ANSI copy; without it, as stored.
            if (extra == raw.size() + 4) {
                EXPECT_TRUE(ansi) << name;
            }
            if (extra < 4) {
                EXPECT_FALSE(ansi) << name;
            }
        }
        EXPECT_EQ(std::memcmp(buf.data(), raw.data(), raw.size()), 0) << "the block itself is never changed";
    }
}

TEST_F(VersionApi, TheFirstStringTableIsFoundWhateverTheLayout) {
    struct Case {
        const char* file;
        const char* key;
    } cases[] = {{"version32.dll", "040904E4"}, {"version64.dll", "040904E4"}, {"varfirst32.dll", "040904E4"},
                 {"secondtable32.dll", "040704B0"}, {"badtranslation32.dll", "040904E4"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto block = Load(c.file);
        EXPECT_EQ(FirstStringTableKey(block.data(), block.size()), c.key);
        // Where the usual layout puts it, the fixed offsets agree.
        if (std::string(c.file) != "varfirst32.dll") {
            EXPECT_EQ(KeyAt134(block), c.key);
        }
    }
    // Blocks built for other keys and shapes, and damaged ones.
    auto layout = ScriptFields("version.rc");
    layout.tables[0].key = "041104B0";
    std::string built = BuildVersionResource(layout);
    EXPECT_EQ(FirstStringTableKey(built.data(), built.size()), "041104B0");
    EXPECT_EQ(FirstStringTableKey(built.data(), 100), "") << "cut before the table";
    layout.tables.clear();
    built = BuildVersionResource(layout);
    EXPECT_EQ(FirstStringTableKey(built.data(), built.size()), "") << "no string table";
    EXPECT_EQ(FirstStringTableKey(nullptr, 0), "");
    std::mt19937 rng(test::TestSeed(99));
    const std::string usual = BuildVersionResource(ScriptFields("version.rc"));
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = usual;
        for (int k = 0; k < 3; ++k) damaged[rng() % damaged.size()] = static_cast<char>(rng());
        // Copied to a buffer of exactly its size, so a stray read shows under a checker.
        std::vector<char> exact(damaged.begin(), damaged.end());
        const std::string key = FirstStringTableKey(exact.data(), exact.size());
        EXPECT_LE(key.size(), exact.size());
    }
}

// A built block in a buffer laid out as GetFileVersionInfoA leaves it.
std::vector<uint8_t> InBuffer(const std::string& raw, size_t canary = 32) {
    std::vector<uint8_t> b(raw.size() * 2 + 4 + canary, 0);
    std::memcpy(b.data(), raw.data(), raw.size());
    std::memcpy(b.data() + Le16(raw.data(), 0), "FE2X", 4);
    std::fill(b.end() - canary, b.end(), 0xcc);
    return b;
}

TEST(VerQueryValueA, RefusesDamagedBlocks) {
    test::TempMachine machine;  // the calls go to the machine in use
    const std::string raw = BuildVersionResource(ScriptFields("version.rc"));
    const std::string path = "\\StringFileInfo\\040904E4\\CompanyName";
    void* p = nullptr;
    uint32_t len = 0;
    auto query = [&](std::vector<uint8_t>& b, const std::string& q) {
        return VerQueryValueA(b.data(), static_cast<uint32_t>(b.size() - 32), q, &p, &len);
    };
    auto put16 = [](std::vector<uint8_t>& b, size_t off, uint16_t v) {
        b[off] = static_cast<uint8_t>(v);
        b[off + 1] = static_cast<uint8_t>(v >> 8);
    };
    const size_t sfi = 92, table = 128, company = 152;  // the usual layout, as checked above
    auto b = InBuffer(raw);
    ASSERT_TRUE(query(b, path));
    b = InBuffer(raw);
    put16(b, table, 0xff00);  // child longer than its parent
    EXPECT_FALSE(query(b, path));
    b = InBuffer(raw);
    put16(b, company, 0);  // zero-length child
    EXPECT_FALSE(query(b, path));
    b = InBuffer(raw);
    put16(b, sfi, 8);  // too short to hold its own key
    EXPECT_FALSE(query(b, path));
    b = InBuffer(raw);
    put16(b, company + 2, 0x7fff);  // string value claims far more than the node
    ASSERT_TRUE(query(b, path));
    EXPECT_EQ(std::string(static_cast<const char*>(p)), "Brennic Labs");
    b = InBuffer(raw);
    put16(b, 2, 0x7fff);  // fixed info running past the block
    EXPECT_FALSE(query(b, "\\"));
    b = InBuffer(raw);
    put16(b, 0, 4);
    EXPECT_FALSE(query(b, "\\"));
    b = InBuffer(raw);
    b[4] = 'V';  // the 16-bit layout
    EXPECT_FALSE(query(b, "\\"));
    b = InBuffer(raw);
    std::memcpy(b.data() + raw.size(), "XXXX", 4);  // no spare room for ANSI copies: the text as stored
    ASSERT_TRUE(query(b, path));
    EXPECT_EQ(static_cast<uint8_t*>(p), b.data() + company + 32);  // after "CompanyName\0", aligned
    EXPECT_EQ(len, 13u);
    EXPECT_EQ(Le16(p, 0), u'B');
    EXPECT_TRUE(query(b, "\\VarFileInfo\\Translation"));
    EXPECT_FALSE(VerQueryValueA(nullptr, path, &p, &len));
}

TEST(VerQueryValueA, RandomDamageStaysInsideTheBuffer) {
    test::TempMachine machine;  // the calls go to the machine in use
    const std::string raw = BuildVersionResource(ScriptFields("version.rc"));
    const char* paths[] = {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\Comments",
                           "\\StringFileInfo\\040904E4\\ProductVersion"};
    std::mt19937 rng(test::TestSeed(4711));
    // The root length is the one trusted figure; everything after it may be wrong.
    std::uniform_int_distribution<size_t> where(2, raw.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 5000; ++round) {
        std::string damaged = raw;
        for (int k = 0; k < 4; ++k) damaged[where(rng)] = static_cast<char>(byte(rng));
        auto b = InBuffer(damaged);
        const uint32_t size = static_cast<uint32_t>(b.size() - 32);
        for (const char* q : paths) {
            void* p = nullptr;
            uint32_t len = 0;
            if (VerQueryValueA(b.data(), size, q, &p, &len)) {
                const auto* c = static_cast<uint8_t*>(p);
                ASSERT_GE(c, b.data());
                ASSERT_LE(c + len, b.data() + size);
            }
            if (VerQueryValueA(b.data(), q, &p, &len)) {
                const auto* c = static_cast<uint8_t*>(p);
                ASSERT_GE(c, b.data());
                ASSERT_LE(c + len, b.data() + size);
            }
        }
        for (size_t i = b.size() - 32; i < b.size(); ++i) ASSERT_EQ(b[i], 0xcc) << "round " << round;
    }
}

}  // namespace
}  // namespace tarnel::platform
