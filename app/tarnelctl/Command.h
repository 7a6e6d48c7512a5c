// tarnelctl's commands: each parses nothing itself, calls the core and
// prints; one source file per command. This is the part they share: the
// command line as parsed, the answers a command line gives to the questions
// of an operation, and how changes and errors are printed.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/tarnelctl/Json.h"
#include "core/operations/CodecSession.h"

namespace tarnel::ctl {

// A wrong command line: exit status 2, with the usage text.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A question the command line has no answer for: exit status 3, and the
// command ends before anything is written.
class EUnanswered : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
inline constexpr int kExitUnanswered = 3;

// The options a command takes besides --json.
enum TOption : unsigned {
    kOptCsv = 1, kOptFamily = 2, kOptYes = 4, kOptAnswer = 8, kOptAdd = 16, kOptDriver = 32,
    kOptState = 64, kOptView = 128, kOptCheck = 256, kOptDiff = 512, kOptMachineName = 1024
};

struct TCommandLine {
    std::string Command;
    std::vector<std::string> Operands;  // as given (UTF-8)
    bool Json = false;
    bool Csv = false;
    bool Yes = false;
    std::string Family = "nt";
    std::optional<TAnswer> Answer;
    std::optional<std::string> Add;     // scan: "all" or FOURCCs separated by commas
    std::optional<std::string> Driver;  // deactivate: the one driver of the FOURCC meant
    std::optional<std::string> State;   // ensure: "active", "inactive" or "absent"
    std::optional<int> View;            // ensure: 32 or 64, the view of a 64-bit Wine prefix
    bool Check = false;                 // ensure: decide and report, write nothing
    bool Diff = false;                  // ensure: show the entries before and after
    std::optional<std::string> MachineName;  // list: the machine column of --csv, "machine" of --json
};

// The commands, each in its own file.
int RunInit(const TCommandLine& cl);
int RunList(const TCommandLine& cl);
int RunCheck(const TCommandLine& cl);
int RunVersion(const TCommandLine& cl);
int RunFilters(const TCommandLine& cl);
int RunDeactivate(const TCommandLine& cl);
int RunActivate(const TCommandLine& cl);
int RunRemove(const TCommandLine& cl);
int RunSave(const TCommandLine& cl);
int RunRestoreBackup(const TCommandLine& cl);
int RunInfo(const TCommandLine& cl);
int RunScan(const TCommandLine& cl);
int RunDiscardJournal(const TCommandLine& cl);
int RunEnsure(const TCommandLine& cl);

// The FOURCCs of scan's --add, in order (empty items dropped).
std::vector<std::string> AddList(const std::string& list);

// The answers given on the command line; a question without one ends the
// command (EUnanswered).
class TCommandLineAnswers final : public TOperationQuestions {
public:
    explicit TCommandLineAnswers(std::optional<TAnswer> swap = std::nullopt, bool removeConfirmed = false)
        : swap_(swap), removeConfirmed_(removeConfirmed) {}
    TAnswer AskSwap(const TCodecEntry& incoming, const TCodecEntry& current) override;
    TAnswer AskRemove() override;

private:
    std::optional<TAnswer> swap_;
    bool removeConfirmed_;
};

// Prints what a changing command did: one line per codec that changed
// place and the two counters, or with --json the changes, the counters and
// the activity log lines of the command.
int PrintChanges(TCodecSession& session, const std::vector<TCodecChange>& changes, bool json);
// Its parts, for a command that prints more: the fields "changes",
// "active", "inactive" and "log" into an open object, or the text lines.
void WriteChanges(JsonWriter& w, TCodecSession& session, const std::vector<TCodecChange>& changes);
void PrintChangesText(TCodecSession& session, const std::vector<TCodecChange>& changes);

// An argument quoted for a message; a long one cut, saying so.
using tarnel::ArgumentText;

// A text of the machine (its ANSI code page) as the terminal reads it, and back.
std::string Shown(const std::string& ansi);
std::string Given(const std::string& utf8);

}  // namespace tarnel::ctl
