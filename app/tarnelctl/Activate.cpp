// activate NUMBER... [--answer yes|no|cancel]: inactive codecs back into
// service; a swap is answered by --answer, whether AutoSwap would have
// asked or not.
#include "app/tarnelctl/Command.h"

namespace tarnel::ctl {

int RunActivate(const TCommandLine& cl) {
    TCommandLineAnswers answers(cl.Answer);
    TCodecSession session(answers);
    // An answer given is the one that counts: with AutoSwap on, too, the
    // swap is put to it (for this command only; the setting stays).
    if (cl.Answer) session.Catalogue().Prefs().AutoSwap = false;
    std::vector<size_t> rows;
    for (const std::string& number : cl.Operands)
        rows.push_back(InactiveRowOf(session.Catalogue().InactiveCodecList, Given(number)));
    return PrintChanges(session, session.Finish(session.Operations().Activate(rows)), cl.Json);
}

}  // namespace tarnel::ctl
