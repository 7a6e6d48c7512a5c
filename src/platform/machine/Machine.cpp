#include "platform/machine/Machine.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"
#include "platform/machine/DriverFiles.h"
#include "platform/machine/MachineBackend.h"
#include "platform/machine/StoreFiles.h"
#include "platform/machine/WineHive.h"

namespace fs = std::filesystem;

namespace tarnel::platform {

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

void SelectMachine(const fs::path& root) { UseBackend(std::make_unique<machine::TMachineBackend>(root)); }

const fs::path& MachineRoot() {
    if (!machine::MachineInUse()) throw EFileError("No machine is selected");
    return machine::CurrentMachine().Root();
}

bool MachineSelected() { return machine::MachineInUse(); }

void ForgetLoadedHives() {
    if (machine::MachineInUse()) machine::CurrentMachine().Files().Forget();
}

TRegistryFixedTime::TRegistryFixedTime(int64_t unixSeconds)
    : previous_(wine::FixedRegistryTime().exchange(unixSeconds)) {}
TRegistryFixedTime::~TRegistryFixedTime() { wine::FixedRegistryTime().store(previous_); }


fs::path SystemHivePath() { return MachineRoot() / "system.reg"; }
fs::path UserHivePath() { return MachineRoot() / "user.reg"; }
fs::path WindowsDirPath() {
    auto found = FindFileNoCase(MachineRoot() / "drive_c", "windows");
    return found ? *found : MachineRoot() / "drive_c/windows";
}
fs::path SystemIniPath() {
    fs::path win = WindowsDirPath();
    auto found = FindFileNoCase(win, "system.ini");
    return found ? *found : win / "system.ini";
}

std::optional<fs::path> FindFileNoCase(const fs::path& dir, const std::string& name) {
    if (name.empty()) return std::nullopt;
    std::error_code ec;
    // Within a transaction each folder is listed once.
    if (machine::TransactionCache* cache = machine::ActiveCache()) {
        auto [it, fresh] = cache->folders.try_emplace(dir.string());
        if (fresh) {
            for (fs::directory_iterator d(dir, ec), end; !ec && d != end; d.increment(ec)) {
                std::string entry = d->path().filename().string();
                // The exact spelling wins over one that differs in case.
                auto [slot, added] = it->second.try_emplace(AsciiLowerCase(entry), entry);
                if (!added && entry == name) slot->second = entry;
            }
        }
        auto found = it->second.find(AsciiLowerCase(name));
        if (found == it->second.end()) return std::nullopt;
        return dir / found->second;
    }
    fs::path exact = dir / name;
    const auto type = fs::symlink_status(exact, ec).type();
    if (!ec && type != fs::file_type::not_found && type != fs::file_type::none) return exact;
    fs::directory_iterator it(dir, ec);
    if (ec) return std::nullopt;
    for (const auto& entry : it) {
        if (EqualsNoCase(entry.path().filename().string(), name)) return entry.path();
    }
    return std::nullopt;
}

namespace {

// A Windows name split into its components, '/' and '\' alike.
std::vector<std::string> Components(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (i > start) parts.emplace_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// The components below drive C: of a drive-absolute ("C:\x") or
// drive-rooted ("\x") name; nullopt for anything else.
std::optional<std::vector<std::string>> DriveCComponents(const std::string& name) {
    if (name.size() >= 3 && name[1] == ':' && IsSeparator(name[2])) {
        if (AsciiLower(name[0]) != 'c') return std::nullopt;
        return Components(std::string_view(name).substr(3));
    }
    // "\\server\share" and "\\?\..." name no file of the machine.
    if (!name.empty() && IsSeparator(name[0]) && !(name.size() > 1 && IsSeparator(name[1])))
        return Components(std::string_view(name).substr(1));
    return std::nullopt;
}

struct Mapped {
    fs::path path;
    bool folderMissing = false;  // a component before the last one does not exist
    bool fileMissing = false;
};

Mapped MapComponents(const std::vector<std::string>& raw) {
    // Windows resolves "." and ".." on the name first; ".." at the root of a
    // drive stays at the root.
    std::vector<std::string> parts;
    for (const std::string& component : raw) {
        if (component == ".") continue;
        if (component == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(component);
    }
    // A 32-bit program on a 64-bit system asks for system32 and is given
    // syswow64, the folder of its own drivers.
    if (machine::MachineInUse() && machine::CurrentMachine().View() == 32 && parts.size() >= 2 && EqualsNoCase(parts[1], "system32") &&
        EqualsNoCase(parts[0], WindowsDirPath().filename().string()))
        parts[1] = "syswow64";
    Mapped m{MachineRoot() / "drive_c"};
    for (const std::string& component : parts) {
        std::optional<fs::path> found;
        if (!m.fileMissing) found = FindFileNoCase(m.path, component);
        if (found) {
            m.path = *found;
            continue;
        }
        if (m.fileMissing) m.folderMissing = true;
        m.fileMissing = true;
        m.path /= component;
    }
    return m;
}

std::optional<fs::path> RealPath(const fs::path& p, int& err) {
    char* real = ::realpath(p.c_str(), nullptr);
    if (!real) {
        err = errno;
        return std::nullopt;
    }
    fs::path out(real);
    std::free(real);
    return out;
}

bool Within(const fs::path& inner, const fs::path& root) {
    const std::string in = inner.string(), r = root.string();
    if (in.size() < r.size() || in.compare(0, r.size(), r) != 0) return false;
    return in.size() == r.size() || in[r.size()] == '/' || r == "/";
}

// Checks a host path found for a machine name: a regular file inside the machine.
MachineFileLookup JudgeFully(const fs::path& candidate);

MachineFileLookup Judge(const fs::path& candidate) {
    machine::TransactionCache* cache = machine::ActiveCache();
    if (!cache) return JudgeFully(candidate);
    // Within a transaction a folder is judged once; a file that is no link
    // in a folder inside the machine is inside it too.
    struct stat st {};
    if (::lstat(candidate.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return JudgeFully(candidate);
    const std::string folder = candidate.parent_path().string();
    auto it = cache->folderInside.find(folder);
    if (it == cache->folderInside.end()) {
        int err = 0;
        auto real = RealPath(folder, err);
        if (!cache->realRoot) cache->realRoot = RealPath(MachineRoot(), err);
        it = cache->folderInside.emplace(folder, real && cache->realRoot && Within(*real, *cache->realRoot)).first;
    }
    if (!it->second) return {std::nullopt, kErrorFileNotFound};
    if (!S_ISREG(st.st_mode)) return {std::nullopt, kErrorAccessDenied};
    return {candidate, kErrorSuccess};
}

MachineFileLookup JudgeFully(const fs::path& candidate) {
    int err = 0;
    auto real = RealPath(candidate, err);
    if (!real) {
        if (err == ELOOP) return {std::nullopt, kErrorCantResolveFilename};
        return {std::nullopt, err == ENOENT ? kErrorFileNotFound : WinErrorFromErrno(err)};
    }
    int rootErr = 0;
    machine::TransactionCache* cache = machine::ActiveCache();
    std::optional<fs::path> root;
    if (cache && cache->realRoot) root = cache->realRoot;
    else root = RealPath(MachineRoot(), rootErr);
    if (cache && root) cache->realRoot = root;
    if (!root || !Within(*real, *root)) return {std::nullopt, kErrorFileNotFound};
    struct stat st {};
    if (::stat(real->c_str(), &st) != 0) return {std::nullopt, WinErrorFromErrno(errno)};
    if (!S_ISREG(st.st_mode)) return {std::nullopt, kErrorAccessDenied};
    return {candidate, kErrorSuccess};
}

}  // namespace

std::optional<fs::path> MapWindowsPath(const std::string& windowsPath) {
    auto parts = DriveCComponents(windowsPath);
    if (!parts) return std::nullopt;
    return MapComponents(*parts).path;
}

namespace {
MachineFileLookup LookUpUncached(const std::string& name);
}  // namespace

MachineFileLookup LookUpMachineFile(const std::string& name) {
    if (name.empty() || !MachineSelected()) return {std::nullopt, kErrorPathNotFound};
    machine::TransactionCache* cache = machine::ActiveCache();
    if (!cache) return LookUpUncached(name);
    auto it = cache->lookups.find(name);
    if (it == cache->lookups.end()) it = cache->lookups.emplace(name, LookUpUncached(name)).first;
    return it->second;
}

namespace {
MachineFileLookup LookUpUncached(const std::string& name) {
    if (name.find_first_of("\\/:") == std::string::npos) {
        if (name == "." || name == "..") return {std::nullopt, kErrorFileNotFound};
        // The loader's search order for a bare name.
        const fs::path win = WindowsDirPath();
        uint32_t error = kErrorFileNotFound;
        std::vector<fs::path> dirs;
        const bool wow32 = machine::MachineInUse() && machine::CurrentMachine().View() == 32;
        for (const char* sub : {wow32 ? "syswow64" : "system32", "system"})
            if (auto d = FindFileNoCase(win, sub)) dirs.push_back(*d);
        dirs.push_back(win);
        for (const fs::path& dir : dirs) {
            auto f = FindFileNoCase(dir, name);
            if (!f) continue;
            MachineFileLookup r = Judge(*f);
            if (r.file) return r;
            if (r.error == kErrorCantResolveFilename) error = r.error;
        }
        return {std::nullopt, error};
    }
    auto parts = DriveCComponents(name);
    if (!parts) return {std::nullopt, kErrorPathNotFound};
    Mapped m = MapComponents(*parts);
    if (m.folderMissing) return {std::nullopt, kErrorPathNotFound};
    if (m.fileMissing) return {std::nullopt, kErrorFileNotFound};
    return Judge(m.path);
}
}  // namespace

std::optional<fs::path> ResolveMachineFile(const std::string& name) { return LookUpMachineFile(name).file; }

bool LeadsOutsideMachine(const fs::path& hostPath) {
    // A save asks this for every line it writes to a profile file: once per
    // transaction is enough, as for the folders of driver files.
    machine::TransactionCache* cache = machine::ActiveCache();
    if (cache) {
        auto it = cache->leadsOutside.find(hostPath.native());
        if (it != cache->leadsOutside.end()) return it->second;
    }
    int err = 0;
    auto real = RealPath(hostPath, err);
    bool outside = false;
    if (real) {
        auto root = RealPath(MachineRoot(), err);
        outside = !root || !Within(*real, *root);
    }
    if (cache) cache->leadsOutside.emplace(hostPath.native(), outside);
    return outside;
}

uint32_t WinErrorFromErrno(int error) {
    switch (error) {
        case 0: return kErrorSuccess;
        case ENOENT: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR: return kErrorAccessDenied;
        case ENOSPC:
        case EDQUOT: return kErrorDiskFull;
        case EROFS: return kErrorWriteProtect;
        case ELOOP: return kErrorCantResolveFilename;
        case ENAMETOOLONG: return kErrorFilenameTooLong;
        case EFBIG: return kErrorFileTooLarge;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EBUSY:
        case ETXTBSY: return kErrorSharingViolation;
        default: return kErrorAccessDenied;
    }
}

}  // namespace tarnel::platform
