// remove NUMBER... --yes: inactive codecs dropped for good.
#include "app/tarnelctl/Command.h"

namespace tarnel::ctl {

int RunRemove(const TCommandLine& cl) {
    TCommandLineAnswers answers(std::nullopt, cl.Yes);
    TCodecSession session(answers);
    std::vector<size_t> rows;
    for (const std::string& number : cl.Operands)
        rows.push_back(InactiveRowOf(session.Catalogue().InactiveCodecList, Given(number)));
    return PrintChanges(session, session.Finish(session.Operations().RemoveInactive(rows)), cl.Json);
}

}  // namespace tarnel::ctl
