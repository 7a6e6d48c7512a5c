#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "catalogue/uCodecs.h"
#include "platform/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using Strings = std::vector<std::string>;

namespace {

constexpr const char* kInactive = "SOFTWARE\\Halvorin\\Drivers.Inactive";

void OpenInactive(TRegistry& reg) {
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(kInactive, true));
}

std::string RawValue(TRegistry& reg, const std::string& name) {
    std::string data(static_cast<size_t>(reg.GetDataSize(name)), '\0');
    data.resize(static_cast<size_t>(reg.ReadBinaryData(name, data.data(), static_cast<int>(data.size()))));
    return data;
}

void PutRaw(TRegistry& reg, const std::string& name, const std::string& data) {
    reg.WriteBinaryData(name, data.data(), static_cast<int>(data.size()));
}

}  // namespace

TEST(DriverNames, RegistryAndProfileForms) {
    TCodecInfo i = SplitDriverName("VIDC.MJPG");
    EXPECT_EQ(i.Kind, "Video");
    EXPECT_EQ(i.Fourcc, "mjpg");
    EXPECT_EQ(SplitDriverName("vidc.abcde").Fourcc, "abcde");
    EXPECT_EQ(SplitDriverName("ViDc.a.B").Fourcc, "a.b") << "split at the first point only";
    EXPECT_EQ(SplitDriverName("vidc.\xC4X").Fourcc, "\xC4x") << "only ASCII letters fold";
    i = SplitDriverName("acm.abcd");
    EXPECT_EQ(i.Kind, "");
    i = SplitDriverName("vidc");
    EXPECT_EQ(i.Kind, "");
    EXPECT_EQ(i.Fourcc, "");
    EXPECT_EQ(SplitDriverName("vidcx.abcd").Kind, "");

    i = SplitProfileLine("vidc.mjpg=mjpeg.dll");
    EXPECT_EQ(i.Kind, "Video");
    EXPECT_EQ(i.Fourcc, "mjpg");
    EXPECT_EQ(SplitProfileLine("VIDC.XYZ=a.dll").Fourcc, "xyz=");
    EXPECT_EQ(SplitProfileLine("vidc.ab").Fourcc, "ab");
    // The first point lies in the value: the prefix is not "vidc".
    EXPECT_EQ(SplitProfileLine("wave=mmdrv.dll").Kind, "");

    EXPECT_EQ(ValueOfLine("vidc.mjpg=mjpeg.dll"), "mjpeg.dll");
    EXPECT_EQ(ValueOfLine("a=b=c"), "b=c");
    EXPECT_EQ(ValueOfLine("vidc.abcd="), "");
    EXPECT_EQ(ValueOfLine("no equals sign"), "");
}

TEST(SectionBuffer, CutsAtZeroBytesDroppingEmptyAndUnclosedPieces) {
    const char buf[] = "abc\0\0def\0ghi";  // "ghi" has no closing zero within the length
    Strings list{"kept"};
    SplitSectionBuffer(buf, sizeof buf - 1, list);
    EXPECT_EQ(list, (Strings{"kept", "abc", "def"}));
    Strings shortRead;
    SplitSectionBuffer(buf, 5, shortRead);  // the length decides, not the buffer
    EXPECT_EQ(shortRead, Strings{"abc"});
    SplitSectionBuffer(buf, 0, shortRead);
    EXPECT_EQ(shortRead.size(), 1u);
}

TEST(FourccCode, PacksLowByteFirst) {
    EXPECT_EQ(FourccToCode("VIDC"), uint32_t('V') | uint32_t('I') << 8 | uint32_t('D') << 16 |
                                        uint32_t('C') << 24);
    EXPECT_EQ(FourccToCode("ab"), 0x6261u);
    EXPECT_EQ(FourccToCode(""), 0u);
    EXPECT_EQ(FourccToCode("abcdXYZ"), FourccToCode("abcd"));
    EXPECT_EQ(FourccToCode("\xFF"), 0xFFu) << "characters are bytes, not signed chars";
}

