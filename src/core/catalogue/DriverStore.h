// The driver store: the one owner of the store formats of the codec
// records. It alone knows the key and section names, the "vidc." rules,
// the inactive entries' binary layout and the backup key. The loaders read
// through it, the save and the operations write through it. Every call runs
// in one transaction of its own (joining the caller's when there is one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/catalogue/uCodecs.h"

namespace tarnel {

class TCodecList;

// One line of the active store as it stands, a codec entry or not.
struct TActiveStoreEntry {
    std::string Name;      // registry: the value name; profile file: the whole line
    TCodecInfo Info;       // the name split; Kind empty for other drivers
    bool IsText = true;    // registry: the data is a string (a codec entry of
                           // another type is neither shown nor touched)
    std::string Driver;    // the driver text, as the store holds it
    bool Shown() const { return !Info.Kind.empty() && IsText; }
};

// One value of the inactive store as it stands.
struct TInactiveStoreEntry {
    enum TKind {
        Entry,        // a numbered binary entry: Record holds it
        NotBinary,    // named like an entry, but its data is not binary
        Other         // not an entry of the program's ("#" alone, no "#")
    };
    TKind Kind = Other;
    std::string Name;
    TInactiveCodecInfo Record;
    std::string Data;  // the value's data as stored
};

// The entries of the store that the lists show, as they were read: a save
// compares the store with it before it writes, so that a change another
// program made in the meantime is never overwritten unseen.
struct TStoreSnapshot {
    std::vector<std::string> Active;    // name and driver of each shown entry
    std::vector<std::string> Inactive;  // name and data of each numbered entry
    bool operator==(const TStoreSnapshot&) const = default;
};

// One snapshot line: an entry's name and what it holds.
std::string SnapshotLine(const std::string& name, const std::string& data);

// Another program changed the store's codec entries since they were loaded.
class EStoreChanged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TDriverStore {
public:
    virtual ~TDriverStore() = default;

    // The store CodecStoreMode selects: 1 and 2 the profile file, 3 and 4
    // the registry; null for any other mode (no store of the system is used).
    static std::unique_ptr<TDriverStore> ForMode(int32_t codecStoreMode);
    // The inactive store alone (the same for both families): what a machine
    // the program does not support still reads.
    static std::unique_ptr<TDriverStore> InactiveOnly();

    virtual bool UsesProfileFile() const = 0;

    // Every line of the active store in store order: `begin` learns how many
    // there are, then `visit` runs for each, inside the store's transaction,
    // so what it asks of the codecs sees the same store.
    using TActiveVisitor = std::function<void(size_t index, const TActiveStoreEntry& entry)>;
    void VisitActiveEntries(const std::function<void(size_t count)>& begin, const TActiveVisitor& visit);
    std::vector<TActiveStoreEntry> ReadActiveEntries();

    // Every value of the inactive store in store order. Throws
    // EStoreFormatError at a numbered entry that holds fewer than six texts,
    // after visiting the ones before it.
    using TInactiveVisitor = std::function<void(const TInactiveStoreEntry& entry)>;
    void VisitInactiveEntries(const TInactiveVisitor& visit);

    // The shown entries as they stand now.
    TStoreSnapshot Snapshot();

    // Rewrites the store from the two lists, as one change of the store
    // (one replacement of each file it touches, all or nothing): the active
    // entries the loaders show are copied into the backup key and replaced
    // by the active rows, the numbered inactive entries by the inactive
    // rows (each named by its Number). Nothing the lists do not show is
    // touched. With `expected`, throws EStoreChanged and writes nothing when
    // the shown entries differ from it. Throws EStoreFormatError (nothing
    // written) for a row the store cannot hold, ERegistryException when the
    // store refuses the change.
    void Save(const TCodecList& active, const TCodecList& inactive, const TStoreSnapshot* expected = nullptr);

    // One codec entry more, after those there, and one inactive entry more
    // under its Number: for a machine being made.
    void AddActiveEntry(const std::string& fourcc, const std::string& driver);
    void AddInactiveEntry(const TInactiveCodecInfo& entry);

    // The entries of the backup key, as the save wrote them: (FOURCC, driver)
    // pairs in order.
    std::vector<std::pair<std::string, std::string>> BackupEntries();

protected:
    virtual std::vector<TActiveStoreEntry> ReadActive() = 0;
    // The store's own parts of the save.
    virtual void BackUpActive(const std::vector<TActiveStoreEntry>& shown) = 0;
    virtual void RemoveActive(const std::vector<TActiveStoreEntry>& shown) = 0;
    virtual void WriteActive(const TCodecList& active) = 0;
    virtual void CheckActiveRows(const TCodecList& active) {}
    virtual void WriteActiveEntry(const std::string& fourcc, const std::string& driver) = 0;
};

}  // namespace tarnel
