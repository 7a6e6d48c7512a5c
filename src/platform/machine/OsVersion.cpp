// The OS facts of the machine come from the keys where Windows itself keeps
// them:
//   NT family   HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion
//                 "CurrentVersion" ("5.1"), or the DWORDs
//                 "CurrentMajorVersionNumber"/"CurrentMinorVersionNumber",
//                 "CurrentBuildNumber" (or "CurrentBuild"), "CSDVersion"
//               HKLM\SYSTEM\CurrentControlSet\Control\Windows "CSDVersion"
//                 (DWORD, service pack major in the high byte, minor in the low)
//               HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions
//                 "ProductType" (WinNT / LanmanNT / ServerNT) and the
//                 multi-string "ProductSuite" (suite names -> suite mask)
//   95/98/ME    HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion
//                 "VersionNumber" ("4.10.2222"), "SubVersionNumber" (" A ");
//                 a major version below 4 is Win32s.
// A DWORD "PlatformId" in the key found overrides the platform number; it
// exists so that machines of platforms Windows never kept there (and which
// the program must refuse) can be made.
#include "platform/api/OsVersion.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"
#include "platform/api/WinPaths.h"
#include "platform/machine/MachineBackend.h"
#include "platform/machine/MachineRegistry.h"

namespace tarnel::platform::machine {

namespace {

constexpr const char* kNtKey = kNtCurrentVersionKeyPath;
constexpr const char* k9xKey = k9xCurrentVersionKeyPath;

uint32_t ParseUInt(const std::string& s, size_t& pos) {
    uint32_t v = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        v = v * 10 + static_cast<uint32_t>(s[pos] - '0');
        ++pos;
    }
    return v;
}

// "a.b.c" into up to three numbers; missing parts are 0.
void ParseDotted(const std::string& s, uint32_t out[3]) {
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        while (pos < s.size() && s[pos] == ' ') ++pos;
        out[i] = ParseUInt(s, pos);
        if (pos < s.size() && s[pos] == '.') ++pos;
        else {
            for (int k = i + 1; k < 3; ++k) out[k] = 0;
            break;
        }
    }
}

std::string ReadText(TRegistry& reg, const char* name) {
    TRegDataType t = reg.GetDataType(name);
    if (t == TRegDataType::rdString || t == TRegDataType::rdExpandString) return reg.ReadString(name);
    return {};
}

bool ReadDword(TRegistry& reg, const char* name, uint32_t& out) {
    if (reg.GetDataType(name) != TRegDataType::rdInteger) return false;
    out = static_cast<uint32_t>(reg.ReadInteger(name));
    return true;
}

uint16_t SuiteMaskOf(const std::string& multi) {
    static const std::pair<const char*, uint16_t> kSuites[] = {
        {"Small Business", 0x0001}, {"Enterprise", 0x0002},     {"BackOffice", 0x0004},
        {"CommunicationServer", 0x0008}, {"Terminal Server", 0x0010},
        {"Small Business(Restricted)", 0x0020}, {"EmbeddedNT", 0x0040}, {"DataCenter", 0x0080},
        {"Personal", 0x0200}, {"Blade", 0x0400}};
    uint16_t mask = 0;
    size_t start = 0;
    while (start < multi.size()) {
        size_t end = multi.find('\0', start);
        if (end == std::string::npos) end = multi.size();
        std::string item = multi.substr(start, end - start);
        for (const auto& [name, bit] : kSuites)
            if (EqualsNoCase(item, name)) mask |= bit;
        start = end + 1;
    }
    return mask;
}

std::string ReadMultiAsAnsi(TRegistry& reg, const char* name) {
    if (reg.GetRawType(name) != kRegMultiSz) return {};
    int size = reg.GetDataSize(name);
    if (size <= 0) return {};
    std::string buf(static_cast<size_t>(size), '\0');
    buf.resize(static_cast<size_t>(reg.ReadBinaryData(name, buf.data(), size)));
    return buf;
}

struct Facts {
    uint32_t major = 0, minor = 0, build = 0, platform = 0;
    std::string csd;
    uint16_t spMajor = 0, spMinor = 0, suite = 0;
    uint8_t productType = 0;
    bool extended = false;
};

