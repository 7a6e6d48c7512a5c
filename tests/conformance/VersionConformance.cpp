// The version calls on every test PE file, a demo driver and the program's
// own file, and the program's reader of the eleven version texts over them.
#include <cstring>
#include <optional>
#include <vector>

#include "conformance/Conformance.h"
#include "core/catalogue/FileVersionInfo.h"
#include "platform/api/OsVersion.h"
#include "platform/api/VersionApi.h"
#include "platform/api/WinError.h"
#include "support/VersionFixtures.h"

namespace tarnel::conformance {
namespace {

using namespace platform;

class VersionConformance : public ConformanceTest {
protected:
    void SetUp() override {
        ConformanceTest::SetUp();
        for (const char* name : {"version32.dll", "version64.dll", "noversion32.dll", "secondtable32.dll",
                                 "varfirst32.dll", "badtranslation32.dll", "widetext32.dll", "lcmjpeg.dll"})
            Install(name, std::string("tc") + name);
    }

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
        if (!VerQueryValueA(block.data(), path, &p, &len)) return std::nullopt;
        const auto* c = static_cast<const char*>(p);
        EXPECT_GE(c, reinterpret_cast<const char*>(block.data()));
        EXPECT_LE(c + len, reinterpret_cast<const char*>(block.data() + block.size()));
        return std::string(c, strnlen(c, len));
    }
};

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | uint32_t(Le16(p + 2)) << 16; }

TEST_F(VersionConformance, TheBlockIsTheResourceAsCompiledWithRoomForAnsiCopies) {
    const std::string system = GetSystemDirectoryA() + "\\";
    const std::pair<std::string, const char*> cases[] = {{"tcversion32.dll", "version.rc"},
                                                         {system + "tcversion64.dll", "version.rc"},
                                                         {"tcsecondtable32.dll", "secondtable.rc"},
                                                         {"tcbadtranslation32.dll", "badtranslation.rc"}};
    for (const auto& [file, script] : cases) {
        SCOPED_TRACE(file);
        const std::string built = BuildVersionResource(test::ScriptFields(script));
        std::vector<uint8_t> block = Load(file);
        ASSERT_GE(block.size(), built.size());
        EXPECT_EQ(Le16(block.data()), built.size());
        EXPECT_EQ(std::string(block.begin(), block.begin() + built.size()), built);
        EXPECT_EQ(block.size(), built.size() * 2 + 4) << "the size asked for: twice the block, and a marker";
        EXPECT_EQ(std::string(block.begin() + built.size(), block.begin() + built.size() + 4), "FE2X");
    }
}

// Windows reads any image as data, whatever its processor. In a 32-bit
// program Wine's loader passes over a 64-bit image when it searches for a
// bare name, so Wine's version calls find one only by its full path (as
// above); in a 64-bit program Wine finds it as Windows does. The emulation
// holds to Windows: the DirectShow tab names 64-bit servers by bare name too.
TEST_F(VersionConformance, ABareNameFindsA64BitImage) {
    uint32_t handle = 0;
    const uint32_t size = GetFileVersionInfoSizeA("tcversion64.dll", &handle);
    if (UnderWine() && CurrentEnv().ProgramBits() == 32) {
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    } else {
        EXPECT_EQ(size, BuildVersionResource(test::ScriptFields("version.rc")).size() * 2 + 4);
    }
}

TEST_F(VersionConformance, QueriesAnswerFixedInfoTranslationAndAnsiStrings) {
    std::vector<uint8_t> block = Load("tcversion32.dll");
    void* p = nullptr;
    uint32_t len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &p, &len));
    EXPECT_EQ(len, 52u);
    const auto* fixed = static_cast<const uint8_t*>(p);
    EXPECT_EQ(Le32(fixed), 0xFEEF04BDu);
    EXPECT_EQ(Le32(fixed + 8), 0x00020007u);
    EXPECT_EQ(Le32(fixed + 12), 0x00000071u);
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &p, &len));
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(Le32(static_cast<const uint8_t*>(p)), 0x04E40409u);

    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\CompanyName"), "Brennic Labs");
    EXPECT_EQ(Text(block, "\\stringfileinfo\\040904e4\\companyname"), "Brennic Labs") << "parts ignore case";
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\LegalCopyright"), "\xA9 2026 Brennic Labs");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\LegalTradeMarks"), "Wavelet\xAE");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\Comments"), "");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\PrivateBuild"), std::nullopt);
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040704B0\\CompanyName"), std::nullopt);
    // Two strings queried one after the other are both intact.
    auto a = Text(block, "\\StringFileInfo\\040904E4\\InternalName");
    auto b = Text(block, "\\StringFileInfo\\040904E4\\ProductVersion");
    EXPECT_EQ(a, "bwlt");
    EXPECT_EQ(b, "2.7");
}