TEST(FileVersionText, SplitsIntoFourNumbers) {
    EXPECT_EQ(ParseFileVersion("2.0.1.7"), (TFileVersionNumbers{2, 0, 1, 7}));
    EXPECT_EQ(ParseFileVersion("10.20.300.4000"), (TFileVersionNumbers{10, 20, 300, 4000}));
    EXPECT_EQ(ParseFileVersion(""), TFileVersionNumbers{});
    EXPECT_EQ(ParseFileVersion("7"), TFileVersionNumbers{}) << "one character gives zeros";
    EXPECT_EQ(ParseFileVersion("12"), (TFileVersionNumbers{12, 0, 0, 0}));
    EXPECT_EQ(ParseFileVersion("2.5"), (TFileVersionNumbers{2, 5, 0, 0}));
    EXPECT_EQ(ParseFileVersion("2.5.3"), (TFileVersionNumbers{2, 5, 3, 0}));

    for (const char* bad : {"2.x.1.7", "2..1.7", "2.0.1.", "1.2.3.4.5", "1.0.0.1 (beta)",
                            "99999999999.0.0.0", "-1.0.0.0"}) {
        try {
            ParseFileVersion(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const EConvertError& e) {
            EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
        }
    }
}

TEST(BinaryStrings, WritesTheStoreLayoutAndReadsItBack) {
    test::TempMachine m;
    TRegistry reg;
    OpenInactive(reg);
    Strings texts{"abcd", "abcd32.dll", "", "Sample", "1.0.0.1", "32"};
    WriteBinaryStrings(reg, "#001#", texts);
    EXPECT_EQ(texts[2], " ") << "the caller sees the blank";
    const unsigned char expected[] = {
        0x61, 0x62, 0x63, 0x64, 0x00, 0x61, 0x62, 0x63, 0x64, 0x33, 0x32, 0x2E,
        0x64, 0x6C, 0x6C, 0x00, 0x20, 0x00, 0x53, 0x61, 0x6D, 0x70, 0x6C, 0x65,
        0x00, 0x31, 0x2E, 0x30, 0x2E, 0x30, 0x2E, 0x31, 0x00, 0x33, 0x32, 0x00};
    EXPECT_EQ(reg.GetRawType("#001#"), REG_BINARY);
    EXPECT_EQ(RawValue(reg, "#001#"), std::string(reinterpret_cast<const char*>(expected), sizeof expected));

    Strings back{"before"};
    ReadBinaryStrings(reg, "#001#", back);
    EXPECT_EQ(back, (Strings{"before", "abcd", "abcd32.dll", " ", "Sample", "1.0.0.1", "32"}));

    PutRaw(reg, "#002#", std::string("a\0\0b\0tail", 9));
    Strings pieces;
    ReadBinaryStrings(reg, "#002#", pieces);
    EXPECT_EQ(pieces, (Strings{"a", "b"})) << "no empty piece, unclosed tail dropped";

    Strings none;
    ReadBinaryStrings(reg, "#missing#", none);
    EXPECT_TRUE(none.empty());
    reg.WriteString("#text#", "abc");
    EXPECT_THROW(ReadBinaryStrings(reg, "#text#", none), ERegistryException);
}

TEST(BinaryStrings, RefusesEntriesBeyond2047Bytes) {
    test::TempMachine m;
    TRegistry reg;
    OpenInactive(reg);
    // Six texts: 5 x 1 character + one long one; each adds a zero byte.
    Strings fits{"a", "b", "c", "d", "e", std::string(2047 - 5 * 2 - 1, 'x')};
    ASSERT_EQ(BinaryStringsSize(fits), 2047u);
    WriteBinaryStrings(reg, "#001#", fits);
    EXPECT_EQ(reg.GetDataSize("#001#"), 2047);

    Strings tooLong = fits;
    tooLong[5] += 'x';
    try {
        WriteBinaryStrings(reg, "#001#", tooLong);
        FAIL() << "2048 bytes were written";
    } catch (const EStoreFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("#001#"), std::string::npos) << e.what();
    }
    EXPECT_EQ(reg.GetDataSize("#001#"), 2047) << "the stored entry is untouched";
    EXPECT_EQ(BinaryStringsSize({"", "ab"}), 5u) << "an empty text counts as its blank";
}

