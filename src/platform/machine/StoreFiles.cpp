#include "platform/machine/StoreFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/api/Ansi.h"
#include "platform/api/LockWait.h"
#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"

namespace fs = std::filesystem;

namespace tarnel::platform::machine {

namespace {

constexpr const char* kLockFile = kLockFileName;
constexpr const char* kJournalFile = kJournalFileName;
// A save writes three files at most; a journal naming many more is no journal.
constexpr size_t kMaxJournalFiles = 64;
constexpr const char* kJournalMagic = "TARNEL JOURNAL 1\n";

std::string_view RelativeTo(FileKind kind) {
    return kind == FileKind::UserHive ? "REGISTRY\\User\\S-1-5-21-0-0-0-1000" : "REGISTRY\\Machine";
}

uint64_t Fnv1a(std::string_view s) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

std::string Hex64(uint64_t v) {
    static const char* digits = "0123456789abcdef";
    std::string s(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4) s[size_t(i)] = digits[v & 15];
    return s;
}

}  // namespace

// The journal: every file's new content, so that a save cut off between
// the replacement of one file and the next can be finished. It is written
// whole (temporary file and rename) before any store file is replaced.
std::string JournalText(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string body = std::to_string(files.size()) + "\n";
    size_t total = body.size();
    for (const auto& [name, content] : files) total += name.size() + content.size() + 24;
    body.reserve(total);
    for (const auto& [name, content] : files) {
        body += name + "\n" + std::to_string(content.size()) + "\n";
        body += content;
        body += "\n";
    }
    std::string text;
    text.reserve(body.size() + 64);
    text += kJournalMagic;
    text += body;
    text += "END " + Hex64(Fnv1a(body)) + "\n";
    return text;
}

namespace {

// The files a whole journal holds, or why it is not one. Sizes are checked
// against what is left of the text, so that no number wraps around.
struct ParsedJournal {
    std::vector<std::pair<std::string, std::string>> files;
    std::string why;
};

// A decimal number of digits alone, nullopt when it is anything else or
// does not fit.
std::optional<uint64_t> Decimal(std::string_view text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + uint64_t(c - '0');
    }
    return n;
}

ParsedJournal ParseJournal(const std::string& text) {
    ParsedJournal out;
    const std::string_view magic = kJournalMagic;
    const size_t trailer = 4 + 16 + 1;  // "END " checksum "\n"
    if (text.compare(0, magic.size(), magic) != 0) {
        out.why = "it does not begin as a journal does";
        return out;
    }
    if (text.size() < magic.size() + trailer || text.compare(text.size() - trailer, 4, "END ") != 0 ||
        text.back() != '\n') {
        out.why = "it has no end mark: it was cut short";
        return out;
    }
    const std::string_view body = std::string_view(text).substr(magic.size(), text.size() - trailer - magic.size());
    if (std::string_view(text).substr(text.size() - trailer + 4, 16) != Hex64(Fnv1a(body))) {
        out.why = "its check sum does not match what it holds";
        return out;
    }
    size_t pos = 0;
    auto line = [&](std::string_view& got) {
        size_t nl = body.find('\n', pos);
        if (nl == std::string_view::npos) return false;
        got = body.substr(pos, nl - pos);
        pos = nl + 1;
        return true;
    };
    std::string_view countText;
    auto count = line(countText) ? Decimal(countText) : std::nullopt;
    if (!count || *count == 0 || *count > kMaxJournalFiles) {
        out.why = "its count of files is not a number from 1 to " + std::to_string(kMaxJournalFiles);
        return out;
    }
    for (uint64_t i = 0; i < *count; ++i) {
        const std::string entry = "entry " + std::to_string(i + 1);
        std::string_view name, sizeText;
        if (!line(name) || !line(sizeText)) {
            out.why = entry + " is cut short";
            return out;
        }
        auto size = Decimal(sizeText);
        if (!size) {
            out.why = entry + "'s size is not a number";
            return out;
        }
        // pos <= body.size() holds here: the comparison cannot wrap.
        if (*size >= body.size() - pos || body[pos + *size] != '\n') {
            out.why = entry + "'s size (" + std::string(sizeText) + " bytes) runs past its end";
            return out;
        }
        out.files.emplace_back(std::string(name), std::string(body.substr(pos, *size)));
        pos += *size + 1;
    }
    if (pos != body.size()) out.why = "it holds more than the files it counts";
    return out;
}

// Only names of files inside the machine folder are ever journalled.
// Generations are unique across reloads, so a handle that remembers one
// never mistakes a new tree for the one it knew.
uint64_t NextGeneration() {
    static uint64_t generation = 0;
    return ++generation;
}

bool Within(const std::string& inner, const std::string& root) {
    if (inner.size() < root.size() || inner.compare(0, root.size(), root) != 0) return false;
    return inner.size() == root.size() || inner[root.size()] == '/' || root == "/";
}

std::optional<fs::path> RealPath(const fs::path& p) {
    char* real = ::realpath(p.c_str(), nullptr);
    if (!real) return std::nullopt;
    fs::path out(real);
    std::free(real);
    return out;
}

// The entry of `dir` named `name` without regard to ASCII case, the exact
// spelling first.
std::optional<std::string> EntryNoCase(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::symlink_status(dir / name, ec).type() != fs::file_type::not_found && !ec) return name;
    for (fs::directory_iterator d(dir, ec), end; !ec && d != end; d.increment(ec))
        if (EqualsNoCase(d->path().filename().string(), name)) return d->path().filename().string();
    return std::nullopt;
}

