// tarnel.exe: the program on Windows itself, in windows of the Windows API
// over the same core as the Linux program. It works on the computer it runs
// on (under Wine: the prefix), through the real API; it takes no arguments.
#include <objbase.h>

#include <exception>
#include <string>

#include "core/shell/uConst.h"
#include "platform/api/Registry.h"
#include "platform/choice/PlatformChoice.h"
#include "win/shell/LockWaitWindow.h"
#include "win/shell/WinCommon.h"
#include "win/shell/uMain.h"
#include "win/shell/uMessage.h"
#include "win/shell/uStartup.h"

using namespace tarnel;
using namespace tarnel::win;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The pictures' decoder and the help's browser are COM servers.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InitWindowClasses();
    try {
        platform::ChoosePlatform(platform::TPlatformChoice{});
    } catch (const std::exception& e) {
        ShowMessageDialog(platform::ErrorText(e), nullptr, TMessageKind::Error);
        return 1;
    }
    // Waiting for another program's hold on the store is shown, the windows
    // painting meanwhile.
    platform::SetLockWaitHook(LockWaitWindowHook());

    TLog log;
    int result = 1;
    try {
        TfMain* main = StartProgram(log);
        result = RunProgram(*main);
    } catch (const std::exception& e) {
        // A failed start-up step ends the program after the user has read why.
        const std::string text = platform::ErrorText(e);
        if (fMain) {
            fMain->ShowSystemMessage(text, TMessageKind::Error);
        } else {
            log.WriteLog(cLogDisplayingMessage + text);
            ShowMessageDialog(text, nullptr, TMessageKind::Error);
        }
        result = 1;
    }
    EndProgram();
    platform::SetLockWaitHook({});
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}
