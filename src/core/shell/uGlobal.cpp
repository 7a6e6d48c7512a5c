#include "core/shell/uGlobal.h"

#include <cstring>

#include "platform/api/Ansi.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "core/shell/uConst.h"

namespace tarnel {

namespace {

constexpr uint32_t VER_NT_WORKSTATION = 1;
constexpr uint32_t VER_NT_DOMAIN_CONTROLLER = 2;
constexpr uint32_t VER_NT_SERVER = 3;
constexpr uint32_t VER_SUITE_ENTERPRISE = 0x2;
constexpr uint32_t VER_SUITE_DATACENTER = 0x80;
constexpr uint32_t VER_SUITE_PERSONAL = 0x200;

// Reads a string value through a read-only key; empty when the key cannot be
// opened or the value is missing.
std::string ReadMachineString(const char* key, const char* value) {
    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    if (!reg.OpenKeyReadOnly(key)) return {};
    std::string text = reg.ReadString(value);
    reg.CloseKey();
    return text;
}

const char* ServerEdition(uint32_t suite) {
    if (suite & VER_SUITE_DATACENTER) return cEditionDataCenter;
    if (suite & VER_SUITE_ENTERPRISE) return cEditionAdvancedServer;
    return cEditionServer;
}

// Versions after XP, by number, build and whether the product is a server.
const char* LaterNtName(uint32_t major, uint32_t minor, uint32_t build, bool server) {
    if (major == 6) {
        switch (minor) {
        case 0: return server ? cOsServer2008 : cOsVista;
        case 1: return server ? cOsServer2008R2 : cOsWin7;
        case 2: return server ? cOsServer2012 : cOsWin8;
        case 3: return server ? cOsServer2012R2 : cOsWin81;
        default: return "";
        }
    }
    if (major == 10 && minor == 0) {
        if (!server) return build >= 22000 ? cOsWin11 : cOsWin10;
        if (build < 17763) return cOsServer2016;
        if (build < 20348) return cOsServer2019;
        if (build < 26100) return cOsServer2022;
        return cOsServer2025;
    }
    return "";
}

// The registry's edition identifier ("Professional", "HomePremium",
// "ServerDatacenter") in the words the system's own dialogs use.
std::string EditionWords(const std::string& id, uint32_t major, uint32_t minor) {
    const bool since8 = major > 6 || (major == 6 && minor >= 2);
    static const struct {
        const char* id;
        const char* words;
    } kKnown[] = {{"Core", "Home"}, {"CoreN", "Home N"}, {"CoreSingleLanguage", "Home Single Language"},
                  {"ProfessionalWorkstation", "Pro for Workstations"}, {"EnterpriseS", "Enterprise LTSC"},
                  {"IoTEnterprise", "IoT Enterprise"}};
    if (id == "Professional") return since8 ? "Pro" : "Professional";
    if (id == "ProfessionalN") return since8 ? "Pro N" : "Professional N";
    for (const auto& k : kKnown)
        if (id == k.id) return k.words;
    // Others read as their words: "HomePremium" is Home Premium, a server's
    // "ServerStandardEval" Standard Evaluation.
    std::string rest = id.rfind("Server", 0) == 0 && id.size() > 6 ? id.substr(6) : id;
    if (rest.size() > 4 && rest.compare(rest.size() - 4, 4, "Eval") == 0) rest += "uation";
    std::string words;
    for (size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (i > 0 && c >= 'A' && c <= 'Z' && !(rest[i - 1] >= 'A' && rest[i - 1] <= 'Z')) words += ' ';
        words += c;
    }
    return words;
}

}  // namespace

bool GetWinVersionInfo(TWinVersionInfo& info) {
    platform::OSVERSIONINFOEXA os;
    std::memset(&os, 0, sizeof os);
    os.dwOSVersionInfoSize = platform::kOsVersionInfoExSize;
    bool extended = platform::GetVersionExA(&os);
    if (!extended) {
        std::memset(&os, 0, sizeof os);
        os.dwOSVersionInfoSize = platform::kOsVersionInfoSize;
        if (!platform::GetVersionExA(&os)) return false;
    }

    std::string csd(os.szCSDVersion, strnlen(os.szCSDVersion, sizeof os.szCSDVersion));
    std::string name;
    std::string edition;

    switch (os.dwPlatformId) {
    case platform::kVerPlatformWin32s:
        name = cOsWin32s;
        break;
    case platform::kVerPlatformWin32Windows:
        if (os.dwMajorVersion == 4 && os.dwMinorVersion == 0) {
            name = cOsWin95;
            if (csd.size() >= 2 && csd[1] == 'C') edition = cEditionOsr2;
        }
        if (os.dwMajorVersion == 4 && os.dwMinorVersion == 10) {
            name = cOsWin98;
            if (csd.size() >= 2 && csd[1] == 'A') edition = cEditionSE;
        }
        if (os.dwMajorVersion == 4 && os.dwMinorVersion == 90) name = cOsWinMe;
        break;
    case platform::kVerPlatformWin32Nt:
        if (os.dwMajorVersion == 3 || os.dwMajorVersion == 4)
            name = cOsWinNT;
        else if (os.dwMajorVersion == 5 && os.dwMinorVersion == 0)
            name = cOsWin2000;
        else if (os.dwMajorVersion == 5 && os.dwMinorVersion == 1)
            name = cOsWinXP;
        else if (os.dwMajorVersion >= 6)
            name = LaterNtName(os.dwMajorVersion, os.dwMinorVersion, os.dwBuildNumber,
                               extended && os.wProductType != VER_NT_WORKSTATION);

        // The edition needs the product facts of the extended query.
        if (extended) {
            if (os.wProductType == VER_NT_WORKSTATION)
                edition = (os.wSuiteMask & VER_SUITE_PERSONAL) ? cEditionPersonal
                                                                : cEditionProfessional;
            if (os.wProductType == VER_NT_SERVER) edition = ServerEdition(os.wSuiteMask);
            if (os.wProductType == VER_NT_DOMAIN_CONTROLLER) {
                edition = ServerEdition(os.wSuiteMask);
            } else if (os.dwMajorVersion <= 4) {
                // NT 4.0 keeps the workstation/server distinction only here.
                std::string type = platform::AsciiLowerCase(
                    ReadMachineString(cProductOptionsKey, cProductTypeValue));
                if (type == cProductWinNT)
                    edition = cEditionWorkstation;
                else if (type == cProductServerNT)
                    edition = cEditionServer;
            }
            // Later versions: the edition the registry names, else one
            // from the product facts.
            if (os.dwMajorVersion >= 6 && !name.empty()) {
                const std::string id = ReadMachineString(cNTCurrentVersionKey, cEditionIdValue);
                if (!id.empty())
                    edition = EditionWords(id, os.dwMajorVersion, os.dwMinorVersion);
                else if (os.wProductType == VER_NT_WORKSTATION)
                    edition = (os.wSuiteMask & VER_SUITE_PERSONAL) ? "Home" : cEditionProfessional;
                else
                    edition = (os.wSuiteMask & VER_SUITE_DATACENTER)   ? "Datacenter"
                              : (os.wSuiteMask & VER_SUITE_ENTERPRISE) ? "Enterprise"
                                                                      : "Standard";
            }
        }
        break;
    default:
        break;
    }

    info.Description = name + edition;
    info.MajorVersion = os.dwMajorVersion;
    info.MinorVersion = os.dwMinorVersion;
    info.BuildNumber = os.dwBuildNumber;
    info.PlatformId = os.dwPlatformId;
    info.CSDVersion = csd;
    if (extended) {
        info.ServicePackMajor = os.wServicePackMajor;
        info.ServicePackMinor = os.wServicePackMinor;
        info.SuiteMask = os.wSuiteMask;
        info.ProductType = os.wProductType;
    } else {
        info.ServicePackMajor = 0;
        info.ServicePackMinor = 0;
        info.SuiteMask = 0;
        info.ProductType = 0;
    }
    return true;
}

int32_t CodecStoreModeOf(platform::TMachineFamily family) {
    switch (family) {
    case platform::TMachineFamily::Win9x: return 1;
    case platform::TMachineFamily::NT: return 3;
    default: return 0;
    }
}

TMachineFacts IdentifyMachine() {
    TMachineFacts facts;
    // A query that fails leaves the record as it was: platform 0, unsupported.
    GetWinVersionInfo(facts.Os);
    facts.Family = platform::FamilyOfPlatformId(facts.Os.PlatformId);
    facts.CodecStoreMode = CodecStoreModeOf(facts.Family);
    return facts;
}

std::string ReadSystemRoot() { return ReadMachineString(cNTCurrentVersionKey, cSystemRootValue); }

int CalcPercentage(int done, int total) {
    if (total == 0) return 0;
    // Floating point, then truncation toward zero: 2 of 3 gives 66, never 67.
    return static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
}

}  // namespace tarnel
