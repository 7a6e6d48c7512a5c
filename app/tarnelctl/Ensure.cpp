// ensure FOURCC --state active|inactive|absent [--driver NAME] [--view 32|64]
// [--check] [--diff]: the FOURCC's codecs brought to a state, idempotently;
// the report says whether anything changed and shows the FOURCC's entries
// before and after.
#include <iostream>

#include "app/tarnelctl/Command.h"
#include "core/operations/Ensure.h"

namespace tarnel::ctl {

namespace {

TEnsureState StateOf(const std::string& word) {
    if (word == "inactive") return TEnsureState::Inactive;
    if (word == "absent") return TEnsureState::Absent;
    return TEnsureState::Active;
}

// "active    registry  mjpg  lcmjpeg.dll", "inactive  inactive  mjpg  kwmjpeg.dll  #001"
std::string EntryLine(const TEnsureEntry& e) {
    std::string line = e.Active ? "active  " : "inactive";
    line += "  " + e.Store + "  " + e.Fourcc + "  " + e.Driver;
    if (!e.Active) line += "  #" + e.Number;
    return Shown(line);
}

std::string Lines(const std::vector<TEnsureEntry>& entries) {
    std::string text;
    for (const TEnsureEntry& e : entries) text += EntryLine(e) + "\n";
    return text;
}

bool Holds(const std::vector<TEnsureEntry>& entries, const TEnsureEntry& e) {
    for (const TEnsureEntry& x : entries)
        if (x == e) return true;
    return false;
}

// Entries that stay lead with a space, those that go with "-", those that
// come with "+".
void PrintDiff(const TEnsureReport& r) {
    std::cout << "--- before\n+++ after\n";
    for (const TEnsureEntry& e : r.Before) std::cout << (Holds(r.After, e) ? " " : "-") << EntryLine(e) << "\n";
    for (const TEnsureEntry& e : r.After)
        if (!Holds(r.Before, e)) std::cout << "+" << EntryLine(e) << "\n";
}

void WriteEntries(JsonWriter& w, const std::vector<TEnsureEntry>& entries) {
    w.BeginArray();
    for (const TEnsureEntry& e : entries) {
        w.BeginObject();
        w.Key("list").String(e.Active ? "active" : "inactive");
        w.Key("store").String(e.Store);
        w.Key("fourcc").Ansi(e.Fourcc);
        w.Key("driver").Ansi(e.Driver);
        w.Key("number").Ansi(e.Number);
        w.EndObject();
    }
    w.EndArray();
}

}  // namespace

int RunEnsure(const TCommandLine& cl) {
    TEnsureRequest request;
    request.Fourcc = Given(cl.Operands[0]);
    request.State = StateOf(*cl.State);
    if (cl.Driver) request.Driver = Given(*cl.Driver);
    request.Check = cl.Check;
    const TEnsureReport r = Ensure(request);

    if (cl.Json) {
        JsonWriter w(std::cout);
        w.BeginObject();
        w.Key("changed").Bool(r.Changed);
        w.Key("check").Bool(cl.Check);
        w.Key("fourcc").String(cl.Operands[0]);
        w.Key("state").String(*cl.State);
        w.Key("driver").String(cl.Driver ? *cl.Driver : "");
        w.Key("before");
        WriteEntries(w, r.Before);
        w.Key("after");
        WriteEntries(w, r.After);
        w.Key("changes").BeginArray();
        for (const TCodecChange& change : r.Changes) {
            w.BeginObject();
            w.Key("change").String(change.Kind);
            w.Key("fourcc").Ansi(change.Fourcc);
            w.Key("driver").Ansi(change.Driver);
            w.Key("number").Ansi(change.Number);
            w.EndObject();
        }
        w.EndArray();
        w.Key("active").Number(int64_t(r.ActiveCount));
        w.Key("inactive").Number(int64_t(r.InactiveCount));
        w.Key("log").BeginArray();
        for (const std::string& line : r.Log) w.Ansi(line);
        w.EndArray();
        if (cl.Diff) {
            w.Key("diff").BeginObject();
            w.Key("before").String(Lines(r.Before));
            w.Key("after").String(Lines(r.After));
            w.EndObject();
        }
        w.EndObject();
        w.Flush();
        std::cout << "\n";
        return 0;
    }

    std::string head = cl.Operands[0] + " " + *cl.State;
    if (cl.Driver) head += " (" + *cl.Driver + ")";
    if (!r.Changed) head += ": nothing to change";
    else head += cl.Check ? ": would change (nothing written)" : ": changed";
    std::cout << head << "\n";
    for (const TCodecChange& change : r.Changes) {
        std::string line = std::string(change.Kind) + "  " + change.Fourcc + "  " + change.Driver;
        if (!change.Number.empty()) line += "  #" + change.Number;
        std::cout << Shown(line) << "\n";
    }
    if (cl.Diff) PrintDiff(r);
    std::cout << "Active : " << r.ActiveCount << "  Inactive : " << r.InactiveCount << "\n";
    return 0;
}

}  // namespace tarnel::ctl