// Who holds the lock on the file open as `fd`, from the kernel's table of
// locks: "tarnelctl, process 1234"; empty when it cannot be told.
std::string LockHolder(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    FILE* locks = std::fopen("/proc/locks", "re");
    if (!locks) return {};
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  (unsigned long long)st.st_ino);
    long holder = 0;
    char line[256];
    while (std::fgets(line, sizeof line, locks)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 08:02:56789 0 EOF"; "->" marks a waiter.
        if (std::strstr(line, "->") || !std::strstr(line, "FLOCK")) continue;
        char* at = std::strstr(line, id);
        if (!at || (at[std::strlen(id)] != ' ' && at[std::strlen(id)] != '\n')) continue;
        char* p = at;
        while (p > line && p[-1] == ' ') --p;
        while (p > line && p[-1] >= '0' && p[-1] <= '9') --p;
        const long pid = std::strtol(p, nullptr, 10);
        if (pid > 0 && (holder == 0 || holder == ::getpid())) holder = pid;
    }
    std::fclose(locks);
    if (holder <= 0) return {};
    std::string name;
    if (FILE* comm = std::fopen(("/proc/" + std::to_string(holder) + "/comm").c_str(), "re")) {
        char buf[64] = {};
        if (std::fgets(buf, sizeof buf, comm)) name = buf;
        std::fclose(comm);
    }
    while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    return (name.empty() ? std::string() : name + ", ") + "process " + std::to_string(holder);
}

}  // namespace

StoreFiles::StoreFiles(fs::path machineRoot) : root_(std::move(machineRoot)) {
    hivePaths_[0] = (root_ / "system.reg").lexically_normal().string();
    hivePaths_[1] = (root_ / "user.reg").lexically_normal().string();
}

StoreFile& StoreFiles::Hive(FileKind kind) {
    const std::string& key = hivePaths_[kind == FileKind::UserHive ? 1 : 0];
    // The common case, a hive already held and compared in this transaction,
    // costs one look-up; anything else takes the general way.
    auto it = files_.find(key);
    if (it != files_.end() && (it->second.dirty || (active_ && it->second.checked))) return it->second;
    return Access(fs::path(key), kind);
}

StoreFiles::~StoreFiles() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

const fs::path& StoreFiles::RealRoot() {
    if (realRoot_.empty()) realRoot_ = RealPath(root_).value_or(root_.lexically_normal());
    return realRoot_;
}

// The one rule: a store file is read from and written to where it really
// lies, links followed, as long as that is inside the machine. A file whose
// link leads elsewhere, or whose folder does, is neither read nor written.
StoreFiles::Place StoreFiles::PlaceOf(const fs::path& path) {
    if (active_) {
        auto it = places_.find(path.native());
        if (it != places_.end()) return it->second;
    }
    const std::string root = RealRoot().string();
    Place place{path, {}};
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (auto real = RealPath(path)) {
            if (Within(real->string(), root)) place.real = *real;
            else place.why = "it is a link that leads outside the machine folder (to '" + real->string() + "')";
        } else {
            place.why = "it is a link to nothing that can be reached";
        }
    } else if (auto folder = RealPath(path.parent_path())) {
        if (Within(folder->string(), root)) place.real = *folder / path.filename();
        else place.why = "its folder leads outside the machine folder (to '" + folder->string() + "')";
    }
    if (active_) places_.emplace(path.native(), place);
    return place;
}

