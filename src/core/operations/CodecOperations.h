// What the user does to codecs, on the catalogue's two lists: deactivating,
// activating (swapping codecs of one FOURCC), removing inactive codecs,
// selecting all rows, and a codec's own configure and about dialogs. Each
// change ends as every one does: renumber the inactive list, save both lists
// through the driver store, and let the window refresh its counters.
#pragma once

#include <stdexcept>
#include <string>

#include "core/catalogue/CodecLists.h"

namespace tarnel {

enum class TAnswer { Yes, No, Cancel };

// Questions an operation puts to the user. The window answers with its
// question dialog; tests and the command line answer from a script.
class TOperationQuestions {
public:
    virtual ~TOperationQuestions() = default;
    // "Codec with same FOURCC already exists, swap them?": `incoming` is the
    // inactive codec to activate, `current` the active one it would displace.
    virtual TAnswer AskSwap(const TCodecRow& incoming, const TCodecRow& current) = 0;
    // "Are you sure you want to remove selected FOURCC's"
    virtual TAnswer AskRemove() = 0;
};

// How a change ended for the window: what to show and whether the lists
// were read again from the store.
struct TOperationResult {
    bool Changed = false;   // the lists were edited and the save was tried
    bool Saved = false;     // the store holds the lists now
    bool Reloaded = false;  // a save failed or found the store changed: both lists were read again
    std::string Error;      // what to show the user; empty when all went well
};

class TCodecOperations {
public:
    TCodecOperations(TCodecCatalogue& catalogue, TOperationQuestions& questions);

    // Every inactive row gets its 1-based position as its Number ("001").
    void RenumberInactiveCodecs();

    // Writes both lists to the store CodecStoreMode selects (nothing for 0),
    // unless the store's codec entries changed since the lists were read: a
    // save that fails or finds them changed writes nothing, reads both lists
    // again and says why.
    TOperationResult SaveCodecLists();

    // The selected active rows into the inactive list.
    TOperationResult Deactivate();
    // The selected inactive rows into the active list; a codec in service
    // with the same FOURCC is swapped out (after a question unless AutoSwap
    // is on). No skips that codec, Cancel skips it and ends the run: the
    // codecs after it stay inactive.
    TOperationResult Activate();
    // After the question; nothing changes unless the answer is Yes.
    TOperationResult RemoveSelectedInactive();

    // The codec of the first selected active row shows its own dialog:
    // configure in fast-compress mode, about in query mode. False when no
    // row is selected (nothing happens).
    bool ConfigureSelected();
    bool AboutSelected();

    // The path whose version resource an activated codec's record is read
    // from: the system folder's driver for a bare name on the NT family,
    // else the driver text as the loader finds it.
    std::string ActivationVersionPath(const std::string& driver) const;

private:
    TOperationResult Finish();
    void ReloadBothLists();

    TCodecCatalogue& catalogue_;
    TOperationQuestions& questions_;
};

// The enabling of the active list's popup menu when it opens; Configure and
// About keep what the last selection gave them unless the rules disable them.
struct TDriverConfigEnabling {
    bool Configure = false, About = false, Scan = false, FourccList = false;
};
TDriverConfigEnabling DriverConfigPopup(const TCodecList& active, bool configure, bool about);

}  // namespace tarnel
