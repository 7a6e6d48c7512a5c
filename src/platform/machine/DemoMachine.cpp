// The demo machine's driver files: the ones built from demo/drivers and
// carried inside the program, written into a machine's system folder. The
// entries that announce them are written through the program's own driver
// store (see the core's demo catalogue), so no store format is spelled twice.
#include "platform/machine/DemoMachine.h"

#include <string_view>

#include "DemoFiles.h"
#include "platform/machine/AtomicFile.h"

namespace fs = std::filesystem;

namespace tarnel::platform {

void WriteDemoDriverFiles(const fs::path& root, MachineFamily family) {
    const bool nt = family == MachineFamily::NT;
    const fs::path hostDir = root / "drive_c/windows" / (nt ? "system32" : "system");
    for (const demo::DemoFile& f : demo::DemoFiles())
        WriteFileAtomically(hostDir / f.name, std::string_view(reinterpret_cast<const char*>(f.data), f.size));
}

}  // namespace tarnel::platform
