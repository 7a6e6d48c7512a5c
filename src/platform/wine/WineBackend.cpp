#include "platform/wine/WineBackend.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/api/FileError.h"
#include "platform/machine/HostMapping.h"
#include "platform/machine/WinePrefix.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"
#include "platform/win32/BridgeProtocol.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tarnel::platform::machine {
// The program's own file is a Linux executable, which Windows cannot read:
// its version block comes from the reader the emulated machine uses.
uint32_t GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle);
bool GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data);
bool VerQueryValueA(void* block, const std::string& subBlock, void** buffer, uint32_t* len);
bool VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer, uint32_t* len);
}  // namespace tarnel::platform::machine

namespace tarnel::platform::wine {

using bridge::ErrorKind;
using bridge::Message;
using bridge::Op;
using bridge::Parser;
using bridge::Status;

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool IsExecutable(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}


// Writes to a bridge that ended must fail with EPIPE, not end this process.
bool WriteAllNoSignal(int fd, const std::string& bytes) {
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    const char* p = bytes.data();
    size_t n = bytes.size();
    bool ok = true;
    while (n) {
        ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            ok = false;
            break;
        }
        p += put;
        n -= size_t(put);
    }
    if (!ok && errno == EPIPE) {
        struct timespec now {};
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE)) sigtimedwait(&pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

}  // namespace

std::string FindWine() {
    const std::string path = Env("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string dir = path.substr(start, end - start);
        if (!dir.empty() && IsExecutable(fs::path(dir) / "wine")) return (fs::path(dir) / "wine").string();
        start = end + 1;
    }
    return {};
}

bool IsWinePrefix(const fs::path& folder) { return machine::IsWinePrefixFolder(folder); }

int PrefixBits(const fs::path& prefix) { return machine::WinePrefixBits(prefix); }

int ProgramBits(const fs::path& file) {
    unsigned char dos[64], nt[6];
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return 0;
    int bits = 0;
    if (std::fread(dos, 1, sizeof dos, f) == sizeof dos && dos[0] == 'M' && dos[1] == 'Z') {
        const long at = long(dos[60] | dos[61] << 8 | dos[62] << 16) | long(dos[63]) << 24;
        if (at > 0 && std::fseek(f, at, SEEK_SET) == 0 && std::fread(nt, 1, sizeof nt, f) == sizeof nt &&
            std::memcmp(nt, "PE\0\0", 4) == 0) {
            const unsigned machine = nt[4] | nt[5] << 8;
            if (machine == 0x14C) bits = 32;        // IMAGE_FILE_MACHINE_I386
            else if (machine == 0x8664) bits = 64;  // IMAGE_FILE_MACHINE_AMD64
        }
    }
    std::fclose(f);
    return bits;
}

bool WineRuns32Bit(const std::string& wine) {
    if (wine.empty()) return false;
    std::error_code ec;
    fs::path real = fs::canonical(wine, ec);
    if (ec) real = wine;
    const fs::path top = real.parent_path().parent_path();
    // Debian's launcher (bin/wine, a script) runs lib/wine/wine, the 32-bit
    // loader that only wine32:i386 brings, else lib/wine/wine64, which
    // cannot start a 32-bit program.
    if (fs::exists(top / "lib/wine/wine64", ec) || fs::exists(top / "lib/wine/wine", ec))
        return IsExecutable(top / "lib/wine/wine");
    // Wine built from its sources keeps its 32-bit side in i386-windows.
    for (const char* lib : {"lib/wine", "lib32/wine", "lib/i386-linux-gnu/wine"})
        if (fs::exists(top / lib / "i386-windows" / "ntdll.dll", ec)) return true;
    return false;
}

TBridgeFiles FindBridges() {
    TBridgeFiles found;
    std::error_code ec;
    if (std::string named = Env("TARNEL_BRIDGE"); !named.empty()) {
        found.Named = named;
        found.NamedBits = ProgramBits(named);
    }
    std::vector<fs::path> candidates;
    if (!ProgramFile().empty()) {
        const fs::path bin = fs::absolute(ProgramFile(), ec).parent_path();
        // Installed: bin/tarnel finds libexec/tarnel/.
        for (const fs::path& dir : {bin, bin.parent_path() / "libexec" / "tarnel"})
            for (const char* name : {"tarnel-bridge.exe", "tarnel-bridge64.exe"}) candidates.push_back(dir / name);
    }
#ifdef TARNEL_BRIDGE_BUILT32
    candidates.push_back(TARNEL_BRIDGE_BUILT32);
#endif
#ifdef TARNEL_BRIDGE_BUILT64
    candidates.push_back(TARNEL_BRIDGE_BUILT64);
#endif
    for (const fs::path& c : candidates) {
        if (!fs::is_regular_file(c, ec)) continue;
        const int bits = ProgramBits(c);
        fs::path& slot = bits == 64 ? found.Bits64 : found.Bits32;
        if (bits && slot.empty()) slot = c;
    }
    return found;
}

