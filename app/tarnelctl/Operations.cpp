#include "app/tarnelctl/Operations.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>

#include "app/tarnelctl/Json.h"
#include "core/catalogue/CodecLists.h"
#include "core/catalogue/DriverStore.h"
#include "core/operations/CodecOperations.h"
#include "core/scan/FourccScan.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uConst.h"
#include "core/shell/uGlobal.h"
#include "core/shell/uPrefs.h"
#include "platform/api/Ansi.h"
#include "platform/api/CodecManager.h"
#include "platform/api/Registry.h"
#include "platform/choice/PlatformChoice.h"

namespace tarnel::ctl {

const char* const kOperationsUsage =
    "\n"
    "Codec operations (each loads, changes and saves the lists under the machine's lock):\n"
    "  deactivate FOURCC... [--json]        take the active codecs of these FOURCCs out of service\n"
    "  activate NUMBER... [--answer yes|no|cancel] [--json]\n"
    "                                       put inactive codecs (by Number) back into service; a\n"
    "                                       swap question is answered by --answer (exit 3 without)\n"
    "  remove NUMBER... --yes [--json]      drop inactive codecs for good (exit 3 without --yes)\n"
    "  save [--json]                        write both lists back unchanged\n"
    "  restore-backup [--json]              make the backup's entries the active codecs again\n"
    "  info FOURCC [--json]                 what the codec manager answers for an active FOURCC\n"
    "  scan FOURCC [--add all|F1,F2,...] [--json]\n"
    "                                       scan the active codec's driver file for further FOURCCs;\n"
    "                                       --add adds the named (or all) free ones as inactive codecs\n";

namespace {

// A question the command line has no answer for: the command ends before
// anything is written.
class EUnanswered : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCommandLine {
    bool json = false;
    bool yes = false;
    std::optional<std::string> add;  // scan: "all" or FOURCCs separated by commas
    std::optional<TAnswer> answer;
    std::vector<std::string> operands;
};

TCommandLine ParseArguments(const std::string& command, const std::vector<std::string>& args) {
    TCommandLine c;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            c.json = true;
        } else if (a == "--add" && command == "scan") {
            if (i + 1 >= args.size()) throw EUsage("--add needs all or FOURCCs separated by commas");
            c.add = args[++i];
        } else if (a == "--yes" && command == "remove") {
            c.yes = true;
        } else if (a == "--answer" && command == "activate") {
            if (i + 1 >= args.size()) throw EUsage("--answer needs yes, no or cancel");
            const std::string& v = args[++i];
            if (v == "yes") c.answer = TAnswer::Yes;
            else if (v == "no") c.answer = TAnswer::No;
            else if (v == "cancel") c.answer = TAnswer::Cancel;
            else throw EUsage("--answer is yes, no or cancel, not '" + v + "'");
        } else if (a.rfind("--", 0) == 0) {
            throw EUsage("unknown option '" + a + "' for " + command);
        } else {
            c.operands.push_back(a);
        }
    }
    return c;
}

// The command line never makes a machine: only 'init' does.
void SelectTheMachine(const platform::TPlatformChoice& choice) {
    platform::TPlatformChoice named = choice;
    named.MakeDemo = nullptr;
    platform::ChoosePlatform(named);
}

// As the main window decides it: the family of the machine's system.
int32_t StoreModeOfMachine() {
    TWinVersionInfo os;
    if (!GetWinVersionInfo(os)) return 0;
    if (os.PlatformId == 1) return 1;
    if (os.PlatformId == 2) return 3;
    return 0;
}

// The answers given on the command line; a question without one ends the
// command.
class TCommandLineAnswers final : public TOperationQuestions {
public:
    TCommandLineAnswers(std::optional<TAnswer> swap, bool removeConfirmed)
        : swap_(swap), removeConfirmed_(removeConfirmed) {}

    TAnswer AskSwap(const TCodecRow& incoming, const TCodecRow& current) override {
        if (!swap_)
            throw EUnanswered(std::string(cSwapQuestion) + " The inactive codec #" + incoming.Cell(icNumber) + " " +
                              incoming.Caption + " (" + incoming.Cell(icDriver) + ") would take the place of the active " +
                              current.Caption + " (" + current.Cell(acDriver) +
                              "). Answer with --answer yes, no or cancel; nothing was changed");
        return *swap_;
    }
    TAnswer AskRemove() override {
        if (!removeConfirmed_)
            throw EUnanswered(std::string("remove asks \"") + cRemoveQuestion +
                              "\": confirm with --yes; nothing was changed");
        return TAnswer::Yes;
    }

private:
    std::optional<TAnswer> swap_;
    bool removeConfirmed_;
};

