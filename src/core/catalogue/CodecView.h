// What the codec window shows of the two lists, decided once for every front
// end: the columns, the text of each cell, the counters, the red mark of an
// active codec with an inactive twin, what selecting an active codec does,
// the popup menu's enabling, what a drop means, the SizeEqually height, the
// sort by a column and the version tooltip. A window only draws these.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/catalogue/CodecLists.h"

namespace tarnel {

enum class TListKind { Active, Inactive };

// Header text and width of one column; width 0 is a hidden column.
struct TColumnLayout {
    const char* Caption;
    int Width;
};

// Column positions, the FOURCC (the row's caption) first.
enum TActiveColumn : int { acFourcc, acDriver, acShortname, acDescription, acVersion, acType, acCount };
enum TInactiveColumn : int {
    icFourcc, icDriver, icShortname, icDescription, icVersion, icNumber, icType, icCount
};

// The columns of a list in order.
std::span<const TColumnLayout> ColumnsOf(TListKind kind);
// With the Store column after them, as lists show them on a machine Wine
// runs, where codecs live in the registry and in SYSTEM.INI.
std::span<const TColumnLayout> ColumnsOf(TListKind kind, bool withStore);
inline constexpr int acStore = acCount;
inline constexpr int icStore = icCount;

// Where an active entry lives, or an inactive one goes back to, on a machine
// Wine runs: "registry" or "system.ini".
const char* StoreKey(const TCodecEntry& entry, TListKind kind);
// The one store of a machine that keeps its codecs in one ("registry" or
// "system.ini", as StoreKey names them), by its CodecStoreMode; "" for none.
const char* OneStoreKey(int32_t codecStoreMode);
// The Store column's text: "Registry" or "SYSTEM.INI", followed by
// " (shadowed)" for an entry that another entry of its FOURCC shadows.
std::string StoreCellText(const TCodecEntry& entry, TListKind kind);

// The text a list shows in `column` for the entry; empty past the last
// column of ColumnsOf(kind) (the Store column's is StoreCellText).
std::string CellText(const TCodecEntry& entry, TListKind kind, int column);

// The inactive list's Number: after a load the stored name's characters two
// to four ("100" for #1000#), after a renumbering the number assigned
// ("1000"), empty for an entry not numbered yet.
std::string NumberText(const TCodecEntry& entry);

// "Active : 12", "Inactive : 4".
std::string ActiveCountText(const TCodecList& active);
std::string InactiveCountText(const TCodecList& inactive);

// True when the inactive list holds an entry whose FOURCC begins with
// `fourcc`, letter case ignored: such an active row is drawn in red.
bool HasInactiveTwin(const TCodecList& inactive, const std::string& fourcc);

// What the red colour and the warning mark of an active row say, in words
// ("has an inactive twin; Driver file not found: ..."); empty for neither.
std::string ActiveRowRemark(const TCodecList& inactive, const TCodecEntry& entry);

// What the mark of an inactive row says, in words: why the store's entry
// cannot be read whole and what to do; empty for a sound entry.
std::string InactiveRowRemark(const TCodecEntry& entry);

// What selecting in the active list decided; the window shows it.
struct TActiveSelection {
    bool Handled = false;       // false: nothing selected, nothing changes
    size_t Row = 0;             // the lowest selected active row
    bool CanConfigure = false;  // the codec answers the configure query
    bool CanAbout = false;      // ... and the about query
    bool TwinsChecked = false;  // the inactive list had rows to look at
    size_t TwinCount = 0;
    size_t ScrollTo = 0;        // the last twin, or row 0 without one
    std::string StatusText;     // "<fourcc> (<count>)"
};

// The selection rule of the active list: works on the selected row with the
// lowest index, asks its codec which dialogs it offers, and selects (only)
// its inactive twins (exact FOURCC, ASCII case ignored).
TActiveSelection SelectActiveCodec(const TCodecList& active, TCodecList& inactive);

// The enabling of the active list's popup menu when it opens; Configure and
// About keep what the last selection gave them unless the rules disable them.
struct TDriverConfigEnabling {
    bool Configure = false, About = false, Scan = false, FourccList = false;
};
TDriverConfigEnabling DriverConfigPopup(const TCodecList& active, bool configure, bool about);

// What a drop on a list means, by the list the drag came from (none: from
// anywhere else). A list takes drags from the other list only; a drop from
// elsewhere moves nothing but still saves the lists.
enum class TDropMeaning { Deactivate, Activate, SaveOnly };
bool AcceptsDrag(TListKind target, std::optional<TListKind> source);
TDropMeaning DropMeaning(TListKind target, std::optional<TListKind> source);

// The active list's height while SizeEqually is set: half the codec panel
// (integer division) less the header band above the list and 14 pixels.
int SizeEquallyHeight(int panelHeight, int headerBandHeight);

// Neither list is made smaller than this by the splitter between them.
inline constexpr int cLeastListHeight = 50;
// The active list's height when the splitter is dragged to `wanted`, with
// `room` pixels for both lists together.
int SplitterHeight(int wanted, int room);

// Sorts the list by the texts of `column`, ascending and stable, with the
// front end's text order (`compare` < 0: first before second).
void SortByColumn(TCodecList& list, TListKind kind, int column,
                  const std::function<int(const std::string&, const std::string&)>& compare);

// The text followed by blanks up to `width`; longer texts stay as they are.
std::string PadRight(const std::string& text, size_t width);

// The tooltip of an active row: one "label: value" line per non-empty
// field, or "No Version Information Available".
std::string VersionTooltipText(const TCodecVersionInfo& info);

// What an active row's tooltip says: why its driver cannot be loaded (always,
// when it cannot) and, while version tooltips are switched on, its version
// texts. Both empty: no tooltip.
struct TActiveRowTip {
    std::string Problem;
    std::string Version;
};
TActiveRowTip ActiveRowTip(const TCodecEntry& entry, bool showVersion);

}  // namespace tarnel
