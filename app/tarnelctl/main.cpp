// tarnelctl: the command-line companion. It drives the same core as the
// windows, for scripting and for looking at a machine without the GUI.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "core/catalogue/DemoCatalogue.h"
#include "app/tarnelctl/Json.h"
#include "app/tarnelctl/Operations.h"
#include "core/catalogue/CodecLists.h"
#include "core/catalogue/DriverCheck.h"
#include "platform/api/FileApi.h"
#include "core/catalogue/FileVersionInfo.h"
#include "core/directshow/FilterList.h"
#include "platform/api/Ansi.h"
#include "platform/api/FileError.h"
#include "platform/api/LockWait.h"
#include "platform/choice/PlatformChoice.h"
#include "platform/api/OsVersion.h"
#include "platform/api/VersionApi.h"
#include "platform/api/Registry.h"
#include "core/shell/uGlobal.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uPrefs.h"

namespace fs = std::filesystem;
using namespace tarnel;

namespace {

const char* kUsage =
    "Usage: tarnelctl [--machine DIR] [--backend machine|wine] [--wait SECONDS] COMMAND\n"
    "\n"
    "Commands:\n"
    "  init DIR [--family nt|9x]  make a demo machine in DIR (NT family unless told)\n"
    "  list [--json|--csv]        the active and inactive codec lists of the machine\n"
    "  check [--json]             the active codecs whose driver cannot be loaded\n"
    "                             (exit status 1 when there are any)\n"
    "  version FILE [--json]      the version texts of FILE: a file of this computer,\n"
    "                             or a driver name found as the machine finds it\n"
    "  filters [--json]           the registered DirectShow filters of the machine\n"
    "  discard-journal            discard the journal of an unfinished save that\n"
    "                             fails its check (one that passes it is finished)\n"
    "\n"
    "The machine is DIR when --machine is given, else $TARNEL_MACHINE, else\n"
    "$WINEPREFIX, else $XDG_DATA_HOME/tarnel/machine (made as the demo machine\n"
    "on first use). list, check, version and filters only read the machine.\n"
    "The backend is the one --backend names, else $TARNEL_BACKEND, else wine\n"
    "for a Wine prefix named by $WINEPREFIX when Wine is installed, else machine.\n"
    "While another program works on the machine, a command waits for it, at\n"
    "most --wait SECONDS (60 unless given), then gives up.\n"
    "\n"
    "  --help                     this text\n"
    "  --version                  the program's version\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The command line never makes a machine: only 'init' does.
void SelectTheMachine(const platform::TPlatformChoice& choice) { platform::ChoosePlatform(choice); }

int32_t StoreModeOf(const TWinVersionInfo& os, bool known) {
    if (!known) return 0;
    if (os.PlatformId == 1) return 1;
    if (os.PlatformId == 2) return 3;
    return 0;
}

std::string StoreName(int32_t mode) {
    if (UsesProfileStore(mode)) return "profile";
    if (UsesRegistryStore(mode)) return "registry";
    return "none";
}

void PrintRowsText(const TCodecList& list, bool inactive) {
    for (const auto& row : list.Rows()) {
        std::string line;
        if (inactive) line += row.Cell(icNumber) + "  ";
        line += row.Caption;
        line.resize(std::max<size_t>(line.size(), inactive ? 13 : 8), ' ');
        size_t n = inactive ? size_t{icCount} : size_t{acCount};
        for (size_t c = 0; c < n; ++c) {
            if (inactive && c == icNumber) continue;
            line += " | " + row.Cell(c);
        }
        std::cout << platform::AnsiToUtf8(line) << "\n";
    }
}

// One list row as a JSON object; an inactive row leads with its number.
void WriteRow(JsonWriter& w, const TCodecRow& row, bool inactive) {
    w.BeginObject();
    if (inactive) w.Key("number").Ansi(row.Cell(icNumber));
    w.Key("fourcc").Ansi(row.Caption);
    // Driver .. Version stand at the same places in both row layouts.
    w.Key("driver").Ansi(row.Cell(acDriver));
    w.Key("shortname").Ansi(row.Cell(acShortname));
    w.Key("description").Ansi(row.Cell(acDescription));
    w.Key("version").Ansi(row.Cell(acVersion));
    w.Key("type").Ansi(row.Cell(inactive ? size_t{icType} : size_t{acType}));
    w.EndObject();
}

// One CSV field as RFC 4180 wants it: quoted when it holds a comma, a
// quote or a line break, quotes doubled.
std::string CsvField(const std::string& ansi) {
    std::string text = platform::AnsiToUtf8(ansi);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void WriteCsv(const TCodecCatalogue& catalogue) {
    static_assert(int(acDriver) == int(icDriver) && int(acVersion) == int(icVersion));
    auto line = [](std::initializer_list<std::string> fields) {
        std::string out;
        for (const std::string& f : fields) out += (out.empty() ? "" : ",") + CsvField(f);
        std::cout << out << "\r\n";
    };
    line({"list", "number", "fourcc", "driver", "shortname", "description", "version", "type"});
    for (const auto& row : catalogue.CodecList.Rows())
        line({"active", "", row.Caption, row.Cell(acDriver), row.Cell(acShortname), row.Cell(acDescription),
              row.Cell(acVersion), row.Cell(acType)});
    for (const auto& row : catalogue.InactiveCodecList.Rows())
        line({"inactive", row.Cell(icNumber), row.Caption, row.Cell(icDriver), row.Cell(icShortname),
              row.Cell(icDescription), row.Cell(icVersion), row.Cell(icType)});
}

enum class TListFormat { Text, Json, Csv };

int CmdList(TListFormat format) {
    const bool json = format == TListFormat::Json;
    TWinVersionInfo os;
    bool known = GetWinVersionInfo(os);
    TPreferences prefs;
    prefs.CodecStoreMode = StoreModeOf(os, known);
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    catalogue.RefreshClick();
    catalogue.LoadInactiveCodecList();

    if (format == TListFormat::Csv) {
        WriteCsv(catalogue);
        return 0;
    }
    if (!json) {
        std::cout << "Machine : " << platform::CurrentBackend().Describe() << "\n"
                  << "System  : " << platform::AnsiToUtf8(os.Description) << " (" << os.MajorVersion << "."
                  << os.MinorVersion << "." << os.BuildNumber << ", platform " << os.PlatformId << ")\n"
                  << "Store   : " << StoreName(prefs.CodecStoreMode) << "\n\n"
                  << platform::AnsiToUtf8(catalogue.ActiveCountText()) << "\n";
        PrintRowsText(catalogue.CodecList, false);
        std::cout << "\n" << platform::AnsiToUtf8(catalogue.InactiveCountText()) << "\n";
        PrintRowsText(catalogue.InactiveCodecList, true);
        return 0;
    }

    JsonWriter w(std::cout);
    w.BeginObject();
    w.Key("store").String(StoreName(prefs.CodecStoreMode));
    w.Key("os").BeginObject();
    w.Key("description").Ansi(os.Description);
    w.Key("platform_id").Number(os.PlatformId);
    w.Key("major").Number(os.MajorVersion);
    w.Key("minor").Number(os.MinorVersion);
    w.Key("build").Number(os.BuildNumber);
    w.Key("csd").Ansi(os.CSDVersion);
    w.EndObject();
    w.Key("active").BeginArray();
    for (const auto& row : catalogue.CodecList.Rows()) WriteRow(w, row, false);
    w.EndArray();
    w.Key("inactive").BeginArray();
    for (const auto& row : catalogue.InactiveCodecList.Rows()) WriteRow(w, row, true);
    w.EndArray();
    w.EndObject();
    std::cout << "\n";
    return 0;
}

// Exit status 1 when any active codec cannot be loaded.
int CmdCheck(bool json) {
    TWinVersionInfo os;
    bool known = GetWinVersionInfo(os);
    TPreferences prefs;
    prefs.CodecStoreMode = StoreModeOf(os, known);
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    catalogue.RefreshClick();
    const std::vector<TBrokenEntry> broken = BrokenEntries(catalogue.CodecList);
    if (json) {
        JsonWriter w(std::cout);
        w.BeginObject();
        w.Key("checked").Number(static_cast<int64_t>(catalogue.CodecList.Count()));
        w.Key("broken").BeginArray();
        for (const TBrokenEntry& b : broken) {
            w.BeginObject();
            w.Key("fourcc").Ansi(b.Fourcc);
            w.Key("driver").Ansi(b.Driver);
            w.Key("problem").String(ProblemKind(b.Problem.State));
            w.Key("path").Ansi(b.Problem.Path);
            w.Key("message").Ansi(b.Problem.Text);
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        std::cout << "\n";
    } else {
        for (const TBrokenEntry& b : broken)
            std::cout << platform::AnsiToUtf8("vidc." + b.Fourcc + "  " + b.Problem.Text) << "\n";
        std::cout << catalogue.CodecList.Count() << " active codecs checked, " << broken.size()
                  << " cannot be loaded\n";
    }
    return broken.empty() ? 0 : 1;
}

int CmdVersion(const std::string& file, bool json) {
    std::error_code ec;
    std::string name;
    if (fs::exists(file, ec)) {
        if (fs::is_directory(file, ec))
            throw platform::EFileError("Cannot read '" + file + "': it is a folder, not a file");
        if (!fs::is_regular_file(file, ec))
            throw platform::EFileError("Cannot read '" + file + "': not a regular file");
        // Read as a file of this computer, not as a name in the machine's search path.
        name = fs::absolute(file, ec).string();
        platform::AdmitHostFile(name);
    } else if (file.find('/') == std::string::npos) {
        // A driver name ("pbyuv.dll") or a Windows path: where the machine finds it.
        const platform::TDriverFileCheck found = platform::CheckDriverFile(file);
        if (found.State == platform::TDriverFileState::NotFound)
            throw platform::EFileError("Cannot find '" + file + "' on the machine" +
                                       (found.Path.empty() ? "" : " (looked for " + found.Path + ")") +
                                       " nor as a file of this computer");
        name = file;
    } else {
        throw platform::EFileError("Cannot read '" + file + "': no such file");
    }
    TWinVersionInfo os;
    bool known = GetWinVersionInfo(os);
    TPreferences prefs;
    // The NT family's way unless the machine is of the 95/98/ME family.
    prefs.CodecStoreMode = (known && os.PlatformId == 1) ? 1 : 3;
    TFileVersionInfo info(prefs);
    info.SetExecutableFile(name);
    const TCodecVersionInfo v = info.ToCodecVersionInfo();
    const std::pair<const char*, std::string> fields[] = {
        {"CompanyName", v.CompanyName},       {"FileDescription", v.FileDescription},
        {"FileVersion", v.FileVersion},       {"InternalName", v.InternalName},
        {"LegalCopyright", v.LegalCopyright}, {"LegalTradeMarks", v.LegalTradeMarks},
        {"OriginalFilename", v.OriginalFilename}, {"ProductName", v.ProductName},
        {"ProductVersion", v.ProductVersion}, {"Comments", v.Comments},
        {"CountryCode", v.CountryCode}};
    if (json) {
        JsonWriter w(std::cout);
        w.BeginObject();
        for (const auto& [name, value] : fields) w.Key(name).Ansi(value);
        w.EndObject();
        std::cout << "\n";
    } else {
        for (const auto& [name, value] : fields) {
            std::string label = name;
            label.resize(18, ' ');
            std::cout << label << platform::AnsiToUtf8(value) << "\n";
        }
    }
    return 0;
}

// The DirectShow tab's rows. A value that is not text ends the reading:
// the rows read before it are printed, then the error ends the command.
int CmdFilters(bool json) {
    TWinVersionInfo os;
    bool known = GetWinVersionInfo(os);
    TPreferences prefs;
    prefs.CodecStoreMode = StoreModeOf(os, known);
    TFileVersionInfo info(prefs);
    std::vector<TFilterRow> rows;
    std::exception_ptr failure;
    try {
        FillFilterList(info, rows);
    } catch (const std::exception&) {
        failure = std::current_exception();
    }

    if (json) {
        static const char* const keys[fcCount] = {"filter", "file", "description", "version", "company"};
        JsonWriter w(std::cout);
        w.BeginObject();
        w.Key("filters").BeginArray();
        for (const TFilterRow& row : rows) {
            w.BeginObject();
            for (size_t c = 0; c < fcCount; ++c) w.Key(keys[c]).Ansi(row.Text(c));
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        std::cout << "\n";
    } else {
        // Every column but the last padded to its widest text (one byte, one
        // character in the ANSI code page).
        size_t widths[fcCount] = {};
        for (size_t c = 0; c < fcCount; ++c) widths[c] = std::strlen(cFilterColumns[c]);
        for (const TFilterRow& row : rows)
            for (size_t c = 0; c < fcCount; ++c) widths[c] = std::max(widths[c], row.Text(c).size());
        auto print = [&](auto text) {
            std::string line;
            for (size_t c = 0; c < fcCount; ++c) {
                std::string cell = text(c);
                if (c + 1 < fcCount) cell.resize(widths[c], ' ');
                line += (c ? " | " : "") + cell;
            }
            while (!line.empty() && line.back() == ' ') line.pop_back();
            std::cout << platform::AnsiToUtf8(line) << "\n";
        };
        print([](size_t c) { return std::string(cFilterColumns[c]); });
        for (const TFilterRow& row : rows) print([&](size_t c) { return row.Text(c); });
    }
    std::cout.flush();
    if (failure) std::rethrow_exception(failure);
    return 0;
}

int Run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    platform::TPlatformChoice machine;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--machine") {
            if (i + 1 >= args.size()) throw UsageError("--machine needs a folder");
            machine.Machine = args[++i];
        } else if (args[i] == "--backend") {
            if (i + 1 >= args.size()) throw UsageError("--backend needs machine or wine");
            machine.Backend = args[++i];
        } else if (args[i] == "--wait") {
            char* end = nullptr;
            const double seconds = i + 1 < args.size() ? std::strtod(args[i + 1].c_str(), &end) : -1;
            if (i + 1 >= args.size() || end == args[i + 1].c_str() || *end || !(seconds >= 0 && seconds <= 1e6))
                throw UsageError("--wait needs a number of seconds");
            platform::SetLockWaitLimit(seconds);
            ++i;
        } else if (args[i] == "--help" || args[i] == "-h") {
            std::cout << kUsage << ctl::kOperationsUsage;
            return 0;
        } else if (args[i] == "--version") {
            std::cout << "tarnelctl " << TARNEL_VERSION << "\n";
            return 0;
        } else {
            break;
        }
    }
    if (i >= args.size()) throw UsageError("no command given");
    std::string cmd = args[i++];
    std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());
    if (auto status = ctl::RunOperationCommand(cmd, rest, machine)) return *status;
    bool json = false;
    bool csv = false;
    std::vector<std::string> positional;
    std::string family = "nt";
    for (size_t k = 0; k < rest.size(); ++k) {
        if (rest[k] == "--json") json = true;
        else if (rest[k] == "--csv" && cmd == "list") csv = true;
        else if (rest[k] == "--family" && cmd == "init") {
            if (k + 1 >= rest.size()) throw UsageError("--family needs nt or 9x");
            family = rest[++k];
        } else if (rest[k].rfind("--", 0) == 0) throw UsageError("unknown option '" + rest[k] + "'");
        else positional.push_back(rest[k]);
    }