void StoreFiles::Load(StoreFile& f) {
    f.hive.reset();
    f.profile = ProfileText();
    f.error.clear();
    f.errorNumber = 0;
    f.refusal.clear();
    f.dirty = false;
    f.generation = NextGeneration();
    const Place place = PlaceOf(f.path);
    f.real = place.real;
    std::string content;
    std::unique_ptr<wine::Hive> prefetched;
    try {
        // Stamp first: a change after this point is seen at the next check.
        f.stamp = StampOf(f.path);
        if (!place.why.empty()) {
            // Nothing is read there: a profile file is taken for missing, a
            // hive is an error; neither is ever written.
            f.refusal = "Cannot write the store file '" + f.path.string() + "': " + place.why;
            f.exists = false;
            if (f.kind != FileKind::Text) {
                f.error = "Cannot read the store file '" + f.path.string() + "': " + place.why;
                f.errorNumber = EACCES;
            }
            return;
        }
        f.exists = f.stamp.exists;
        if (auto pending = pending_.find(f.real.string()); pending != pending_.end()) {
            // A save another program began and could not finish: shown as it will be.
            content = pending->second;
            TakePrefetched(f);  // what was read ahead is not what the machine shows
            f.exists = true;
        } else if (f.exists) {
            prefetched = TakePrefetched(f);
            if (!prefetched) content = ReadWholeFile(f.real);
        }
    } catch (const EFileError& e) {
        // Told by the name the machine gives the file, wherever it lies.
        f.error = e.Moved(f.real, f.path).what();
        f.errorNumber = e.ErrorNumber();
        return;
    }
    if (f.kind == FileKind::Text) {
        f.profile = ProfileText(std::move(content));
        return;
    }
    try {
        if (prefetched) f.hive = std::move(prefetched);
        else
            f.hive = content.empty() ? std::make_unique<wine::Hive>(RelativeTo(f.kind))
                                     : wine::Hive::Parse(std::move(content), f.path.string(), RelativeTo(f.kind));
    } catch (const ERegistryException& e) {
        f.error = e.what();
        return;
    }
    // Odd lines are told once per version of the file, however often it is read.
    const std::string version = f.path.string() + "@" + std::to_string(f.stamp.inode) + ":" +
                                std::to_string(f.stamp.size) + ":" + std::to_string(f.stamp.mtimeNs);
    if (warn_ && !f.hive->Warnings().empty() && warned_.insert(version).second)
        for (const std::string& w : f.hive->Warnings()) warn_(w);
}

void StoreFiles::Prefetch() {
    if (prefetch_.valid()) return;
    // One already held is compared with the disk when next asked for.
    std::vector<std::pair<size_t, fs::path>> wanted;
    for (size_t i = 0; i < 2; ++i)
        if (!files_.count(hivePaths_[i])) wanted.emplace_back(i, hivePaths_[i]);
    if (wanted.empty()) return;
    auto read = [wanted, root = RealRoot().string()] {
        std::array<std::optional<Prefetched>, 2> found;
        for (const auto& [i, path] : wanted) {
            try {
                // Only a file that lies inside the machine, as every read here.
                const std::optional<fs::path> real = RealPath(path);
                if (!real || !Within(real->string(), root)) continue;
                const FileStamp stamp = StampOf(path);
                std::string content = ReadWholeFile(*real);
                if (content.empty() || StampOf(path) != stamp) continue;
                found[i] = Prefetched{real->string(), stamp,
                                      wine::Hive::Parse(std::move(content), path.string(), RelativeTo(kHiveKinds[i]))};
            } catch (const std::exception&) {
                // Read again where it is needed, which says why it fails.
            }
        }
        return found;
    };
    try {
        prefetch_ = std::async(std::launch::async, std::move(read));
    } catch (const std::system_error&) {
        // No thread to spare: the files are read when they are needed.
    }
}