TBridgeChoice ChooseBridge(const fs::path& prefix, int prefixBits, const TBridgeFiles& bridges,
                           bool wineRuns32Bit) {
    const std::string where = "'" + prefix.string() + "'";
    auto refuse = [](std::string why) { return TBridgeChoice{{}, 0, std::move(why)}; };
    const std::string only32 = " (the prefix " + where + " is a 32-bit one, which only a 32-bit bridge serves)";
    if (!bridges.Named.empty()) {
        const std::string named = "The bridge '" + bridges.Named.string() + "' ($TARNEL_BRIDGE)";
        if (bridges.NamedBits == 0) {
            std::error_code ec;
            return refuse(named + (fs::exists(bridges.Named, ec) ? " is not a Windows program" : " does not exist"));
        }
        if (bridges.NamedBits == 64) {
            if (prefixBits == 32) return refuse(named + " is a 64-bit program" + only32);
            return {bridges.Named, 64, {}};
        }
        if (wineRuns32Bit) return {bridges.Named, 32, {}};
        if (prefixBits == 64 && !bridges.Bits64.empty()) return {bridges.Bits64, 64, {}};
        return refuse(std::string(kNo32BitWine) + ", so the 32-bit bridge '" + bridges.Named.string() +
                      "' ($TARNEL_BRIDGE) cannot start");
    }
    if (prefixBits == 64) {
        if (!bridges.Bits64.empty()) return {bridges.Bits64, 64, {}};
        return refuse("The wine backend needs its 64-bit bridge tarnel-bridge64.exe for the 64-bit prefix " + where +
                      ", and none was found (beside the program, in libexec/tarnel or in the build)");
    }
    if (!wineRuns32Bit) return refuse(kNo32BitWine + only32);
    if (!bridges.Bits32.empty()) return {bridges.Bits32, 32, {}};
    return refuse("The wine backend needs its 32-bit bridge tarnel-bridge.exe for the 32-bit prefix " + where +
                  ", and none was found (beside the program, in libexec/tarnel or in the build)");
}

TBridgeChoice ChooseViewBridge(const fs::path& prefix, int prefixBits, int view, const TBridgeFiles& bridges,
                               bool wineRuns32Bit) {
    const std::string where = "'" + prefix.string() + "'";
    auto refuse = [](std::string why) { return TBridgeChoice{{}, 0, std::move(why)}; };
    if (view != 0 && view != 32 && view != 64) return refuse("A view is 32 or 64, not " + std::to_string(view));
    if (prefixBits == 32) {
        if (view == 64) return refuse("The Wine prefix " + where + " is a 32-bit one: it has no 64-bit view");
        TBridgeChoice c = ChooseBridge(prefix, prefixBits, bridges, wineRuns32Bit);
        c.View = 0;
        return c;
    }
    if (!bridges.Named.empty() && bridges.NamedBits == 0) return ChooseBridge(prefix, prefixBits, bridges, wineRuns32Bit);
    const fs::path named32 = bridges.NamedBits == 32 ? bridges.Named : fs::path();
    const fs::path named64 = bridges.NamedBits == 64 ? bridges.Named : fs::path();
    const fs::path b32 = !named32.empty() ? named32 : bridges.Bits32;
    const fs::path b64 = !named64.empty() ? named64 : bridges.Bits64;
    if (view == 64) {
        if (!b64.empty()) return {b64, 64, {}, 64, {}};
        return refuse("The wine backend needs its 64-bit bridge tarnel-bridge64.exe for the 64-bit view of " + where +
                      ", and none was found (beside the program, in libexec/tarnel or in the build)");
    }
    if (wineRuns32Bit && !b32.empty()) return {b32, 32, {}, 32, {}};
    const std::string why = !wineRuns32Bit ? std::string(kNo32BitWine)
                                           : "No 32-bit bridge tarnel-bridge.exe was found (beside the program, in "
                                             "libexec/tarnel or in the build)";
    if (!b64.empty())
        return {b64, 64, {}, 32,
                why + ", so the codecs of the 32-bit view of " + where +
                    " cannot be asked: their drivers load only in a 32-bit program"};
    return refuse(why + ", and no 64-bit bridge tarnel-bridge64.exe was found to read the 32-bit view of " + where);
}

