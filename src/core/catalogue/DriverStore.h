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

// One line of the active store as it stands, a codec entry or not.
struct TActiveStoreEntry {
    std::string Name;      // registry: the value name; profile file: the whole line
    TCodecInfo Info;       // the name split; Kind empty for other drivers
    bool IsText = true;    // registry: the data is a string (a codec entry of
                           // another type is neither shown nor touched)
    std::string Driver;    // the driver text, as the store holds it
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
};

class TDriverStore {
public:
    virtual ~TDriverStore() = default;

    // The store CodecStoreMode selects: 1 and 2 the profile file, 3 and 4
    // the registry; null for any other mode (no store of the system is used).
    static std::unique_ptr<TDriverStore> ForMode(int32_t codecStoreMode);

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

protected:
    virtual std::vector<TActiveStoreEntry> ReadActive() = 0;
};

}  // namespace tarnel