std::unique_ptr<wine::Hive> StoreFiles::TakePrefetched(const StoreFile& f) {
    const int i = f.path.native() == hivePaths_[0] ? 0 : f.path.native() == hivePaths_[1] ? 1 : -1;
    if (i < 0 || f.kind != kHiveKinds[i]) return nullptr;
    if (prefetch_.valid()) prefetched_ = prefetch_.get();
    std::optional<Prefetched> ready = std::move(prefetched_[size_t(i)]);
    prefetched_[size_t(i)].reset();
    if (ready && ready->real == f.real.native() && ready->stamp == f.stamp) return std::move(ready->hive);
    return nullptr;
}

StoreFile& StoreFiles::Access(const fs::path& path, FileKind kind) {
    // A read outside any transaction looks at a journal once too: a pending
    // save is finished or shown, a damaged journal told, as in a transaction.
    if (!active_ && !lookedForJournal_) {
        lookedForJournal_ = true;
        if (JournalPresent()) {
            try {
                Begin(false);
                Rollback();
            } catch (const std::exception&) {
                // The next transaction meets it again and says why.
            }
        }
    }
    // The hives are asked for all the time: their keys are made once.
    const std::string& given = path.native();
    std::string key = (given == hivePaths_[0] || given == hivePaths_[1]) ? given : path.lexically_normal().string();
    auto [it, inserted] = files_.try_emplace(key);
    StoreFile& f = it->second;
    if (inserted) {
        f.path = key;
        f.kind = kind;
        Load(f);
        f.checked = active_;
        return f;
    }
    // Inside a transaction the disk is compared once; our own changes are
    // never thrown away for another process's (the commit merges them).
    if (!f.dirty && !(active_ && f.checked)) {
        FileStamp now;
        try {
            now = StampOf(f.path);
        } catch (const EFileError&) {
            now = FileStamp{};
            now.size = ~0ull;  // cannot be told: read it again, which reports why
        }
        // A link that leads elsewhere now changes the stamp too.
        if (now != f.stamp) Load(f);
        f.checked = active_;
    }
    return f;
}

void StoreFiles::Replay(StoreFile& f, const StoreOp& op) {
    if (op.kind == StoreOp::ProfileWrite) {
        if (profileEditor_) profileEditor_(f.profile, op);
        return;
    }
    if (!f.hive) return;
    wine::Hive& hive = *f.hive;
    switch (op.kind) {
    case StoreOp::CreateKey:
        hive.Create(op.path);
        break;
    case StoreOp::SetValue:
        hive.Create(op.path).SetValue(op.name, op.type, op.data);
        break;
    case StoreOp::DeleteValue:
        if (wine::HiveKey* k = hive.Find(op.path)) k->DeleteValue(op.name);
        break;
    case StoreOp::DeleteKey:
        hive.Remove(op.path);
        f.generation = NextGeneration();
        break;
    case StoreOp::ProfileWrite:
        break;
    }
}

void StoreFiles::Changed(StoreFile& file, StoreOp op) {
    op.file = file.path.native();
    file.dirty = true;
    if (op.kind == StoreOp::DeleteKey) file.generation = NextGeneration();
    ops_.push_back(std::move(op));
    if (!active_) {
        // A change outside any transaction is one of its own.
        active_ = true;
        write_ = true;
        Commit();
    }
}

void StoreFiles::Refuse(std::string reason) {
    if (active_ && refused_.empty()) refused_ = std::move(reason);
}