struct TWineBackend::Impl {
    fs::path prefix;
    int bits = 0;
    int view = 0;
    std::string driverRefusal;
    pid_t pid = -1;
    int toBridge = -1;
    int fromBridge = -1;
    int wineOutput = -1;  // Wine's own messages while the bridge starts; -1 when they go to ours
    std::string ended;  // why the bridge is gone; empty while it serves
    std::string inbox;  // bytes read ahead of the frame being parsed
    std::optional<TMachineFamily> family;
    std::set<std::string> admitted;
    // Version blocks the reader of this process filled (the program's own
    // file); every other block is queried by Windows.
    std::set<const void*> localBlocks;
    // Sizes of the buffers the bridge's GetFileVersionInfoA filled.
    std::vector<std::pair<const void*, size_t>> remoteBlocks;

    [[noreturn]] void Ended(const std::string& how) {
        if (ended.empty()) {
            int status = 0;
            std::string why = how;
            // The bridge's end, when it has come: a signal names who ended it.
            for (int i = 0; i < 50 && pid > 0; ++i) {
                pid_t r = ::waitpid(pid, &status, WNOHANG);
                if (r == pid) {
                    if (WIFSIGNALED(status)) why += " (ended by signal " + std::to_string(WTERMSIG(status)) + ")";
                    else if (WIFEXITED(status)) why += " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
                    pid = -1;
                    break;
                }
                if (r < 0) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ended = "The bridge to Wine on '" + prefix.string() + "' " + why;
        }
        throw EPlatformError(ended);
    }

    // What the bridge wrote and no answer took, for a moment at most.
    void DrainLeftovers() {
        char buf[4096];
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        while (inbox.size() < 4096 && std::chrono::steady_clock::now() < until) {
            struct pollfd p {fromBridge, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            ssize_t got = ::read(fromBridge, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            inbox.append(buf, size_t(got));
        }
    }

    bool Fill(size_t need) {
        char buf[65536];
        while (inbox.size() < need) {
            ssize_t got = ::read(fromBridge, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            inbox.append(buf, size_t(got));
        }
        return true;
    }

    // One request and its answer; the answer's results follow its status.
    std::string Call(const Message& request) {
        if (!ended.empty()) throw EPlatformError(ended);
        if (!WriteAllNoSignal(toBridge, request.Frame())) Ended("has ended");
        if (!Fill(4)) Ended("has ended");
        const uint32_t n = bridge::FrameLength(reinterpret_cast<const unsigned char*>(inbox.data()));
        if (n > bridge::kMaxFrame || n == 0) Ended("sent a broken answer");
        if (!Fill(4 + size_t(n))) Ended("has ended");
        std::string payload = inbox.substr(4, n);
        inbox.erase(0, 4 + size_t(n));
        Parser p(payload);
        if (Status(p.U8()) == Status::Ok) return payload;
        const ErrorKind kind = ErrorKind(p.U8());
        const std::string text = p.Str();
        if (kind == ErrorKind::Registry) throw ERegistryException(text);
        if (kind == ErrorKind::File) throw EFileError(text);
        throw EPlatformError(text);
    }

    // ICM_GETINFO's record travels both ways: the driver fills what it
    // knows over what the caller put there.
    intptr_t RecordCall(Message request, void* record, uint32_t cb) {
        const uint32_t bytes = record ? std::min<uint32_t>(cb, 1u << 16) : 0;
        request.U8(record != nullptr).Bytes(record, bytes).I32(0).I32(int32_t(cb));
        std::string a = Call(request);
        Parser p(a);
        p.U8();
        intptr_t result = p.I32();
        std::string back = p.Str();
        if (record) std::memcpy(record, back.data(), std::min<size_t>(back.size(), bytes));
        return result;
    }
};

namespace {
// The results of an answer, past its status byte.
Parser Results(const std::string& answer) {
    Parser p(answer);
    p.U8();
    return p;
}
}  // namespace

namespace {

// A folder Wine would refuse, or turn into a prefix of its own making, is
// refused before Wine is started on it.
void CheckPrefix(const fs::path& prefix) {
    std::error_code ec;
    const std::string where = "'" + prefix.string() + "'";
    if (!fs::exists(prefix, ec)) throw EPlatformError("The Wine prefix " + where + " does not exist");
    if (!fs::is_directory(prefix, ec)) throw EPlatformError("The Wine prefix " + where + " is not a folder");
    if (!IsWinePrefix(prefix))
        throw EPlatformError("The wine backend serves Wine prefixes, and Wine never ran on " + where +
                             " (it holds no dosdevices folder and system.reg); use --backend machine");
    struct stat st {};
    if (::stat(prefix.c_str(), &st) == 0 && st.st_uid != ::getuid())
        throw EPlatformError("Wine refuses the prefix " + where + ": it is not owned by you (its owner is user " +
                             std::to_string(st.st_uid) + ")");
}

// The lines Wine wrote to the file, without blank ones, joined into one text.
std::string WineSaid(int fd) {
    if (fd < 0) return {};
    std::string text;
    char buf[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t got; text.size() < 16384 && (got = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, size_t(got));
    std::string said;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty()) continue;
        said += (said.empty() ? "" : " / ") + line;
    }
    return said;
}

// What the bridge sent instead of an answer, when it reads as text.
std::string TextOf(const std::string& bytes) {
    std::string text;
    for (char c : bytes.substr(0, 200)) {
        if (c == '\r') continue;
        if (c == '\n') c = ' ';
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return {};
        text += c;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

TWineBackend::TWineBackend(const fs::path& prefix, const fs::path& namedBridge, const std::string& wine, int view)
    : impl_(std::make_unique<Impl>()) {
    std::error_code ec;
    impl_->prefix = fs::absolute(prefix, ec);
    if (wine.empty()) throw EPlatformError("Wine is not installed: the wine backend needs it, and no 'wine' program is on the PATH");
    CheckPrefix(impl_->prefix);
    TBridgeFiles bridges = FindBridges();
    if (!namedBridge.empty()) {
        bridges.Named = namedBridge;
        bridges.NamedBits = ProgramBits(namedBridge);
    }
    const int prefixBits = PrefixBits(impl_->prefix);
    TBridgeChoice choice = view < 0 ? ChooseBridge(impl_->prefix, prefixBits, bridges, WineRuns32Bit(wine))
                                    : ChooseViewBridge(impl_->prefix, prefixBits, view, bridges, WineRuns32Bit(wine));
    if (!choice.Refusal.empty()) throw EPlatformError(choice.Refusal);
    if (view < 0) choice.View = prefixBits == 64 ? choice.Bits : 0;
    impl_->bits = choice.Bits;
    impl_->view = choice.View;
    impl_->driverRefusal = choice.DriverRefusal;

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) throw EPlatformError(std::string("Cannot make a pipe: ") + std::strerror(errno));
    if (::pipe2(out, O_CLOEXEC) != 0) {
        int e = errno;
        ::close(in[0]);
        ::close(in[1]);
        throw EPlatformError(std::string("Cannot make a pipe: ") + std::strerror(e));
    }
    // The prefix is the bridge's; Wine's own messages stay quiet unless the
    // user asked for them (and then reach the user as they come), and a
    // prefix Wine brings up to date on the way asks for no browser or .NET
    // runtime. Quietly, Wine's errors (why a program cannot start) go to a
    // file of our own, read only when the bridge does not answer.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string var = *e;
        if (var.rfind("WINEPREFIX=", 0) == 0) continue;
        env.push_back(var);
    }
    env.push_back("WINEPREFIX=" + impl_->prefix.string());
    if (const std::string debug = Env("WINEDEBUG"); debug.empty() || debug == "-all") {
        for (std::string& var : env)
            if (var.rfind("WINEDEBUG=", 0) == 0) var.clear();
        env.erase(std::remove(env.begin(), env.end(), std::string()), env.end());
        env.push_back("WINEDEBUG=-all,err+all");
        const std::string tmp = Env("TMPDIR").empty() ? "/tmp" : Env("TMPDIR");
        impl_->wineOutput = ::open(tmp.c_str(), O_TMPFILE | O_RDWR | O_APPEND | O_CLOEXEC, 0600);
    }
    if (Env("WINEDLLOVERRIDES").empty()) env.push_back("WINEDLLOVERRIDES=mscoree,mshtml=");
    std::vector<char*> envp;
    for (std::string& var : env) envp.push_back(var.data());
    envp.push_back(nullptr);
    std::string program = wine, exe = fs::absolute(choice.Bridge, ec).string();
    char* argv[] = {program.data(), exe.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (impl_->wineOutput >= 0) posix_spawn_file_actions_adddup2(&actions, impl_->wineOutput, 2);
    int rc = ::posix_spawn(&impl_->pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    impl_->toBridge = in[1];
    impl_->fromBridge = out[0];
    if (rc != 0) {
        impl_->pid = -1;
        throw EPlatformError("Cannot start Wine ('" + program + "'): " + std::strerror(rc));
    }
    std::string answer;
    try {
        answer = impl_->Call(Message(Op::Hello).U32(bridge::kProtocolVersion));
    } catch (const EPlatformError& e) {
        // Wine's words say best why its program did not start; else what the
        // bridge sent (read to its end, as a write to it may have failed
        // first), else how it ended.
        impl_->DrainLeftovers();
        std::string why = WineSaid(impl_->wineOutput);
        if (why.empty()) {
            if (std::string text = TextOf(impl_->inbox); !text.empty()) why = "it answered with text: " + text;
        }
        if (why.empty()) why = e.what();
        throw EPlatformError("The " + std::to_string(choice.Bits) + "-bit bridge '" + exe + "' did not start on '" +
                             impl_->prefix.string() + "': " + why);
    }
    if (Results(answer).U32() != bridge::kProtocolVersion)
        throw EPlatformError("The bridge '" + exe + "' speaks another protocol: it was built from other sources");
    // From here Wine's messages are the bridge's business; they are not kept.
    if (impl_->wineOutput >= 0) ::ftruncate(impl_->wineOutput, 0);
    // A view of the other bitness: its keys through the view's flag.
    if (impl_->view != 0 && impl_->view != impl_->bits)
        impl_->Call(Message(Op::SetView).U32(uint32_t(impl_->view)).Str(impl_->driverRefusal));
}

int TWineBackend::View() const { return impl_->view; }
std::string TWineBackend::DriverCallsRefused() const { return impl_->driverRefusal; }

TWineBackend::~TWineBackend() {
    if (impl_->wineOutput >= 0) ::close(impl_->wineOutput);
    if (impl_->toBridge >= 0) ::close(impl_->toBridge);
    if (impl_->fromBridge >= 0) ::close(impl_->fromBridge);
    if (impl_->pid > 0) {
        // Its input has ended, so it ends too; one that hangs is ended.
        for (int i = 0; i < 500; ++i) {
            if (::waitpid(impl_->pid, nullptr, WNOHANG) != 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
        ::kill(impl_->pid, SIGKILL);
        ::waitpid(impl_->pid, nullptr, 0);
    }
}

const fs::path& TWineBackend::Prefix() const { return impl_->prefix; }
int TWineBackend::BridgeBits() const { return impl_->bits; }
pid_t TWineBackend::BridgeProcess() const { return impl_->pid; }

std::string TWineBackend::Describe() const { return impl_->prefix.string() + " (Wine)"; }

TMachineFamily TWineBackend::Family() {
    if (!impl_->family) impl_->family = TMachineFamily(Results(impl_->Call(Message(Op::Family))).U8());
    return *impl_->family;
}

// ---------------------------------------------------------------- registry

long TWineBackend::RegOpenKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired,
                                 RegKey* result) {
    std::string a = impl_->Call(Message(Op::RegOpenKeyEx).U32(uint32_t(key)).CStr(subKey).U32(options).U32(samDesired));
    Parser p = Results(a);
    long rc = p.I32();
    RegKey opened = p.U32();
    if (rc == 0 && result) *result = opened;
    return rc;
}

long TWineBackend::RegCreateKeyExA(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result,
                                   uint32_t* disposition) {
    std::string a = impl_->Call(Message(Op::RegCreateKeyEx).U32(uint32_t(key)).CStr(subKey).U32(samDesired));
    Parser p = Results(a);
    long rc = p.I32();
    RegKey made = p.U32();
    uint32_t disp = p.U32();
    if (rc == 0) {
        if (result) *result = made;
        if (disposition) *disposition = disp;
    }
    return rc;
}

long TWineBackend::RegCloseKey(RegKey key) {
    // Called from destructors: a bridge that ended has closed every key.
    if (!impl_->ended.empty()) return long(kErrorInvalidHandle);
    try {
        return Results(impl_->Call(Message(Op::RegCloseKey).U32(uint32_t(key)))).I32();
    } catch (const EPlatformError&) {
        return long(kErrorInvalidHandle);
    }
}

long TWineBackend::RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* nameChars) {
    const uint32_t room = nameChars ? *nameChars : 0;
    std::string a = impl_->Call(Message(Op::RegEnumKeyEx).U32(uint32_t(key)).U32(index).U32(room));
    Parser p = Results(a);
    long rc = p.I32();
    uint32_t chars = p.U32();
    std::string got = p.Str();
    if (rc == 0 && name && got.size() < room) {
        std::memcpy(name, got.data(), got.size());
        name[got.size()] = 0;
    }
    if (nameChars && (rc == 0 || rc == long(kErrorMoreData))) *nameChars = chars;
    return rc;
}

long TWineBackend::RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type,
                                 uint8_t* data, uint32_t* dataBytes) {
    const uint32_t room = nameChars ? *nameChars : 0, bytes = dataBytes ? *dataBytes : 0;
    std::string a = impl_->Call(Message(Op::RegEnumValue)
                                    .U32(uint32_t(key))
                                    .U32(index)
                                    .U32(room)
                                    .U8(type != nullptr)
                                    .U8(data != nullptr)
                                    .U8(dataBytes != nullptr)
                                    .U32(bytes));
    Parser p = Results(a);
    long rc = p.I32();
    uint32_t chars = p.U32();
    std::string gotName = p.Str();
    uint32_t t = p.U32(), size = p.U32();
    std::string gotData = p.Str();
    if (rc == 0) {
        if (name && gotName.size() < room) {
            std::memcpy(name, gotName.data(), gotName.size());
            name[gotName.size()] = 0;
        }
        if (data && gotData.size() <= bytes) std::memcpy(data, gotData.data(), gotData.size());
    }
    if (rc == 0 || rc == long(kErrorMoreData)) {
        if (nameChars) *nameChars = chars;
        if (type) *type = t;
        if (dataBytes) *dataBytes = size;
    }
    return rc;
}

long TWineBackend::RegQueryInfoKeyA(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                                    uint32_t* maxValueNameChars, uint32_t* maxValueBytes) {
    std::string a = impl_->Call(Message(Op::RegQueryInfoKey).U32(uint32_t(key)));
    Parser p = Results(a);
    long rc = p.I32();
    uint32_t* out[5] = {subKeys, maxSubKeyChars, values, maxValueNameChars, maxValueBytes};
    for (uint32_t* o : out) {
        uint32_t v = p.U32();
        if (rc == 0 && o) *o = v;
    }
    return rc;
}

long TWineBackend::RegQueryValueExA(RegKey key, const char* name, uint32_t* type, uint8_t* data,
                                    uint32_t* dataBytes) {
    const uint32_t bytes = dataBytes ? *dataBytes : 0;
    std::string a = impl_->Call(Message(Op::RegQueryValueEx)
                                    .U32(uint32_t(key))
                                    .CStr(name)
                                    .U8(type != nullptr)
                                    .U8(data != nullptr)
                                    .U8(dataBytes != nullptr)
                                    .U32(bytes));
    Parser p = Results(a);
    long rc = p.I32();
    uint32_t t = p.U32(), size = p.U32();
    std::string got = p.Str();
    if (rc == 0 && data && got.size() <= bytes) std::memcpy(data, got.data(), got.size());
    if (rc == 0 || rc == long(kErrorMoreData)) {
        if (type) *type = t;
        if (dataBytes) *dataBytes = size;
    }
    return rc;
}

long TWineBackend::RegSetValueExA(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                                  uint32_t dataBytes) {
    std::string a = impl_->Call(Message(Op::RegSetValueEx)
                                    .U32(uint32_t(key))
                                    .CStr(name)
                                    .U32(type)
                                    .U8(data != nullptr)
                                    .Bytes(data, data ? dataBytes : 0));
    return Results(a).I32();
}

long TWineBackend::RegDeleteValueA(RegKey key, const char* name) {
    return Results(impl_->Call(Message(Op::RegDeleteValue).U32(uint32_t(key)).CStr(name))).I32();
}

long TWineBackend::RegDeleteKeyA(RegKey key, const char* subKey) {
    return Results(impl_->Call(Message(Op::RegDeleteKey).U32(uint32_t(key)).CStr(subKey))).I32();
}

std::string TWineBackend::RegKeyPath(RegKey key) {
    return Results(impl_->Call(Message(Op::RegKeyPath).U32(uint32_t(key)))).Str();
}

// ---------------------------------------------------------------- transactions

void TWineBackend::BeginTransaction(bool write) { impl_->Call(Message(Op::BeginTransaction).U8(write)); }
void TWineBackend::BeginScratchTransaction() { impl_->Call(Message(Op::BeginScratch)); }
void TWineBackend::CommitTransaction() { impl_->Call(Message(Op::Commit)); }
void TWineBackend::RollbackTransaction() { impl_->Call(Message(Op::Rollback)); }
int TWineBackend::SetSavepoint() { return Results(impl_->Call(Message(Op::SetSavepoint))).I32(); }
void TWineBackend::RollbackToSavepoint(int mark) { impl_->Call(Message(Op::RollbackToSavepoint).I32(mark)); }

// ---------------------------------------------------------------- profile files

namespace {
// A profile answer: the count the call returns, and the text the bridge
// filled, copied into the caller's buffer as far as it reaches.
uint32_t CountAndText(const std::string& answer, char* buffer, uint32_t size) {
    Parser p = Results(answer);
    uint32_t n = p.U32();
    std::string got = p.Str();
    if (buffer) std::memcpy(buffer, got.data(), std::min<size_t>(got.size(), size));
    return n;
}
}  // namespace

uint32_t TWineBackend::GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                                 const char* file) {
    std::string a = impl_->Call(Message(Op::ProfileSection).CStr(section).U32(size).CStr(file));
    return CountAndText(a, buffer, size);
}

uint32_t TWineBackend::GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                                char* buffer, uint32_t size, const char* file) {
    std::string a = impl_->Call(Message(Op::ProfileString).CStr(section).CStr(key).CStr(def).U32(size).CStr(file));
    return CountAndText(a, buffer, size);
}

bool TWineBackend::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                              const char* file) {
    std::string a =
        impl_->Call(Message(Op::WriteProfileString).CStr(section).CStr(key).CStr(value).CStr(file));
    Parser p = Results(a);
    bool ok = p.U8() != 0;
    uint32_t error = p.U32();
    if (!ok) SetLastError(error);
    return ok;
}

// ---------------------------------------------------------------- codec manager

HIC TWineBackend::ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode) {
    if (!impl_->driverRefusal.empty()) return 0;
    return Results(impl_->Call(Message(Op::ICOpen).U32(fccType).U32(fccHandler).U32(mode))).U32();
}

intptr_t TWineBackend::ICGetInfo(HIC hic, ICINFO* info, uint32_t cb) {
    return impl_->RecordCall(Message(Op::ICGetInfo).U32(uint32_t(hic)), info, cb);
}

intptr_t TWineBackend::ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2) {
    Message request = Message(Op::ICSendMessage).U32(uint32_t(hic)).U32(msg);
    if (msg == kIcmGetInfo) return impl_->RecordCall(request, reinterpret_cast<void*>(p1), uint32_t(p2));
    // Every other message the program sends carries numbers, not pointers.
    request.U8(0).Bytes(nullptr, 0).I32(int32_t(p1)).I32(int32_t(p2));
    std::string a = impl_->Call(request);
    return Results(a).I32();
}

