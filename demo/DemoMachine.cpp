// The demo machine's driver files: the ones built from demo/drivers and
// carried inside the program, written into a machine's system folder. The
// entries that announce them are written through the program's own driver
// store (DemoCatalogue.cpp), so no store format is spelled twice.
#include "demo/DemoMachine.h"

#ifndef _WIN32
#include <string_view>

#include "demo/DemoFiles.h"
#include "platform/machine/AtomicFile.h"
#else
#include "platform/api/FileError.h"
#endif

namespace fs = std::filesystem;

namespace tarnel::demo {

#ifndef _WIN32
void WriteDemoDriverFiles(const fs::path& root, platform::TMachineFamily family) {
    const bool nt = family == platform::TMachineFamily::NT;
    const fs::path hostDir = root / "drive_c/windows" / (nt ? "system32" : "system");
    for (const DemoFile& f : DemoFiles())
        platform::WriteFileAtomically(hostDir / f.name,
                                      std::string_view(reinterpret_cast<const char*>(f.data), f.size));
}
#else
// The Windows build carries no driver files: it makes no machine folders.
void WriteDemoDriverFiles(const fs::path& root, platform::TMachineFamily) {
    throw platform::EFileError("The Windows build makes no machine folders ('" + root.string() + "')");
}
#endif

}  // namespace tarnel::demo
