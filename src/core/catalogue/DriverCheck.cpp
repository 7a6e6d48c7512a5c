#include "core/catalogue/DriverCheck.h"

#include "core/shell/uConst.h"
#include "platform/api/FileApi.h"

namespace tarnel {

TDriverProblem DriverProblemOf(const std::string& driver) {
    TDriverProblem p;
    const platform::TDriverFileCheck check = platform::CheckDriverFile(driver);
    p.State = check.State;
    p.Path = check.Path;
    switch (check.State) {
    case platform::TDriverFileState::NotFound: p.Text = cDriverNotFound + p.Path; break;
    case platform::TDriverFileState::NotImage: p.Text = cDriverNotAnImage + p.Path; break;
    case platform::TDriverFileState::NoDriverProc: p.Text = cDriverNoDriverProc + p.Path; break;
    default: break;
    }
    return p;
}

const char* ProblemKind(platform::TDriverFileState state) {
    switch (state) {
    case platform::TDriverFileState::NotFound: return "not-found";
    case platform::TDriverFileState::NotImage: return "not-an-image";
    case platform::TDriverFileState::NoDriverProc: return "no-driverproc";
    default: return "";
    }
}

std::vector<const TCodecEntry*> BrokenEntries(const std::vector<TCodecEntry>& active) {
    std::vector<const TCodecEntry*> broken;
    for (const TCodecEntry& e : active)
        if (!e.Problem.Text.empty()) broken.push_back(&e);
    return broken;
}

}  // namespace tarnel
