// activate NUMBER... [--answer yes|no|cancel]: inactive codecs back into
// service; a swap question is answered by --answer.
#include "app/tarnelctl/Command.h"

namespace tarnel::ctl {

int RunActivate(const TCommandLine& cl) {
    TCommandLineAnswers answers(cl.Answer);
    TCodecSession session(answers);
    std::vector<size_t> rows;
    for (const std::string& number : cl.Operands)
        rows.push_back(InactiveRowOf(session.Catalogue().InactiveCodecList, Given(number)));
    return PrintChanges(session, session.Finish(session.Operations().Activate(rows)), cl.Json);
}

}  // namespace tarnel::ctl
