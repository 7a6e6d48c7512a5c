// tarnelctl: the command-line companion. It drives the same core as the
// windows, for scripting and for looking at a machine without the GUI:
// this file reads the command line and runs the command, which calls the
// core and prints.
#include <algorithm>
#include <chrono>
#include <iterator>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/tarnelctl/Command.h"
#include "platform/api/Ansi.h"
#include "platform/api/LockWait.h"
#include "platform/api/VersionApi.h"
#include "platform/choice/PlatformChoice.h"

using namespace tarnel;
using namespace tarnel::ctl;

namespace {

const char* kUsage =
    "Usage: tarnelctl [--machine DIR] [--backend machine|wine] [--view 32|64] [--wait SECONDS] COMMAND\n"
    "\n"
    "Commands:\n"
    "  init DIR [--family nt|9x]  make a demo machine in DIR (NT family unless told)\n"
    "  list [--json|--csv] [--machine-name NAME]\n"
    "                             the active and inactive codec lists of the machine;\n"
    "                             NAME leads each CSV row (and the JSON), for a fleet's table\n"
    "  check [--json]             the active codecs whose driver cannot be loaded\n"
    "                             (exit status 1 when there are any)\n"
    "  version FILE [--json]      the version texts of FILE: a file of this computer,\n"
    "                             or a driver name found as the machine finds it\n"
    "  filters [--json]           the registered DirectShow filters of the machine\n"
    "  discard-journal            discard the journal of an unfinished save that\n"
    "                             fails its check (one that passes it is finished)\n"
    "\n"
    "The machine is DIR when --machine is given, else $TARNEL_MACHINE, else\n"
    "$WINEPREFIX, else ~/.wine when Wine has run on it, else\n"
    "$XDG_DATA_HOME/tarnel/machine (made as the demo machine on first use).\n"
    "list, check, version and filters only read the machine.\n"
    "The backend is the one --backend names, else $TARNEL_BACKEND, else wine\n"
    "for a Wine prefix named by $WINEPREFIX (or ~/.wine) when Wine is installed,\n"
    "else machine. A 64-bit Wine prefix has two views: --view 32 (the default)\n"
    "shows what 32-bit programs see (Wow6432Node, syswow64), --view 64 what\n"
    "64-bit programs see (the native keys, system32); the profile file is shared.\n"
    "While another program works on the machine, a command waits for it, at\n"
    "most --wait SECONDS (60 unless given), then gives up.\n"
    "\n"
    "  --help                     this text\n"
    "  --version                  the program's version\n"
    "\n"
    "Codec operations (each loads, changes and saves the lists under the machine's lock):\n"
    "  deactivate FOURCC... [--driver NAME] [--json]\n"
    "                                       take the active codecs of these FOURCCs out of service;\n"
    "                                       with --driver only the one whose driver is NAME\n"
    "  activate NUMBER... [--answer yes|no|cancel] [--json]\n"
    "                                       put inactive codecs (by Number) back into service; a\n"
    "                                       swap question is answered by --answer (exit 3 without)\n"
    "  remove NUMBER... --yes [--json]      drop inactive codecs for good (exit 3 without --yes)\n"
    "  save [--json]                        write both lists back unchanged\n"
    "  restore-backup [--json]              make the backup's entries the active codecs again\n"
    "  info FOURCC [--json]                 what the codec manager answers for an active FOURCC\n"
    "  scan FOURCC [--add all|F1,F2,...] [--json]\n"
    "                                       scan the active codec's driver file for further FOURCCs;\n"
    "                                       --add adds the named (or all) free ones as inactive codecs\n"
    "  ensure FOURCC --state active|inactive|absent [--driver NAME] [--view 32|64]\n"
    "         [--check] [--diff] [--json]   bring the FOURCC's codecs to the state, with the operations\n"
    "                                       above; nothing is written when it is there already;\n"
    "                                       --check decides and writes nothing, --diff shows the\n"
    "                                       entries before and after\n";

// The backends --backend may name here; another name is a wrong command line.
#ifdef _WIN32
constexpr const char* kBackendNames[] = {"win32"};
constexpr char kBackends[] = "win32";
#else
constexpr const char* kBackendNames[] = {"machine", "wine"};
constexpr char kBackends[] = "machine or wine";
#endif

struct TCommand {
    const char* Name;
    int (*Run)(const TCommandLine&);
    size_t MinOperands, MaxOperands;
    const char* Operands;  // what the command takes, for the usage error
    unsigned Options;      // besides --json
    bool UsesMachine;      // chooses the machine before it runs (init makes one instead)
};

const TCommand kCommands[] = {
    {"init", RunInit, 1, 1, "one folder", kOptFamily, false},
    {"list", RunList, 0, 0, "no arguments", kOptCsv | kOptMachineName, true},
    {"check", RunCheck, 0, 0, "no arguments", 0, true},
    {"version", RunVersion, 1, 1, "one file", 0, true},
    {"filters", RunFilters, 0, 0, "no arguments", 0, true},
    {"deactivate", RunDeactivate, 1, SIZE_MAX, "one or more FOURCCs", kOptDriver, true},
    {"activate", RunActivate, 1, SIZE_MAX, "one or more Numbers", kOptAnswer, true},
    {"remove", RunRemove, 1, SIZE_MAX, "one or more Numbers", kOptYes, true},
    {"save", RunSave, 0, 0, "no arguments", 0, true},
    {"restore-backup", RunRestoreBackup, 0, 0, "no arguments", 0, true},
    {"info", RunInfo, 1, 1, "one FOURCC", 0, true},
    {"scan", RunScan, 1, 1, "one FOURCC", kOptAdd, true},
    {"discard-journal", RunDiscardJournal, 0, 0, "no arguments", 0, true},
    {"ensure", RunEnsure, 1, 1, "one FOURCC", kOptState | kOptDriver | kOptView | kOptCheck | kOptDiff, true},
};

TCommandLine Parse(const TCommand& command, const std::vector<std::string>& args) {
    TCommandLine cl;
    cl.Command = command.Name;
    auto value = [&](size_t& i, const char* needs) -> const std::string& {
        if (i + 1 >= args.size()) throw EUsage(args[i] + " needs " + needs);
        return args[++i];
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            cl.Json = true;
        } else if (a == "--csv" && (command.Options & kOptCsv)) {
            cl.Csv = true;
        } else if (a == "--family" && (command.Options & kOptFamily)) {
            cl.Family = value(i, "nt or 9x");
        } else if (a == "--yes" && (command.Options & kOptYes)) {
            cl.Yes = true;
        } else if (a == "--add" && (command.Options & kOptAdd)) {
            cl.Add = value(i, "all or FOURCCs separated by commas");
            // Naming none is no way of saying all.
            if (*cl.Add != "all" && AddList(*cl.Add).empty())
                throw EUsage("--add needs all or FOURCCs separated by commas, not " + ArgumentText(*cl.Add));
        } else if (a == "--driver" && (command.Options & kOptDriver)) {
            cl.Driver = value(i, "a driver name");
        } else if (a == "--answer" && (command.Options & kOptAnswer)) {
            const std::string& v = value(i, "yes, no or cancel");
            if (v == "yes") cl.Answer = TAnswer::Yes;
            else if (v == "no") cl.Answer = TAnswer::No;
            else if (v == "cancel") cl.Answer = TAnswer::Cancel;
            else throw EUsage("--answer is yes, no or cancel, not " + ArgumentText(v));
        } else if (a == "--state" && (command.Options & kOptState)) {
            const std::string& v = value(i, "active, inactive or absent");
            if (v != "active" && v != "inactive" && v != "absent")
                throw EUsage("--state is active, inactive or absent, not " + ArgumentText(v));
            cl.State = v;
        } else if (a == "--view" && (command.Options & kOptView)) {
            const std::string& v = value(i, "32 or 64");
            if (v != "32" && v != "64") throw EUsage("--view is 32 or 64, not " + ArgumentText(v));
            cl.View = v == "32" ? 32 : 64;
        } else if (a == "--check" && (command.Options & kOptCheck)) {
            cl.Check = true;
        } else if (a == "--diff" && (command.Options & kOptDiff)) {
            cl.Diff = true;
        } else if (a == "--machine-name" && (command.Options & kOptMachineName)) {
            cl.MachineName = value(i, "a name");
        } else if (a.rfind("--", 0) == 0) {
            throw EUsage("unknown option " + ArgumentText(a) + " for " + cl.Command);
        } else {
            cl.Operands.push_back(a);
        }
    }
    if (cl.Json && cl.Csv) throw EUsage(cl.Command + " takes --json or --csv, not both");
    if ((command.Options & kOptState) && !cl.State) throw EUsage(cl.Command + " needs --state active, inactive or absent");
    if (cl.MachineName && !cl.Json && !cl.Csv) throw EUsage("--machine-name goes with --csv or --json");
    if (cl.Operands.size() < command.MinOperands || cl.Operands.size() > command.MaxOperands)
        throw EUsage(cl.Command + " takes " + command.Operands);
    return cl;
}

