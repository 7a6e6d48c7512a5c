// The start-up sequence before the event loop: splash screen and log
// window, the main window, the codec window, the FOURCC list window, the DirectShow
// window, the log panel into its tab, the splash screen disposed of (also when
// a step fails).
#pragma once

#include "core/shell/ActivityLog.h"

namespace tarnel {

class TfMain;
class TfNTCodecs;
class TfDirectShow;
class TfLogging;
class TfFourcc;

// The start-up sequence before the event loop: splash screen and log
// window, the main window, the log panel into its tab, the splash disposed
// of (also when a step fails). Returns the main window, not yet shown.
struct TStartup {
    TfMain* Main = nullptr;
    TfNTCodecs* Codecs = nullptr;
    TfFourcc* Fourcc = nullptr;
    TfDirectShow* DirectShow = nullptr;
    TfLogging* Logging = nullptr;
};
TStartup StartProgram(TLog& log);

// Start-up's last step: shows the main window and runs the event loop
// until the program ends; returns the program's exit status.
int RunProgram(const TStartup& started);

}  // namespace tarnel