// One codec as the change report names it.
struct TEntry {
    std::string Fourcc, Driver, Number;
    std::string Key() const { return platform::AsciiLowerCase(Fourcc) + std::string(1, '\0') + Driver; }
};
struct TListsView {
    std::vector<TEntry> Active, Inactive;
};

// The number of each inactive row as its entry's name holds it. The loader
// keeps three characters of it (#1000# reads as 100), which would make the
// thousandth entry and the hundredth alike; the names as loaded tell them apart.
std::vector<std::string> StoredNumbers(const TCodecCatalogue& c) {
    const std::vector<TCodecRow>& rows = c.InactiveCodecList.Rows();
    std::vector<std::string> numbers;
    if (c.Loaded.Inactive.size() != rows.size()) {
        for (const TCodecRow& r : rows) numbers.push_back(r.Cell(icNumber));
        return numbers;
    }
    for (const std::string& line : c.Loaded.Inactive) {
        const std::string name = line.substr(0, line.find('\0'));
        const size_t close = name.find(cInactiveMark[0], 1);
        numbers.push_back(name.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    }
    return numbers;
}

// The lists as they stand; `numbers` replaces the inactive rows' own.
TListsView ViewOf(const TCodecCatalogue& c, const std::vector<std::string>* numbers = nullptr) {
    TListsView v;
    for (const TCodecRow& r : c.CodecList.Rows()) v.Active.push_back({r.Caption, r.Cell(acDriver), ""});
    const std::vector<TCodecRow>& rows = c.InactiveCodecList.Rows();
    for (size_t i = 0; i < rows.size(); ++i)
        v.Inactive.push_back({rows[i].Caption, rows[i].Cell(icDriver), numbers ? (*numbers)[i] : rows[i].Cell(icNumber)});
    return v;
}

struct TChange {
    const char* Kind;
    TEntry Entry;  // Number: the inactive entry's number after the change, or before it when it left
};

// What moved, found by comparing the codecs (FOURCC and driver) of both
// lists before and after: a codec that left one list and arrived in the
// other moved; one that left both was removed (or, leaving the active list,
// kept only in the backup); one that arrived from neither was restored.
std::vector<TChange> ChangesBetween(const TListsView& before, const TListsView& after) {
    using TIndex = std::multimap<std::string, size_t>;
    auto index = [](const std::vector<TEntry>& rows) {
        TIndex m;
        for (size_t i = 0; i < rows.size(); ++i) m.emplace(rows[i].Key(), i);
        return m;
    };
    auto take = [](TIndex& m, const std::string& key) -> std::optional<size_t> {
        auto it = m.find(key);
        if (it == m.end()) return std::nullopt;
        size_t i = it->second;
        m.erase(it);
        return i;
    };
    TIndex newActive = index(after.Active), newInactive = index(after.Inactive);
    std::vector<const TEntry*> leftActive, leftInactive;
    for (const TEntry& e : before.Active)
        if (!take(newActive, e.Key())) leftActive.push_back(&e);
    for (const TEntry& e : before.Inactive)
        if (!take(newInactive, e.Key())) leftInactive.push_back(&e);

    std::vector<TChange> changes;
    for (const TEntry* e : leftActive) {
        if (auto i = take(newInactive, e->Key())) changes.push_back({"deactivated", after.Inactive[*i]});
        else changes.push_back({"replaced", *e});
    }
    for (const TEntry* e : leftInactive) {
        if (auto i = take(newActive, e->Key())) {
            TEntry moved = after.Active[*i];
            moved.Number = e->Number;
            changes.push_back({"activated", moved});
        } else {
            changes.push_back({"removed", *e});
        }
    }
    auto arrivals = [](const TIndex& m) {
        std::vector<size_t> rows;
        for (const auto& [key, i] : m) rows.push_back(i);
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    for (size_t i : arrivals(newActive)) changes.push_back({"restored", after.Active[i]});
    for (size_t i : arrivals(newInactive)) changes.push_back({"added", after.Inactive[i]});
    return changes;
}

// One changing command: both lists loaded inside the writing transaction
// that ends with the save, so no other writer comes between them.
class TSession {
public:
    TSession() : transaction_(platform::TTransaction::Write), catalogue_(prefs_, log_) {
        // AutoSwap as the window reads it, without seeding missing values.
        prefs_ = ReadSettings();
        prefs_.CodecStoreMode = StoreModeOfMachine();
        if (prefs_.CodecStoreMode == 0) throw std::runtime_error(cMsgOsNotSupported);
        catalogue_.RefreshClick();
        catalogue_.LoadInactiveCodecList();
        numbers_ = StoredNumbers(catalogue_);
        before_ = ViewOf(catalogue_, &numbers_);
    }

    TCodecCatalogue& Catalogue() { return catalogue_; }
    // Ends the transaction, bringing what was saved to the store.
    void Commit() { transaction_.Commit(); }
    // The inactive rows' numbers as stored, row by row.
    const std::vector<std::string>& Numbers() const { return numbers_; }

    // Commits what the operation saved and reports it; a save the store
    // refused is an error, and nothing of the command reaches the machine.
    int Finish(const TOperationResult& result, bool json) {
        if (!result.Saved)
            throw std::runtime_error(result.Error.empty() ? "Nothing was saved" : result.Error);
        transaction_.Commit();
        Report(ChangesBetween(before_, ViewOf(catalogue_)), json);
        return 0;
    }

private:
    void Report(const std::vector<TChange>& changes, bool json) {
        if (json) {
            JsonWriter w(std::cout);
            w.BeginObject();
            w.Key("changes").BeginArray();
            for (const TChange& c : changes) {
                w.BeginObject();
                w.Key("change").String(c.Kind);
                w.Key("fourcc").Ansi(c.Entry.Fourcc);
                w.Key("driver").Ansi(c.Entry.Driver);
                w.Key("number").Ansi(c.Entry.Number);
                w.EndObject();
            }
            w.EndArray();
            w.Key("active").Number(int64_t(catalogue_.CodecList.Count()));
            w.Key("inactive").Number(int64_t(catalogue_.InactiveCodecList.Count()));
            w.Key("log").BeginArray();
            for (const std::string& line : log_.Lines()) w.Ansi(line);
            w.EndArray();
            w.EndObject();
            w.Flush();
            std::cout << "\n";
            return;
        }
        for (const TChange& c : changes) {
            std::string line = std::string(c.Kind) + "  " + c.Entry.Fourcc + "  " + c.Entry.Driver;
            if (!c.Entry.Number.empty()) line += "  #" + c.Entry.Number;
            std::cout << platform::AnsiToUtf8(line) << "\n";
        }
        std::cout << platform::AnsiToUtf8(catalogue_.ActiveCountText() + "  " + catalogue_.InactiveCountText())
                  << "\n";
    }

    platform::TTransaction transaction_;
    TPreferences prefs_;
    TLog log_;
    TCodecCatalogue catalogue_;
    std::vector<std::string> numbers_;
    TListsView before_;
};

// The inactive row a Number names: the number its entry is stored under
// ("007"), or the same value without its leading zeros ("7").
size_t FindNumber(const std::vector<std::string>& stored, const std::string& number) {
    for (size_t i = 0; i < stored.size(); ++i)
        if (stored[i] == number) return i;
    auto digits = [](const std::string& s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    auto value = [](const std::string& s) {
        size_t start = s.find_first_not_of('0');
        return start == std::string::npos ? std::string("0") : s.substr(start);
    };
    std::optional<size_t> found;
    if (digits(number)) {
        for (size_t i = 0; i < stored.size(); ++i) {
            const std::string& n = stored[i];
            if (!digits(n) || value(n) != value(number)) continue;
            if (found)
                throw std::runtime_error("The number '" + number + "' fits more than one inactive codec; give it as " +
                                         "the list shows it. Nothing was changed");
            found = i;
        }
    }
    if (!found) throw std::runtime_error("No inactive codec has the number '" + number + "'; nothing was changed");
    return *found;
}

void SelectNumbers(TCodecList& inactive, const std::vector<std::string>& stored,
                   const std::vector<std::string>& numbers) {
    std::vector<size_t> rows;
    for (const std::string& n : numbers) rows.push_back(FindNumber(stored, platform::Utf8ToAnsi(n)));
    inactive.SelectAll(false);
    for (size_t r : rows) inactive.Row(r).Selected = true;
}

int CmdDeactivate(const TCommandLine& cl) {
    TSession session;
    TCodecCatalogue& c = session.Catalogue();
    c.CodecList.SelectAll(false);
    for (const std::string& given : cl.operands) {
        const std::string fourcc = platform::Utf8ToAnsi(given);
        bool found = false;
        for (TCodecRow& row : c.CodecList.Rows()) {
            if (!platform::EqualsNoCase(row.Caption, fourcc)) continue;
            row.Selected = true;
            found = true;
        }
        if (!found) throw std::runtime_error("No active codec has the FOURCC '" + fourcc + "'; nothing was changed");
    }
    TCommandLineAnswers answers(std::nullopt, false);
    TCodecOperations ops(c, answers);
    return session.Finish(ops.Deactivate(), cl.json);
}

int CmdActivate(const TCommandLine& cl) {
    TSession session;
    TCodecCatalogue& c = session.Catalogue();
    SelectNumbers(c.InactiveCodecList, session.Numbers(), cl.operands);
    TCommandLineAnswers answers(cl.answer, false);
    TCodecOperations ops(c, answers);
    return session.Finish(ops.Activate(), cl.json);
}

int CmdRemove(const TCommandLine& cl) {
    TSession session;
    TCodecCatalogue& c = session.Catalogue();
    SelectNumbers(c.InactiveCodecList, session.Numbers(), cl.operands);
    TCommandLineAnswers answers(std::nullopt, cl.yes);
    TCodecOperations ops(c, answers);
    return session.Finish(ops.RemoveSelectedInactive(), cl.json);
}

int CmdSave(const TCommandLine& cl) {
    TSession session;
    TCommandLineAnswers answers(std::nullopt, false);
    TCodecOperations ops(session.Catalogue(), answers);
    // As every change of the lists ends: renumbered, then saved.
    ops.RenumberInactiveCodecs();
    return session.Finish(ops.SaveCodecLists(), cl.json);
}

int CmdRestoreBackup(const TCommandLine& cl) {
    TSession session;
    TCodecCatalogue& c = session.Catalogue();
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(c.Prefs().CodecStoreMode);
    const auto backup = store->BackupEntries();
    // Restoring nothing would take every codec out of service.
    if (backup.empty()) throw std::runtime_error("The backup holds no codec entries; nothing was changed");
    {
        // The codec manager finds a codec through the live entries, so the
        // rows are built while the backup's entries stand there; they go
        // again before the real save.
        platform::TSavepoint probe;
        TCodecList live;
        for (const auto& [fourcc, driver] : backup) {
            TCodecRow& row = live.Add();
            row.Caption = fourcc;
            row.SubItems = {driver, "", "", "", cType32};
        }
        store->Save(live, c.InactiveCodecList);
        c.CodecList.Clear();
        for (const auto& [fourcc, driver] : backup) c.AddActiveRow(fourcc, driver);
    }
    TCommandLineAnswers answers(std::nullopt, false);
    TCodecOperations ops(c, answers);
    ops.RenumberInactiveCodecs();
    return session.Finish(ops.SaveCodecLists(), cl.json);
}

// The four characters of a code, lowest byte first, up to a zero byte.
std::string CodeText(uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char ch = static_cast<char>((code >> (8 * i)) & 0xFF);
        if (!ch) break;
        s += ch;
    }
    return s;
}

std::string WideText(const char16_t* text, size_t capacity) {
    size_t n = 0;
    while (n < capacity && text[n]) ++n;
    return platform::Utf16ToUtf8(std::u16string_view(text, n));
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

int CmdInfo(const TCommandLine& cl) {
    platform::TTransaction transaction(platform::TTransaction::Read);
    const int32_t mode = StoreModeOfMachine();
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(mode);
    if (!store) throw std::runtime_error(cMsgOsNotSupported);
    const std::string wanted = platform::Utf8ToAnsi(cl.operands.front());
    std::optional<TActiveStoreEntry> entry;
    for (TActiveStoreEntry& e : store->ReadActiveEntries()) {
        if (e.Shown() && platform::EqualsNoCase(e.Info.Fourcc, wanted)) {
            entry = std::move(e);
            break;
        }
    }
    if (!entry) throw std::runtime_error("No active codec has the FOURCC '" + wanted + "'");

    // As the codec window asks: the record in query mode, the two dialogs
    // in fast-compress mode with the parameter -1 ("are you there?").
    const uint32_t type = FourccToCode(cVidcTypeCode);
    const uint32_t handler = FourccToCode(platform::AsciiUpperCase(entry->Info.Fourcc));
    platform::ICINFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    platform::HIC hic = platform::ICOpen(type, handler, platform::kIcModeQuery);
    const bool opened = hic != 0;
    if (hic) {
        platform::ICGetInfo(hic, &info, sizeof info);
        platform::ICClose(hic);
    }
    bool configure = false, about = false;
    if (platform::HIC fast = platform::ICOpen(type, handler, platform::kIcModeFastCompress)) {
        configure = platform::ICSendMessage(fast, platform::kIcmConfigure, -1, 0) != platform::kIcErrUnsupported;
        about = platform::ICSendMessage(fast, platform::kIcmAbout, -1, 0) != platform::kIcErrUnsupported;
        platform::ICClose(fast);
    }
    transaction.Commit();

    const std::string name = WideText(info.szName, 16);
    const std::string description = WideText(info.szDescription, 128);
    const std::string driverName = WideText(info.szDriver, 128);
    if (cl.json) {
        JsonWriter w(std::cout);
        w.BeginObject();
        w.Key("fourcc").Ansi(entry->Info.Fourcc);
        w.Key("driver").Ansi(entry->Driver);
        w.Key("opened").Bool(opened);
        w.Key("fccType").BeginObject();
        w.Key("text").Ansi(CodeText(info.fccType));
        w.Key("number").Number(info.fccType);
        w.EndObject();
        w.Key("fccHandler").BeginObject();
        w.Key("text").Ansi(CodeText(info.fccHandler));
        w.Key("number").Number(info.fccHandler);
        w.EndObject();
        w.Key("dwFlags").Number(info.dwFlags);
        w.Key("dwVersion").Number(info.dwVersion);
        w.Key("dwVersionICM").Number(info.dwVersionICM);
        w.Key("szName").String(name);
        w.Key("szDescription").String(description);
        w.Key("szDriver").String(driverName);
        w.Key("configure").Bool(configure);
        w.Key("about").Bool(about);
        w.EndObject();
        w.Flush();
        std::cout << "\n";
        return 0;
    }
    auto line = [](const char* label, const std::string& value) {
        std::string l = label;
        l.resize(15, ' ');
        std::cout << l << value << "\n";
    };
    line("FOURCC", platform::AnsiToUtf8(entry->Info.Fourcc));
    line("Driver entry", platform::AnsiToUtf8(entry->Driver));
    line("Opened", opened ? "yes" : "no (the codec manager cannot open it)");
    line("fccType", platform::AnsiToUtf8(CodeText(info.fccType)) + " (" + Hex(info.fccType) + ")");
    line("fccHandler", platform::AnsiToUtf8(CodeText(info.fccHandler)) + " (" + Hex(info.fccHandler) + ")");
    line("dwFlags", Hex(info.dwFlags));
    line("dwVersion", Hex(info.dwVersion));
    line("dwVersionICM", Hex(info.dwVersionICM));
    line("szName", name);
    line("szDescription", description);
    line("szDriver", driverName);
    line("Configure", configure ? "offered" : "not offered");
    line("About", about ? "offered" : "not offered");
    return 0;
}

// The scan as the found dialog ends it: the named (or all) free rows join
// the inactive list, then the lists are saved whenever something was found.
int CmdScan(const TCommandLine& cl) {
    TSession session;
    TCodecCatalogue& c = session.Catalogue();
    const std::string fourcc = platform::Utf8ToAnsi(cl.operands[0]);
    c.CodecList.SelectAll(false);
    TCodecRow* row = nullptr;
    for (TCodecRow& r : c.CodecList.Rows())
        if (!row && platform::EqualsNoCase(r.Caption, fourcc)) row = &r;
    if (!row) throw std::runtime_error("No active codec has the FOURCC '" + fourcc + "'; nothing was changed");
    row->Selected = true;

    TScanOutcome outcome = ScanSelectedCodec(c, nullptr);
    if (outcome.Kind == TScanOutcome::EmptyFile)
        throw std::runtime_error(std::string(cMsgMemoryError) + ": the driver file " + outcome.Path + " is empty");
    if (cl.add) {
        std::vector<std::string> wanted;
        if (*cl.add != "all") {
            std::string list = platform::Utf8ToAnsi(*cl.add);
            for (size_t start = 0; start <= list.size();) {
                size_t comma = list.find(',', start);
                if (comma == std::string::npos) comma = list.size();
                if (comma > start) wanted.push_back(list.substr(start, comma - start));
                start = comma + 1;
            }
        }
        for (TFoundRow& f : outcome.Found) {
            f.Selected = wanted.empty();
            for (const std::string& w : wanted) f.Selected = f.Selected || platform::EqualsNoCase(f.Fourcc, w);
        }
        for (const std::string& w : wanted)
            if (std::none_of(outcome.Found.begin(), outcome.Found.end(),
                             [&](const TFoundRow& f) { return platform::EqualsNoCase(f.Fourcc, w); }))
                throw std::runtime_error("The scan found no FOURCC '" + w + "'; nothing was changed");
        AddFoundToInactive(outcome.Found, c.InactiveCodecList);
    }

    TOperationResult saved;
    saved.Saved = true;
    if (outcome.Kind == TScanOutcome::FoundSome) {
        TCommandLineAnswers answers(std::nullopt, false);
        TCodecOperations ops(c, answers);
        ops.RenumberInactiveCodecs();
        saved = ops.SaveCodecLists();
        if (!saved.Saved) throw std::runtime_error(saved.Error.empty() ? "Nothing was saved" : saved.Error);
    }
    c.Log().WriteLog(cLogScanFreeing);
    c.Log().WriteLog(cLogScanEnd);
    session.Commit();

    if (cl.json) {
        JsonWriter w(std::cout);
        w.BeginObject();
        w.Key("found").BeginArray();
        for (const TFoundRow& f : outcome.Found) {
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
        w.EndObject();
        w.Flush();
        std::cout << "\n";
    } else {
        if (outcome.Found.empty()) std::cout << cMsgNoFourccs << "\n";
        for (const TFoundRow& f : outcome.Found)
            std::cout << platform::AnsiToUtf8(f.Fourcc + "  " + f.Status + "  " + f.Shortname + "  " + f.Description)
                      << "\n";
    }
    return 0;
}

}  // namespace

std::optional<int> RunOperationCommand(const std::string& command, const std::vector<std::string>& args,
                                       const platform::TPlatformChoice& choice) {
    using TCommand = int (*)(const TCommandLine&);
    struct TEntry {
        const char* name;
        TCommand run;
        size_t minOperands, maxOperands;
        const char* operands;
    };
    static const TEntry commands[] = {
        {"deactivate", CmdDeactivate, 1, SIZE_MAX, "one or more FOURCCs"},
        {"activate", CmdActivate, 1, SIZE_MAX, "one or more Numbers"},
        {"remove", CmdRemove, 1, SIZE_MAX, "one or more Numbers"},
        {"save", CmdSave, 0, 0, "no arguments"},
        {"restore-backup", CmdRestoreBackup, 0, 0, "no arguments"},
        {"info", CmdInfo, 1, 1, "one FOURCC"},
        {"scan", CmdScan, 1, 1, "one FOURCC"},
    };
    const TEntry* found = nullptr;
    for (const TEntry& e : commands)
        if (command == e.name) found = &e;
    if (!found) return std::nullopt;

    const TCommandLine cl = ParseArguments(command, args);
    if (cl.operands.size() < found->minOperands || cl.operands.size() > found->maxOperands)
        throw EUsage(command + " takes " + found->operands);
    SelectTheMachine(choice);
    try {
        return found->run(cl);
    } catch (const EUnanswered& e) {
        std::cerr << "tarnelctl: " << platform::AnsiToUtf8(e.what()) << "\n";
        return kExitUnanswered;
    }
}

}  // namespace tarnel::ctl
