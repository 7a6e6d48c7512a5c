#include <cstdlib>
#include <fstream>

#include "platform/machine/AtomicFile.h"
#include "platform/machine/BareMachine.h"
#include "platform/machine/Machine.h"

namespace fs = std::filesystem;

namespace tarnel::platform {

namespace {
std::string Key(const char* path) {
    return std::string("\n[") + path + "] " + std::to_string(kMachineMadeTime) + "\n";
}

std::string SystemHive(TMachineFamily family) {
    std::string s = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n";
    if (family == TMachineFamily::NT) {
        s += Key("Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion");
        s += "\"CSDVersion\"=\"Service Pack 3\"\n"
             "\"CurrentBuildNumber\"=\"2600\"\n"
             "\"CurrentVersion\"=\"5.1\"\n"
             "\"PathName\"=\"C:\\\\WINDOWS\"\n"
             "\"SystemRoot\"=\"C:\\\\WINDOWS\"\n";
        s += Key("Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Drivers32");
        s += Key("System\\\\CurrentControlSet\\\\Control\\\\ProductOptions");
        s += "\"ProductSuite\"=str(7):\"\"\n"
             "\"ProductType\"=\"WinNT\"\n";
        s += Key("System\\\\CurrentControlSet\\\\Control\\\\Windows");
        s += "\"CSDVersion\"=dword:00000300\n";
    } else {
        s += Key("Software\\\\Microsoft\\\\Windows\\\\CurrentVersion");
        s += "\"SubVersionNumber\"=\" A \"\n"
             "\"SystemRoot\"=\"C:\\\\WINDOWS\"\n"
             "\"Version\"=\"Windows 98\"\n"
             "\"VersionNumber\"=\"4.10.2222\"\n";
    }
    return s;
}

std::string UserHive() {
    std::string s =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n";
    s += Key("Control Panel\\\\International");
    s += "\"sShortDate\"=\"dd.MM.yyyy\"\n"
         "\"sTimeFormat\"=\"HH:mm:ss\"\n";
    return s;
}

const char* kSystemIni =
    "[386Enh]\r\n"
    "woafont=dosapp.fon\r\n"
    "\r\n"
    "[drivers]\r\n"
    "wave=mmdrv.dll\r\n"
    "timer=timer.drv\r\n"
    "\r\n"
    "[mci]\r\n"
    "\r\n"
    "[drivers32]\r\n"
    "\r\n"
    "[mail]\r\n";
}  // namespace

void CreateBareMachine(const fs::path& root, TMachineFamily family) {
    if (family == TMachineFamily::Unsupported)
        throw EFileError("A machine is made of the NT or of the 95/98/ME family, not of another");
    std::error_code ec;
    if (fs::exists(root / "system.reg", ec))
        throw EFileError("A machine already exists in '" + root.string() + "'");
    fs::create_directories(root / "drive_c/windows/system32", ec);
    if (!ec && family == TMachineFamily::Win9x) fs::create_directories(root / "drive_c/windows/system", ec);
    if (ec) throw EFileError("Cannot create the machine folder '" + root.string() + "': " + ec.message());
    WriteFileAtomically(root / "system.reg", SystemHive(family));
    WriteFileAtomically(root / "user.reg", UserHive());
    WriteFileAtomically(root / "drive_c/windows/system.ini", kSystemIni);
}

}  // namespace tarnel::platform
