// The real Windows API as a platform backend: every call goes to the
// system's own advapi32, kernel32, msvfw32 and version.dll. Built with
// MinGW-w64 for 32-bit Windows, as the program is 32-bit; under Wine these
// are Wine's own functions, and the bridge serves them to the Linux program.
//
// Transactions: the real registry and profile files have none. A writing
// transaction holds the named mutex kWriterMutexName (so two writers of one
// computer, or of one Wine prefix, run one after the other) and keeps an undo
// journal: before each change, what it replaces is written to the registry key
// HKCU\kJournalKeyPath; Commit drops the journal in one call, Rollback (and a
// savepoint's) undoes the changes in reverse. Other processes see each change
// as it is made, not at Commit. A writer that dies mid-transaction leaves its
// journal behind; the next writer (or the next start) undoes it, so a cut-off
// change is all or nothing after all, only later.
#pragma once

#include <memory>
#include <string>

#include "platform/api/Backend.h"

namespace tarnel::platform::win32 {

inline constexpr char kWriterMutexName[] = "TarnelStoreWriter";
inline constexpr char kJournalKeyPath[] = "Software\\Tarnel.UndoJournal";

class TWin32Backend final : public TPlatformBackend {
public:
    TWin32Backend();
    ~TWin32Backend() override;

    std::string Describe() const override;
    TMachineFamily Family() override;
    // Windows inside Wine: ntdll exports wine_get_version.
    bool WineMachine() override;
    int View() const override;
    std::string DriverCallsRefused() const override;
    // The view of a 64-bit system the calls see: 0 for the program's own,
    // 32 or 64. The other bitness's registry is reached with
    // KEY_WOW64_32KEY or KEY_WOW64_64KEY and its system folder named, but
    // its drivers cannot load in this process: the codec manager's calls
    // are then refused with `refusal` (a text of the caller's, or this
    // backend's own when empty). Throws EPlatformError for a 64-bit view of
    // a 32-bit system.
    void SetView(int view, const std::string& refusal = {});

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

    std::unique_ptr<TMappedFile> MapFileA(const std::string& path) override;
    TDriverFileCheck CheckDriverFile(const std::string& driver) override;
    bool GetVersionExA(OSVERSIONINFOEXA* info) override;
    std::string GetSystemDirectoryA() override;
    std::string GetWindowsDirectoryA() override;
    std::string FormatLocalDateTimeNow() override;

    // The Linux path of a file named as Windows names it, when Windows runs
    // inside Wine; empty elsewhere or when it has none.
    static std::string UnixPathOf(const std::string& windowsPath);
    // The Windows name of a Linux path under Wine (the drive it lies on, or
    // Wine's \\?\unix\ form); the path itself elsewhere.
    static std::string WindowsPathOfUnix(const std::string& unixPath);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// True when this Windows is Wine (ntdll exports wine_get_version).
bool RunsOnWine();

// The system's words for a Windows error code ("Access is denied."), without
// the line break the system ends them with.
std::string SystemMessage(uint32_t error);

}  // namespace tarnel::platform::win32
