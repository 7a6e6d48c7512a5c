// Entries that cannot work: an active codec whose driver file is missing,
// is no program file, or offers no driver procedure. The codec manager
// would refuse to open any of them, so the codec window marks them and
// `tarnelctl check` lists them.
#pragma once

#include <string>
#include <vector>

#include "platform/api/Backend.h"

namespace tarnel {

class TCodecList;

struct TDriverProblem {
    platform::TDriverFileState State = platform::TDriverFileState::Unknown;
    std::string Path;  // the file as Windows names it
    std::string Text;  // "Driver file not found: <path>"; empty when nothing is wrong
};

// What is wrong with the driver an active entry names. Nothing is wrong
// when the platform cannot tell.
TDriverProblem DriverProblemOf(const std::string& driver);

// A stable one-word name of the state for scripts: "not-found",
// "not-an-image", "no-driverproc"; empty for the others.
const char* ProblemKind(platform::TDriverFileState state);

struct TBrokenEntry {
    std::string Fourcc;
    std::string Driver;
    TDriverProblem Problem;
};

// The active rows whose driver cannot be loaded, in list order.
std::vector<TBrokenEntry> BrokenEntries(const TCodecList& active);

}  // namespace tarnel
