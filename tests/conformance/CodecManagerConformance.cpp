// The video compression manager with the demo drivers: on the real API the
// drivers' own code answers (demo/drivers/codec.c, loaded by msvfw32); on
// the emulation the machine answers from the same resource. Both must tell
// the same story.
#include <cstring>

#include "conformance/Conformance.h"
#include "platform/api/Ansi.h"
#include "platform/api/CodecManager.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Profile.h"

namespace tarnel::conformance {
namespace {

using namespace platform;

using CodecManagerConformance = ConformanceTest;

// What each demo driver says of itself (demo/CMakeLists.txt).
struct DemoCodec {
    const char* file;
    const char* fourcc;  // the first it lists
    const char* name;
    const char* description;
    uint32_t flags, version;
    bool configure, about;
};
constexpr DemoCodec kDemoCodecs[] = {
    {"lcmjpeg.dll", "mjpg", "LC Motion JPEG", "Lumacraft Motion JPEG Codec", 0x3, 0x20004, true, true},
    {"pbyuv.dll", "yuy2", "PB YUV 4:2:2", "Pixelbrook Packed YUV 4:2:2", 0, 0x10000, false, true},
    {"tsplanar.dll", "i420", "Tessaly Planar", "Tessaly Planar YUV 4:2:0", 0, 0x30001, false, false},
    {"vrnhd.dll", "vrh2", "Varnholt HD", "Varnholt HD Video Codec", 0x7, 0x50000, true, false},
    {"kwdelta.dll", "kwd3", "KW Delta", "Kestrelwood Delta Frame Codec", 0, 0x10007, true, true},
    {"dhwave.dll", "dnh4", "DH Wavelet", "Duneharrow Wavelet Video", 0, 0x9, false, true},
    {"brmvid.dll", "brm5", "BRM Screen", "Brindlemoor Screen Capture Codec", 0, 0x20000, false, false},
    {"ovtcodec.dll", "ovt6", "Orvane OVT6", "Orvane OVT6 Video Codec", 0, 0x40002, true, true},
    {"tslscr.dll", "tsl1", "Tessaly TSL1", "Tessaly Lossless Video", 0, 0x10001, true, false},
    {"rawview.dll", "rawv", "", "", 0, 0, false, false},
    {"kwmjpeg.dll", "mjpg", "KW MJPEG", "Kestrelwood Motion JPEG Decoder", 0, 0x10002, true, false},
    {"pbtex.dll", "ptx8", "PB Texture", "Pixelbrook Texture Video Codec", 0, 0x5, false, true},
    {"vrnold.dll", "vrh1", "", "Varnholt HD Video Codec (Legacy)", 0, 0x30000, false, false},
};

uint32_t Code(const std::string& s) {
    uint32_t c = 0;
    for (size_t i = 0; i < 4 && i < s.size(); ++i) c |= uint32_t(uint8_t(s[i])) << (8 * i);
    return c;
}

ICINFO Blank() {
    ICINFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    return info;
}

std::string Narrow(const char16_t* w) { return Utf16ToAnsi(std::u16string(w)); }

TEST_F(CodecManagerConformance, EveryDemoDriverAnswersWithItsOwnDescription) {
    for (const DemoCodec& c : kDemoCodecs) {
        SCOPED_TRACE(c.file);
        Install(c.file);
        const std::string entry = std::string("vidc.") + c.fourcc;
        RegisterDriver(entry, c.file);
        const uint32_t handler = Code(AsciiUpperCase(c.fourcc));
        HIC h = ICOpen(Fourcc("VIDC"), handler, kIcModeQuery);
        ASSERT_NE(h, 0u);
        ICINFO info = Blank();
        EXPECT_EQ(ICGetInfo(h, &info, sizeof info), intptr_t(sizeof info));
        EXPECT_EQ(info.dwSize, 568u);
        EXPECT_EQ(info.fccType, Fourcc("vidc"));
        EXPECT_EQ(info.fccHandler, handler) << "the handler it was opened for";
        EXPECT_EQ(info.dwFlags, c.flags);
        EXPECT_EQ(info.dwVersion, c.version);
        EXPECT_EQ(info.dwVersionICM, 0x104u);
        EXPECT_EQ(Narrow(info.szName), c.name);
        EXPECT_EQ(Narrow(info.szDescription), c.description);
        EXPECT_EQ(Narrow(info.szDriver), c.file) << "the file's name, without its folder";
        // The same record through the message itself.
        ICINFO again = Blank();
        EXPECT_EQ(ICSendMessage(h, kIcmGetInfo, reinterpret_cast<intptr_t>(&again), sizeof again),
                  intptr_t(sizeof again));
        EXPECT_EQ(std::memcmp(&again.fccType, &info.fccType, sizeof info - 4), 0);
        EXPECT_EQ(ICClose(h), kIcErrOk);

        // Asked as the codec window asks: opened to compress, first parameter -1.
        h = ICOpen(Fourcc("VIDC"), handler, kIcModeFastCompress);
        ASSERT_NE(h, 0u);
        EXPECT_EQ(ICSendMessage(h, kIcmConfigure, -1, 0), c.configure ? kIcErrOk : kIcErrUnsupported);
        EXPECT_EQ(ICSendMessage(h, kIcmAbout, -1, 0), c.about ? kIcErrOk : kIcErrUnsupported);
        EXPECT_EQ(ICSendMessage(h, 0x4ABC, 0, 0), kIcErrUnsupported) << "a message it does not know";
        EXPECT_EQ(ICClose(h), kIcErrOk);
        UnregisterDriver(entry);
    }
}

TEST_F(CodecManagerConformance, AFourccIsAnsweredOnlyWhileItsEntryExists) {
    Install("pbyuv.dll", "tcyuv.dll");
    EXPECT_EQ(ICOpen(Fourcc("VIDC"), Fourcc("UYVY"), kIcModeQuery), 0u) << "no entry yet";
    RegisterDriver("vidc.uyvy", "tcyuv.dll");
    HIC h = ICOpen(Fourcc("VIDC"), Fourcc("UYVY"), kIcModeQuery);
    EXPECT_NE(h, 0u) << "an entry made a moment before is found";
    ICINFO info = Blank();
    ICGetInfo(h, &info, sizeof info);
    EXPECT_EQ(Narrow(info.szDriver), "tcyuv.dll");
    ICClose(h);
    UnregisterDriver("vidc.uyvy");
    EXPECT_EQ(ICOpen(Fourcc("VIDC"), Fourcc("UYVY"), kIcModeQuery), 0u) << "and one removed is gone";
}

TEST_F(CodecManagerConformance, ADriverRefusesAFourccItDoesNotList) {
    Install("lcmjpeg.dll", "tclc.dll");
    Install("rawview.dll", "tcraw.dll");
    RegisterDriver("vidc.zzzz", "tclc.dll");
    EXPECT_EQ(ICOpen(Fourcc("VIDC"), Fourcc("ZZZZ"), kIcModeQuery), 0u) << "lcmjpeg lists mjpg only";
    RegisterDriver("vidc.yyyy", "tcraw.dll");
    HIC h = ICOpen(Fourcc("VIDC"), Fourcc("YYYY"), kIcModeQuery);
    EXPECT_NE(h, 0u) << "a driver without a list answers every FOURCC";
    ICClose(h);
    EXPECT_EQ(ICOpen(Fourcc("AUDC"), Fourcc("YYYY"), kIcModeQuery), 0u) << "only video codecs";
}

TEST_F(CodecManagerConformance, MissingFilesNonImagesAndLibrariesWithoutDriverProcDoNotOpen) {
    RegisterDriver("vidc.tcm1", "tcmissing.dll");
    EXPECT_EQ(ICOpen(Fourcc("VIDC"), Fourcc("TCM1"), kIcModeQuery), 0u);
    WriteWindowsFile("tctext.dll", "this is not an image");
    RegisterDriver("vidc.tct1", GetWindowsDirectoryA() + "\\tctext.dll");
    EXPECT_EQ(ICOpen(Fourcc("VIDC"), Fourcc("TCT1"), kIcModeQuery), 0u);
    Install("lcsplit.ax", "tcsplit.ax");
    RegisterDriver("vidc.tcf1", "tcsplit.ax");
    EXPECT_EQ(ICOpen(Fourcc("VIDC"), Fourcc("TCF1"), kIcModeQuery), 0u) << "a filter server is no codec driver";
}

// A null or closed handle is ICERR_BADHANDLE to every call; a missing
// record is MMSYSERR_INVALPARAM (11), as the real manager answers it (the
// driver is not asked); a record too small is the driver's to refuse.
TEST_F(CodecManagerConformance, NullClosedAndShortRequestsAnswerNothing) {
    ICINFO info = Blank();
    EXPECT_EQ(ICGetInfo(0, &info, sizeof info), kIcErrBadHandle);
    EXPECT_EQ(info.fccType, 0u);
    EXPECT_EQ(ICSendMessage(0, kIcmAbout, -1, 0), kIcErrBadHandle);
    EXPECT_EQ(ICClose(0), kIcErrBadHandle);

    Install("dhwave.dll", "tcdh.dll");
    RegisterDriver("vidc.dnh4", "tcdh.dll");
    HIC h = ICOpen(Fourcc("VIDC"), Fourcc("DNH4"), kIcModeQuery);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(ICGetInfo(h, nullptr, 0), 11) << "no record";
    unsigned char buf[600];
    std::memset(buf, 0xAB, sizeof buf);
    EXPECT_EQ(ICGetInfo(h, reinterpret_cast<ICINFO*>(buf), 8), 0) << "a record too small gets nothing";
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(ICClose(h), kIcErrOk);
    EXPECT_EQ(ICGetInfo(h, &info, sizeof info), kIcErrBadHandle);
    EXPECT_EQ(ICSendMessage(h, kIcmAbout, -1, 0), kIcErrBadHandle);
    EXPECT_EQ(ICClose(h), kIcErrBadHandle);
}

// A handler of 0 asks for any codec of the type: the first driver entry, in
// the store's order, whose driver opens.
TEST_F(CodecManagerConformance, HandlerZeroOpensTheFirstCodecThatAccepts) {
    Install("tsplanar.dll", "tcplanar.dll");
    RegisterDriver("vidc.i420", "tcplanar.dll");
    HIC h = ICOpen(Fourcc("VIDC"), 0, kIcModeQuery);
    ASSERT_NE(h, 0u);
    ICINFO info = Blank();
    ICGetInfo(h, &info, sizeof info);
    EXPECT_EQ(info.fccHandler, Fourcc("i420")) << "opened under its entry's code";
    EXPECT_EQ(Narrow(info.szDriver), "tcplanar.dll");
    ICClose(h);
}

// On the NT family Windows keeps the driver entries in the registry only:
// its SYSTEM.INI [drivers32] section is mapped onto the registry key, so no
// entry lives in the file alone. Wine's manager reads the registry and then
// the file itself, on every family (a fresh prefix keeps its own codecs
// there). The emulation holds to Windows: on this family the file is not
// read, as the program edits only the registry here.
TEST_F(CodecManagerConformance, TheNtFamilyFindsNoEntryInSystemIniAlone) {
    Install("rawview.dll", "tcini.dll");
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.tcs1", "tcini.dll", "system.ini"));
    HIC h = ICOpen(Fourcc("VIDC"), Fourcc("TCS1"), kIcModeQuery);
    if (UnderWine())
        EXPECT_NE(h, 0u);
    else
        EXPECT_EQ(h, 0u);
    if (h) ICClose(h);
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.tcs1", nullptr, "system.ini"));
}

}  // namespace
}  // namespace tarnel::conformance
