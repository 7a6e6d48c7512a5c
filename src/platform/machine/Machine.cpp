#include "platform/machine/Machine.h"

#include <cstdlib>

#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"
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
    std::error_code ec;
    fs::path exact = dir / name;
    if (fs::exists(exact, ec)) return exact;
    fs::directory_iterator it(dir, ec);
    if (ec) return std::nullopt;
    for (const auto& entry : it) {
        if (EqualsNoCase(entry.path().filename().string(), name)) return entry.path();
    }
    return std::nullopt;
}

std::optional<fs::path> MapWindowsPath(const std::string& windowsPath) {
    if (windowsPath.size() < 3 || windowsPath[1] != ':' || !IsSeparator(windowsPath[2]))
        return std::nullopt;
    if (AsciiLower(windowsPath[0]) != 'c') return std::nullopt;
    fs::path cur = MachineRoot() / "drive_c";
    size_t pos = 3;
    bool missing = false;
    while (pos <= windowsPath.size()) {
        size_t end = pos;
        while (end < windowsPath.size() && !IsSeparator(windowsPath[end])) ++end;
        std::string part = windowsPath.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (cur != MachineRoot() / "drive_c") cur = cur.parent_path();
            continue;
        }
        std::optional<fs::path> found;
        if (!missing) found = FindFileNoCase(cur, part);
        if (found) {
            cur = *found;
        } else {
            missing = true;
            cur /= part;
        }
    }
    return cur;
}

std::optional<fs::path> ResolveMachineFile(const std::string& name) {
    std::error_code ec;
    auto regular = [&](const fs::path& p) -> std::optional<fs::path> {
        if (fs::is_regular_file(p, ec)) return p;
        return std::nullopt;
    };
    if (name.empty()) return std::nullopt;
    if (name.size() >= 3 && name[1] == ':' && IsSeparator(name[2])) {
        if (!MachineSelected()) return std::nullopt;
        auto mapped = MapWindowsPath(name);
        return mapped ? regular(*mapped) : std::nullopt;
    }
    if (name.find('/') != std::string::npos) return regular(name);
    if (name.find('\\') != std::string::npos || name == "." || name == "..") return std::nullopt;
    if (!MachineSelected()) return std::nullopt;
    fs::path win = WindowsDirPath();
    for (const char* dir : {"system32", "system"}) {
        if (auto d = FindFileNoCase(win, dir)) {
            if (auto f = FindFileNoCase(*d, name))
                if (auto r = regular(*f)) return r;
        }
    }
    if (auto f = FindFileNoCase(win, name)) return regular(*f);
    return std::nullopt;
}

}  // namespace tarnel::platform
