// The demo machine a new user starts on, and that tests and benchmarks use:
// at least eight video codecs with version resources (one without, one whose
// driver file is missing), codecs with and without their own dialogs, a
// driver that answers further FOURCCs, other drivers' entries among the
// codecs', inactive entries (one the twin of an active codec) and two dozen
// DirectShow filter registrations. It stands above the core: its entries
// are written through the driver store, its files come from demo/drivers.
#pragma once

#include <filesystem>

#include "platform/api/Backend.h"

namespace tarnel {

// Makes it in `root`, whole or not at all (see MakeMachineFolder); refuses
// a folder that holds a machine or anything else. The same family always
// gives the same bytes.
void CreateDemoMachine(const std::filesystem::path& root, platform::TMachineFamily family);

namespace demo {
// The demo codecs' and filters' driver files, into the family's system folder.
void WriteDemoDriverFiles(const std::filesystem::path& root, platform::TMachineFamily family);
}  // namespace demo

}  // namespace tarnel
