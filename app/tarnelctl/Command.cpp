#include "app/tarnelctl/Command.h"

#include <iostream>

#include "core/catalogue/CodecView.h"
#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"

namespace tarnel::ctl {

std::string Shown(const std::string& ansi) { return platform::AnsiToUtf8(ansi); }

std::string Given(const std::string& utf8) { return platform::Utf8ToAnsi(utf8); }

TAnswer TCommandLineAnswers::AskSwap(const TCodecEntry& incoming, const TCodecEntry& current) {
    if (!swap_)
        throw EUnanswered(std::string(cSwapQuestion) + " The inactive codec #" + NumberText(incoming) + " " +
                          incoming.Fourcc + " (" + incoming.Driver + ") would take the place of the active " +
                          current.Fourcc + " (" + current.Driver +
                          "). Answer with --answer yes, no or cancel; nothing was changed");
    return *swap_;
}

TAnswer TCommandLineAnswers::AskRemove() {
    if (!removeConfirmed_)
        throw EUnanswered(std::string("remove asks \"") + cRemoveQuestion + "\": confirm with --yes; nothing was changed");
    return TAnswer::Yes;
}

void WriteChanges(JsonWriter& w, TCodecSession& session, const std::vector<TCodecChange>& changes) {
    const TCodecCatalogue& c = session.Catalogue();
    w.Key("changes").BeginArray();
    for (const TCodecChange& change : changes) {
        w.BeginObject();
        w.Key("change").String(change.Kind);
        w.Key("fourcc").Ansi(change.Fourcc);
        w.Key("driver").Ansi(change.Driver);
        w.Key("number").Ansi(change.Number);
        if (!change.Note.empty()) w.Key("note").Ansi(change.Note);
        w.EndObject();
    }
    w.EndArray();
    w.Key("active").Number(int64_t(c.CodecList.Count()));
    w.Key("inactive").Number(int64_t(c.InactiveCodecList.Count()));
    w.Key("log").BeginArray();
    for (const std::string& line : session.Log().Lines()) w.Ansi(line);
    w.EndArray();
}

void PrintChangesText(TCodecSession& session, const std::vector<TCodecChange>& changes) {
    const TCodecCatalogue& c = session.Catalogue();
    for (const TCodecChange& change : changes) {
        std::string line = std::string(change.Kind) + "  " + change.Fourcc + "  " + change.Driver;
        if (!change.Number.empty()) line += "  #" + change.Number;
        if (!change.Note.empty()) line += "  (" + change.Note + ")";
        std::cout << Shown(line) << "\n";
    }
    std::cout << Shown(ActiveCountText(c.CodecList) + "  " + InactiveCountText(c.InactiveCodecList)) << "\n";
}

int PrintChanges(TCodecSession& session, const std::vector<TCodecChange>& changes, bool json) {
    if (!json) {
        PrintChangesText(session, changes);
        return 0;
    }
    JsonWriter w(std::cout);
    w.BeginObject();
    WriteChanges(w, session, changes);
    w.EndObject();
    w.Flush();
    std::cout << "\n";
    return 0;
}

}  // namespace tarnel::ctl