// A message that quotes a long argument whole (a path the system names, a
// text a lower layer repeats) gets it cut, as the commands' own messages
// cut it: a megabyte of FOURCC is no use on a terminal.
std::string WithArgumentsCut(std::string message, const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (ArgumentText(arg).size() == arg.size() + 2) continue;  // short enough to show whole
        for (const std::string& form : {arg, Given(arg)}) {
            const std::string cut = ArgumentText(form);
            for (size_t at = message.find(form); at != std::string::npos; at = message.find(form, at + cut.size())) {
                const bool quoted = at > 0 && message[at - 1] == '\'' && message.compare(at + form.size(), 1, "'") == 0;
                if (quoted) message.replace(at - 1, form.size() + 2, cut);
                else message.replace(at, form.size(), cut);
                if (quoted) --at;
            }
        }
    }
    return message;
}

int Run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    platform::TPlatformChoice machine;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--machine") {
            if (i + 1 >= args.size()) throw EUsage("--machine needs a folder");
            machine.Machine = args[++i];
        } else if (args[i] == "--backend") {
            if (i + 1 >= args.size()) throw EUsage("--backend needs " + std::string(kBackends));
            machine.Backend = args[++i];
            if (std::find(std::begin(kBackendNames), std::end(kBackendNames), machine.Backend) == std::end(kBackendNames))
                throw EUsage("--backend is " + std::string(kBackends) + ", not " + ArgumentText(machine.Backend));
        } else if (args[i] == "--view") {
            if (i + 1 >= args.size() || (args[i + 1] != "32" && args[i + 1] != "64"))
                throw EUsage("--view needs 32 or 64");
            machine.View = std::stoi(args[++i]);
        } else if (args[i] == "--wait") {
            char* end = nullptr;
            const double seconds = i + 1 < args.size() ? std::strtod(args[i + 1].c_str(), &end) : -1;
            if (i + 1 >= args.size() || end == args[i + 1].c_str() || *end || !(seconds >= 0 && seconds <= 1e6))
                throw EUsage("--wait needs a number of seconds");
            platform::SetLockWaitLimit(seconds);
            ++i;
        } else if (args[i] == "--help" || args[i] == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (args[i] == "--version") {
            std::cout << "tarnelctl " << TARNEL_VERSION << "\n";
            return 0;
        } else {
            break;
        }
    }
    if (i >= args.size()) throw EUsage("no command given");
    const std::string name = args[i++];
    const TCommand* command = nullptr;
    for (const TCommand& c : kCommands)
        if (name == c.Name) command = &c;
    if (!command) throw EUsage("unknown command " + ArgumentText(name));
    const TCommandLine cl = Parse(*command, std::vector<std::string>(args.begin() + long(i), args.end()));
    if (cl.View && machine.View != 0 && machine.View != *cl.View)
        throw EUsage("--view " + std::to_string(machine.View) + " and --view " + std::to_string(*cl.View) +
                     " name two views");
    if (cl.View) machine.View = *cl.View;
    // The command line never makes a machine: only 'init' does.
    if (command->UsesMachine) platform::ChoosePlatform(machine);
    return command->Run(cl);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Windows' C library would end each line with CR LF: the output is the
    // same bytes on every system.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    platform::SetProgramFile(argc > 0 ? argv[0] : "");
    platform::SetDiagnosticSink([](const std::string& text) {
        std::cerr << "tarnelctl: " << platform::AnsiToUtf8(text) << "\n";
    });
    // A wait for another program is said once, then waited out in silence.
    platform::SetLockWaitHook([](const platform::TLockWait& wait) {
        if (wait.Phase == platform::TLockWait::Begins)
            std::cerr << "tarnelctl: " << platform::LockWaitText(wait) << std::endl;
        if (wait.Phase != platform::TLockWait::Ends) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return true;
    });
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return Run(argc, argv);
    } catch (const EUsage& e) {
        std::cerr << "tarnelctl: " << WithArgumentsCut(e.what(), args) << "\n\n" << kUsage;
        return 2;
    } catch (const EUnanswered& e) {
        std::cerr << "tarnelctl: " << platform::AnsiToUtf8(WithArgumentsCut(e.what(), args)) << "\n";
        return kExitUnanswered;
    } catch (const std::exception& e) {
        std::cerr << "tarnelctl: " << platform::AnsiToUtf8(WithArgumentsCut(e.what(), args)) << "\n";
        return 1;
    }
}
