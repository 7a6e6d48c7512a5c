// The start-up sequence before the event loop: splash screen and log
// window, the main window, the codec window, the FOURCC list window, the
// DirectShow window, the log panel into its tab, the splash screen disposed
// of (also when a step fails). Each window made is reached as its form
// object (fMain, fNTCodecs, fFourcc, fDirectShow, fLogging).
#pragma once

#include <functional>
#include <string>

#include "core/shell/ActivityLog.h"

namespace tarnel {

class TfMain;

// Runs the sequence and returns the main window, not yet shown.
TfMain* StartProgram(TLog& log);

// Frees the windows start-up made that still exist, the main window after
// the ones in its tabs, the log window last.
void EndProgram();

// Makes a machine the one in use through `open`, given the view asked (0:
// the machine's default). A machine with two views opened without a view
// named then shows the one the user chose last on it, when that differs.
void OpenWithRememberedView(const std::function<void(int view)>& open, int view);

// Opens another machine (or another view of this one) as the program
// starts: the windows go, the machine named becomes the one in use (the
// machine switcher's rules), and every window is made anew on it and shown.
// The folder goes to the top of the machines opened last, and a view chosen
// is remembered. A machine that cannot be opened is said, and the one shown
// before comes back.
void SwitchMachine(TLog& log, const std::string& folder, int view);

// Start-up's last step: shows the main window and runs the event loop
// until the program ends; returns the program's exit status.
int RunProgram(TfMain& main);

}  // namespace tarnel
