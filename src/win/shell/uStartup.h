// The start-up sequence before the message loop: splash screen and log
// window, the main window, the codec window, the FOURCC list window, the
// DirectShow window, the log panel into its tab, the splash screen disposed
// of (also when a step fails). Each window made is reached as its form
// object (fMain, fNTCodecs, fFourcc, fDirectShow, fLogging).
#pragma once

#include "core/shell/ActivityLog.h"

namespace tarnel::win {

class TfMain;

// Runs the sequence and returns the main window, not yet shown.
TfMain* StartProgram(TLog& log);

// Frees the windows start-up made that still exist, the main window after
// the ones in its tabs, the log window last.
void EndProgram();

// Start-up's last step: shows the main window and runs the message loop
// until the program ends; returns the program's exit status. On a system
// the program refused it ends at once, the main window never shown.
int RunProgram(TfMain& main);

}  // namespace tarnel::win