TEST(InactiveEntry, NumberAndFieldsFromNameAndData) {
    test::TempMachine m;
    TRegistry reg;
    OpenInactive(reg);
    Strings six{"xvid", "xvid.dll", " ", "Desc", "1.2", "16"};
    WriteBinaryStrings(reg, "#012#", six);
    WriteBinaryStrings(reg, "#1000#", six);
    Strings seven = six;
    seven.push_back("extra");
    WriteBinaryStrings(reg, "#013#", seven);

    TInactiveCodecInfo r;
    ReadInactiveEntry("#012#", reg, r);
    EXPECT_EQ(r.Number, "012");
    EXPECT_EQ(r.Fourcc, "xvid");
    EXPECT_EQ(r.Driver, "xvid.dll");
    EXPECT_EQ(r.Shortname, " ") << "a stored blank stays a blank";
    EXPECT_EQ(r.Description, "Desc");
    EXPECT_EQ(r.Version, "1.2");
    EXPECT_EQ(r.Type, "16");
    ReadInactiveEntry("#1000#", reg, r);
    EXPECT_EQ(r.Number, "100");
    ReadInactiveEntry("#013#", reg, r);
    EXPECT_EQ(r.Type, "16") << "pieces beyond six are ignored";

    TInactiveCodecInfo untouched;
    untouched.Number = "keep";
    reg.WriteString("plain", "x");
    ReadInactiveEntry("plain", reg, untouched);
    ReadInactiveEntry("", reg, untouched);
    EXPECT_EQ(untouched.Number, "keep");

    PutRaw(reg, "#", std::string("a\0", 2));
    TInactiveCodecInfo hashOnly;
    ReadInactiveEntry("#", reg, hashOnly);
    EXPECT_EQ(hashOnly.Number, "");

    Strings five{"a", "b", "c", "d", "e"};
    WriteBinaryStrings(reg, "#014#", five);
    try {
        ReadInactiveEntry("#014#", reg, r);
        FAIL() << "five pieces were accepted";
    } catch (const EStoreFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("#014#"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("Drivers.Inactive"), std::string::npos) << e.what();
    }
}

TEST(CodecQuery, AsksTheDriverOfTheLiveEntry) {
    test::TempMachine m;
    std::filesystem::copy_file(test::PeFixture("version32.dll"), m.System32() / "bwlt32.dll");
    {
        TRegistry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", true));
        reg.WriteString("vidc.bwlt", "bwlt32.dll");
    }
    for (const char* fourcc : {"bwlt", "BWLT"}) {
        ICINFO info = QueryCodecInfo(fourcc);
        EXPECT_EQ(info.dwSize, 568u);
        EXPECT_EQ(info.fccType, FourccToCode("vidc")) << fourcc;
        EXPECT_EQ(IcInfoName(info), "bwlt") << fourcc;
        EXPECT_EQ(IcInfoDescription(info), "Brennic Wavelet Codec") << fourcc;
    }
    ICINFO none = QueryCodecInfo("zzzz");
    EXPECT_EQ(none.dwSize, 568u);
    EXPECT_EQ(none.fccType, 0u);
    EXPECT_EQ(IcInfoName(none), "");
    EXPECT_EQ(IcInfoDescription(none), "");
}

TEST(CodecQuery, NamesBecomeAnsiUpToTheFirstZero) {
    ICINFO info;
    std::memset(&info, 0, sizeof info);
    for (int i = 0; i < 16; ++i) info.szName[i] = u'a' + i;  // no terminator at all
    EXPECT_EQ(IcInfoName(info), "abcdefghijklmnop");
    std::u16string d = u"Caf\u00e9 \u4e2d";
    std::copy(d.begin(), d.end(), info.szDescription);
    info.szDescription[d.size() + 1] = u'x';  // after the zero: not read
    EXPECT_EQ(IcInfoDescription(info), "Caf\xE9 ?");
}
