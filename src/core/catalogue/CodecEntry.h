// One codec entry as the program knows it: what its store holds (the FOURCC,
// the driver text, where the entry lives, under which name and as which value
// type) and what was read from its driver. The two lists hold these entries;
// the windows and the command line make their texts from them (CodecView.h),
// the driver store reads and writes them (DriverStore.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/catalogue/uCodecs.h"
#include "platform/api/Backend.h"

namespace tarnel {

// Where an entry lives. A place a machine may hold codecs in besides these
// (another file, another view of the registry) is one more value here, known
// to the driver store alone; what such a place adds to an entry (the view it
// belongs to, another entry of its FOURCC shadowing it) is one more field of
// the entry, set by the store that reads it.
enum class TCodecStore : uint8_t {
    None,       // in no store yet: made in memory, placed by the next save
    Drivers32,  // the registry key Drivers32 (NT family)
    Drivers,    // the registry key of 16-bit drivers, which nothing reads back
    SystemIni,  // the [drivers32] section of SYSTEM.INI (95/98/ME family)
    Inactive,   // the program's own key of codecs out of service
};

// Why the codec manager cannot load an entry's driver; State Unknown (and an
// empty Text) when nothing is wrong or the platform cannot tell.
struct TDriverProblem {
    platform::TDriverFileState State = platform::TDriverFileState::Unknown;
    std::string Path;  // the file as Windows names it
    std::string Text;  // "Driver file not found: <path>"; empty when nothing is wrong
};

struct TCodecEntry {
    // --- What the store holds ---
    std::string Fourcc;      // as the lists show it: lower case for an entry read from an active store
    std::string Driver;      // the driver text exactly as the store holds it
    TCodecStore Store = TCodecStore::None;
    std::string StoredName;  // its name there ("VIDC.MJPG", a SYSTEM.INI key, "#1000#"); empty when not stored
    uint32_t ValueType = 0;  // the registry value's type; 0 for a profile line or an entry not stored
    // The driver text is an expandable string (REG_EXPAND_SZ): it is written
    // back as one wherever the entry goes (backup, inactive store, Drivers32).
    bool ExpandableDriver = false;
    // Inactive entries: the whole Number ("1000" for #1000#). After a load it
    // is the stored name's; after a renumbering the position assigned, and
    // NumberAssigned says so.
    std::string Number;
    bool NumberAssigned = false;
    std::string Type;  // "32" or "16": which key an activated entry goes back to
    // On a machine Wine runs, whose codec manager reads the registry and
    // then SYSTEM.INI: the SYSTEM.INI line an inactive entry came from and
    // goes back to (Home SystemIni, HomeName its key as it stood there);
    // None for the usual place. Kept beside the inactive store, whose entry
    // format has no room for it.
    TCodecStore Home = TCodecStore::None;
    std::string HomeName;
    // An active entry whose FOURCC an entry before it (the registry's, or an
    // earlier SYSTEM.INI line) already gives the codec manager: that one's
    // driver answers, this entry is kept but never loaded. Its store name.
    std::string ShadowedBy;

    // --- What the codec and its driver said (kept with an inactive entry) ---
    std::string Shortname;
    std::string Description;
    std::string Version;
    // Active entries only: the driver file's version texts (shared by the
    // entries of one driver file; null for an inactive entry) and what keeps
    // the codec manager from loading it.
    std::shared_ptr<const TCodecVersionInfo> VersionInfo;
    TDriverProblem Problem;
    // An inactive entry the store holds in a form the program cannot read
    // whole (too few texts): what is wrong with it. Its texts are those that
    // could be read; it can be removed, not activated or written back.
    std::string Malformed;
};

}  // namespace tarnel
