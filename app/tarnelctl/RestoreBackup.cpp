// restore-backup: the backup's entries become the active codecs again.
#include "app/tarnelctl/Command.h"

namespace tarnel::ctl {

int RunRestoreBackup(const TCommandLine& cl) {
    TCommandLineAnswers answers;
    TCodecSession session(answers);
    return PrintChanges(session, session.Finish(session.Operations().RestoreBackup()), cl.Json);
}

}  // namespace tarnel::ctl
