#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "core/catalogue/uCodecs.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using Strings = std::vector<std::string>;

namespace {

// The inactive store key, open for writing.
struct InactiveKey {
    TRegistry reg;
    InactiveKey() {
        reg.SetRootKey(kHkeyLocalMachine);
        EXPECT_TRUE(reg.OpenKey("SOFTWARE\\Halvorin\\Drivers.Inactive", true));
    }
    std::string Raw(const std::string& name) {
        std::string data(static_cast<size_t>(reg.GetDataSize(name)), '\0');
        reg.ReadBinaryData(name, data.data(), static_cast<int>(data.size()));
        return data;
    }
    void PutRaw(const std::string& name, const std::string& data) {
        reg.WriteBinaryData(name, data.data(), static_cast<int>(data.size()));
    }
};

template <class E, class F>
std::string ErrorOf(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(DriverNames, RegistryAndProfileForms) {
    EXPECT_EQ(SplitDriverName("VIDC.MJPG").Kind, "Video");
    EXPECT_EQ(SplitDriverName("VIDC.MJPG").Fourcc, "mjpg");
    EXPECT_EQ(SplitDriverName("vidc.abcde").Fourcc, "abcde");
    EXPECT_EQ(SplitDriverName("ViDc.a.B").Fourcc, "a.b") << "split at the first point only";
    EXPECT_EQ(SplitDriverName("vidc.\xC4X").Fourcc, "\xC4x") << "only ASCII letters fold";
    EXPECT_EQ(SplitDriverName("acm.abcd").Kind, "");
    EXPECT_EQ(SplitDriverName("vidcx.abcd").Kind, "");
    EXPECT_EQ(SplitDriverName("vidc").Kind + SplitDriverName("vidc").Fourcc, "");

    EXPECT_EQ(SplitProfileLine("vidc.mjpg=mjpeg.dll").Fourcc, "mjpg");
    EXPECT_EQ(SplitProfileLine("VIDC.XYZ=a.dll").Fourcc, "xyz=");
    EXPECT_EQ(SplitProfileLine("vidc.ab").Fourcc, "ab");
    EXPECT_EQ(SplitProfileLine("wave=mmdrv.dll").Kind, "") << "the first point lies in the value";

    EXPECT_EQ(ValueOfLine("vidc.mjpg=mjpeg.dll"), "mjpeg.dll");
    EXPECT_EQ(ValueOfLine("a=b=c"), "b=c");
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
}

TEST(FourccCode, PacksLowByteFirst) {
    EXPECT_EQ(FourccToCode("VIDC"), 0x43444956u);
    EXPECT_EQ(FourccToCode("ab"), 0x6261u);
    EXPECT_EQ(FourccToCode("abcdXYZ"), FourccToCode("abcd"));
    EXPECT_EQ(FourccToCode("\xFF"), 0xFFu) << "characters are bytes, not signed chars";
}

TEST(FileVersionText, SplitsIntoFourNumbers) {
    EXPECT_EQ(ParseFileVersion("2.0.1.7"), (TFileVersionNumbers{2, 0, 1, 7}));
    EXPECT_EQ(ParseFileVersion("10.20.300.4000"), (TFileVersionNumbers{10, 20, 300, 4000}));
    EXPECT_EQ(ParseFileVersion(""), TFileVersionNumbers{});
    EXPECT_EQ(ParseFileVersion("7"), TFileVersionNumbers{}) << "one character gives zeros";
    EXPECT_EQ(ParseFileVersion("2.5"), (TFileVersionNumbers{2, 5, 0, 0}));
    EXPECT_EQ(ParseFileVersion("2.5.3"), (TFileVersionNumbers{2, 5, 3, 0}));
    for (const char* bad : {"2.x.1.7", "2..1.7", "2.0.1.", "1.2.3.4.5", "1.0.0.1 (beta)",
                            "99999999999.0.0.0", "-1.0.0.0"}) {
        std::string error = ErrorOf<EConvertError>([&] { ParseFileVersion(bad); });
        EXPECT_NE(error.find(std::string("'") + bad + "'"), std::string::npos) << error;
    }
}

TEST(BinaryStrings, WritesTheStoreLayoutAndReadsItBack) {
    test::TempMachine m;
    InactiveKey k;
    Strings texts{"abcd", "abcd32.dll", "", "Sample", "1.0.0.1", "32"};
    WriteBinaryStrings(k.reg, "#001#", texts);
    EXPECT_EQ(texts[2], " ") << "the caller sees the blank";
    EXPECT_EQ(k.reg.GetRawType("#001#"), kRegBinary);
    EXPECT_EQ(k.Raw("#001#"), std::string("abcd\0abcd32.dll\0 \0Sample\0" "1.0.0.1\0" "32\0", 36));

    Strings back{"before"};
    ReadBinaryStrings(k.reg, "#001#", back);
    EXPECT_EQ(back, (Strings{"before", "abcd", "abcd32.dll", " ", "Sample", "1.0.0.1", "32"}));

    k.PutRaw("#002#", std::string("a\0\0b\0tail", 9));
    Strings pieces;
    ReadBinaryStrings(k.reg, "#002#", pieces);
    ReadBinaryStrings(k.reg, "#missing#", pieces);
    EXPECT_EQ(pieces, (Strings{"a", "b"})) << "no empty piece, unclosed tail dropped";
    k.reg.WriteString("#text#", "abc");
    EXPECT_THROW(ReadBinaryStrings(k.reg, "#text#", pieces), ERegistryException);
}

TEST(BinaryStrings, RefusesEntriesBeyond2047Bytes) {
    test::TempMachine m;
    InactiveKey k;
    Strings fits{"", "b", "c", "d", "e", std::string(2047 - 5 * 2 - 1, 'x')};
    WriteBinaryStrings(k.reg, "#001#", fits);
    EXPECT_EQ(k.reg.GetDataSize("#001#"), 2047);

    Strings tooLong = fits;
    tooLong[5] += 'x';
    EXPECT_EQ(BinaryStringsSize(tooLong), 2048u);
    std::string error = ErrorOf<EStoreFormatError>([&] { WriteBinaryStrings(k.reg, "#001#", tooLong); });
    EXPECT_NE(error.find("'#001#'"), std::string::npos) << error;
    EXPECT_EQ(k.reg.GetDataSize("#001#"), 2047) << "the stored entry is untouched";
}

TEST(InactiveEntry, NumberAndFieldsFromNameAndData) {
    test::TempMachine m;
    InactiveKey k;
    Strings seven{"xvid", "xvid.dll", " ", "Desc", "1.2", "16", "extra"};
    for (const char* name : {"#012#", "#1000#", "#", "plain"}) WriteBinaryStrings(k.reg, name, seven);

    TInactiveCodecInfo r;
    ReadInactiveEntry("#012#", k.reg, r);
    Strings fields{r.Number, r.Fourcc, r.Driver, r.Shortname, r.Description, r.Version, r.Type};
    EXPECT_EQ(fields, (Strings{"012", "xvid", "xvid.dll", " ", "Desc", "1.2", "16"}));
    ReadInactiveEntry("#1000#", k.reg, r);
    EXPECT_EQ(r.Number, "100");

    TInactiveCodecInfo untouched;
    untouched.Number = "keep";
    ReadInactiveEntry("plain", k.reg, untouched);
    EXPECT_EQ(untouched.Number, "keep");
    TInactiveCodecInfo hashOnly;
    ReadInactiveEntry("#", k.reg, hashOnly);
    EXPECT_EQ(hashOnly.Number, "");

    k.PutRaw("#014#", std::string("a\0b\0c\0d\0e\0", 10));
    std::string error = ErrorOf<EStoreFormatError>([&] { ReadInactiveEntry("#014#", k.reg, r); });
    EXPECT_NE(error.find("'#014#'"), std::string::npos) << error;
    EXPECT_NE(error.find("Drivers.Inactive"), std::string::npos) << error;
}

TEST(CodecQuery, AsksTheDriverOfTheLiveEntry) {
    test::TempMachine m;
    std::filesystem::copy_file(test::PeFixture("version32.dll"), m.System32() / "bwlt32.dll");
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", true));
        reg.WriteString("vidc.bwlt", "bwlt32.dll");
    }
    ICINFO info = QueryCodecInfo("bwlt");
    EXPECT_EQ(info.dwSize, 568u);
    EXPECT_NE(info.fccType, 0u);
    EXPECT_EQ(IcInfoName(info), "bwlt");
    EXPECT_EQ(IcInfoDescription(info), "Brennic Wavelet Codec");

    ICINFO none = QueryCodecInfo("zzzz");
    EXPECT_EQ(none.fccType, 0u);
    EXPECT_EQ(IcInfoName(none) + IcInfoDescription(none), "");
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
