#include "platform/api/VersionApi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "platform/machine/AtomicFile.h"
#include "platform/machine/PeImage.h"
#include "support/TempMachine.h"

namespace tarnel::platform {
namespace {

using test::PeFixture;
using test::TempMachine;

uint16_t Le16(const void* p, size_t off) {
    const auto* b = static_cast<const uint8_t*>(p) + off;
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}
uint32_t Le32(const void* p, size_t off) { return Le16(p, off) | uint32_t(Le16(p, off + 2)) << 16; }

// The same fields as tests/data/pe/*.rc, for comparing with what windres made.
VersionResourceSpec Spec(const std::string& script) {
    VersionResourceSpec s;
    if (script == "version.rc") {
        const uint16_t fv[4] = {2, 7, 0, 113}, pv[4] = {2, 7, 0, 0};
        std::copy(fv, fv + 4, s.fileVersion);
        std::copy(pv, pv + 4, s.productVersion);
        s.tables = {{"040904E4",
                     {{"CompanyName", "Brennic Labs"},
                      {"FileDescription", "Brennic Wavelet Codec"},
                      {"FileVersion", "2.7.0.113"},
                      {"InternalName", "bwlt"},
                      {"LegalCopyright", "\xA9 2026 Brennic Labs"},
                      {"LegalTradeMarks", "Wavelet\xAE"},
                      {"OriginalFilename", "bwlt32.dll"},
                      {"ProductName", "Brennic Wavelet"},
                      {"ProductVersion", "2.7"},
                      {"Comments", ""}}}};
        s.translations = {{0x409, 1252}};
    } else if (script == "secondtable.rc") {
        const uint16_t v[4] = {1, 0, 0, 5};
        std::copy(v, v + 4, s.fileVersion);
        std::copy(v, v + 4, s.productVersion);
        s.tables = {{"040704B0", {}},
                    {"040904E4",
                     {{"CompanyName", "Quellmark"},
                      {"FileDescription", "Quellmark Lossless"},
                      {"FileVersion", "1.0.0.5"}}}};
        s.translations = {{0x409, 1252}};
    } else if (script == "badtranslation.rc") {
        const uint16_t v[4] = {4, 0, 2, 0};
        std::copy(v, v + 4, s.fileVersion);
        std::copy(v, v + 4, s.productVersion);
        s.tables = {{"040904E4", {{"CompanyName", "Feldwick"}, {"FileVersion", "4.0.2.0"}}}};
        s.translations = {{0x407, 0x4B0}, {0x409, 1252}};
    }
    return s;
}

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
        const std::string built = BuildVersionResource(Spec(c.script));
        ASSERT_EQ(built.size(), compiled->size());
        for (size_t i = 0; i < built.size(); ++i)
            ASSERT_EQ(static_cast<uint8_t>(built[i]), static_cast<uint8_t>((*compiled)[i])) << "offset " << i;
    }

    VersionResourceSpec huge = Spec("version.rc");
    huge.tables[0].strings.push_back({"Comments", std::string(40000, 'x')});
    EXPECT_THROW(BuildVersionResource(huge), std::length_error);
}

TEST_F(VersionApi, FindsFilesTheWayTheLoaderDoes) {
    const std::string raw = *ReadVersionBlock(PeFixture("version32.dll"));
    EXPECT_EQ(GetFileVersionInfoSizeA("version32.dll", nullptr), raw.size() * 2 + 4);
    EXPECT_EQ(GetFileVersionInfoSizeA("VERSION32.DLL", nullptr), raw.size() * 2 + 4);
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\Windows\\SYSTEM32\\Version32.dll", nullptr), raw.size() * 2 + 4);
    EXPECT_EQ(GetFileVersionInfoSizeA(PeFixture("version32.dll").string(), nullptr), raw.size() * 2 + 4);

    uint32_t handle = 5;
    EXPECT_EQ(GetFileVersionInfoSizeA("missing.dll", &handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA(".", nullptr), 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA("\\System32\\version32.dll", nullptr), 0u);  // no system root
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
    const auto layout = Spec("version.rc");
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

// A built block in a buffer laid out as GetFileVersionInfoA leaves it.
std::vector<uint8_t> InBuffer(const std::string& raw, size_t canary = 32) {
    std::vector<uint8_t> b(raw.size() * 2 + 4 + canary, 0);
    std::memcpy(b.data(), raw.data(), raw.size());
    std::memcpy(b.data() + Le16(raw.data(), 0), "FE2X", 4);
    std::fill(b.end() - canary, b.end(), 0xcc);
    return b;
}

TEST(VerQueryValueA, RefusesDamagedBlocks) {
    const std::string raw = BuildVersionResource(Spec("version.rc"));
    const std::string path = "\\StringFileInfo\\040904E4\\CompanyName";
    void* p = nullptr;
    uint32_t len = 0;
    auto query = [&](std::vector<uint8_t>& b, const std::string& q) { return VerQueryValueA(b.data(), q, &p, &len); };
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
    std::memcpy(b.data() + raw.size(), "XXXX", 4);  // no spare room for ANSI copies
    EXPECT_FALSE(query(b, path));
    EXPECT_TRUE(query(b, "\\VarFileInfo\\Translation"));
    EXPECT_FALSE(VerQueryValueA(nullptr, path, &p, &len));
}

TEST(VerQueryValueA, RandomDamageStaysInsideTheBuffer) {
    const std::string raw = BuildVersionResource(Spec("version.rc"));
    const char* paths[] = {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\Comments",
                           "\\StringFileInfo\\040904E4\\ProductVersion"};
    std::mt19937 rng(4711);
    // The root length is the one trusted figure; everything after it may be wrong.
    std::uniform_int_distribution<size_t> where(2, raw.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 5000; ++round) {
        std::string damaged = raw;
        for (int k = 0; k < 4; ++k) damaged[where(rng)] = static_cast<char>(byte(rng));
        auto b = InBuffer(damaged);
        for (const char* q : paths) {
            void* p = nullptr;
            uint32_t len = 0;
            if (VerQueryValueA(b.data(), q, &p, &len)) {
                const auto* c = static_cast<uint8_t*>(p);
                ASSERT_GE(c, b.data());
                ASSERT_LE(c + len, b.data() + b.size() - 32);
            }
        }
        for (size_t i = b.size() - 32; i < b.size(); ++i) ASSERT_EQ(b[i], 0xcc) << "round " << round;
    }
}

}  // namespace
}  // namespace tarnel::platform