intptr_t TWineBackend::ICClose(HIC hic) {
    // As RegCloseKey: a bridge that ended has closed every codec.
    if (!impl_->ended.empty()) return kIcErrBadHandle;
    try {
        return Results(impl_->Call(Message(Op::ICClose).U32(uint32_t(hic)))).I32();
    } catch (const EPlatformError&) {
        return kIcErrBadHandle;
    }
}

// ---------------------------------------------------------------- version resources

namespace {
std::string HostKey(const fs::path& p) {
    std::error_code ec;
    fs::path abs = fs::absolute(p, ec);
    return (ec ? p : abs).lexically_normal().string();
}
}  // namespace

void TWineBackend::AdmitHostFile(const fs::path& file) { impl_->admitted.insert(HostKey(file)); }

uint32_t TWineBackend::GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle) {
    if (!file.empty() && file == ProgramFile()) return machine::GetFileVersionInfoSizeA(file, handle);
    const bool host = !file.empty() && file[0] == '/' && impl_->admitted.count(HostKey(file));
    std::string a = impl_->Call(Message(Op::VersionSize).Str(file).U8(host));
    Parser p = Results(a);
    uint32_t size = p.U32(), h = p.U32(), error = p.U32();
    if (handle) *handle = h;
    SetLastError(error);
    return size;
}

