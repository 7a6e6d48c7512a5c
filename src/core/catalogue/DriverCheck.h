// Entries that cannot work: an active codec whose driver file is missing,
// is no program file, or offers no driver procedure. The codec manager
// would refuse to open any of them, so the codec window marks them and
// `tarnelctl check` lists them.
#pragma once

#include <string>
#include <vector>

#include "core/catalogue/CodecEntry.h"

namespace tarnel {

// What is wrong with the driver an active entry names. Nothing is wrong
// when the platform cannot tell.
TDriverProblem DriverProblemOf(const std::string& driver);

// A stable one-word name of the state for scripts: "not-found",
// "not-an-image", "no-driverproc"; empty for the others.
const char* ProblemKind(platform::TDriverFileState state);

// The active entries whose driver cannot be loaded, in list order, as their
// load (or activation) found them.
std::vector<const TCodecEntry*> BrokenEntries(const std::vector<TCodecEntry>& active);

}  // namespace tarnel
