#include "platform/choice/PlatformChoice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/machine/AtomicFile.h"
#include "platform/machine/BareMachine.h"
#include "platform/machine/Machine.h"
#include "platform/machine/MachineBackend.h"
#include "platform/wine/WineBackend.h"

namespace fs = std::filesystem;

namespace tarnel::platform {

namespace {

const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

// Why the user cannot change this machine, or empty when they can.
std::string ReadOnlyReasonOf(const fs::path& folder) {
    if (::access(folder.c_str(), W_OK) != 0)
        return "The machine folder '" + folder.string() + "' cannot be written (" + std::strerror(errno) +
               "); changes are not possible";
    for (const char* name : {"system.reg", "user.reg"}) {
        fs::path file = folder / name;
        std::error_code ec;
        if (!fs::exists(file, ec)) continue;
        fs::perms p = fs::status(file, ec).permissions();
        bool noWriteBits = (p & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) ==
                           fs::perms::none;
        const int denied = noWriteBits ? EACCES : ::access(file.c_str(), W_OK) != 0 ? errno : 0;
        if (denied)
            return "The store file '" + file.string() + "' is read-only (" + std::strerror(denied) +
                   "); changes are not possible";
    }
    return {};
}

// ".<name>.draft.": the drafts of machines to be named <name>.
std::string DraftPrefix(const fs::path& root) { return "." + root.filename().string() + ".draft."; }

// Drafts whose maker died; a live maker's draft is left alone.
void RemoveStaleDrafts(const fs::path& parent, const std::string& prefix) {
    std::error_code ec;
    for (fs::directory_iterator d(parent, ec), end; !ec && d != end; d.increment(ec)) {
        const std::string name = d->path().filename().string();
        if (LeftByEndedProcess(name, prefix) && d->is_directory(ec)) fs::remove_all(d->path(), ec);
    }
}

void SyncFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The backend named on the command line, else by $TARNEL_BACKEND, else
// wine for the prefix $WINEPREFIX names when Wine is installed (and has run
// on it: a demo machine named there is no prefix Wine could serve).
std::string BackendFor(const TPlatformChoice& choice, const TPlatformChosen& chosen) {
    std::string named = choice.Backend;
    const char* from = "--backend";
    if (named.empty()) {
        if (const char* b = Env("TARNEL_BACKEND")) {
            named = b;
            from = "$TARNEL_BACKEND";
        }
    }
    if (named.empty())
        return (chosen.Source == "WINEPREFIX" || chosen.Source == "~/.wine" || choice.WineForNamedPrefixes) &&
                       wine::IsWinePrefix(chosen.Folder) &&
                       !wine::FindWine().empty()
                   ? "wine"
                   : "machine";
    if (named != "machine" && named != "wine")
        throw EPlatformError(std::string(from) + " names the backend '" + named + "'; it is machine or wine");
    return named;
}

}  // namespace

void MakeMachineFolder(const fs::path& target, const std::function<void(const fs::path& draft)>& build) {
    if (target.empty()) throw EFileError("Cannot make a machine: a folder name is needed");
    std::error_code ec;
    fs::path root = fs::absolute(target, ec).lexically_normal();
    if (ec) root = target;
    if (!root.has_filename()) root = root.parent_path();
    // A link is followed: the machine is made in the folder it leads to,
    // which the link then names.
    if (fs::is_symlink(root, ec)) {
        const fs::path real = fs::canonical(root, ec);
        if (ec)
            throw EFileError("Cannot make a machine in '" + target.string() + "': it is a link to '" +
                             fs::read_symlink(root, ec).string() + "', which does not exist");
        root = real;
    }
    if (fs::exists(root / "system.reg", ec))
        throw EFileError("A machine already exists in '" + target.string() + "'");
    if (fs::exists(root, ec) && !fs::is_directory(root, ec))
        throw EFileError("Cannot make a machine in '" + target.string() +
                         "': it is a file, not a folder (a machine is made in a new or empty folder)");
    if (fs::exists(root, ec) && !fs::is_empty(root, ec))
        throw EFileError("Cannot make a machine in '" + target.string() +
                         "': the folder is not empty (a machine is made in a new or empty folder)");
    const fs::path parent = root.parent_path();
    fs::create_directories(parent, ec);
    if (ec) throw EFileError(parent, "Cannot create the machine folder's parent", ec.value());

    const std::string prefix = DraftPrefix(root);
    RemoveStaleDrafts(parent, prefix);
    std::string draftName = (parent / (prefix + std::to_string(::getpid()) + ".XXXXXX")).string();
    if (!::mkdtemp(draftName.data())) throw EFileError(parent, "Cannot make the machine folder in", errno);
    const fs::path draft = draftName;
    try {
        // A folder made by mkdtemp is the owner's alone; a machine folder is
        // made as any other folder.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::chmod(draft.c_str(), 0777 & ~mask) != 0) throw EFileError(draft, "Cannot make", errno);
        build(draft);
        SyncFolder(draft);
        // Over a missing or empty folder only: a machine another maker put
        // there meanwhile stays.
        if (::rename(draft.c_str(), root.c_str()) != 0) {
            const int err = errno;
            if ((err == ENOTEMPTY || err == EEXIST) && fs::exists(root / "system.reg", ec))
                throw EFileError("A machine already exists in '" + target.string() + "'");
            throw EFileError(root, "Cannot make the machine", err);
        }
    } catch (const EFileError& e) {
        fs::remove_all(draft, ec);
        // Told of the folder asked for: the draft is a detail of the making.
        throw e.Moved(draft, root);
    } catch (...) {
        fs::remove_all(draft, ec);
        throw;
    }
    SyncFolder(parent);
}

void CreateMachineFolder(const fs::path& root, TMachineFamily family) { CreateBareMachine(root, family); }

void WithMachine(const fs::path& root, const std::function<void()>& work, bool fixedTimes) {
    std::unique_ptr<TPlatformBackend> previous = UseBackend(std::make_unique<machine::TMachineBackend>(root));
    struct Restore {
        std::unique_ptr<TPlatformBackend>& previous;
        ~Restore() { UseBackend(std::move(previous)); }
    } restore{previous};
    std::optional<TRegistryFixedTime> fixed;
    if (fixedTimes) fixed.emplace(kMachineMadeTime);
    work();
}

void MarkDemoMachine(const fs::path& root) {
    WriteFileAtomically(root / machine::kDemoMarkerFile, "This folder was made as Tarnel's demo machine.\n");
}

fs::path HomeWinePrefix() {
    const char* home = Env("HOME");
    if (!home) return {};
    const fs::path own = fs::path(home) / ".wine";
    return wine::IsWinePrefix(own) ? own : fs::path();
}

fs::path DefaultMachineFolder() {
    if (const char* x = Env("XDG_DATA_HOME")) return fs::path(x) / "tarnel/machine";
    const char* home = Env("HOME");
    return fs::path(home ? home : ".") / ".local/share/tarnel/machine";
}

TPlatformChosen ChoosePlatform(const TPlatformChoice& choice) {
    TPlatformChosen chosen;
    if (!choice.Machine.empty()) {
        chosen.Folder = choice.Machine;
        chosen.Source = "--machine";
    } else if (const char* m = Env("TARNEL_MACHINE")) {
        chosen.Folder = m;
        chosen.Source = "TARNEL_MACHINE";
    } else if (const char* w = Env("WINEPREFIX")) {
        chosen.Folder = w;
        chosen.Source = "WINEPREFIX";
    } else if (const fs::path own = HomeWinePrefix(); !own.empty()) {
        chosen.Folder = own;
        chosen.Source = "~/.wine";
    } else {
        chosen.Folder = DefaultMachineFolder();
        chosen.Source = "default";
    }

    std::error_code ec;
    if (!fs::exists(chosen.Folder / "system.reg", ec)) {
        if (chosen.Source != "default" || !choice.MakeDemo) {
            std::string from = chosen.Source == "default" ? "the default machine folder"
                               : chosen.Source == "--machine" ? "the machine folder"
                                                              : "the machine folder named by $" + chosen.Source;
            std::string what = !fs::exists(chosen.Folder, ec)       ? "does not exist"
                               : !fs::is_directory(chosen.Folder, ec) ? "is a file, not a folder"
                                                                      : "holds no machine (system.reg is missing)";
            const bool file = fs::exists(chosen.Folder, ec) && !fs::is_directory(chosen.Folder, ec);
            std::string hint = file ? ""
                               : chosen.Source == "WINEPREFIX"
                                   ? " (a Wine prefix is made by running Wine on it once)"
                                   : "; 'tarnelctl init " + chosen.Folder.string() + "' makes a demo machine there";
            throw EFileError("There is no machine to work on: " + from + " '" + chosen.Folder.string() + "' " +
                             what + hint);
        }
        fs::create_directories(chosen.Folder, ec);
        try {
            choice.MakeDemo(chosen.Folder);
            chosen.Made = true;
        } catch (const EFileError&) {
            // Another start made it at the same moment: use that one.
            if (!fs::exists(chosen.Folder / "system.reg", ec)) throw;
        }
    }
    chosen.Backend = BackendFor(choice, chosen);
    if (chosen.Backend == "wine") {
        if (!wine::IsWinePrefix(chosen.Folder))
            throw EPlatformError("The wine backend serves Wine prefixes, and Wine never ran on '" +
                                 chosen.Folder.string() + "' (it holds no dosdevices folder); use --backend machine");
        UseBackend(std::make_unique<wine::TWineBackend>(chosen.Folder, fs::path(), wine::FindWine(), choice.View));
        return chosen;
    }
    auto backend = std::make_unique<machine::TMachineBackend>(chosen.Folder);
    backend->SetView(choice.View);
    if (std::string reason = ReadOnlyReasonOf(backend->Root()); !reason.empty()) backend->SetReadOnly(reason);
    UseBackend(std::move(backend));
    return chosen;
}

}  // namespace tarnel::platform

namespace tarnel::platform {

std::string WhyNotAMachine(const fs::path& folder) {
    std::error_code ec;
    const std::string where = "'" + folder.string() + "'";
    if (!fs::exists(folder, ec)) return where + " does not exist";
    if (!fs::is_directory(folder, ec)) return where + " is a file, not a folder";
    if (!fs::exists(folder / "system.reg", ec))
        return where + " is neither a Wine prefix nor a machine made by 'tarnelctl init' (it holds no system.reg)";
    // Only the head is read: the folder is not trusted.
    char head[32] = {};
    size_t got = 0;
    if (FILE* f = std::fopen((folder / "system.reg").c_str(), "rb")) {
        got = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    }
    static constexpr char kMagic[] = "WINE REGISTRY Version 2";
    if (got < sizeof kMagic - 1 || std::memcmp(head, kMagic, sizeof kMagic - 1) != 0)
        return where + " holds a system.reg that is not a registry file";
    return {};
}

}  // namespace tarnel::platform