    if (cmd == "init") {
        if (positional.size() != 1) throw UsageError("init needs one folder");
        if (family != "nt" && family != "9x") throw UsageError("--family is nt or 9x, not '" + family + "'");
        tarnel::CreateDemoMachine(positional[0], family == "nt" ? platform::MachineFamily::NT
                                                                  : platform::MachineFamily::Win9x);
        std::cout << "Made a " << (family == "nt" ? "NT" : "95/98/ME") << " family demo machine in "
                  << positional[0] << "\n";
        return 0;
    }
    if (cmd == "list") {
        if (!positional.empty()) throw UsageError("list takes no arguments");
        if (json && csv) throw UsageError("list takes --json or --csv, not both");
        SelectTheMachine(machine);
        return CmdList(csv ? TListFormat::Csv : json ? TListFormat::Json : TListFormat::Text);
    }
    if (cmd == "check") {
        if (!positional.empty()) throw UsageError("check takes no arguments");
        SelectTheMachine(machine);
        return CmdCheck(json);
    }
    if (cmd == "version") {
        if (positional.size() != 1) throw UsageError("version needs one file");
        SelectTheMachine(machine);
        return CmdVersion(positional[0], json);
    }
    if (cmd == "discard-journal") {
        if (!positional.empty() || json) throw UsageError("discard-journal takes no arguments");
        SelectTheMachine(machine);
        std::cout << platform::CurrentBackend().DiscardJournal() << "\n";
        return 0;
    }
    if (cmd == "filters") {
        if (!positional.empty()) throw UsageError("filters takes no arguments");
        SelectTheMachine(machine);
        return CmdFilters(json);
    }
    throw UsageError("unknown command '" + cmd + "'");
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
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "tarnelctl: " << e.what() << "\n\n" << kUsage << ctl::kOperationsUsage;
        return 2;
    } catch (const ctl::EUsage& e) {
        std::cerr << "tarnelctl: " << e.what() << "\n\n" << kUsage << ctl::kOperationsUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "tarnelctl: " << platform::AnsiToUtf8(e.what()) << "\n";
        return 1;
    }
}
