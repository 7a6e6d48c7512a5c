// The driver store: the one owner of the store formats of the codec entries.
// It alone knows the key and section names, the "vidc." rules, the inactive
// entries' binary layout and the backup key, and it alone tells the
// registry from SYSTEM.INI: the loaders, the save, the scan's probe and the
// making of machines all go through it. It reads and writes entries
// (CodecEntry.h); every call runs in one transaction of its own (joining the
// caller's when there is one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/catalogue/CodecEntry.h"

namespace tarnel {

// One line of the active store as it stands, a codec entry or not.
struct TActiveStoreLine {
    enum TKind {
        Codec,    // a "vidc" entry the lists show: Entry holds it
        NotText,  // a "vidc" value that is not text: neither shown nor touched
        Other     // another driver's entry (msacm.*, wave, ...)
    };
    TKind Kind = Other;
    TCodecEntry Entry;  // Codec; the others carry their name and place only
};

// One value of the inactive store as it stands.
struct TInactiveStoreLine {
    enum TKind {
        Numbered,   // a numbered binary entry: Entry holds it
        Malformed,  // a numbered binary entry with too few texts: Entry holds
                    // those there are, and in Malformed what is wrong
        NotBinary,  // named like an entry, but its data is not binary
        Other       // not an entry of the program's ("#" alone, no "#")
    };
    TKind Kind = Other;
    TCodecEntry Entry;  // Numbered; the others carry their name only
    std::string Data;   // the value's data as stored
};

// The entries of the store that the lists show, as they were read: a save
// compares the store with it before it writes, so that a change another
// program made in the meantime is never overwritten unseen.
// Each line is a digest, not a copy: a large store's snapshot would
// otherwise hold every inactive entry a second time for as long as the
// lists are shown.
struct TSnapshotLine {
    uint64_t Digest = 0;
    bool operator==(const TSnapshotLine&) const = default;
};
struct TStoreSnapshot {
    std::vector<TSnapshotLine> Active;    // name and driver of each shown entry
    std::vector<TSnapshotLine> Inactive;  // name and data of each numbered entry
    bool operator==(const TStoreSnapshot&) const = default;
};

// One snapshot line: a 64-bit digest of an entry's name and what it
// holds, keyed afresh in each process, so that no store can be crafted
// to make a changed entry look unchanged.
TSnapshotLine SnapshotLine(std::string_view name, std::string_view data);

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

    // The log lines that open and close a load of the active list.
    virtual const char* LoadStartLine() const = 0;
    virtual const char* LoadEndLine() const = 0;

    // Every line of the active store in store order: `begin` learns how many
    // there are, then `visit` runs for each, inside the store's transaction,
    // so what it asks of the codecs sees the same store. The visitor may
    // take the line's entry.
    using TActiveVisitor = std::function<void(size_t index, TActiveStoreLine& line)>;
    void VisitActiveLines(const std::function<void(size_t count)>& begin, const TActiveVisitor& visit);
    // The codec entries the lists show, in store order (names not asked).
    std::vector<TCodecEntry> ActiveEntries();

    // Every value of the inactive store in store order; a numbered entry
    // that holds fewer than six texts is visited as Malformed. `begin`, when
    // given, first learns how many values there are. The visitor may take
    // the line's entry.
    using TInactiveVisitor = std::function<void(TInactiveStoreLine& line)>;
    void VisitInactiveLines(const TInactiveVisitor& visit);
    void VisitInactiveLines(const std::function<void(size_t count)>& begin, const TInactiveVisitor& visit);

    // The shown entries as they stand now.
    TStoreSnapshot Snapshot();

    // Rewrites the store from the two lists, as one change of the store
    // (one replacement of each file it touches, all or nothing): the active
    // entries the loaders show are copied into the backup key and replaced
    // by the active entries, the numbered inactive entries (malformed ones
    // too) by the inactive ones (each named by its Number). Nothing the lists
    // do not show is touched. Each entry written is then placed (Place).
    // With `expected`, throws EStoreChanged and writes nothing when the shown
    // entries differ from it. Throws EStoreFormatError (nothing written) for
    // an entry the store cannot hold (a malformed one among them),
    // ERegistryException when the store refuses the change. With `written`,
    // fills it with the snapshot of the store as the save leaves it (it may
    // be `expected` itself; left as it was when the save throws before it
    // writes).
    void Save(std::span<TCodecEntry> active, std::span<TCodecEntry> inactive, const TStoreSnapshot* expected = nullptr,
              TStoreSnapshot* written = nullptr);

