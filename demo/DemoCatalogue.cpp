// The demo machine a new user starts on: the driver files (DemoMachine.cpp),
// the codec entries and inactive entries written through the driver store,
// and the DirectShow filter registrations. Names, descriptions
// and versions of the inactive entries are asked of the driver files
// themselves, so the store never disagrees with them.
#include <cstdio>
#include <iterator>
#include <string>

#include "core/catalogue/DriverStore.h"
#include "core/catalogue/FileVersionInfo.h"
#include "core/shell/uConst.h"
#include "core/shell/uGlobal.h"
#include "demo/DemoMachine.h"
#include "platform/api/Registry.h"
#include "platform/api/WinPaths.h"
#include "platform/choice/PlatformChoice.h"

namespace fs = std::filesystem;

namespace tarnel {

namespace {

// The driver list, in the order the machine keeps it. Video entries and
// others are mixed, as they are on a real machine. xmvdec.dll is not among
// the demo files: its entry names a driver that is gone.
struct DriverEntry {
    const char* name;
    const char* file;
};
constexpr DriverEntry kDriverEntries[] = {
    {"msacm.lcadpcm", "lcadpcm.acm"},
    {"msacm.pbgsm", "pbgsm.acm"},
    {"vidc.mjpg", "lcmjpeg.dll"},
    {"vidc.yuy2", "pbyuv.dll"},
    {"wave", "tnwave.drv"},
    {"midi", "tnmidi.drv"},
    {"vidc.i420", "tsplanar.dll"},
    {"vidc.yv12", "tsplanar.dll"},
    {"vidc.vrh2", "vrnhd.dll"},
    {"mixer", "tnmix.drv"},
    {"vidc.kwd3", "kwdelta.dll"},
    {"vidc.dnh4", "dhwave.dll"},
    {"VIDC.BRM5", "brmvid.dll"},
    {"vidc.ovt6", "ovtcodec.dll"},
    {"msacm.dhlaw", "dhlaw.acm"},
    {"vidc.tsl1", "tslscr.dll"},
    {"vidc.rawv", "rawview.dll"},
    {"vidc.xmv7", "xmvdec.dll"},
};

// Codecs taken out of service earlier. mjpg is the twin of an active codec
// of another driver; iyuv was found by a scan of tsplanar.dll.
struct InactiveEntry {
    const char* fourcc;
    const char* file;
};
constexpr InactiveEntry kInactiveEntries[] = {
    {"mjpg", "kwmjpeg.dll"},
    {"ptx8", "pbtex.dll"},
    {"iyuv", "tsplanar.dll"},
    {"vrh1", "vrnold.dll"},
};

// How a filter's server path is written.
enum class PathForm {
    Full,    // the system folder's full path
    Bare,    // the file name alone
    Expand,  // an expandable string with an environment variable
    None,    // the class has no InprocServer32 key
};
struct FilterEntry {
    const char* friendlyName;  // nullptr: the registration has none
    const char* file;
    PathForm form;
    uint32_t merit;
};
constexpr uint32_t kMeritNormal = 0x00600000, kMeritPreferred = 0x00800000,
                   kMeritUnlikely = 0x00400000, kMeritDoNotUse = 0x00200000;
// brmcap.ax, tsdec2.ax and xmvsplit.ax are not among the demo files.
constexpr FilterEntry kFilters[] = {
    {"Lumacraft Stream Splitter", "lcsplit.ax", PathForm::Full, kMeritNormal},
    {"Lumacraft Audio Parser", "lcsplit.ax", PathForm::Full, kMeritUnlikely},
    {"Pixelbrook File Source", "pbsource.ax", PathForm::Full, kMeritNormal},
    {"Pixelbrook Async Reader", "pbsource.ax", PathForm::Full, kMeritNormal},
    {"Pixelbrook URL Source", "pbsource.ax", PathForm::Full, kMeritUnlikely},
    {"Tessaly Video Decoder", "tsdec.ax", PathForm::Full, kMeritPreferred},
    {"Tessaly Audio Decoder", "tsdec.ax", PathForm::Full, kMeritPreferred},
    {"Tessaly Subtitle Mixer", "tsdec.ax", PathForm::Bare, kMeritNormal},
    {"Varnholt Multiplexer", "vrnmux.ax", PathForm::Full, kMeritDoNotUse},
    {"Varnholt File Writer", "vrnmux.ax", PathForm::Full, kMeritDoNotUse},
    {"Kestrelwood Colour Converter", "kwfx.ax", PathForm::Full, kMeritNormal},
    {"Kestrelwood Sharpen", "kwfx.ax", PathForm::Expand, kMeritDoNotUse},
    {"Orvane Video Renderer", "ovtrend.ax", PathForm::Full, kMeritPreferred},
    {"Orvane Overlay Mixer", "ovtrend.ax", PathForm::Full, kMeritNormal},
    {"Orvane Null Renderer", "ovtrend.ax", PathForm::Full, kMeritDoNotUse},
    {"Duneharrow Audio Resampler", "dhaudio.ax", PathForm::Full, kMeritNormal},
    {"Duneharrow Volume Control", "dhaudio.ax", PathForm::Full, kMeritUnlikely},
    {"Brindlemoor Capture Source", "brmcap.ax", PathForm::Full, kMeritDoNotUse},
    {"Brindlemoor Crossbar", "brmcap.ax", PathForm::Full, kMeritDoNotUse},
    {"Tessaly Video Decoder", "tsdec2.ax", PathForm::Full, kMeritUnlikely},
    {"LC Motion JPEG Decompressor", "lcmjpeg.dll", PathForm::Full, kMeritNormal},
    {"Raw View Wrapper", "rawview.dll", PathForm::Full, kMeritUnlikely},
    {"Orvane Stream Analyzer", "ovtrend.ax", PathForm::None, kMeritDoNotUse},
    {nullptr, "xmvsplit.ax", PathForm::Full, kMeritNormal},
};

// A made-up class id per filter, the same on every machine.
std::string FilterClsid(size_t index) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{5E1A%04X-9C2B-4D7E-A3F0-6B8D2C4E%04X}",
                  static_cast<unsigned>(0x7100 + index), static_cast<unsigned>(index + 1));
    return buf;
}

