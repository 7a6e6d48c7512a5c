// The wine backend: a live Wine prefix served by Wine itself. It starts the
// win32 backend's bridge (tarnel-bridge.exe) under the prefix's Wine and
// forwards every platform call to it over a pipe, so the registry is the one
// Wine's server holds (a change made while Wine runs is never overwritten),
// the codec manager loads the real drivers and their dialogs are their own.
// A 64-bit prefix is served through its 32-bit side, as the program is
// 32-bit: its registry as Wow6432Node shows it, its drivers from syswow64.
//
// The start of the bridge is paid once, when the backend is made; every call
// after that is one round trip.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/api/Backend.h"

namespace tarnel::platform::wine {

class TWineBackend final : public TPlatformBackend {
public:
    // Starts `bridge` with `wine` on the prefix and greets it. Throws
    // EPlatformError naming what failed (no Wine, no bridge, a bridge that
    // ended or answered in another protocol).
    TWineBackend(const std::filesystem::path& prefix, const std::filesystem::path& bridge,
                 const std::string& wine);
    ~TWineBackend() override;
    bool DriverDialogsOfAnotherProcess() const override { return true; }

    const std::filesystem::path& Prefix() const;
    // The bridge's process (the Windows program Wine runs), for tests that
    // end it at a chosen moment.
    pid_t BridgeProcess() const;

    std::string Describe() const override;
    TMachineFamily Family() override;

    long RegOpenKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired,
                       RegKey* result) override;
    long RegCreateKeyExA(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result,
                         uint32_t* disposition) override;
    long RegCloseKey(RegKey key) override;
    long RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* nameChars) override;
    long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type, uint8_t* data,
                       uint32_t* dataBytes) override;
    long RegQueryInfoKeyA(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                          uint32_t* maxValueNameChars, uint32_t* maxValueBytes) override;
    long RegQueryValueExA(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* dataBytes) override;
    long RegSetValueExA(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                        uint32_t dataBytes) override;
    long RegDeleteValueA(RegKey key, const char* name) override;
    long RegDeleteKeyA(RegKey key, const char* subKey) override;
    std::string RegKeyPath(RegKey key) override;

    void BeginTransaction(bool write) override;
    void BeginScratchTransaction() override;
    void CommitTransaction() override;
    void RollbackTransaction() override;
    int SetSavepoint() override;
    void RollbackToSavepoint(int mark) override;

    uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size, const char* file) override;
    uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* buffer,
                                      uint32_t size, const char* file) override;
    bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* file) override;

    HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode) override;
    intptr_t ICGetInfo(HIC hic, ICINFO* info, uint32_t cb) override;
    intptr_t ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2) override;
    intptr_t ICClose(HIC hic) override;

    uint32_t GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle) override;
    bool GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data) override;
    bool VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer,
                        uint32_t* len) override;
    void AdmitHostFile(const std::filesystem::path& file) override;

    std::unique_ptr<TMappedFile> MapFileA(const std::string& path) override;
    bool GetVersionExA(OSVERSIONINFOEXA* info) override;
    std::string GetSystemDirectoryA() override;
    std::string GetWindowsDirectoryA() override;
    std::string FormatLocalDateTimeNow() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The `wine` program on the PATH; empty when there is none.
std::string FindWine();
// True when Wine has run on the folder (it holds Wine's dosdevices).
bool IsWinePrefix(const std::filesystem::path& folder);
// The bridge to start: $TARNEL_BRIDGE, else tarnel-bridge.exe beside the
// running program, else in libexec/tarnel beside its bin folder (installed),
// else the one the build made; empty when none exists.
std::filesystem::path FindBridge();

}  // namespace tarnel::platform::wine
