#include "platform/machine/StoreFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"

namespace fs = std::filesystem;

namespace tarnel::platform::machine {

namespace {

constexpr const char* kLockFile = ".tarnel.lock";
constexpr const char* kJournalFile = kJournalFileName;
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

// nullopt when the text is not a complete journal.
std::optional<std::vector<std::pair<std::string, std::string>>> ParseJournal(const std::string& text) {
    std::string_view magic = kJournalMagic;
    if (text.compare(0, magic.size(), magic) != 0) return std::nullopt;
    size_t endAt = text.rfind("END ");
    if (endAt == std::string::npos || endAt < magic.size()) return std::nullopt;
    std::string body = text.substr(magic.size(), endAt - magic.size());
    if (text.substr(endAt) != "END " + Hex64(Fnv1a(body)) + "\n") return std::nullopt;
    std::vector<std::pair<std::string, std::string>> files;
    size_t pos = 0;
    auto line = [&](std::string& out) {
        size_t nl = body.find('\n', pos);
        if (nl == std::string::npos) return false;
        out = body.substr(pos, nl - pos);
        pos = nl + 1;
        return true;
    };
    std::string countText;
    if (!line(countText)) return std::nullopt;
    size_t count = std::strtoull(countText.c_str(), nullptr, 10);
    for (size_t i = 0; i < count; ++i) {
        std::string name, sizeText;
        if (!line(name) || !line(sizeText)) return std::nullopt;
        size_t size = std::strtoull(sizeText.c_str(), nullptr, 10);
        if (pos + size + 1 > body.size()) return std::nullopt;
        files.emplace_back(name, body.substr(pos, size));
        pos += size + 1;
    }
    return files;
}

// Only names of files inside the machine folder are ever journalled.
// Generations are unique across reloads, so a handle that remembers one
// never mistakes a new tree for the one it knew.
uint64_t NextGeneration() {
    static uint64_t generation = 0;
    return ++generation;
}

bool SafeRelative(const std::string& name) {
    fs::path p(name);
    if (p.is_absolute() || name.empty()) return false;
    for (const auto& part : p)
        if (part == "..") return false;
    return true;
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

void StoreFiles::Load(StoreFile& f) {
    f.hive.reset();
    f.text.clear();
    f.error.clear();
    f.errorNumber = 0;
    f.dirty = false;
    f.generation = NextGeneration();
    std::string content;
    try {
        // Stamp first: a change after this point is seen at the next check.
        f.stamp = StampOf(f.path);
        f.exists = f.stamp.exists;
        if (f.exists) content = ReadWholeFile(f.path);
    } catch (const EFileError& e) {
        f.error = e.what();
        f.errorNumber = e.ErrorNumber();
        return;
    }
    if (f.kind == FileKind::Text) {
        f.text = std::move(content);
        return;
    }
    try {
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

StoreFile& StoreFiles::Access(const fs::path& path, FileKind kind) {
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
        if (now != f.stamp) Load(f);
        f.checked = active_;
    }
    return f;
}

void StoreFiles::Replay(StoreFile& f, const StoreOp& op) {
    if (op.kind == StoreOp::ProfileWrite) {
        if (profileEditor_) f.text = profileEditor_(f.text, op);
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
    op.file = file.path;
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

void StoreFiles::LockFor(bool write) {
    int want = write ? 2 : 1;
    if (lockMode_ >= want) return;
    if (lockFd_ < 0) {
        lockFd_ = ::open((root_ / kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        // Locking needs no write access: on a read-only file system the
        // write itself then fails, naming the store file and the reason.
        if (lockFd_ < 0) lockFd_ = ::open((root_ / kLockFile).c_str(), O_RDONLY | O_CLOEXEC);
        if (lockFd_ < 0) {
            // A folder we cannot write: readers go on without the lock,
            // writers could not save anyway and say why.
            if (!write) return;
            throw EStoreWrite("Cannot lock the machine '" + root_.string() + "': " + std::strerror(errno));
        }
    }
    while (::flock(lockFd_, write ? LOCK_EX : LOCK_SH) != 0) {
        if (errno == EINTR) continue;
        throw EStoreWrite("Cannot lock the machine '" + root_.string() + "': " + std::strerror(errno));
    }
    lockMode_ = want;
}

void StoreFiles::Unlock() {
    if (lockFd_ >= 0 && lockMode_) ::flock(lockFd_, LOCK_UN);
    lockMode_ = 0;
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
            LockFor(true);
            write_ = true;
            for (auto& [name, f] : files_) f.checked = false;
        }
        return;
    }
    if (write && !readOnly_.empty()) throw EStoreWrite(readOnly_);
    std::error_code ec;
    bool journal = fs::exists(root_ / kJournalFile, ec);
    // A save that was cut off is finished before anyone reads the store.
    LockFor(write || (journal && readOnly_.empty()));
    // A writer that died while this one waited for the lock left a journal
    // that the look before the lock could not see.
    if (!journal && readOnly_.empty() && fs::exists(root_ / kJournalFile, ec)) {
        journal = true;
        LockFor(true);
    }
    active_ = true;
    ++serial_;
    write_ = write;
    ops_.clear();
    for (auto& [name, f] : files_) f.checked = false;
    if (journal && lockMode_ == 2) RecoverJournal();
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
    scratch_ = false;
    ++serial_;
    active_ = false;
    write_ = false;
    Unlock();
}

int StoreFiles::SetSavepoint() { return int(ops_.size()); }

void StoreFiles::RollbackToSavepoint(int mark) {
    if (mark < 0 || size_t(mark) >= ops_.size()) return;
    std::set<std::string> touched;
    for (size_t i = size_t(mark); i < ops_.size(); ++i) touched.insert(ops_[i].file.string());
    ops_.resize(size_t(mark));
    // Start those files again from the disk and apply what came before the mark.
    for (const std::string& name : touched) {
        auto it = files_.find(name);
        if (it == files_.end()) continue;
        StoreFile& f = it->second;
        Load(f);
        f.checked = true;
        for (const StoreOp& op : ops_)
            if (op.file == f.path) {
                Replay(f, op);
                f.dirty = true;
            }
    }
}

void StoreFiles::WriteOut(std::vector<StoreFile*> files) {
    std::vector<std::pair<std::string, std::string>> contents;
    for (StoreFile* f : files)
        contents.emplace_back(f->path.lexically_relative(root_).string(),
                              f->kind == FileKind::Text ? f->text : f->hive->Serialize());
    if (files.size() == 1) {
        WriteFileAtomically(files[0]->path, contents[0].second);
        files[0]->stamp = StampOf(files[0]->path);
        files[0]->exists = true;
        files[0]->dirty = false;
        return;
    }
    // Several files: all of them or none. What is there now is kept for
    // putting back should a later file fail; the journal lets the next
    // writer finish the change should this process die half-way.
    std::vector<std::optional<std::string>> before;
    for (StoreFile* f : files) before.push_back(ReadWholeFileIfExists(f->path));
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
        for (; done < files.size(); ++done) WriteFileAtomically(files[done]->path, contents[done].second);
    } catch (...) {
        try {
            for (size_t i = 0; i < done; ++i) {
                if (before[i]) WriteFileAtomically(files[i]->path, *before[i]);
                else fs::remove(files[i]->path);
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
        ~EndGuard() {
            ++s.serial_;
            s.active_ = false;
            s.write_ = false;
            s.Unlock();
        }
    } end{*this};

    if (scratch_) {
        // A scratch transaction never writes.
        DiscardChanges();
        scratch_ = false;
        return;
    }
    std::vector<StoreFile*> dirty;
    for (const StoreOp& op : ops_) {
        auto it = files_.find(op.file.string());
        if (it == files_.end() || !it->second.dirty) continue;
        if (std::find(dirty.begin(), dirty.end(), &it->second) == dirty.end()) dirty.push_back(&it->second);
    }
    if (dirty.empty()) {
        ops_.clear();
        RemoveStaleTemporaries();
        return;
    }
    if (!readOnly_.empty()) {
        DiscardChanges();
        throw EStoreWrite(readOnly_);
    }
    try {
        LockFor(true);
        for (StoreFile* f : dirty) {
            if (!f->error.empty()) throw EStoreWrite(f->error);
            // Another process (one that does not take our lock) rewrote the
            // file meanwhile: start from its version and apply ours again.
            if (StampOf(f->path) != f->stamp) {
                Load(*f);
                if (!f->error.empty()) throw EStoreWrite(f->error);
                for (const StoreOp& op : ops_)
                    if (op.file == f->path) Replay(*f, op);
            }
        }
        WriteOut(dirty);
        RemoveStaleTemporaries();
    } catch (const EFileError& e) {
        // The file's name and the system's reason, for the caller's own text.
        lastDetail_ = e.File().empty() ? std::string(e.what())
                                       : e.File().filename().string() + ": " + e.Reason();
        DiscardChanges();
        throw EStoreWrite(e.what());
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
    for (const auto& [name, f] : files_) RemoveStaleTemporariesOf(f.path);
    for (const char* hive : {"system.reg", "user.reg"}) RemoveStaleTemporariesOf(root_ / hive);
    RemoveStaleTemporariesOf(root_ / kJournalFile);
}

void StoreFiles::RecoverJournal() {
    fs::path journal = root_ / kJournalFile;
    std::error_code ec;
    if (!fs::exists(journal, ec)) return;
    std::string text;
    try {
        text = ReadWholeFile(journal);
    } catch (const EFileError&) {
        return;
    }
    if (auto files = ParseJournal(text)) {
        for (const auto& [name, content] : *files) {
            if (!SafeRelative(name)) continue;
            WriteFileAtomically(root_ / name, content);
        }
    }
    fs::remove(journal, ec);
    // What is held in memory predates the finished save.
    files_.clear();
}

void StoreFiles::Forget() {
    files_.clear();
    ops_.clear();
}

}  // namespace tarnel::platform::machine