bool StoreFiles::TryLock(bool write) {
    for (;;) {
        if (::flock(lockFd_, (write ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return true;
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return false;
        throw EStoreWrite("Cannot lock the machine '" + root_.string() + "': " + std::strerror(errno));
    }
}

// Another program works on the machine: the front end is told through the
// wait hook, which passes the time its own way, and the wait ends at the limit.
void StoreFiles::WaitForLock(bool write) {
    using Clock = std::chrono::steady_clock;
    TLockWait wait;
    wait.Machine = root_.string();
    wait.Holder = LockHolder(lockFd_);
    wait.Limit = LockWaitLimit();
    const auto began = Clock::now();
    struct Ending {
        TLockWait& wait;
        ~Ending() {
            wait.Phase = TLockWait::Ends;
            PassLockWait(wait);
        }
    } ending{wait};
    bool go = wait.Limit > 0 && PassLockWait(wait);
    for (int round = 1;; ++round) {
        if (TryLock(write)) return;
        wait.Waited = std::chrono::duration<double>(Clock::now() - began).count();
        if (!go || wait.Waited >= wait.Limit) {
            char limit[32];
            std::snprintf(limit, sizeof limit, "%g", wait.Limit);
            throw EStoreWrite(std::string(go ? "Gave up after " + std::string(limit) + " s" : "Stopped") +
                              " waiting for another program to finish with the machine '" + root_.string() + "'" +
                              (wait.Holder.empty() ? "" : " (" + wait.Holder + ", holds it)") +
                              "; nothing was changed");
        }
        // Whoever holds it may change while we wait; asked now and then.
        if (round % 20 == 0) wait.Holder = LockHolder(lockFd_);
        wait.Phase = TLockWait::Goes;
        go = PassLockWait(wait);
    }
}

void StoreFiles::LockFor(bool write) {
    int want = write ? 2 : 1;
    if (lockMode_ >= want) return;
    if (lockFd_ < 0) {
        // Never through a link: the lock file is made in the machine folder
        // and nowhere else.
        const fs::path lock = root_ / kLockFile;
        int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        // Locking needs no write access: on a read-only file system the
        // write itself then fails, naming the store file and the reason.
        if (fd < 0 && errno != ELOOP) fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0 && errno == ELOOP)
            throw EStoreWrite("The machine's lock '" + lock.string() +
                              "' is a link, which is never followed: remove it, then try again");
        if (fd < 0) {
            // A folder we cannot write: readers go on without the lock,
            // writers could not save anyway and say why.
            if (!write) return;
            throw EStoreWrite("Cannot lock the machine '" + root_.string() + "': " + std::strerror(errno));
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw EStoreWrite("The machine's lock '" + lock.string() +
                              "' is not a regular file: remove it, then try again");
        }
        // Made by root in a user's machine, it is still the user's.
        struct stat folder {};
        if (::geteuid() == 0 && st.st_uid == 0 && ::stat(root_.c_str(), &folder) == 0 && folder.st_uid != 0)
            (void)!::fchown(fd, folder.st_uid, folder.st_gid);
        lockFd_ = fd;
    }
    if (!TryLock(write)) WaitForLock(write);
    lockMode_ = want;
}

void StoreFiles::Unlock() {
    if (lockFd_ >= 0 && lockMode_) ::flock(lockFd_, LOCK_UN);
    lockMode_ = 0;
}

void StoreFiles::EndTransaction() {
    scratch_ = false;
    ++serial_;
    active_ = false;
    write_ = false;
    refused_.clear();
    places_.clear();
    Unlock();
}

bool StoreFiles::JournalPresent() const {
    struct stat st {};
    return ::lstat((root_ / kJournalFile).c_str(), &st) == 0;
}

void StoreFiles::Begin(bool write) {
    if (active_ && scratch_) return;  // writes inside stay in memory
    if (write && writeGuard_) {
        if (std::string refusal = writeGuard_(); !refusal.empty()) throw EStoreWrite(refusal);
    }
    if (active_) {
        // A write inside a read takes the lock now; files read before are
        // compared with the disk again.
        if (write && !write_) {
            if (!readOnly_.empty()) throw EStoreWrite(readOnly_);
            if (!damaged_.empty()) throw EStoreWrite(damaged_);
            LockFor(true);
            write_ = true;
            for (auto& [name, f] : files_) f.checked = false;
        }
        return;
    }
    if (write && !readOnly_.empty()) throw EStoreWrite(readOnly_);
    bool journal = JournalPresent();
    // A save that was cut off is finished before anyone reads the store.
    LockFor(write || (journal && readOnly_.empty()));
    // What the look before the lock saw may have changed while this one
    // waited: a writer that died left a journal, one that ended removed its own.
    journal = JournalPresent();
    if (journal && readOnly_.empty() && lockMode_ != 2) LockFor(true);
    active_ = true;
    ++serial_;
    write_ = write;
    ops_.clear();
    places_.clear();
    refused_.clear();
    for (auto& [name, f] : files_) f.checked = false;
    try {
        LookAtJournal(journal);
        if (write && !damaged_.empty()) throw EStoreWrite(damaged_);
    } catch (...) {
        EndTransaction();
        throw;
    }
}

void StoreFiles::BeginScratch() {
    Begin(false);
    // Writes need no upgrade: they never reach the disk.
    write_ = true;
    scratch_ = true;
}

void StoreFiles::DiscardChanges() {
    for (auto it = files_.begin(); it != files_.end();)
        it = it->second.dirty ? files_.erase(it) : std::next(it);
    ops_.clear();
}

void StoreFiles::Rollback() {
    DiscardChanges();
    EndTransaction();
}

int StoreFiles::SetSavepoint() { return int(ops_.size()); }

void StoreFiles::RollbackToSavepoint(int mark) {
    if (mark < 0 || size_t(mark) >= ops_.size()) return;
    std::set<std::string> touched;
    for (size_t i = size_t(mark); i < ops_.size(); ++i) touched.insert(ops_[i].file);
    ops_.resize(size_t(mark));
    // Start those files again from the disk and apply what came before the mark.
    for (const std::string& name : touched) {
        auto it = files_.find(name);
        if (it == files_.end()) continue;
        StoreFile& f = it->second;
        Load(f);
        f.checked = true;
        for (const StoreOp& op : ops_)
            if (op.file == f.path.native()) {
                Replay(f, op);
                f.dirty = true;
            }
    }
}

void StoreFiles::WriteOut(std::vector<StoreFile*> files) {
    std::vector<std::pair<std::string, std::string>> contents;
    for (StoreFile* f : files)
        contents.emplace_back(f->real.lexically_relative(RealRoot()).string(),
                              f->kind == FileKind::Text ? f->profile.Serialize() : f->hive->Serialize());
    if (files.size() == 1) {
        WriteFileAtomically(files[0]->real, contents[0].second);
        files[0]->stamp = StampOf(files[0]->path);
        files[0]->exists = true;
        files[0]->dirty = false;
        return;
    }
    // Several files: all of them or none. What is there now is kept for
    // putting back should a later file fail; the journal lets the next
    // writer finish the change should this process die half-way. It names
    // only what the next writer will take from it.
    for (size_t i = 0; i < files.size(); ++i)
        if (std::string why = JournalRefusal(contents[i].first); !why.empty())
            throw EStoreWrite("Cannot save '" + files[i]->path.string() + "' together with other store files: " + why);
    std::vector<std::optional<std::string>> before;
    for (StoreFile* f : files) before.push_back(ReadWholeFileIfExists(f->real));
    fs::path journal = root_ / kJournalFile;
    try {
        WriteFileAtomically(journal, JournalText(contents));
    } catch (const EFileError& e) {
        // Told of the store files: the journal is only how they are saved.
        std::string names;
        for (size_t i = 0; i < files.size(); ++i)
            names += (i ? (i + 1 == files.size() ? " and '" : ", '") : "'") + files[i]->path.string() + "'";
        throw EFileError::Worded("Cannot save " + names + ": " + e.Reason() + " (writing their journal '" +
                                     journal.string() + "')",
                                 files[0]->path, e.Reason(), e.ErrorNumber());
    }
    size_t done = 0;
    try {
        for (; done < files.size(); ++done) WriteFileAtomically(files[done]->real, contents[done].second);
    } catch (...) {
        try {
            for (size_t i = 0; i < done; ++i) {
                if (before[i]) WriteFileAtomically(files[i]->real, *before[i]);
                else fs::remove(files[i]->real);
            }
            fs::remove(journal);
        } catch (...) {
            // The journal stays: the next writer completes the change.
        }
        throw;
    }
    for (StoreFile* f : files) {
        f->stamp = StampOf(f->path);
        f->exists = true;
        f->dirty = false;
    }
    std::error_code ec;
    fs::remove(journal, ec);
}

void StoreFiles::Commit() {
    struct EndGuard {
        StoreFiles& s;
        ~EndGuard() { s.EndTransaction(); }
    } end{*this};

    if (scratch_) {
        // A scratch transaction never writes.
        DiscardChanges();
        return;
    }
    if (!refused_.empty()) {
        DiscardChanges();
        throw EStoreWrite(refused_);
    }
    std::vector<StoreFile*> dirty;
    for (const StoreOp& op : ops_) {
        auto it = files_.find(op.file);
        if (it == files_.end() || !it->second.dirty) continue;
        if (std::find(dirty.begin(), dirty.end(), &it->second) == dirty.end()) dirty.push_back(&it->second);
    }
    if (dirty.empty()) {
        ops_.clear();
        RemoveStaleTemporaries();
        return;
    }
    if (!readOnly_.empty() || !damaged_.empty()) {
        DiscardChanges();
        throw EStoreWrite(readOnly_.empty() ? damaged_ : readOnly_);
    }
    try {
        LockFor(true);
        for (StoreFile* f : dirty) {
            if (!f->refusal.empty()) throw EStoreWrite(f->refusal);
            if (!f->error.empty()) throw EStoreWrite(f->error);
            // Another process (one that does not take our lock) rewrote the
            // file meanwhile: start from its version and apply ours again.
            if (StampOf(f->path) != f->stamp) {
                Load(*f);
                if (!f->refusal.empty()) throw EStoreWrite(f->refusal);
                if (!f->error.empty()) throw EStoreWrite(f->error);
                for (const StoreOp& op : ops_)
                    if (op.file == f->path.native()) Replay(*f, op);
            }
        }
        WriteOut(dirty);
        RemoveStaleTemporaries();
    } catch (const EFileError& failure) {
        // Told by the name the machine gives the file, wherever it lies.
        EFileError e = failure;
        for (StoreFile* f : dirty)
            if (f->real != f->path && failure.File() == f->real) e = failure.Moved(f->real, f->path);
        DiscardChanges();
        // The file's name and the system's reason, for the caller's own text.
        throw EStoreWrite(e.what(), e.File().empty() ? std::string(e.what())
                                                     : e.File().filename().string() + ": " + e.Reason());
    } catch (...) {
        DiscardChanges();
        throw;
    }
    ops_.clear();
}

// A writer killed half-way may have left a temporary beside any store file,
// also one this write did not change (the settings, a seeding): whoever
// holds the write lock next removes them all.
void StoreFiles::RemoveStaleTemporaries() {
    if (lockMode_ != 2) return;
    for (const auto& [name, f] : files_) RemoveStaleTemporariesOf(f.real.empty() ? f.path : f.real);
    for (const char* hive : {"system.reg", "user.reg"}) RemoveStaleTemporariesOf(root_ / hive);
    RemoveStaleTemporariesOf(root_ / kJournalFile);
}

// ---------------------------------------------------------------- the journal

void StoreFiles::Tell(const std::string& text) {
    if (warn_ && told_.insert(text).second) warn_(text);
}

// Why the journal may not name `name`, or empty when it may: only the store
// files a save writes (the two hives where they really lie, profile files
// of the Windows folder), each reached from the machine folder without a link.
std::string StoreFiles::JournalRefusal(const std::string& name) {
    const std::string shown = "'" + name + "'";
    fs::path rel(name);
    if (name.empty() || rel.is_absolute() || name.find('\0') != std::string::npos)
        return "it names " + shown + ", which is no file of the machine";
    for (const auto& part : rel)
        if (part.empty() || part == "." || part == ".." || part.string().empty())
            return "it names " + shown + ", which is no file of the machine";
    std::set<std::string> allowed;
    for (const char* hive : {"system.reg", "user.reg"}) {
        const Place p = PlaceOf(root_ / hive);
        if (p.why.empty()) allowed.insert(p.real.lexically_relative(RealRoot()).string());
    }
    bool ok = allowed.count(rel.string()) > 0;
    if (!ok && rel.has_parent_path()) {
        const std::string file = rel.filename().string();
        const bool ini = file.size() > 4 && EqualsNoCase(std::string_view(file).substr(file.size() - 4), ".ini");
        auto driveC = EntryNoCase(root_, "drive_c");
        auto windows = driveC ? EntryNoCase(root_ / *driveC, "windows") : std::nullopt;
        if (ini && windows)
            if (auto real = RealPath(root_ / *driveC / *windows); real && Within(real->string(), RealRoot().string()))
                ok = rel.parent_path() == real->lexically_relative(RealRoot());
    }
    if (!ok) return "it names " + shown + ", which no save writes";
    // Walked from the machine folder without following anything.
    fs::path at = RealRoot();
    size_t left = size_t(std::distance(rel.begin(), rel.end()));
    for (const auto& part : rel) {
        at /= part;
        --left;
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) {
            if (errno == ENOENT && left == 0) return {};  // a file the save makes
            return "it names " + shown + ", which cannot be reached (" + std::strerror(errno) + ")";
        }
        if (S_ISLNK(st.st_mode)) return "it names " + shown + ", which is reached through a link";
        if (left > 0 && !S_ISDIR(st.st_mode)) return "it names " + shown + ", which cannot be reached";
        if (left == 0 && !S_ISREG(st.st_mode))
            return "it names " + shown + (S_ISDIR(st.st_mode) ? ", which is a folder" : ", which is not a regular file");
    }
    return {};
}

StoreFiles::Journal StoreFiles::ExamineJournal() {
    Journal j;
    std::string text;
    try {
        text = ReadWholeFileNoFollow(root_ / kJournalFile);
    } catch (const EFileError& e) {
        j.absent = e.ErrorNumber() == ENOENT;
        j.why = e.Reason();
        return j;
    }
    ParsedJournal parsed = ParseJournal(text);
    if (!parsed.why.empty()) {
        j.why = parsed.why;
        return j;
    }
    std::set<std::string> seen;
    for (const auto& [name, content] : parsed.files) {
        if (!seen.insert(name).second) {
            j.why = "it names '" + name + "' twice";
            return j;
        }
        if (std::string why = JournalRefusal(name); !why.empty()) {
            j.why = why;
            return j;
        }
    }
    j.whole = true;
    j.files = std::move(parsed.files);
    return j;
}

void StoreFiles::FinishJournal(const Journal& journal) {
    const fs::path path = root_ / kJournalFile;
    try {
        for (const auto& [name, content] : journal.files) WriteFileAtomically(RealRoot() / name, content);
    } catch (const EFileError& e) {
        throw EStoreWrite("Cannot finish the save that the journal '" + path.string() + "' holds: " + e.what());
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw EStoreWrite("Cannot remove the journal '" + path.string() + "' of a finished save: " +
                          std::strerror(errno));
    // What is held in memory predates the finished save.
    files_.clear();
}

// Every transaction looks for a journal first. One that passes its check is
// finished where this process may write, and shown as it will be where it
// may not; one that fails it is kept, told, and stops every write.
void StoreFiles::LookAtJournal(bool present) {
    const bool hadPending = !pending_.empty();
    damaged_.clear();
    pending_.clear();
    if (!present) {
        if (hadPending) files_.clear();
        return;
    }
    const fs::path path = root_ / kJournalFile;
    Journal journal = ExamineJournal();
    if (journal.absent) {
        if (hadPending) files_.clear();
        return;
    }
    if (!journal.whole) {
        damaged_ = "Nothing is written to the machine '" + root_.string() + "' while the journal '" + path.string() +
                   "' of an unfinished save fails its check (" + journal.why +
                   "); once you have looked at it, 'tarnelctl discard-journal' discards it";
        Tell("The journal '" + path.string() + "' of an unfinished save fails its check (" + journal.why +
             "): it is kept, nothing is written to the machine until it is discarded ('tarnelctl "
             "discard-journal'), and the lists show what the store files hold");
        if (hadPending) files_.clear();
        return;
    }
    if (lockMode_ == 2) {
        FinishJournal(journal);
        return;
    }
    for (const auto& [name, content] : journal.files) pending_[(RealRoot() / name).string()] = content;
    files_.clear();
    Tell("A save of the machine '" + root_.string() + "' was cut off and is pending in the journal '" +
         path.string() + "': the next program that may write the machine finishes it; the lists are shown as they "
         "will be then");
}

std::string StoreFiles::DiscardJournal() {
    if (active_) throw EStoreWrite("A journal is not discarded inside a transaction");
    if (!readOnly_.empty()) throw EStoreWrite(readOnly_);
    const fs::path path = root_ / kJournalFile;
    LockFor(true);
    struct Unlocker {
        StoreFiles& s;
        ~Unlocker() { s.Unlock(); }
    } unlock{*this};
    if (!JournalPresent()) return "There is no journal in the machine '" + root_.string() + "'; nothing was changed";
    Journal journal = ExamineJournal();
    if (journal.absent) return "There is no journal in the machine '" + root_.string() + "'; nothing was changed";
    if (journal.whole) {
        FinishJournal(journal);
        damaged_.clear();
        return "The journal '" + path.string() + "' was whole: the save it holds is finished";
    }
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec) throw EStoreWrite("Cannot remove the journal '" + path.string() + "': " + ec.message());
    damaged_.clear();
    files_.clear();
    return "Discarded the journal '" + path.string() + "' (" + journal.why + ")";
}

void StoreFiles::Forget() {
    files_.clear();
    ops_.clear();
    prefetch_ = {};
    prefetched_ = {};
}

}  // namespace tarnel::platform::machine
