// Start-up chooses what the program works on here, and only here: the
// machine folder named on the command line, else $TARNEL_MACHINE, else
// $WINEPREFIX, else ~/.wine when Wine has run on it, else the user's own
// default folder. Only that default may be
// made (as the demo machine) when it does not exist; a folder that is named
// and missing is an error naming it, never a fresh machine in its place.
//
// And which backend serves it: `machine` reads and writes the folder's files
// itself; `wine` starts the bridge under the prefix's own Wine, so Wine's
// server keeps the registry and the real drivers answer. Named on the command
// line, else by $TARNEL_BACKEND; by default `wine` for the prefix $WINEPREFIX
// names when Wine is installed and has run on it, `machine` for everything
// else. (On Windows
// the one backend is `win32`, the computer itself.)
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "platform/api/Backend.h"

namespace tarnel::platform {

struct TPlatformChoice {
    std::filesystem::path Machine;  // named by the user (a command-line option); empty: the default rules
    std::string Backend;            // "machine" or "wine" (a command-line option); empty: the default rules
    // The view of a machine with two (a 64-bit Wine prefix): 32 or 64; 0 is
    // the program's own, the 32-bit one.
    int View = 0;
    // A Wine prefix named on the command line is served by Wine too (when
    // Wine is installed and no backend is named), as the window program
    // opens the user's prefixes; else only one $WINEPREFIX or ~/.wine names.
    bool WineForNamedPrefixes = false;
    // Makes the default folder as the demo machine when it is missing; none
    // (null) means a missing default is an error too.
    std::function<void(const std::filesystem::path& folder)> MakeDemo;
};

struct TPlatformChosen {
    std::filesystem::path Folder;
    std::string Source;     // "--machine", "TARNEL_MACHINE", "WINEPREFIX", "~/.wine" or "default"
    bool Made = false;      // made as the demo machine just now
    std::string Backend;    // "machine", "wine" or "win32"
};

// Chooses, makes the backend the one in use and returns what was chosen.
// Throws EFileError naming the folder (and where its name came from) when
// there is no machine to work on, EPlatformError for a backend that cannot
// serve it (an unknown name, no Wine, a folder Wine never ran on). A machine whose folder or store files the
// user cannot write is used read-only: writes are refused with the reason.
TPlatformChosen ChoosePlatform(const TPlatformChoice& choice);

// Makes a machine folder of the family (its OS facts, an empty driver list).
// Refuses a folder that holds a machine already.
void CreateMachineFolder(const std::filesystem::path& root, TMachineFamily family);

// Makes a machine folder whole or not at all: `build` fills a hidden draft
// folder beside `root`, which then takes root's place in one rename. A maker
// killed half-way leaves only its draft, which the next maker in that folder
// removes; `root` never holds half a machine. `root` must be missing or an
// empty folder; a machine there is refused (EFileError naming it), and so is
// a folder that holds anything else.
void MakeMachineFolder(const std::filesystem::path& root,
                       const std::function<void(const std::filesystem::path& draft)>& build);

// Runs `work` with the machine in `root` as the one every call acts on, then
// puts back the one in use before. With `fixedTimes`, every key written gets
// the same time stamp, so that machines made alike are alike to the byte.
void WithMachine(const std::filesystem::path& root, const std::function<void()>& work, bool fixedTimes = false);

// Marks the folder as a demo machine: the log and the about box say so.
void MarkDemoMachine(const std::filesystem::path& root);

// $XDG_DATA_HOME/tarnel/machine, or ~/.local/share/tarnel/machine.
std::filesystem::path DefaultMachineFolder();

// ~/.wine when Wine has run on it (the user's own prefix), else empty.
std::filesystem::path HomeWinePrefix();

// What a folder offered as a machine to open is: empty when it is one (a
// Wine prefix, or a machine made by 'tarnelctl init'), else why it is not.
std::string WhyNotAMachine(const std::filesystem::path& folder);

}  // namespace tarnel::platform
