// The emulated machine as a platform backend: a folder in Wine's prefix
// layout whose hives, profile file and driver files answer the Windows calls.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/api/Backend.h"

namespace tarnel::platform::machine {

class StoreFiles;
class MachineRegistry;
struct TransactionCache;

// Where a driver's own dialogs appear on the emulated machine. The windows
// install one that shows a real dialog; without one, a dialog is taken as
// shown and closed at once.
enum class CodecDialogKind { Configure, About };
using CodecDialogHandler =
    std::function<void(CodecDialogKind kind, const std::string& title, const std::string& text)>;

class TMachineBackend final : public TPlatformBackend {
public:
    // Works on the machine in `root`, which must be a folder (EFileError
    // naming it otherwise). A save that was cut off there is finished first.
    explicit TMachineBackend(const std::filesystem::path& root);
    ~TMachineBackend() override;

    const std::filesystem::path& Root() const;
    StoreFiles& Files();
    void SetCodecDialogHandler(CodecDialogHandler handler);
    const CodecDialogHandler& DialogHandler() const;
    // Refuses every write of this run with `reason` (a folder or file the
    // user cannot write, a store that does not parse).
    void SetReadOnly(const std::string& reason);
    // What this transaction learned of the machine's files; null outside one.
    TransactionCache* Cache();
    // True when the folder was made as the demo machine.
    bool IsDemo() const;
    // The registry calls, for reading OS facts in the native view.
    MachineRegistry& RegistryCalls();
    // The view the calls see: 0 asks for the machine's default (the 32-bit
    // view of a 64-bit Wine prefix, the one view of any other machine).
    // Throws EPlatformError naming the machine for a view it does not have.
    void SetView(int view);
    // 32 or 64 when the machine has two views (a 64-bit Wine prefix).
    bool HasTwoViews() const;

    std::string Describe() const override;
    std::filesystem::path Folder() const override { return Root(); }
    bool ReadOnly() const override;
    std::string ReadOnlyReason() const override;
    TMachineFamily Family() override;
    bool WineMachine() override;
    int View() const override;
    void PrefetchStore() override;

    long RegOpenKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired,
                       RegKey* result) override;
    long RegCreateKeyExA(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result,
                         uint32_t* disposition) override;
    long RegCloseKey(RegKey key) override;
    long RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* nameChars) override;
    long RegGetValues(RegKey key, std::vector<RegValue>& values) override;
    bool RegValueHoldsA(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                        uint32_t dataBytes) override;
    long RegGetValueRange(RegKey key, uint32_t first, uint32_t count, std::vector<RegValue>& values) override;
    long RegVisitValues(RegKey key, const std::function<void(const RegValue&)>& visit) override;
    long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type, uint8_t* data,
                       uint32_t* dataBytes) override;
    long RegQueryInfoKeyA(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                          uint32_t* maxValueNameChars, uint32_t* maxValueBytes) override;
    long RegQueryValueExA(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* dataBytes) override;
    long RegSetValueExA(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                        uint32_t dataBytes) override;
    long RegDeleteValueA(RegKey key, const char* name) override;
    long RegDeleteKeyA(RegKey key, const char* subKey) override;
    std::string RegLastErrorDetail() override;
    std::string RegKeyPath(RegKey key) override;

    void BeginTransaction(bool write) override;
    void BeginScratchTransaction() override;
    void CommitTransaction() override;
    void RollbackTransaction() override;
    int SetSavepoint() override;
    void RollbackToSavepoint(int mark) override;
    std::string DiscardJournal() override;

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
    TDriverFileCheck CheckDriverFile(const std::string& driver) override;
    bool GetVersionExA(OSVERSIONINFOEXA* info) override;
    std::string GetSystemDirectoryA() override;
    std::string GetWindowsDirectoryA() override;
    std::string FormatLocalDateTimeNow() override;

private:
    template <class Call>
    long Registry(Call&& call);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The machine backend in use; throws EPlatformError when the backend in use
// is not an emulated machine.
TMachineBackend& CurrentMachine();
bool MachineInUse();

// The marker a demo machine carries in its folder.
inline constexpr const char* kDemoMarkerFile = ".tarnel-demo-machine";

}  // namespace tarnel::platform::machine