bool ReadNtFacts(Facts& f) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    if (!reg.OpenKeyReadOnly(kNtKey)) return false;
    std::string current = ReadText(reg, "CurrentVersion");
    uint32_t major = 0, minor = 0;
    bool haveMajor = ReadDword(reg, "CurrentMajorVersionNumber", major);
    if (current.empty() && !haveMajor) return false;
    uint32_t parts[3];
    ParseDotted(current, parts);
    f.major = parts[0];
    f.minor = parts[1];
    if (haveMajor) {
        f.major = major;
        f.minor = ReadDword(reg, "CurrentMinorVersionNumber", minor) ? minor : 0;
    }
    std::string build = ReadText(reg, "CurrentBuildNumber");
    if (build.empty()) build = ReadText(reg, "CurrentBuild");
    size_t pos = 0;
    f.build = ParseUInt(build, pos);
    f.csd = ReadText(reg, "CSDVersion");
    f.platform = 2;
    uint32_t override = 0;
    if (ReadDword(reg, "PlatformId", override)) f.platform = override;
    reg.CloseKey();

    uint32_t sp = 0;
    if (reg.OpenKeyReadOnly(kControlWindowsKeyPath) && ReadDword(reg, "CSDVersion", sp)) {
        f.spMajor = static_cast<uint16_t>((sp >> 8) & 0xFF);
        f.spMinor = static_cast<uint16_t>(sp & 0xFF);
    } else if (StartsWithNoCase(f.csd, "Service Pack ")) {
        size_t p = 13;
        f.spMajor = static_cast<uint16_t>(ParseUInt(f.csd, p));
    }
    reg.CloseKey();

    f.productType = 1;
    if (reg.OpenKeyReadOnly(kProductOptionsKeyPath)) {
        std::string type = ReadText(reg, "ProductType");
        if (EqualsNoCase(type, "LanmanNT")) f.productType = 2;
        else if (EqualsNoCase(type, "ServerNT")) f.productType = 3;
        f.suite = SuiteMaskOf(ReadMultiAsAnsi(reg, "ProductSuite"));
    }
    reg.CloseKey();
    // The extended query arrived with NT 4.0 Service Pack 6.
    f.extended = f.major >= 5 || (f.major == 4 && f.spMajor >= 6);
    return true;
}

bool Read9xFacts(Facts& f) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    if (!reg.OpenKeyReadOnly(k9xKey)) return false;
    std::string number = ReadText(reg, "VersionNumber");
    if (number.empty()) return false;
    uint32_t parts[3];
    ParseDotted(number, parts);
    f.major = parts[0];
    f.minor = parts[1];
    // This family reports the version in the build number's high word.
    f.build = ((f.major & 0xFF) << 24) | ((f.minor & 0xFF) << 16) | (parts[2] & 0xFFFF);
    f.csd = ReadText(reg, "SubVersionNumber");
    f.platform = f.major < 4 ? 0 : 1;
    uint32_t override = 0;
    if (ReadDword(reg, "PlatformId", override)) f.platform = override;
    f.extended = false;
    return true;
}

std::string SystemRoot() {
    std::optional<MachineRegistry::NativeScope> native;
    if (MachineInUse()) native.emplace(CurrentMachine().RegistryCalls());
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    std::string root;
    if (reg.OpenKeyReadOnly(kNtKey)) root = ReadText(reg, "SystemRoot");
    if (root.empty() && reg.OpenKeyReadOnly(k9xKey)) root = ReadText(reg, "SystemRoot");
    return root.empty() ? "C:\\WINDOWS" : root;
}

