// Running tarnelctl from tests: to the end (status and output), or in the
// background (to race or kill it), and reading its `list --json` back.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/machine/AtomicFile.h"
#include "support/TempMachine.h"

extern char** environ;

namespace tarnel::test {

struct CtlResult {
    int status = -1;  // the exit status; -1 when the process did not exit
    std::string out, err;
};

inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs tarnelctl through the shell; `prefix` goes before it (limits, traps).
inline CtlResult Ctl(const std::vector<std::string>& args, const std::string& prefix = "") {
    TempDir tmp;
    const std::string errFile = (tmp.Path() / "err").string();
    std::string cmd = prefix + ShellQuote(TARNEL_TARNELCTL);
    for (const std::string& a : args) cmd += " " + ShellQuote(a);
    cmd += " 2>" + ShellQuote(errFile) + " </dev/null";
    CtlResult r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = platform::ReadWholeFile(errFile);
    return r;
}

// On the machine in `root`.
inline CtlResult CtlOn(const std::filesystem::path& root, std::vector<std::string> args,
                       const std::string& prefix = "") {
    args.insert(args.begin(), {"--machine", root.string()});
    return Ctl(args, prefix);
}

// Starts tarnelctl on the machine without waiting; its output goes nowhere.
inline pid_t SpawnOn(const std::filesystem::path& root, const std::vector<std::string>& args) {
    std::vector<std::string> all = {TARNEL_TARNELCTL, "--machine", root.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start tarnelctl");
    return pid;
}

// The exit status, or -1 when the process ended by a signal.
inline int WaitFor(pid_t pid, bool* killed = nullptr) {
    int st = 0;
    while (waitpid(pid, &st, 0) < 0) {
    }
    if (killed) *killed = WIFSIGNALED(st);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A machine made the way a user makes one: `tarnelctl init DIR [--family 9x]`.
class CtlMachine {
public:
    explicit CtlMachine(const std::string& family = "nt") : root_(dir_.Path() / "machine") {
        CtlResult r = Ctl({"init", root_.string(), "--family", family});
        if (r.status != 0) throw std::runtime_error("init failed: " + r.err);
    }
    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path SystemIni() const { return root_ / "drive_c/windows/system.ini"; }
    std::filesystem::path SystemReg() const { return root_ / "system.reg"; }

private:
    TempDir dir_;
    std::filesystem::path root_;
};

// One row of `list --json`.
struct ListedRow {
    std::string number, fourcc, driver, shortname, description, version, type;
    std::string store;  // on a machine Wine runs: "registry" or "system.ini"
    std::string Pair() const { return fourcc + "=" + driver; }
    bool operator==(const ListedRow&) const = default;
};
struct Listed {
    std::vector<ListedRow> active, inactive;
    bool ok = false;
};

// The text of a `"key": "value"` line, escapes undone.
inline bool JsonField(const std::string& line, std::string& key, std::string& value) {
    size_t k = line.find('"');
    if (k == std::string::npos) return false;
    size_t kEnd = line.find('"', k + 1);
    if (kEnd == std::string::npos || line.compare(kEnd + 1, 3, ": \"") != 0) return false;
    key = line.substr(k + 1, kEnd - k - 1);
    value.clear();
    for (size_t i = kEnd + 4; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            value += line[++i];
            continue;
        }
        if (line[i] == '"') return true;
        value += line[i];
    }
    return false;
}

// Reads the fixed layout `list --json` prints: one field a line.
inline Listed ParseList(const std::string& json) {
    Listed l;
    std::vector<ListedRow>* into = nullptr;
    size_t start = 0;
    while (start < json.size()) {
        size_t nl = json.find('\n', start);
        if (nl == std::string::npos) nl = json.size();
        const std::string line = json.substr(start, nl - start);
        start = nl + 1;
        if (line.find("\"active\": [") != std::string::npos) into = &l.active;
        else if (line.find("\"inactive\": [") != std::string::npos) into = &l.inactive;
        else if (into && line.find('{') != std::string::npos) into->emplace_back();
        std::string key, value;
        if (!into || into->empty() || !JsonField(line, key, value)) continue;
        ListedRow& row = into->back();
        std::map<std::string, std::string*> fields = {
            {"number", &row.number},           {"fourcc", &row.fourcc},   {"driver", &row.driver},
            {"shortname", &row.shortname},     {"description", &row.description},
            {"version", &row.version},         {"type", &row.type},       {"store", &row.store}};
        if (auto it = fields.find(key); it != fields.end()) *it->second = value;
    }
    l.ok = json.find("\"store\"") != std::string::npos && json.size() > 2 && json[json.size() - 2] == '}';
    return l;
}

inline std::vector<std::string> Pairs(const std::vector<ListedRow>& rows) {
    std::vector<std::string> out;
    for (const ListedRow& r : rows) out.push_back(r.Pair());
    return out;
}

// Every file below the folder with its stamp: what a command changed.
inline std::map<std::string, platform::FileStamp> Stamps(const std::filesystem::path& root) {
    std::map<std::string, platform::FileStamp> s;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        s[e.path().string()] = platform::StampOf(e.path());
    return s;
}

// Every file below the folder with what it holds.
inline std::map<std::string, std::string> Contents(const std::filesystem::path& root) {
    std::map<std::string, std::string> c;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_regular_file()) c[e.path().string()] = platform::ReadWholeFile(e.path());
    return c;
}

}  // namespace tarnel::test
