// What the main window and its dialogs show, decided once for every front
// end: the status panels' widths, whether saved bounds are restored, the
// font box's entries and selection, and the about box's build line. A
// window only measures and draws.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "core/shell/uPrefs.h"

namespace tarnel {

// The five status panels: their widths at the design font, in pixels at
// 96 dots per inch. The last one is never written.
inline constexpr int cStatusPanelCount = 5;
inline constexpr std::array<int, cStatusPanelCount> cStatusPanelWidths = {240, 100, 100, 120, 50};

// The panels' widths in a bar of `room` pixels, given the widths the first
// four want (the design's, grown with the font). Where the bar is narrower
// than those four together they shrink alike, the rounding's remainder
// going to the first, so that every panel stays in sight; the last panel
// takes what is left (none when nothing is).
std::array<int, cStatusPanelCount> StatusPanelWidths(const std::array<int, cStatusPanelCount>& wanted, int room);

// Saved bounds are restored only with SavePositions set and all four of
// them non-zero.
bool RestoresSavedBounds(const TPreferences& prefs);

// An empty font name and the font box's "Default" entry both name the
// platform's default font (as does a family the machine lacks, which only
// the platform can tell).
bool NamesDefaultFont(const std::string& programFont);

// The font box's entries: the installed families each once, ordered by
// `compare` (< 0: first before second), with the "Default" entry where it
// belongs unless a family of that name is installed.
std::vector<std::string> FontBoxEntries(std::vector<std::string> families,
                                        const std::function<int(const std::string&, const std::string&)>& compare);
// The entry equal to `programFont`, ASCII letter case ignored; -1 for none.
int FontBoxSelection(const std::vector<std::string>& entries, const std::string& programFont);
// A font size as the spin shows it: within 6 to 100.
int ClampFontSize(int size);

// The message dialog's places, in pixels at 96 dots per inch scaled by
// `scale`: the text panel at 104,64 (409 x 33 as designed), the Ok button 7
// below it and centred under it, 17 of dialog below the button and 12 right
// of the panel, the dialog never under 525 x 146. A long message widens the
// panel up to the work area less 24 pixels at each edge; its lines make it
// taller up to the work area's height, beyond which the text scrolls.
struct TMessageLayout {
    int PanelLeft = 0, PanelTop = 0, PanelWidth = 0, PanelHeight = 0;
    int ButtonLeft = 0, ButtonTop = 0, ButtonWidth = 0, ButtonHeight = 0;
    int ClientWidth = 0, ClientHeight = 0;
};
using TScaleFunction = std::function<int(int)>;
// The panel's width for a longest line that wants `wanted` pixels (its
// margins and frame counted).
int MessagePanelWidth(int wanted, int areaWidth, const TScaleFunction& scale);
// Everything's places for a panel `panelWidth` wide whose lines, wrapped at
// that width, want `wantedHeight` pixels (frame counted).
TMessageLayout MessageLayout(int panelWidth, int wantedHeight, int areaHeight, const TScaleFunction& scale);

// The main window's caption and the about box's version text, from the
// program's file version ("2.0.1.7": "Tarnel - Version 2.0 - Release 1 -
// Build 7" and "Version 2.0 - Release 1 - Build 7"); a version that is no
// number reads as zeros.
std::string MainCaption(const std::string& fileVersion);
std::string VersionText(const std::string& fileVersion);

// The about box's build line: the version ("Version 2.7 - Release 0 -
// Build 113") followed by where the program runs (`note`, " for ...").
std::string AboutBuildText(const std::string& version, const std::string& note);

}  // namespace tarnel
