// The Windows-shaped calls of the platform headers, each forwarded to the
// backend in use.
#include "platform/api/Backend.h"
#include "platform/api/CodecManager.h"
#include "platform/api/OsVersion.h"

namespace tarnel::platform {

namespace {
std::unique_ptr<TPlatformBackend>& Slot() {
    static std::unique_ptr<TPlatformBackend> backend;
    return backend;
}
std::string& ProgramFileStore() {
    static std::string file;
    return file;
}
}  // namespace

std::unique_ptr<TPlatformBackend> UseBackend(std::unique_ptr<TPlatformBackend> backend) {
    std::unique_ptr<TPlatformBackend> previous = std::move(Slot());
    Slot() = std::move(backend);
    return previous;
}

TPlatformBackend& CurrentBackend() {
    if (!Slot()) throw EPlatformError("No machine was chosen to work on");
    return *Slot();
}

bool HasBackend() { return Slot() != nullptr; }

HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode) {
    return CurrentBackend().ICOpen(fccType, fccHandler, mode);
}
intptr_t ICGetInfo(HIC hic, ICINFO* info, uint32_t cb) { return CurrentBackend().ICGetInfo(hic, info, cb); }
intptr_t ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2) {
    return CurrentBackend().ICSendMessage(hic, msg, p1, p2);
}
intptr_t ICClose(HIC hic) { return CurrentBackend().ICClose(hic); }

bool GetVersionExA(OSVERSIONINFOEXA* info) { return CurrentBackend().GetVersionExA(info); }
std::string GetSystemDirectoryA() { return CurrentBackend().GetSystemDirectoryA(); }
std::string GetWindowsDirectoryA() { return CurrentBackend().GetWindowsDirectoryA(); }
std::string FormatLocalDateTimeNow() { return CurrentBackend().FormatLocalDateTimeNow(); }

void SetProgramFile(const std::string& path) { ProgramFileStore() = path; }
const std::string& ProgramFile() { return ProgramFileStore(); }

}  // namespace tarnel::platform