// WideCharToMultiByte maps a character Windows-1252 lacks to a near letter
// where the code page's best-fit table has one, and to '?' otherwise; the
// version calls' ANSI copies go through it on Windows and Wine alike.
TEST_F(VersionConformance, CharactersOutsideTheCodePageAreBestFitted) {
    std::vector<uint8_t> block = Load("tcwidetext32.dll");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\CompanyName"), "Andre L\xF3" "dz");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\ProductName"), "?? Video \x80");
}

TEST_F(VersionConformance, FilesWithoutAVersionSayWhy) {
    uint32_t handle = 5;
    EXPECT_EQ(GetFileVersionInfoSizeA("tcnoversion32.dll", &handle), 0u);
    EXPECT_EQ(GetLastError(), kErrorResourceDataNotFound);
    EXPECT_EQ(GetFileVersionInfoSizeA("tcnosuchfile.dll", &handle), 0u);
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_EQ(GetFileVersionInfoSizeA(GetSystemDirectoryA() + "\\tcversion32.dll", &handle),
              BuildVersionResource(test::ScriptFields("version.rc")).size() * 2 + 4)
        << "a full path finds the same file";
}

TEST_F(VersionConformance, TheProgramsOwnFileCarriesItsVersion) {
    uint16_t v[4] = {};
    int part = 0;
    for (char c : std::string(TARNEL_VERSION_TEXT)) {
        if (c == '.') ++part;
        else v[part] = uint16_t(v[part] * 10 + (c - '0'));
    }
    const std::string built = BuildVersionResource(ProgramVersionSpec(v));
    std::vector<uint8_t> block = Load(ProgramFile());
    ASSERT_GE(block.size(), built.size());
    EXPECT_EQ(std::string(block.begin(), block.begin() + built.size()), built)
        << "the resource compiler and the program's own builder lay it out alike";
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904E4\\FileVersion"), TARNEL_VERSION_TEXT);
}

// The program's reader over what the calls return: the NT family's way
// takes the first string table's key, the 95/98/ME family's way the first
// translation.
TEST_F(VersionConformance, TheProgramsReaderFindsTheSameTexts) {
    TFileVersionInfo info(3);
    info.SetExecutableFile("tcversion32.dll");
    EXPECT_EQ(info.CountryCode(), "040904E4");
    EXPECT_EQ(info.CompanyName(), "Brennic Labs");
    EXPECT_EQ(info.LegalTradeMarks(), "Wavelet\xAE");
    EXPECT_EQ(info.Comments(), "");
    info.SetExecutableFile("tclcmjpeg.dll");
    EXPECT_EQ(info.FileVersion(), "2.4.0.118");
    EXPECT_EQ(info.ProductName(), "Lumacraft Motion JPEG");
    info.SetExecutableFile("tcvarfirst32.dll");
    EXPECT_EQ(info.CompanyName(), "Ostrander Media") << "the first table found by the block's structure";
    info.SetExecutableFile("tcnoversion32.dll");
    EXPECT_EQ(info.CompanyName(), "[Not Defined]");
    TFileVersionInfo ninetyEight(1);
    ninetyEight.SetExecutableFile("tcbadtranslation32.dll");
    EXPECT_EQ(ninetyEight.CountryCode(), "040704B0");
    EXPECT_EQ(ninetyEight.CompanyName(), "") << "the first translation names a table the file lacks";
}

}  // namespace
}  // namespace tarnel::conformance
