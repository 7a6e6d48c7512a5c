// What the active list does for the user beyond showing rows: the red mark
// of a codec with an inactive twin, the selection rule that finds the twins
// and asks the codec for its dialogs, and the version tooltip text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "core/catalogue/CodecLists.h"

namespace tarnel {

// True when the inactive list holds a row whose caption begins with
// `caption`, letter case ignored: such an active row is drawn in red.
bool HasInactiveTwin(const TCodecList& inactive, const std::string& caption);

// What selecting in the active list decided; the window shows it.
struct TActiveSelection {
    bool Handled = false;                // false: nothing selected, nothing changes
    size_t Row = 0;                      // the lowest selected active row
    bool CanConfigure = false;           // the codec answers the configure query
    bool CanAbout = false;               // ... and the about query
    bool TwinsChecked = false;           // the inactive list had rows to look at
    size_t TwinCount = 0;
    size_t ScrollTo = 0;                 // the last twin, or row 0 without one
    std::string StatusText;              // "<fourcc> (<count>)"
};

// The selection rule of the active list: works on the selected row with the
// lowest index, opens its codec in fast-compress mode to ask for configure
// and about, and selects (only) its inactive twins (exact FOURCC, ASCII
// case ignored).
TActiveSelection SelectActiveCodec(TCodecList& active, TCodecList& inactive);

// The text followed by blanks up to `width`; longer texts stay as they are.
std::string PadRight(const std::string& text, size_t width);

// The tooltip of an active row: one "label: value" line per non-empty
// field, or "No Version Information Available".
std::string VersionTooltipText(const TCodecVersionInfo& info);

}  // namespace tarnel
