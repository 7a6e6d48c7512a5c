// The machine's store files held in memory (the two hives and profile
// files such as system.ini), and the transactions over them: a change of
// another process is picked up once per transaction; a writing transaction
// holds the machine's lock; its changes reach the disk at commit, one
// replacement per changed file, and several files all together or not at
// all (through a roll-forward journal in the machine folder).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/WinError.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/ProfileText.h"
#include "platform/machine/WineHive.h"

namespace tarnel::platform::machine {

enum class FileKind { SystemHive, UserHive, Text };

// One store file as held in memory.
struct StoreFile {
    std::filesystem::path path;        // as the machine names it
    std::filesystem::path real;        // where it is read and written: links inside the machine followed
    FileKind kind = FileKind::Text;
    std::unique_ptr<wine::Hive> hive;  // hives; null when the file does not parse
    ProfileText profile;               // text files
    bool exists = false;               // on disk when last read
    std::string error;                 // why it cannot be read; never written then
    int errorNumber = 0;               // the system's error number for it (errno), 0 when none
    std::string refusal;               // why it is never written (it lies outside the machine); empty when it may be
    FileStamp stamp;                   // of the file as last read or written
    bool checked = false;              // compared with the disk in this transaction
    bool dirty = false;                // changed, not yet on disk
    uint64_t generation = 0;           // bumped whenever keys may have gone away
};

// A change as the transaction recorded it, to apply again on top of another
// process's version of the file, or to rebuild a savepoint's state.
struct StoreOp {
    enum Kind { CreateKey, SetValue, DeleteValue, DeleteKey, ProfileWrite } kind;
    std::string file;               // the file's path as the machine names it
    std::vector<std::string> path;  // key path from the hive's root
    std::string name;               // value name (UTF-8); profile: the key
    uint32_t type = 0;
    std::vector<uint8_t> data;
    // ProfileWrite: section, and the value (absent: the key's line goes;
    // no key at all: the section goes).
    std::string section;
    bool hasKey = false, hasValue = false;
    std::string value;
};

// Applies a profile write to a file's text; the profile module provides it.
using ProfileEditor = std::function<void(ProfileText& text, const StoreOp& op)>;

// The journal a change of several files leaves while it replaces them:
// (file name relative to the machine folder, new content) pairs. It may name
// only the store files a save writes: system.reg, user.reg and profile
// files of the Windows folder, each reached without a link.
std::string JournalText(const std::vector<std::pair<std::string, std::string>>& files);
inline constexpr const char* kJournalFileName = ".tarnel.journal";
inline constexpr const char* kLockFileName = ".tarnel.lock";

class StoreFiles {
public:
    explicit StoreFiles(std::filesystem::path machineRoot);
    ~StoreFiles();

    // The file held in memory, read (again) when it changed on disk. A hive
    // that does not parse keeps its error; callers answer with it.
    StoreFile& Access(const std::filesystem::path& path, FileKind kind);
    // The machine's system.reg or user.reg, as Access gives them.
    StoreFile& Hive(FileKind kind);

    // Records a change already made to the file in memory; outside a
    // transaction it reaches the disk at once, under the lock.
    void Changed(StoreFile& file, StoreOp op);

    void Begin(bool write);
    // Changes seen here and always dropped: no lock to write, no write.
    void BeginScratch();
    void Commit();
    void Rollback();
    int SetSavepoint();
    void RollbackToSavepoint(int mark);
    bool InTransaction() const { return active_; }
    // Changes at every start and end of a transaction: what was learned
    // within one is not trusted in the next.
    uint64_t TransactionSerial() const { return serial_; }
    bool InWriteTransaction() const { return active_ && write_; }
    void SetProfileEditor(ProfileEditor editor) { profileEditor_ = std::move(editor); }

    // Drops everything held in memory; the next access reads the files.
    void Forget();

    // The time stamp changed keys get; -1 for now.
    void SetFixedTime(int64_t unixSeconds) { fixedTime_ = unixSeconds; }
    int64_t FixedTime() const { return fixedTime_; }

    // Where warnings about odd store content go (once per file and content).
    void SetWarningSink(std::function<void(const std::string&)> sink) { warn_ = std::move(sink); }

    // Asked at the start of every writing transaction: a reason to refuse it
    // now (empty: go ahead).
    void SetWriteGuard(std::function<std::string()> guard) { writeGuard_ = std::move(guard); }

    // Why writes are refused for the whole run (empty when they are not).
    void SetReadOnly(std::string reason) { readOnly_ = std::move(reason); }
    const std::string& ReadOnlyReason() const { return readOnly_; }

    // Refuses the transaction that runs now at its commit (a write the
    // store cannot take, told by the call that asked for it).
    void Refuse(std::string reason);