    // Where and under which name a save puts the entry: an active entry of
    // Type "16" into the 16-bit Drivers key, every other one into the active
    // store; an inactive entry under its Number.
    void Place(TCodecEntry& entry, bool inactive) const;

    // The key by which the active store tells its entries apart (lower
    // case): two active entries of one key cannot both stand in it.
    virtual std::string ActiveKey(const std::string& fourcc) const = 0;

    // What the codec manager answers for `candidate` while it is registered
    // for `driver`, the active entry `owner` of that FOURCC (if any) taken
    // out meanwhile. Needs a transaction; the registration is undone before
    // it returns and never reaches the store.
    platform::ICINFO ProbeEntry(const std::string& candidate, const std::string& driver, const TCodecEntry* owner);

    // For a machine being made: one codec entry more, after those there
    // (its FOURCC and driver); another driver's entry, named as given; one
    // inactive entry more under its Number.
    void AddActiveEntry(const TCodecEntry& entry);
    void AddForeignEntry(const std::string& name, const std::string& driver);
    void AddInactiveEntry(const TCodecEntry& entry);

    // The entries of the backup key, as the save wrote them: FOURCC and
    // driver, in order.
    virtual std::vector<TCodecEntry> BackupEntries();

protected:
    virtual std::vector<TActiveStoreLine> ReadActive() = 0;
    // The name an active entry of `fourcc` is written under.
    virtual std::string ActiveName(const std::string& fourcc) const = 0;
    // The store's own parts of the save.
    virtual void BackUpActive(const std::vector<TCodecEntry>& shown) = 0;
    // Which shown entries a save leaves standing: Shown[i] for shown[i],
    // and Count, how many of the first active entries of the active store
    // they are (in that order). A store that knows none stands none.
    struct TActiveStanding {
        std::vector<bool> Shown;
        size_t Count = 0;
    };
    // `settled`: the shown entries from that index on follow every other
    // value of the active store.
    virtual TActiveStanding StandingActive(const std::vector<TCodecEntry>& shown, size_t settled,
                                           std::span<const TCodecEntry> active) {
        return {std::vector<bool>(shown.size()), 0};
    }
    // The snapshot lines of the active store as the save that just wrote
    // leaves it, when the store can tell them without reading them back
    // (`others`: the names of its other values, lower case); false otherwise.
    // (`removed`: RemoveActive removed every entry it was to.)
    virtual bool ActiveLinesWritten(const std::vector<TCodecEntry>& shown, const TActiveStanding& standing,
                                    std::span<const TCodecEntry> active, std::set<std::string> others,
                                    std::vector<TSnapshotLine>& lines) const {
        return false;
    }
    // Removes the shown entries that do not stand; true when it knows each
    // of them was there to remove.
    virtual bool RemoveActive(const std::vector<TCodecEntry>& shown, const TActiveStanding& standing) = 0;
    virtual void WriteActive(std::span<const TCodecEntry> active, const TActiveStanding& standing) = 0;
    virtual void CheckActiveEntries(std::span<const TCodecEntry> active) {}
    virtual void WriteActiveEntry(const std::string& name, const std::string& driver) = 0;
    virtual void PlaceActive(TCodecEntry& entry) const = 0;
    virtual void RegisterProbe(const std::string& candidate, const std::string& driver, const TCodecEntry* owner) = 0;
    // What a store keeps beside the inactive entries (where each goes back
    // to): filled into each numbered entry read, and written after them.
    virtual std::function<void(TCodecEntry& numbered)> InactiveCompleter() { return {}; }
    virtual void WriteInactiveExtras(std::span<const TCodecEntry> inactive) {}
};

// The driver store of a machine Wine runs (NT family): the registry's
// Drivers32 entries and after them SYSTEM.INI's, as Wine's codec manager
// reads them (WineDriverStore.cpp).
std::unique_ptr<TDriverStore> MakeWineDriverStore();

}  // namespace tarnel
