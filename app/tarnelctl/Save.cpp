// save: both lists written back as they are.
#include "app/tarnelctl/Command.h"

namespace tarnel::ctl {

int RunSave(const TCommandLine& cl) {
    TCommandLineAnswers answers;
    TCodecSession session(answers);
    return PrintChanges(session, session.Finish(session.Operations().SaveLists()), cl.Json);
}

}  // namespace tarnel::ctl
