// A desired state for one FOURCC, reached with the codec window's own
// operations: deactivation, activation with its swap, removal. For scripts
// and the machines of a fleet, where a rerun must be a no-op: a machine that
// is there already is not written at all (not even a backup), and a state
// that cannot be reached is refused before anything is written.
//
// The states, for the entries of FOURCC (ASCII case ignored) and, with a
// driver, only those whose driver text is that driver (ASCII case ignored):
//   active    without a driver: some entry of FOURCC is active. With one:
//             every active entry of FOURCC has that driver (there is one),
//             so the codec manager finds that driver for it.
//   inactive  no entry of FOURCC (of that driver) is active. A machine that
//             holds none at all is there already.
//   absent    no entry of FOURCC (of that driver) in either list.
//
// Only entries the lists hold are put into service: an entry is never made
// for a driver file that no inactive entry names.
#pragma once

#include <string>
#include <vector>

#include "core/catalogue/CodecLists.h"
#include "core/operations/CodecSession.h"

namespace tarnel {

enum class TEnsureState { Active, Inactive, Absent };

struct TEnsureRequest {
    std::string Fourcc;
    TEnsureState State = TEnsureState::Active;
    std::string Driver;  // empty: whichever driver
    bool Check = false;  // decide and report, write nothing
};

// One entry of the FOURCC as the lists hold it.
struct TEnsureEntry {
    bool Active = false;
    std::string Store;   // StoreName() of where it lives
    std::string Fourcc;  // as the list shows it
    std::string Driver;  // the driver text as stored
    std::string Number;  // inactive entries: the whole Number ("1000"); empty for active ones
    bool operator==(const TEnsureEntry&) const = default;
};

struct TEnsureReport {
    bool Changed = false;
    // The entries of the FOURCC (whatever their driver) in both lists, active
    // ones first, each list in its order: before, and as the store holds
    // them afterwards (with Check, as it would hold them).
    std::vector<TEnsureEntry> Before, After;
    std::vector<TCodecChange> Changes;  // what changed place, as the other commands report it
    std::vector<std::string> Log;       // the activity log lines of the run
    size_t ActiveCount = 0, InactiveCount = 0;
};

// A stable name of a store for reports: "registry" (the active driver key),
// "registry-16" (the 16-bit one), "profile" (the profile file's section),
// "inactive" (the program's own key), "" when not stored.
const char* StoreName(TCodecStore store);

// The entries of `fourcc` in both lists, active ones first.
std::vector<TEnsureEntry> EntriesOf(const TCodecCatalogue& catalogue, const std::string& fourcc);

// One step towards the state, decided on the lists as they stand.
struct TEnsureStep {
    enum TKind { None, Deactivate, Activate, Remove };
    TKind Kind = None;
    std::vector<size_t> Rows;  // of the active list for Deactivate, of the inactive list otherwise
};
// The next step, or None when the lists are in the state. Throws
// EOperationRefused, naming why, for a state that cannot be reached.
TEnsureStep NextEnsureStep(const TCodecCatalogue& catalogue, const TEnsureRequest& request);

// Brings the machine to the state. Decides first inside a transaction whose
// writes never reach the store; only when something is to change (and not
// Check) does it take the machine for writing, decide again and make the
// change, all its steps as one save whose backup holds the active entries
// from before it. Before anything is written, the lists are read back as
// the store would hold them and must be in the state, with every other
// codec where it was. Throws EOperationRefused for a state that cannot be
// reached, std::runtime_error for a machine that refuses the change; the
// store is then as it was.
TEnsureReport Ensure(const TEnsureRequest& request);

}  // namespace tarnel
