#include "win/shell/uStartup.h"

#include <memory>

#include "core/shell/uConst.h"
#include "win/catalogue/uNTCodecs.h"
#include "win/directshow/uDirectShow.h"
#include "win/scan/uFourcc.h"
#include "win/shell/splash.h"
#include "win/shell/uLogging.h"
#include "win/shell/uMain.h"

namespace tarnel::win {

namespace {
struct TProgramWindows {
    std::unique_ptr<TfLogging> Logging;
    std::unique_ptr<TfMain> Main;
    std::unique_ptr<TfNTCodecs> Codecs;
    std::unique_ptr<TfFourcc> Fourcc;
    std::unique_ptr<TfDirectShow> DirectShow;
};
TProgramWindows& Windows() {
    static TProgramWindows windows;
    return windows;
}
}  // namespace

TfMain* StartProgram(TLog& log) {
    TProgramWindows& w = Windows();
    TSplashScreen splash(&log);
    w.Logging = std::make_unique<TfLogging>(log);
    splash.ShowSplash();
    w.Main = std::make_unique<TfMain>(log);
    w.Codecs = std::make_unique<TfNTCodecs>(*w.Main, &splash);
    w.Fourcc = std::make_unique<TfFourcc>(w.Main->Handle);
    w.DirectShow = std::make_unique<TfDirectShow>(*w.Main);
    w.Main->HostPanel(2, w.Logging->LogViewerPanel);
    // The splash screen goes here at the latest (its object's end), also
    // when a step failed.
    return w.Main.get();
}

void EndProgram() {
    TProgramWindows& w = Windows();
    w.Fourcc.reset();
    w.DirectShow.reset();
    w.Codecs.reset();
    w.Main.reset();
    w.Logging.reset();
}

int RunProgram(TfMain& main) {
    // The user has read why the program cannot work here: it ends without
    // showing a window that cannot work and without the quit question.
    if (main.TerminateRequested()) return 0;
    ::ShowWindow(main.Handle, SW_SHOWNORMAL);
    ::UpdateWindow(main.Handle);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (::TranslateAcceleratorW(main.Handle, main.Accelerators, &msg)) continue;
        if (ModelessMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}

}  // namespace tarnel::win