    // Takes the machine's lock to write and deals with a journal left
    // there: one that passes its check is finished, as every transaction
    // does; one that fails it is removed. Says what was done.
    std::string DiscardJournal();

    const std::filesystem::path& Root() const { return root_; }

    // Starts reading and parsing system.reg and user.reg on a thread of
    // its own, while the program does other work; the first access that
    // finds a file as it was read then takes the parsed hive instead of
    // reading it. A file changed meanwhile, or one outside the machine, is
    // read as before.
    void Prefetch();

private:
    struct Prefetched {
        std::string real;
        FileStamp stamp;
        std::unique_ptr<wine::Hive> hive;
    };
    // Where a store file lies, by the one rule readers and writers share.
    struct Place {
        std::filesystem::path real;
        std::string why;  // why it is neither read nor written; empty when it may be
    };
    // What a journal left in the folder holds, and whether it may be trusted.
    struct Journal {
        bool whole = false;
        bool absent = false;  // gone since it was seen
        std::string why;      // why it fails its check
        std::vector<std::pair<std::string, std::string>> files;
    };

    void Load(StoreFile& f);
    std::unique_ptr<wine::Hive> TakePrefetched(const StoreFile& f);
    Place PlaceOf(const std::filesystem::path& path);
    const std::filesystem::path& RealRoot();
    void Replay(StoreFile& f, const StoreOp& op);
    void WriteOut(std::vector<StoreFile*> files);
    void LockFor(bool write);
    bool TryLock(bool write);
    void WaitForLock(bool write);
    void RemoveStaleTemporaries();
    void Unlock();
    void DiscardChanges();
    void EndTransaction();
    bool JournalPresent() const;
    Journal ExamineJournal();
    std::string JournalRefusal(const std::string& name);
    void LookAtJournal(bool present);
    void FinishJournal(const Journal& journal);
    void Tell(const std::string& text);

    std::filesystem::path root_;
    std::filesystem::path realRoot_;
    std::map<std::string, StoreFile> files_;
    std::map<std::string, Place> places_;  // found in this transaction
    std::string damaged_;                  // why a journal left here fails its check; writes wait for it
    std::map<std::string, std::string> pending_;  // real path -> content a whole journal gives it
    std::string refused_;                  // why the transaction that runs now may not commit
    bool lookedForJournal_ = false;        // by a read outside any transaction
    std::set<std::string> told_;
    std::string hivePaths_[2];  // system.reg, user.reg, as Access keys them
    static constexpr FileKind kHiveKinds[2] = {FileKind::SystemHive, FileKind::UserHive};  // of hivePaths_
    std::vector<StoreOp> ops_;
    bool active_ = false;
    bool scratch_ = false;
    uint64_t serial_ = 0;
    bool write_ = false;
    int lockFd_ = -1;
    int lockMode_ = 0;  // 0 none, 1 shared, 2 exclusive
    int64_t fixedTime_ = -1;
    std::function<void(const std::string&)> warn_;
    std::set<std::string> warned_;  // versions of files whose odd lines were told
    ProfileEditor profileEditor_;
    std::function<std::string()> writeGuard_;
    std::string readOnly_;
    // Last, so that it is waited for before anything else goes; its thread
    // shares nothing with this object.
    std::array<std::optional<Prefetched>, 2> prefetched_;  // system.reg, user.reg
    std::future<std::array<std::optional<Prefetched>, 2>> prefetch_;
};

// Begins a writing transaction for one call made outside of any and commits
// it at Commit(); inside a transaction it only makes sure the transaction
// may write.
class TStoreWriteScope {
public:
    explicit TStoreWriteScope(StoreFiles& files) : files_(files), own_(!files.InTransaction()) {
        if (own_ || !files_.InWriteTransaction()) files_.Begin(true);
    }
    ~TStoreWriteScope() {
        if (own_ && !done_) files_.Rollback();
    }
    TStoreWriteScope(const TStoreWriteScope&) = delete;
    TStoreWriteScope& operator=(const TStoreWriteScope&) = delete;
    void Commit() {
        done_ = true;
        if (own_) files_.Commit();
    }

private:
    StoreFiles& files_;
    bool own_;
    bool done_ = false;
};

// The error a write gives when the store cannot take it: its text names the
// file and the system's reason; its detail says the same in short where a
// caller words its own text around it ("system.reg: No space left on device").
class EStoreWrite : public EWinError {
public:
    explicit EStoreWrite(const std::string& message, std::string detail = {})
        : EWinError(kErrorRegistryIoFailed, message, detail.empty() ? message : std::move(detail)) {}
};

}  // namespace tarnel::platform::machine
