// The demo machine: a bare machine with codecs, driver files, inactive
// entries and DirectShow filters, enough to try every feature of the
// program. The driver files are the ones built from demo/drivers; their
// names, descriptions and versions are taken from the files themselves so
// the registry never disagrees with them.
#include "platform/machine/DemoMachine.h"

#include <cstdio>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "DemoFiles.h"
#include "platform/machine/AtomicFile.h"
#include "platform/api/CodecManager.h"
#include "platform/machine/CodecInfo.h"
#include "platform/machine/Machine.h"
#include "platform/machine/MachineBackend.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"

namespace fs = std::filesystem;

namespace tarnel::platform {

namespace {

constexpr const char* kDrivers32Key = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr const char* kInactiveKey = "\\SOFTWARE\\Halvorin\\Drivers.Inactive";
constexpr const char* kFilterCategory = "{083863F1-70DE-11d0-BD40-00A0C911CE86}";

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

const demo::DemoFile& DemoFileNamed(const char* name) {
    const demo::DemoFile* f = demo::FindDemoFile(name);
    if (!f) throw std::logic_error(std::string("The demo file '") + name + "' was not built");
    return *f;
}

// The six texts of an inactive entry, each closed by a zero byte; an
// empty text is stored as one blank so every entry has six pieces.
std::string InactiveValue(const InactiveEntry& e) {
    const demo::DemoFile& f = DemoFileNamed(e.file);
    machine::CodecSelfDescription self = f.codecInfo ? machine::ParseCodecInfoText(f.codecInfo) : machine::CodecSelfDescription{};
    std::string texts[6] = {e.fourcc, e.file, self.name, self.description,
                            f.fileVersion ? f.fileVersion : "", "32"};
    std::string out;
    for (std::string& t : texts) {
        out += t.empty() ? std::string(" ") : t;
        out += '\0';
    }
    return out;
}

void WriteRegistry(MachineFamily family, const std::string& systemDir) {
    TRegistryFixedTime fixedTime(kMachineMadeTime);
    TTransaction scope;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    if (family == MachineFamily::NT) {
        reg.OpenKey(kDrivers32Key, true);
        for (const DriverEntry& e : kDriverEntries) reg.WriteString(e.name, e.file);
        reg.CloseKey();
    }

    reg.OpenKey(kInactiveKey, true);
    int number = 1;
    for (const InactiveEntry& e : kInactiveEntries) {
        char name[16];
        std::snprintf(name, sizeof name, "#%.3d#", number++);
        std::string value = InactiveValue(e);
        reg.WriteBinaryData(name, value.data(), static_cast<int>(value.size()));
    }
    reg.CloseKey();

    reg.SetRootKey(kHkeyClassesRoot);
    const std::string instance = std::string("\\CLSID\\") + kFilterCategory + "\\Instance\\";
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
                reg.WriteExpandString("", (family == MachineFamily::NT ? "%SystemRoot%\\system32\\"
                                                                       : "%windir%\\SYSTEM\\") +
                                              std::string(f.file));
                break;
            case PathForm::None: break;
        }
        reg.WriteString("ThreadingModel", "Both");
        reg.CloseKey();
    }
    scope.Commit();
}

void WriteSystemIni() {
    for (const DriverEntry& e : kDriverEntries)
        if (!WritePrivateProfileStringA("drivers32", e.name, e.file, "SYSTEM.INI"))
            throw EFileError("Cannot write the entry '" + std::string(e.name) + "' to '" +
                             SystemIniPath().string() + "'");
}

}  // namespace

void CreateDemoMachine(const fs::path& root, MachineFamily family) {
    CreateBareMachine(root, family);

    std::optional<fs::path> previous;
    if (MachineSelected()) previous = MachineRoot();
    SelectMachine(root);
    // A previous machine whose folder has gone since cannot be selected again.
    auto restore = [&] {
        std::error_code ec;
        if (previous && fs::is_directory(*previous, ec)) SelectMachine(*previous);
    };
    try {
        const bool nt = family == MachineFamily::NT;
        const fs::path hostDir = root / "drive_c/windows" / (nt ? "system32" : "system");
        for (const demo::DemoFile& f : demo::DemoFiles())
            WriteFileAtomically(hostDir / f.name,
                                std::string_view(reinterpret_cast<const char*>(f.data), f.size));
        WriteRegistry(family, nt ? "C:\\WINDOWS\\system32" : "C:\\WINDOWS\\SYSTEM");
        if (!nt) WriteSystemIni();
        // The marker tells the log and the about box that these codecs are made up.
        WriteFileAtomically(root / machine::kDemoMarkerFile, "This folder was made as Tarnel's demo machine.\n");
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

}  // namespace tarnel::platform
