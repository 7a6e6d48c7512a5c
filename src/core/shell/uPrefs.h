// The program settings: one record owned by the main window, read once at
// start from the current user's registry and written back once at quit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/shell/uConst.h"

namespace tarnel {

struct TPreferences {
    bool SizeEqually = true;
    bool StayOnTop = true;
    bool AutoSwap = true;
    bool SavePositions = true;
    bool DisableDoubleClick = false;
    int32_t MainTop = 0;
    int32_t MainLeft = 0;
    int32_t MainHeight = 0;
    int32_t MainWidth = 0;
    int32_t ActiveCodecHeight = 0;
    int32_t CodecStoreMode = 0;  // never stored: set from the OS family
    std::string ProgramFont = cDefaultFont;
    int32_t FontSize = cDefaultFontSize;
};

// CodecStoreMode: 1 and 2 mean the profile-file store, 3 and 4 the registry store.
inline bool UsesProfileStore(int32_t mode) { return mode == 1 || mode == 2; }
inline bool UsesRegistryStore(int32_t mode) { return mode == 3 || mode == 4; }

// The main window's bounds at the moment of quitting.
struct TWindowBounds {
    int32_t Top = 0;
    int32_t Left = 0;
    int32_t Height = 0;
    int32_t Width = 0;
};

// Reads the settings, writing the default of every value that is missing.
// A value of the wrong registry type counts as missing: it is replaced by
// the default of the right type. CodecStoreMode of the result is 0.
// Throws ERegistryException when the settings key cannot be created.
TPreferences LoadSettings();

// The settings as LoadSettings reads them, without writing anything: what
// is stored, the default for each value that is missing or of the wrong
// type (for a machine the user cannot change, and for the command line).
TPreferences ReadSettings();

// Takes the window's bounds and the active list's height into `prefs`, then
// writes every setting whose value still exists in the registry.
void SaveSettings(TPreferences& prefs, const TWindowBounds& mainBounds,
                  int32_t activeCodecHeight);

// Beside the twelve settings, in the same key: the machines opened last
// (folders, newest first, at most cRecentMachines) and the view of a
// machine with two that the user chose last (32 or 64; 0 when none was).
// Written when the user opens a machine or picks a view. Reading gives
// what is stored, nothing for a value missing or of the wrong type.
inline constexpr size_t cRecentMachines = 4;
std::vector<std::string> ReadRecentMachines();
int ReadRememberedView();
// `opened` goes to the top of `recent`, which is then cut to
// cRecentMachines and written; returns what was written.
std::vector<std::string> RememberMachine(std::vector<std::string> recent, const std::string& opened);
void RememberView(int view);

}  // namespace tarnel
