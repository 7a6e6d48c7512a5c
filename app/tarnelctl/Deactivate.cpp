// deactivate FOURCC... [--driver NAME]: the active codecs of these FOURCCs
// out of service; with --driver only the one whose driver that is (of two
// rows of one FOURCC, the one meant).
#include "app/tarnelctl/Command.h"

namespace tarnel::ctl {

int RunDeactivate(const TCommandLine& cl) {
    TCommandLineAnswers answers;
    TCodecSession session(answers);
    const std::string driver = cl.Driver ? Given(*cl.Driver) : std::string();
    std::vector<size_t> rows;
    for (const std::string& fourcc : cl.Operands) {
        std::vector<size_t> named = ActiveRowsOf(session.Catalogue().CodecList, Given(fourcc), driver);
        rows.insert(rows.end(), named.begin(), named.end());
    }
    return PrintChanges(session, session.Finish(session.Operations().Deactivate(rows)), cl.Json);
}

}  // namespace tarnel::ctl
