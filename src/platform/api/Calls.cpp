// The Windows-shaped calls of the platform headers, each forwarded to the
// backend in use.
#include "platform/api/Backend.h"
#include "platform/api/CodecManager.h"
#include "platform/api/FileApi.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Profile.h"
#include "platform/api/VersionApi.h"

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
TDriverDialogHost& DialogHostSlot() {
    static TDriverDialogHost host;
    return host;
}
}  // namespace

namespace {
std::function<void(const std::string&)>& DiagnosticSlot() {
    static std::function<void(const std::string&)> sink;
    return sink;
}
}  // namespace

void SetDiagnosticSink(std::function<void(const std::string& text)> sink) { DiagnosticSlot() = std::move(sink); }
void ReportDiagnostic(const std::string& text) {
    if (DiagnosticSlot()) DiagnosticSlot()(text);
}

std::string TPlatformBackend::DiscardJournal() {
    throw EPlatformError("The backend in use keeps no journal of unfinished saves beside the machine's files");
}

void SetDriverDialogHost(TDriverDialogHost host) { DialogHostSlot() = std::move(host); }
const TDriverDialogHost& DriverDialogHost() { return DialogHostSlot(); }

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

std::string ViewText(int view) {
    if (view == 32) return "32-bit view";
    if (view == 64) return "64-bit view";
    return {};
}

HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode) {
    return CurrentBackend().ICOpen(fccType, fccHandler, mode);
}
intptr_t ICGetInfo(HIC hic, ICINFO* info, uint32_t cb) { return CurrentBackend().ICGetInfo(hic, info, cb); }
intptr_t ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2) {
    return CurrentBackend().ICSendMessage(hic, msg, p1, p2);
}
intptr_t ICClose(HIC hic) { return CurrentBackend().ICClose(hic); }

uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size, const char* file) {
    return CurrentBackend().GetPrivateProfileSectionA(section, buffer, size, file);
}
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* buffer,
                                  uint32_t size, const char* file) {
    return CurrentBackend().GetPrivateProfileStringA(section, key, def, buffer, size, file);
}
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
    return CurrentBackend().WritePrivateProfileStringA(section, key, value, file);
}

void AdmitHostFile(const std::filesystem::path& file) { CurrentBackend().AdmitHostFile(file); }
uint32_t GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle) {
    return CurrentBackend().GetFileVersionInfoSizeA(file, handle);
}
bool GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data) {
    return CurrentBackend().GetFileVersionInfoA(file, handle, len, data);
}
bool VerQueryValueA(void* block, const std::string& subBlock, void** buffer, uint32_t* len) {
    return CurrentBackend().VerQueryValueA(block, 0, subBlock, buffer, len);
}
bool VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer, uint32_t* len) {
    return CurrentBackend().VerQueryValueA(block, size, subBlock, buffer, len);
}

bool GetVersionExA(OSVERSIONINFOEXA* info) { return CurrentBackend().GetVersionExA(info); }
std::string GetSystemDirectoryA() { return CurrentBackend().GetSystemDirectoryA(); }
std::string GetWindowsDirectoryA() { return CurrentBackend().GetWindowsDirectoryA(); }
std::string FormatLocalDateTimeNow() { return CurrentBackend().FormatLocalDateTimeNow(); }

std::unique_ptr<TMappedFile> MapFileA(const std::string& path) { return CurrentBackend().MapFileA(path); }
TDriverFileCheck CheckDriverFile(const std::string& driver) { return CurrentBackend().CheckDriverFile(driver); }

void SetProgramFile(const std::string& path) { ProgramFileStore() = path; }
const std::string& ProgramFile() { return ProgramFileStore(); }

}  // namespace tarnel::platform
