// tarnel_versionspeed.exe COUNT: reads the FileVersion of drv0.dll ..
// drv<COUNT-1>.dll of the system folder through the win32 backend, as
// BM_FileVersionOfDrivers does on the emulation, and prints the seconds the
// loop took. The Linux benchmarks run it by Wine.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/api/VersionApi.h"
#include "platform/win32/Win32Backend.h"

using namespace tarnel::platform;

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    UseBackend(std::make_unique<win32::TWin32Backend>());
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    int found = 0;
    for (int i = 0; i < count; ++i) {
        const std::string name = "drv" + std::to_string(i) + ".dll";
        uint32_t handle = 0;
        const uint32_t size = GetFileVersionInfoSizeA(name, &handle);
        if (size == 0) continue;
        std::vector<char> block(size);
        if (!GetFileVersionInfoA(name, handle, size, block.data())) continue;
        void* text = nullptr;
        uint32_t len = 0;
        if (tarnel::platform::VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\FileVersion", &text, &len)) ++found;
    }
    ::QueryPerformanceCounter(&end);
    if (found != count) {
        std::fprintf(stderr, "only %d of %d files gave a FileVersion\n", found, count);
        return 1;
    }
    std::printf("%.6f\n", double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    return 0;
}
