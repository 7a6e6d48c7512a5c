// The native window tests' program: the real Windows API (under Wine, the
// prefix the test run made), the program's window classes, its pictures
// from the repository, and the demo drivers of this build's processor in
// the system folder.
#include <objbase.h>

#include <gtest/gtest.h>

#include "platform/api/Backend.h"
#include "platform/api/OsVersion.h"
#include "platform/win32/Win32Backend.h"
#include "win/WinTestSupport.h"
#include "win/shell/WinCommon.h"

int main(int argc, char** argv) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    tarnel::win::InitWindowClasses();
    char self[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
    tarnel::platform::SetProgramFile(std::string(self, n));
    tarnel::platform::UseBackend(std::make_unique<tarnel::platform::win32::TWin32Backend>());
    tarnel::win::SetArtDir(tarnel::wintest::RepositoryFolder(TARNEL_ART_REL));
    tarnel::wintest::InstallDemoDrivers();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
