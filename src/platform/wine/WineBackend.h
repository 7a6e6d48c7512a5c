// The wine backend: a live Wine prefix served by Wine itself. It starts the
// win32 backend's bridge (tarnel-bridge.exe) under the prefix's Wine and
// forwards every platform call to it over a pipe, so the registry is the one
// Wine's server holds (a change made while Wine runs is never overwritten),
// the codec manager loads the real drivers and their dialogs are their own.
// The bridge's bitness fits the prefix: a 64-bit prefix is served by the
// 64-bit bridge (the native registry view, its drivers from system32), a
// 32-bit prefix by the 32-bit bridge, which needs Wine's 32-bit side.
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

// The `wine` program on the PATH; empty when there is none.
std::string FindWine();

// What a start that cannot work says when Wine lacks its 32-bit side (on
// Debian the package wine32:i386).
inline constexpr char kNo32BitWine[] = "32-bit Windows programs cannot run: wine32:i386 is not installed";

// The bridge programs at hand, each known by the processor its file is
// made for; empty paths where there is none.
struct TBridgeFiles {
    std::filesystem::path Named;  // $TARNEL_BRIDGE, whatever its bitness
    int NamedBits = 0;            // 32, 64, or 0 when it is no Windows program
    std::filesystem::path Bits32, Bits64;
};

// The bridge that serves a prefix, or why none can (Refusal).
struct TBridgeChoice {
    std::filesystem::path Bridge;
    int Bits = 0;
    std::string Refusal;
    int View = 0;               // 32 or 64 on a 64-bit prefix, 0 on a 32-bit one
    std::string DriverRefusal;  // why this bridge cannot ask the view's codecs; empty when it can
};

// The choice itself, from the facts alone: a 64-bit prefix takes the 64-bit
// bridge, a 32-bit one the 32-bit bridge when Wine runs 32-bit programs. A
// named bridge is used as named, unless it is a 32-bit one that cannot run
// where a 64-bit bridge can serve the prefix.
TBridgeChoice ChooseBridge(const std::filesystem::path& prefix, int prefixBits, const TBridgeFiles& bridges,
                           bool wineRuns32Bit);
// The bridge that serves one view of a prefix (0: the program's own, the
// 32-bit one): the bridge of the view's bitness where it can run. Without
// Wine's 32-bit side the 64-bit bridge serves a 64-bit prefix's 32-bit view
// (its registry through KEY_WOW64_32KEY, syswow64), and DriverRefusal says
// why its codecs cannot be asked. A 32-bit prefix has no 64-bit view.
TBridgeChoice ChooseViewBridge(const std::filesystem::path& prefix, int prefixBits, int view,
                               const TBridgeFiles& bridges, bool wineRuns32Bit);

class TWineBackend final : public TPlatformBackend {
public:
    // Starts the bridge that fits the prefix (`bridge` when one is named,
    // else ChooseBridge over FindBridges) with `wine`, and greets it. Throws
    // EPlatformError naming the cause: no Wine, a folder that is no prefix or
    // one Wine refuses, no 32-bit Wine for a 32-bit prefix, no bridge, or
    // what Wine said when the bridge did not start.
    // `view` -1 takes the bridge ChooseBridge picks and its own view; 0, 32
    // or 64 a view as ChooseViewBridge serves it.
    explicit TWineBackend(const std::filesystem::path& prefix, const std::filesystem::path& bridge = {},
                          const std::string& wine = FindWine(), int view = -1);
    ~TWineBackend() override;
    bool DriverDialogsOfAnotherProcess() const override { return true; }

    const std::filesystem::path& Prefix() const;
    // 32 or 64: the bridge serving the prefix, and so the view of it (a
    // 32-bit bridge on a 64-bit prefix sees Wow6432Node and syswow64).
    int BridgeBits() const;
    // The bridge's process (the Windows program Wine runs), for tests that
    // end it at a chosen moment.
    pid_t BridgeProcess() const;

    std::string Describe() const override;
    std::filesystem::path Folder() const override { return Prefix(); }
    TMachineFamily Family() override;
    bool WineMachine() override { return true; }
    int View() const override;
    std::string DriverCallsRefused() const override;

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

// True when Wine has run on the folder (it holds Wine's dosdevices).
bool IsWinePrefix(const std::filesystem::path& folder);
// 64 for a 64-bit prefix (its system.reg says "#arch=win64", or, older than
// that note, its Windows folder has syswow64), else 32.
int PrefixBits(const std::filesystem::path& prefix);
// 32 or 64 for a Windows program file (by the processor its PE header
// names), 0 for anything else.
int ProgramBits(const std::filesystem::path& file);
// True when this Wine runs 32-bit Windows programs: Debian's launcher finds
// its 32-bit loader (wine32:i386), a Wine built from source its
// i386-windows libraries.
bool WineRuns32Bit(const std::string& wine);
// The bridges: $TARNEL_BRIDGE as named; else tarnel-bridge.exe (32-bit) and
// tarnel-bridge64.exe (64-bit) beside the running program, else in
// libexec/tarnel beside its bin folder (installed), else the ones the build
// made. Each file counts for the bitness its header names.
TBridgeFiles FindBridges();

}  // namespace tarnel::platform::wine
