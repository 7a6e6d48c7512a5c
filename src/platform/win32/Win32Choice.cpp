// Start-up's choice on Windows: the program works on the computer it runs
// on, through the real API. Machine folders are the Linux program's
// emulation of a Windows machine; here there are none to name or make.
#include <windows.h>

#include "platform/api/FileError.h"
#include "platform/api/OsVersion.h"
#include "platform/choice/PlatformChoice.h"
#include "platform/win32/Win32Backend.h"

namespace tarnel::platform {

namespace {
[[noreturn]] void NoMachineFolders() {
    throw EPlatformError(
        "Machine folders are emulated Windows machines of the Linux program; on Windows Tarnel works on this "
        "computer itself");
}
}  // namespace

TPlatformChosen ChoosePlatform(const TPlatformChoice& choice) {
    if (!choice.Machine.empty()) NoMachineFolders();
    if (!choice.Backend.empty() && choice.Backend != "win32")
        throw EPlatformError("On Windows the only backend is win32 (the Windows API itself), not '" + choice.Backend +
                             "'");
    // The registry is seen as this program's bitness sees it; another view
    // is refused rather than this one shown in its place.
    if (const int own = int(sizeof(void*) * 8); choice.View != 0 && choice.View != own)
        throw EPlatformError("--view " + std::to_string(choice.View) + ": this program serves the " +
                             std::to_string(own) + "-bit view of the registry only");
    // The running program's own file, as Windows names it (argv[0] may be
    // any spelling the caller used).
    char self[MAX_PATH + 1];
    DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
    if (n && n < sizeof self) SetProgramFile(std::string(self, n));
    auto backend = std::make_unique<win32::TWin32Backend>();
    backend->SetView(choice.View);
    UseBackend(std::move(backend));
    TPlatformChosen chosen;
    chosen.Source = "this computer";
    chosen.Backend = "win32";
    return chosen;
}

void CreateMachineFolder(const std::filesystem::path&, TMachineFamily) { NoMachineFolders(); }
void MakeMachineFolder(const std::filesystem::path&, const std::function<void(const std::filesystem::path&)>&) {
    NoMachineFolders();
}
void WithMachine(const std::filesystem::path&, const std::function<void()>&, bool) { NoMachineFolders(); }
void MarkDemoMachine(const std::filesystem::path&) { NoMachineFolders(); }
std::filesystem::path DefaultMachineFolder() { NoMachineFolders(); }

}  // namespace tarnel::platform