bool TWineBackend::GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data) {
    auto& remote = impl_->remoteBlocks;
    remote.erase(std::remove_if(remote.begin(), remote.end(), [&](const auto& b) { return b.first == data; }),
                 remote.end());
    impl_->localBlocks.erase(data);
    if (!file.empty() && file == ProgramFile()) {
        bool ok = machine::GetFileVersionInfoA(file, handle, len, data);
        if (ok) impl_->localBlocks.insert(data);
        return ok;
    }
    const bool host = !file.empty() && file[0] == '/' && impl_->admitted.count(HostKey(file));
    std::string a = impl_->Call(Message(Op::VersionInfo).Str(file).U8(host).U32(handle).U32(len));
    Parser p = Results(a);
    bool ok = p.U8() != 0;
    uint32_t error = p.U32();
    std::string block = p.Str();
    SetLastError(error);
    if (!ok || !data) return false;
    std::memcpy(data, block.data(), std::min<size_t>(block.size(), len));
    remote.emplace_back(data, len);
    if (remote.size() > 64) remote.erase(remote.begin());
    return true;
}

bool TWineBackend::VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer,
                                  uint32_t* len) {
    if (impl_->localBlocks.count(block))
        return size ? machine::VerQueryValueA(block, size, subBlock, buffer, len)
                    : machine::VerQueryValueA(block, subBlock, buffer, len);
    if (len) *len = 0;
    if (!block || !buffer) return false;
    // The buffer's size: known from the call that filled it, else the
    // block's own length, as the real call has nothing else to go by.
    size_t bytes = size;
    if (!bytes) {
        for (const auto& [at, n] : impl_->remoteBlocks)
            if (at == block) bytes = n;
    }
    if (!bytes) {
        const auto* b = static_cast<const uint8_t*>(block);
        bytes = size_t(b[0] | b[1] << 8);
    }
    std::string a = impl_->Call(Message(Op::VerQuery).Bytes(block, bytes).Str(subBlock));
    Parser p = Results(a);
    bool ok = p.U8() != 0;
    uint32_t offset = p.U32(), n = p.U32();
    std::string after = p.Str();
    std::memcpy(block, after.data(), std::min(after.size(), bytes));
    if (!ok || offset == UINT32_MAX || offset > bytes) {
        *buffer = nullptr;
        return false;
    }
    *buffer = static_cast<char*>(block) + offset;
    if (len) *len = n;
    return true;
}