// REGFILTER2 data as the filter mapper stores it: version 2, merit, no pins.
std::string FilterData(uint32_t merit) {
    std::string d(16, '\0');
    d[0] = 2;
    for (int i = 0; i < 4; ++i) d[4 + i] = static_cast<char>((merit >> (8 * i)) & 0xFF);
    return d;
}

void WriteCatalogue(platform::TMachineFamily family) {
    const bool nt = family == platform::TMachineFamily::NT;
    const int32_t mode = CodecStoreModeOf(family);
    platform::TTransaction transaction;
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(mode);
    // Other drivers' entries stand between the codecs', as on a real machine,
    // and so does one codec entry another tool wrote in capitals.
    for (const DriverEntry& e : kDriverEntries) {
        TCodecInfo info = SplitDriverName(e.name);
        if (!info.Kind.empty() && e.name[0] == 'v') {
            TCodecEntry entry;
            entry.Fourcc = info.Fourcc;
            entry.Driver = e.file;
            store->AddActiveEntry(entry);
        } else {
            store->AddForeignEntry(e.name, e.file);
        }
    }

    // Names and descriptions as the driver gives them for the FOURCC, asked
    // the way the program asks a codec: registered for the moment of the
    // question.
    TFileVersionInfo version(mode);
    int number = 1;
    for (const InactiveEntry& e : kInactiveEntries) {
        platform::ICINFO info;
        {
            platform::TTransaction moment(platform::TTransaction::Scratch);
            info = store->ProbeEntry(e.fourcc, e.file, nullptr);
        }
        version.SetExecutableFile(e.file);
        char text[16];
        std::snprintf(text, sizeof text, cInactiveNumberFormat, number++);
        TCodecEntry entry;
        entry.Number = text;
        entry.Fourcc = e.fourcc;
        entry.Driver = e.file;
        entry.Shortname = IcInfoName(info);
        entry.Description = IcInfoDescription(info);
        entry.Version = version.FileVersion();
        entry.Type = cType32;
        store->AddInactiveEntry(entry);
    }

    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyClassesRoot);
    const std::string systemDir = nt ? "C:\\WINDOWS\\system32" : "C:\\WINDOWS\\SYSTEM";
    const std::string instance = std::string("\\CLSID\\") + platform::kFilterCategoryClsid + "\\Instance\\";
    for (size_t i = 0; i < std::size(kFilters); ++i) {
        const FilterEntry& f = kFilters[i];
        const std::string clsid = FilterClsid(i);
        reg.OpenKey(instance + clsid, true);
        if (f.friendlyName) reg.WriteString("FriendlyName", f.friendlyName);
        reg.WriteString("CLSID", clsid);
        std::string data = FilterData(f.merit);
        reg.WriteBinaryData("FilterData", data.data(), static_cast<int>(data.size()));
        reg.CloseKey();

        reg.OpenKey("\\CLSID\\" + clsid, true);
        if (f.friendlyName) reg.WriteString("", f.friendlyName);
        reg.CloseKey();
        if (f.form == PathForm::None) continue;
        reg.OpenKey("\\CLSID\\" + clsid + "\\InprocServer32", true);
        switch (f.form) {
            case PathForm::Full: reg.WriteString("", systemDir + "\\" + f.file); break;
            case PathForm::Bare: reg.WriteString("", f.file); break;
            case PathForm::Expand:
                reg.WriteExpandString("", (nt ? "%SystemRoot%\\system32\\" : "%windir%\\SYSTEM\\") +
                                              std::string(f.file));
                break;
            case PathForm::None: break;
        }
        reg.WriteString("ThreadingModel", "Both");
        reg.CloseKey();
    }
    transaction.Commit();
}

}  // namespace

void CreateDemoMachine(const fs::path& root, platform::TMachineFamily family) {
    platform::MakeMachineFolder(root, [&](const fs::path& draft) {
        platform::CreateMachineFolder(draft, family);
        demo::WriteDemoDriverFiles(draft, family);
        platform::WithMachine(draft, [family] { WriteCatalogue(family); }, /*fixedTimes=*/true);
        platform::MarkDemoMachine(draft);
    });
}

}  // namespace tarnel
