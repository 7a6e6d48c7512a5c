// What the user does to codecs, on the catalogue's two lists: deactivating,
// activating (swapping codecs of one FOURCC), removing inactive codecs,
// restoring the backup, scanning a driver for further FOURCCs and adding
// them, and a codec's own configure and about dialogs. Each call takes the
// rows it works on: a window passes its selection, the command line the rows
// its arguments name. Each change ends as every one does: renumber the
// inactive list, save both lists through the driver store, and let the
// front end refresh its counters.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "core/catalogue/CodecLists.h"
#include "core/scan/FourccScan.h"

namespace tarnel {

enum class TAnswer { Yes, No, Cancel };

// Questions an operation puts to the user. The window answers with its
// question dialog; tests and the command line answer from a script.
class TOperationQuestions {
public:
    virtual ~TOperationQuestions() = default;
    // "Codec with same FOURCC already exists, swap them?": `incoming` is the
    // inactive codec to activate, `current` the active one it would displace.
    virtual TAnswer AskSwap(const TCodecEntry& incoming, const TCodecEntry& current) = 0;
    // "Are you sure you want to remove selected FOURCC's"
    virtual TAnswer AskRemove() = 0;
};

// Arguments that name no entry, or more than one where one is meant; the
// message says which, and nothing was changed.
class EOperationRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a change ended for the front end: what to show and whether the lists
// were read again from the store.
struct TOperationResult {
    bool Changed = false;   // the lists were edited and the save was tried
    bool Saved = false;     // the store holds the lists now
    bool Reloaded = false;  // a save failed or found the store changed: both lists were read again
    std::string Error;      // what to show the user (also for a change refused); empty when all went well
};

// What a scan with its adding did.
struct TScanAddResult {
    TScanOutcome Outcome;        // the found rows, their status after the adding
    std::vector<size_t> Added;   // the inactive rows it added, numbered by the save
    TOperationResult Result;     // the save after it (none when nothing was found)
};

class TCodecOperations {
public:
    TCodecOperations(TCodecCatalogue& catalogue, TOperationQuestions& questions);

    // Every inactive entry gets its 1-based position as its Number ("001").
    void RenumberInactiveCodecs();

    // Writes both lists to the store CodecStoreMode selects (nothing for 0),
    // unless the store's codec entries changed since the lists were read: a
    // save that fails or finds them changed writes nothing, reads both lists
    // again and says why.
    TOperationResult SaveCodecLists();
    // Renumbers the inactive list and saves both lists as they are.
    TOperationResult SaveLists();

    // The active entries in `rows` into the inactive list.
    TOperationResult Deactivate(const std::vector<size_t>& rows);
    // The inactive entries in `rows` into the active list; a codec in
    // service with the same FOURCC (or kept under the same key of the store)
    // is swapped out (after a question unless AutoSwap is on). No skips that
    // codec, Cancel skips it and ends the run: the codecs after it stay
    // inactive. An entry that goes to the 16-bit Drivers key is logged as such.
    //
    // Every change but a removal is refused, nothing changed, while the
    // inactive list holds an entry that could not be read whole; a removal
    // is saved once none is left.
    TOperationResult Activate(const std::vector<size_t>& rows);
    // After the question; nothing changes unless the answer is Yes.
    TOperationResult RemoveInactive(const std::vector<size_t>& rows);
    // The entries of the backup key become the active list, each completed
    // as the loader completes an entry, and are saved (the entries they
    // replace become the new backup); the inactive list stays as it is. A
    // machine without backup entries is refused.
    TOperationResult RestoreBackup();

    // On a system the program does not support (CodecStoreMode 0) the lists
    // are not from a store: every call above that would change them changes
    // nothing, logs why and returns it as the Error.

    // The codec of the active entry in `row` shows its own dialog:
    // configure in fast-compress mode, about in query mode. Where the
    // view's drivers cannot load here, these, the scan and DescribeCodec
    // throw EOperationRefused saying why.
    void Configure(size_t row);
    void About(size_t row);

    // The scan of the active entry in `row`, with the log lines it begins with.
    TScanOutcome Scan(size_t row, TScanProgress* progress);
    // After the found dialog: when something was found, the inactive list is
    // renumbered and both lists are saved (also when nothing was added).
    TOperationResult SaveAfterScan(const TScanOutcome& outcome);
    // The log lines that end a scan which read its file.
    void EndScan();
    // Scan, add and save in one: the found FOURCCs named in `add` (all of
    // them when it is empty) join the inactive list when `adding` is set.
    // Throws EOperationRefused, nothing written, for an empty driver file
    // and for a named FOURCC the scan did not find or that is in use.
    TScanAddResult ScanAndAdd(size_t row, bool adding, const std::vector<std::string>& add,
                              TScanProgress* progress = nullptr);

    // The path whose version resource an activated codec's record is read
    // from: the system folder's driver for a bare name on the NT family,
    // else the driver text as the loader finds it.
    std::string ActivationVersionPath(const std::string& driver) const;

private:
    bool Refused(TOperationResult& result);
    // Refused as above, or because the inactive list holds an entry that
    // could not be read whole (the lists cannot be written back).
    bool PartlyRead(TOperationResult& result);
    // Why the lists cannot be written back while the inactive list holds
    // such an entry, and how to remove it; empty when it holds none.
    std::string MalformedRefusal() const;
    TOperationResult Finish();
    void ReloadBothLists();

    TCodecCatalogue& catalogue_;
    TOperationQuestions& questions_;
};

// The rows of the active list whose FOURCC is `fourcc` (ASCII case ignored),
// of those only the one whose driver is `driver` when it is not empty.
// Throws EOperationRefused when there is none.
std::vector<size_t> ActiveRowsOf(const TCodecList& active, const std::string& fourcc, const std::string& driver = {});

// The inactive row a Number names: its whole number ("1000" for #1000#,
// "007"), the three characters the lists show of it ("100"), either
// without leading zeros ("7"), or its stored name ("#100#"). Throws
// EOperationRefused when none fits, or more than one (naming how to give
// each of them).
size_t InactiveRowOf(const TCodecList& inactive, const std::string& number);
// How to name the inactive row as a command-line argument: its whole
// Number, or its stored name (quoted) where that Number fits other rows too.
std::string NumberArgument(const TCodecList& inactive, size_t row);

// A text the user gave, quoted for a message; a long one is cut, saying so.
std::string ArgumentText(const std::string& text);

// What the codec manager answers for the active entry of a FOURCC: the
// record from opening it in query mode, and the dialogs it offers.
struct TCodecDescription {
    TCodecEntry Entry;        // the active entry, as its store holds it
    bool Opened = false;      // the codec opened in query mode
    platform::ICINFO Info{};  // all zeros but dwSize when it did not
    TCodecDialogs Dialogs;
};
// Throws std::runtime_error on a system the program does not support, and
// when no active entry has the FOURCC.
TCodecDescription DescribeCodec(const std::string& fourcc, int32_t codecStoreMode);

}  // namespace tarnel