// ---------------------------------------------------------------- files and OS facts

std::unique_ptr<TMappedFile> TWineBackend::MapFileA(const std::string& path) {
    // Windows opens it (and words a failure); this process maps the file
    // Wine names for it.
    std::string a = impl_->Call(Message(Op::MapFile).Str(path));
    Parser p = Results(a);
    const std::string unix = p.Str();
    if (unix.empty()) throw EPlatformError("Cannot open file " + path + ". Wine names no file for it.");
    return machine::MapHostFile(unix, path);
}

bool TWineBackend::GetVersionExA(OSVERSIONINFOEXA* info) {
    if (!info) return false;
    const uint32_t size = info->dwOSVersionInfoSize;
    std::string a = impl_->Call(Message(Op::GetVersionEx).U32(size));
    Parser p = Results(a);
    bool ok = p.U8() != 0;
    std::string record = p.Str();
    if (ok) std::memcpy(info, record.data(), std::min<size_t>({record.size(), size, sizeof *info}));
    info->dwOSVersionInfoSize = size;
    return ok;
}

std::string TWineBackend::GetSystemDirectoryA() { return Results(impl_->Call(Message(Op::SystemDirectory))).Str(); }
std::string TWineBackend::GetWindowsDirectoryA() {
    return Results(impl_->Call(Message(Op::WindowsDirectory))).Str();
}
std::string TWineBackend::FormatLocalDateTimeNow() { return Results(impl_->Call(Message(Op::DateTimeNow))).Str(); }

}  // namespace tarnel::platform::wine
