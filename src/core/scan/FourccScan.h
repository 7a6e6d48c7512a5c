// The FOURCC scan of a codec's driver file: every four characters after an
// "=" byte that could be a FOURCC are proved by registering them for the
// driver for a moment and asking the codec manager. The moment never reaches
// the store: each probe runs inside a transaction that is always rolled back,
// so a scan killed at any point leaves the driver list as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/catalogue/CodecLists.h"
#include "core/catalogue/CodecView.h"

namespace tarnel {

// One proved FOURCC, as the found dialog lists it.
struct TFoundRow {
    std::string Fourcc;       // as found in the file, case kept
    std::string Description;
    std::string Status;       // "Not Used", "Used (Active)" or "Used (Inactive)"
    std::string Driver;       // the scanned codec's driver, in lower case
    std::string Shortname;
    std::string Version;
    std::string Type;
    bool Selected = false;
    bool Used() const { return Status.compare(0, 4, "Used") == 0; }
};

// The found dialog's columns in order: Fourcc, Description, Status, then the
// hidden Driver, Shortname, Version and Type.
enum TFoundColumn { flFourcc, flDescription, flStatus, flDriver, flShortname, flVersion, flType, flCount };
std::span<const TColumnLayout> FoundColumns();
std::string FoundCellText(const TFoundRow& row, int column);
// A row whose status is anything but exactly "Not Used" names a codec the
// system has already: the dialog draws it in blue.
bool FoundRowInUse(const TFoundRow& row);

// Where the scan shows how far it is: the position is the number of bytes
// examined (counting the marker byte just reached), the percentage as every
// progress display computes it. Only marker bytes move it.
class TScanProgress {
public:
    virtual ~TScanProgress() = default;
    virtual void Start(uint64_t size) = 0;
    virtual void Advance(uint64_t position, int percent) = 0;
    virtual void End() = 0;
};

struct TScanOutcome {
    enum TKind {
        NothingSelected,  // no active row to scan: nothing happened
        EmptyFile,        // "Memory allocation error"
        NothingFound,     // "No FOURCC's found in codec."
        FoundSome         // the rows are in Found
    };
    TKind Kind = NothingSelected;
    std::vector<TFoundRow> Found;
    std::string Driver;  // the scanned codec's driver text
    std::string Path;    // the file read
};

// The probe: the codec's information record with `candidate` registered for
// `driver` for the moment of the query (the active codec that owns the
// FOURCC taken out meanwhile), through the driver store CodecStoreMode
// selects; the zeroed record on a system the program does not support.
// Needs a transaction; changes nothing.
platform::ICINFO ProbeFourcc(const TCodecCatalogue& catalogue, const std::string& candidate,
                             const std::string& driver);

// Scans the driver file of the active entry in `row`. Throws the platform's
// error, naming the file, when the file cannot be read.
TScanOutcome ScanCodec(TCodecCatalogue& catalogue, size_t row, TScanProgress* progress);

// The four characters after a marker byte, when they can be a FOURCC.
bool IsFourccCandidate(const unsigned char* c);

// The status of a candidate against the two lists.
std::string StatusOf(const TCodecCatalogue& catalogue, const std::string& candidate, const std::string& driver);

// The found dialog's add button: every selected free row joins the inactive
// list (FOURCC in lower case, no Number yet) and becomes "Used (Inactive)";
// `added` learns the inactive rows it made. False when no row is selected
// ("Nothing selected, please choose something!"), and nothing changes.
bool AddFoundToInactive(std::vector<TFoundRow>& rows, TCodecList& inactive, std::vector<size_t>* added = nullptr);

}  // namespace tarnel