// Windows date/time pictures: d dd ddd dddd M MM MMM MMMM y yy yyyy,
// h hh H HH m mm s ss t tt, and 'quoted' literal text.
std::string FormatPicture(const std::string& pic, const std::tm& tm, const std::string& am,
                          const std::string& pm) {
    static const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                    "July",    "August",   "September", "October", "November", "December"};
    auto two = [](int v) {
        char b[16];
        std::snprintf(b, sizeof b, "%02d", v);
        return std::string(b);
    };
    std::string out;
    for (size_t i = 0; i < pic.size();) {
        char c = pic[i];
        if (c == '\'') {
            size_t end = pic.find('\'', i + 1);
            if (end == std::string::npos) end = pic.size();
            out += pic.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        size_t n = 1;
        while (i + n < pic.size() && pic[i + n] == c) ++n;
        switch (c) {
            case 'd':
                if (n == 1) out += std::to_string(tm.tm_mday);
                else if (n == 2) out += two(tm.tm_mday);
                else if (n == 3) out += std::string(kDays[tm.tm_wday]).substr(0, 3);
                else out += kDays[tm.tm_wday];
                break;
            case 'M':
                if (n == 1) out += std::to_string(tm.tm_mon + 1);
                else if (n == 2) out += two(tm.tm_mon + 1);
                else if (n == 3) out += std::string(kMonths[tm.tm_mon]).substr(0, 3);
                else out += kMonths[tm.tm_mon];
                break;
            case 'y':
                if (n <= 2) out += n == 1 ? std::to_string((tm.tm_year + 1900) % 100) : two((tm.tm_year + 1900) % 100);
                else out += std::to_string(tm.tm_year + 1900);
                break;
            case 'h': {
                int h = tm.tm_hour % 12;
                if (h == 0) h = 12;
                out += n == 1 ? std::to_string(h) : two(h);
                break;
            }
            case 'H': out += n == 1 ? std::to_string(tm.tm_hour) : two(tm.tm_hour); break;
            case 'm': out += n == 1 ? std::to_string(tm.tm_min) : two(tm.tm_min); break;
            case 's': out += n == 1 ? std::to_string(tm.tm_sec) : two(tm.tm_sec); break;
            case 't': {
                const std::string& mark = tm.tm_hour < 12 ? am : pm;
                out += n == 1 ? mark.substr(0, 1) : mark;
                break;
            }
            default: out += std::string(n, c);
        }
        i += n;
    }
    return out;
}

}  // namespace

bool GetVersionExA(OSVERSIONINFOEXA* info) {
    if (!info) return false;
    uint32_t size = info->dwOSVersionInfoSize;
    if (size != kOsVersionInfoSize && size != kOsVersionInfoExSize) return false;
    // Windows answers from outside the registry, the same in every view.
    std::optional<MachineRegistry::NativeScope> native;
    if (MachineInUse()) native.emplace(CurrentMachine().RegistryCalls());
    Facts f;
    if (!ReadNtFacts(f) && !Read9xFacts(f)) return false;
    if (size == kOsVersionInfoExSize && !f.extended) return false;
    std::memset(reinterpret_cast<char*>(info) + 4, 0, size - 4);
    info->dwMajorVersion = f.major;
    info->dwMinorVersion = f.minor;
    info->dwBuildNumber = f.build;
    info->dwPlatformId = f.platform;
    std::strncpy(info->szCSDVersion, f.csd.c_str(), sizeof info->szCSDVersion - 1);
    if (size == kOsVersionInfoExSize) {
        info->wServicePackMajor = f.spMajor;
        info->wServicePackMinor = f.spMinor;
        info->wSuiteMask = f.suite;
        info->wProductType = f.productType;
    }
    return true;
}

std::string GetWindowsDirectoryA() { return SystemRoot(); }

std::string GetSystemDirectoryA() {
    // The one family decision of the machine, as the codec manager makes it.
    if (CurrentMachine().Family() == TMachineFamily::Win9x) return SystemRoot() + "\\SYSTEM";
    // A 32-bit program on a 64-bit system is given the folder of its own drivers.
    return SystemRoot() + (CurrentMachine().View() == 32 ? "\\syswow64" : "\\system32");
}

TMachineFamily FamilyFromFacts() {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = kOsVersionInfoSize;
    if (!machine::GetVersionExA(&info)) return TMachineFamily::Unsupported;
    return FamilyOfPlatformId(info.dwPlatformId);
}

std::string FormatLocalDateTimeNow() {
    std::string dateFmt = "M/d/yyyy", timeFmt = "h:mm:ss tt", am = "AM", pm = "PM";
    try {
        TRegistry reg;
        reg.SetRootKey(kHkeyCurrentUser);
        if (reg.OpenKeyReadOnly(kInternationalKeyPath)) {
            auto pick = [&](const char* name, std::string& into) {
                std::string v = ReadText(reg, name);
                if (!v.empty()) into = v;
            };
            pick("sShortDate", dateFmt);
            pick("sTimeFormat", timeFmt);
            pick("s1159", am);
            pick("s2359", pm);
        }
    } catch (const std::exception&) {
        // A user hive that cannot be read leaves the default formats: the
        // time stamp of the line that reports the hive's error must not fail.
    }
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    localtime_r(&now, &tm);
    std::string text = FormatPicture(dateFmt, tm, am, pm);
    if (tm.tm_hour != 0 || tm.tm_min != 0 || tm.tm_sec != 0) text += " " + FormatPicture(timeFmt, tm, am, pm);
    return text;
}

}  // namespace tarnel::platform::machine
