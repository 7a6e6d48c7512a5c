#include "core/catalogue/DriverCheck.h"

#include "core/catalogue/CodecLists.h"
#include "core/shell/uConst.h"
#include "platform/api/FileApi.h"
#include "platform/api/Registry.h"

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

std::vector<TBrokenEntry> BrokenEntries(const TCodecList& active) {
    std::vector<TBrokenEntry> broken;
    // One transaction: each driver file is found and read once.
    platform::TTransaction reading(platform::TTransaction::Read);
    for (const TCodecRow& row : active.Rows()) {
        TDriverProblem problem = DriverProblemOf(row.Cell(acDriver));
        if (!problem.Text.empty()) broken.push_back({row.Caption, row.Cell(acDriver), std::move(problem)});
    }
    return broken;
}

}  // namespace tarnel
