#include <gtest/gtest.h>

#include <string>

#include "platform/api/CodecManager.h"
#include "platform/machine/CodecInfo.h"

using tarnel::platform::machine::CodecSelfDescription;
using tarnel::platform::machine::ParseCodecInfoText;

namespace {

TEST(CodecInfoText, LinesKeysAndValues) {
    // Keys in any case, blanks around keys and values, comments, blank lines,
    // lines without '=' and unknown keys; CRLF and LF mixed.
    const std::string text =
        "; a comment line\r\n"
        "\r\n"
        "   ; an indented comment with Name=Wrong\n"
        "NAME = Brightline \t\r\n"
        "this line has no equals sign\n"
        "dEsCrIpTiOn=Brightline Video = fast\r\n"
        "Unknown=whatever\n"
        "\tabout\t=\tYes\t\n"
        "Configure=no";  // last line without an ending
    CodecSelfDescription d = ParseCodecInfoText(text);
    EXPECT_TRUE(d.described);
    EXPECT_EQ(d.name, "Brightline");
    EXPECT_EQ(d.description, "Brightline Video = fast");  // only the first '=' splits
    EXPECT_TRUE(d.about);
    EXPECT_FALSE(d.configure);
    EXPECT_EQ(d.fourccs, "");
    EXPECT_EQ(d.flags, 0u);
    EXPECT_EQ(d.version, 0u);
}

TEST(CodecInfoText, LastLineOfAKeyCountsAndTextEndsAtZeroByte) {
    std::string text = "Name=First\nName=Second\nAbout=yes\nAbout=no\nDescription=Kept\n";
    text += '\0';
    text += "Description=After the zero byte\n";
    CodecSelfDescription d = ParseCodecInfoText(text);
    EXPECT_EQ(d.name, "Second");
    EXPECT_FALSE(d.about);
    EXPECT_EQ(d.description, "Kept");
}

TEST(CodecInfoText, LongValuesAreCut) {
    const std::string name16 = "ABCDEFGHIJKLMNOP";
    const std::string desc(130, 'd');
    CodecSelfDescription d = ParseCodecInfoText("Name=" + name16 + "\nDescription=" + desc + "\n");
    EXPECT_EQ(d.name, name16.substr(0, 15));
    EXPECT_EQ(d.description, desc.substr(0, 127));

    // Exactly at the limits nothing is lost.
    d = ParseCodecInfoText("Name=" + name16.substr(0, 15) + "\nDescription=" + desc.substr(0, 127));
    EXPECT_EQ(d.name.size(), 15u);
    EXPECT_EQ(d.description.size(), 127u);

    // Dialog texts are cut after each "\n" became one line break.
    std::string longText;
    for (int i = 0; i < 600; ++i) longText += "a\\n";  // 600 * 2 characters once converted
    d = ParseCodecInfoText("AboutText=" + longText);
    ASSERT_EQ(d.aboutText.size(), 1023u);
    EXPECT_EQ(d.aboutText.substr(0, 4), "a\na\n");
    EXPECT_EQ(d.aboutText.back(), 'a');
}

TEST(CodecInfoText, WindowsCodePageBytesPassThrough) {
    // 0xA9 is the copyright sign, 0xE9 an e with acute accent in Windows-1252.
    CodecSelfDescription d = ParseCodecInfoText("Name=Caf\xE9\nDescription=\xA9 Brightline\n");
    EXPECT_EQ(d.name, "Caf\xE9");
    EXPECT_EQ(d.description, "\xA9 Brightline");
}

TEST(CodecInfoText, FourccLists) {
    // Lines add up; entries are trimmed and lower-cased; blanks and entries
    // longer than four characters are dropped; short codes are kept.
    CodecSelfDescription d =
        ParseCodecInfoText("Fourccs=MJPG, yuy2 ,,toolong\nFourccs= ab1 \r\nfourccs=Q\n");
    EXPECT_EQ(d.fourccs, "mjpg,yuy2,ab1,q");

    // A star anywhere means every FOURCC.
    EXPECT_EQ(ParseCodecInfoText("Fourccs=mjpg\nFourccs=*\n").fourccs, "");
    EXPECT_EQ(ParseCodecInfoText("Fourccs=mjpg, * ,yuy2").fourccs, "");
    // With nothing usable the list is as if missing; "**" is a code, not a star.
    EXPECT_EQ(ParseCodecInfoText("Fourccs= , ,toolong").fourccs, "");
    EXPECT_EQ(ParseCodecInfoText("Fourccs=**,abcd").fourccs, "**,abcd");
}

TEST(CodecInfoText, DialogOffers) {
    EXPECT_TRUE(ParseCodecInfoText("Configure=YES").configure);
    EXPECT_TRUE(ParseCodecInfoText("Configure= yes ").configure);
    EXPECT_FALSE(ParseCodecInfoText("Configure=1").configure);
    EXPECT_FALSE(ParseCodecInfoText("Configure=yesplease").configure);
    EXPECT_FALSE(ParseCodecInfoText("Configure=").configure);

    CodecSelfDescription d = ParseCodecInfoText(
        "ConfigureText=Line one\\nLine two\\\\path\\x\\\n"
        "AboutText=\\n\n");
    EXPECT_EQ(d.configureText, "Line one\nLine two\\\\path\\x\\");
    EXPECT_EQ(d.aboutText, "\n");
}

TEST(CodecInfoText, Numbers) {
    auto flags = [](const std::string& v) { return ParseCodecInfoText("Flags=" + v).flags; };
    EXPECT_EQ(flags("0"), 0u);
    EXPECT_EQ(flags("17"), 17u);
    EXPECT_EQ(flags("0x1F"), 0x1Fu);
    EXPECT_EQ(flags("0XaB"), 0xABu);
    EXPECT_EQ(flags("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(flags("0xFFFFFFFF"), 0xFFFFFFFFu);
    // Past 32 bits the low bits stay.
    EXPECT_EQ(flags("4294967297"), 1u);
    EXPECT_EQ(flags("0x123456789"), 0x23456789u);
    // Anything that is not a whole number reads 0.
    EXPECT_EQ(flags("12abc"), 0u);
    EXPECT_EQ(flags("1F"), 0u);
    EXPECT_EQ(flags("0x"), 0u);
    EXPECT_EQ(flags("0xG1"), 0u);
    EXPECT_EQ(flags("-5"), 0u);
    EXPECT_EQ(flags("1 2"), 0u);
    EXPECT_EQ(flags(""), 0u);

    CodecSelfDescription d = ParseCodecInfoText("Version = 0x00020004 \nFlags=3");
    EXPECT_EQ(d.version, 0x00020004u);
    EXPECT_EQ(d.flags, 3u);
}

}  // namespace
