// scan FOURCC [--add all|F1,F2,...]: the active codec's driver file scanned
// for further FOURCCs; --add adds the named (or all) free ones as inactive
// codecs, and the lists are written back whenever something was found.
#include <iostream>

#include "app/tarnelctl/Command.h"
#include "core/shell/uConst.h"

namespace tarnel::ctl {

int RunScan(const TCommandLine& cl) {
    TCommandLineAnswers answers;
    TCodecSession session(answers);
    const std::vector<size_t> rows = ActiveRowsOf(session.Catalogue().CodecList, Given(cl.Operands[0]));
    std::vector<std::string> named;
    if (cl.Add && *cl.Add != "all") named = AddList(Given(*cl.Add));
    const TScanAddResult scan = session.Operations().ScanAndAdd(rows.front(), cl.Add.has_value(), named);
    const std::vector<TCodecChange> changes = session.Finish(scan.Result);

    const std::vector<TFoundRow>& found = scan.Outcome.Found;
    if (cl.Json) {
        JsonWriter w(std::cout);
        w.BeginObject();
        w.Key("found").BeginArray();
        for (const TFoundRow& f : found) {
            w.BeginObject();
            w.Key("fourcc").Ansi(f.Fourcc);
            w.Key("description").Ansi(f.Description);
            w.Key("status").Ansi(f.Status);
            w.Key("driver").Ansi(f.Driver);
            w.Key("shortname").Ansi(f.Shortname);
            w.Key("version").Ansi(f.Version);
            w.Key("type").Ansi(f.Type);
            w.EndObject();
        }
        w.EndArray();
        // What the adding changed, as every changing command reports it.
        WriteChanges(w, session, changes);
        w.EndObject();
        w.Flush();
        std::cout << "\n";
        return 0;
    }
    if (found.empty()) std::cout << cMsgNoFourccs << "\n";
    for (const TFoundRow& f : found) std::cout << Shown(f.Fourcc + "  " + f.Status + "  " + f.Shortname + "  " + f.Description) << "\n";
    if (cl.Add) {
        std::cout << "\n";
        PrintChangesText(session, changes);
    }
    return 0;
}

std::vector<std::string> AddList(const std::string& list) {
    std::vector<std::string> named;
    for (size_t start = 0; start <= list.size();) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        if (comma > start) named.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return named;
}

}  // namespace tarnel::ctl
