// The one seam between the program and the machine it works on. Every
// Windows-shaped call of the platform headers forwards to the backend that
// start-up chose; nothing above the platform layer knows which one runs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/api/CodecManager.h"
#include "platform/api/OsVersion.h"

namespace tarnel::platform {

// A registry key handle; 0 is none. The predefined roots have fixed values.
using RegKey = uintptr_t;

// Which store the codec entries of a machine live in, decided once from its
// OS facts (the platform number of the version query).
enum class TMachineFamily { Unsupported, Win9x, NT };

// The one mapping from the platform number the version query gives: 1 the
// 95/98/ME family, 2 the NT family, anything else (Win32s, or 0 for a query
// that failed) a system the program does not support.
constexpr TMachineFamily FamilyOfPlatformId(uint32_t platformId) {
    return platformId == 1 ? TMachineFamily::Win9x : platformId == 2 ? TMachineFamily::NT : TMachineFamily::Unsupported;
}

// A file of the machine mapped for reading, looked at through one view of
// a range at a time, so that a file of any size costs only the range looked
// at (CreateFileMapping, then MapViewOfFile with an offset).
class TMappedFile {
public:
    virtual ~TMappedFile() = default;
    virtual uint64_t Size() const = 0;
    // The bytes [offset, offset + length) of the file, which must lie within
    // it; valid until the next View or the end of the object. Null for no
    // bytes. Throws EPlatformError, naming the file, when the system cannot
    // map them.
    virtual const unsigned char* View(uint64_t offset, size_t length) = 0;
};

// What loading a codec's driver file would meet, for marking entries that
// cannot work. Path is the file as Windows names it: where it was found, or
// for a missing bare name where the system folder would hold it.
enum class TDriverFileState { Unknown, Loadable, NotFound, NotImage, NoDriverProc };
struct TDriverFileCheck {
    TDriverFileState State = TDriverFileState::Unknown;
    std::string Path;
};

// One registry value as the ANSI calls give it.
struct RegValue {
    std::string Name;
    uint32_t Type = 0;
    std::string Data;
};

class TPlatformBackend {
public:
    virtual ~TPlatformBackend() = default;

    // Where the calls go, for the log and the about box ("/home/x/.wine",
    // "/home/x/.local/share/tarnel/machine (demo machine)").
    virtual std::string Describe() const = 0;
    // The machine's folder on this computer (a Wine prefix, a machine made
    // by tarnelctl init); empty where the machine is the computer itself.
    virtual std::filesystem::path Folder() const { return {}; }
    // True when writes are refused for the whole run; Describe() then says why.
    virtual bool ReadOnly() const { return false; }
    virtual std::string ReadOnlyReason() const { return {}; }
    // True when a codec's configure and about dialogs are windows of another
    // process (the driver's own, drawn by Wine), which the program's
    // windows cannot own or raise.
    virtual bool DriverDialogsOfAnotherProcess() const { return false; }

    // The family every call of this backend holds to: the codec manager, the
    // system folder and the version query all ask this one function.
    virtual TMachineFamily Family() = 0;

    // True when the machine is one that Wine runs (a Wine prefix, whichever
    // backend serves it): Wine's codec manager finds codecs through the
    // registry's Drivers32 entries and, after them, SYSTEM.INI's [drivers32]
    // lines, on the NT family too.
    virtual bool WineMachine() { return false; }
    // Which view of a machine with two (a 64-bit Wine prefix) the calls see:
    // 32 (the Wow6432Node keys, syswow64) or 64 (the native keys, system32);
    // 0 on a machine of one view.
    virtual int View() const { return 0; }
    // Why the codec manager cannot serve this view (no process of its
    // bitness can run here): info, configure, about and the scan's probes
    // are refused with it, while the lists still load. Empty when it can.
    virtual std::string DriverCallsRefused() const { return {}; }
    // Starts reading the machine's store on another thread, for a program
    // that has other work to do first; the first call that needs it takes
    // what was read. Nothing where the store is not files of this backend.
    virtual void PrefetchStore() {}

    // Registry (advapi32). Results are Windows error codes.
    virtual long RegOpenKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired,
                               RegKey* result) = 0;
    virtual long RegCreateKeyExA(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result,
                                 uint32_t* disposition) = 0;
    virtual long RegCloseKey(RegKey key) = 0;
    virtual long RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* nameChars) = 0;
    virtual long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type,
                               uint8_t* data, uint32_t* dataBytes) = 0;
    virtual long RegQueryInfoKeyA(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                                  uint32_t* maxValueNameChars, uint32_t* maxValueBytes) = 0;
    virtual long RegQueryValueExA(RegKey key, const char* name, uint32_t* type, uint8_t* data,
                                  uint32_t* dataBytes) = 0;
    virtual long RegSetValueExA(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                                uint32_t dataBytes) = 0;
    virtual long RegDeleteValueA(RegKey key, const char* name) = 0;
    virtual long RegDeleteKeyA(RegKey key, const char* subKey) = 0;
    // Every value of the key, appended in enumeration order, as RegEnumValueA
    // gives them one by one (which is what this does unless a backend that
    // holds the values itself hands them over in one pass).
    virtual long RegGetValues(RegKey key, std::vector<RegValue>& values);
    // Whether the key holds a value that RegSetValueExA with these arguments
    // would leave exactly as it is (name spelt the same, same type, the same
    // data as stored): a writer may then leave it standing. A backend that
    // cannot tell answers false.
    virtual bool RegValueHoldsA(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                                uint32_t dataBytes) {
        return false;
    }
    // The same for at most `count` values from position `first` on: a key
    // of many values read a part at a time never holds them all at once.
    virtual long RegGetValueRange(RegKey key, uint32_t first, uint32_t count, std::vector<RegValue>& values);
    // The same values handed to `visit` one at a time, in a value the
    // backend may reuse for the next: a pass that keeps none of them costs
    // no copy of each. `visit` must not change the key.
    virtual long RegVisitValues(RegKey key, const std::function<void(const RegValue&)>& visit);
    // What the last failed registry call of this thread could not do, in
    // words naming the file or key ("system.reg: No space left on device",
    // a parse error with file and line); empty when there is nothing to add.
    virtual std::string RegLastErrorDetail() { return {}; }
    // The open key's path from its root as the store spells it; empty when
    // the backend cannot tell.
    virtual std::string RegKeyPath(RegKey key) { return {}; }

    // Transactions: the api layer counts the nesting and calls these for
    // the outermost one only. A writing transaction holds the machine's
    // lock from Begin to Commit/Rollback; its changes reach the store at
    // Commit, one replacement per changed file, all files or none.
    // A scratch transaction's changes are seen by every call of this process
    // (the codec manager included) and always dropped at its end: it writes
    // nothing, so it needs no right to write.
    virtual void BeginTransaction(bool write) = 0;
    virtual void BeginScratchTransaction() = 0;
    virtual void CommitTransaction() = 0;
    virtual void RollbackTransaction() = 0;
    // Marks inside a transaction that the changes made after them can be
    // undone alone (the scan's probes). Returns the mark's number.
    virtual int SetSavepoint() = 0;
    virtual void RollbackToSavepoint(int mark) = 0;

    // Profile file (kernel32).
    virtual uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                               const char* file) = 0;
    virtual uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                              char* buffer, uint32_t size, const char* file) = 0;
    virtual bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                            const char* file) = 0;

    // Video compression manager (msvfw32).
    virtual HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode) = 0;
    virtual intptr_t ICGetInfo(HIC hic, ICINFO* info, uint32_t cb) = 0;
    virtual intptr_t ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2) = 0;
    virtual intptr_t ICClose(HIC hic) = 0;

    // Version resources (version.dll).
    virtual uint32_t GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle) = 0;
    virtual bool GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data) = 0;
    // size 0: a buffer GetFileVersionInfoA filled, whose size the backend knows.
    virtual bool VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer,
                                uint32_t* len) = 0;
    // Lets the version calls read this file of the computer by its own path
    // (a file a user names on the command line); where every path is the
    // computer's own, nothing needs admitting.
    virtual void AdmitHostFile(const std::filesystem::path& file) {}

    // A file named as a Windows path ("C:\WINDOWS\system32\x.dll") mapped
    // for reading (CreateFileA, CreateFileMappingA; MapViewOfFile by View). Throws
    // EPlatformError in the platform's words, naming the file, when it
    // cannot be opened or read. An empty file maps to no bytes.
    virtual std::unique_ptr<TMappedFile> MapFileA(const std::string& path) = 0;

    // Whether the driver a codec entry names could be loaded (found, a PE
    // image, exporting DriverProc). A backend that cannot tell answers
    // Unknown, which marks nothing.
    virtual TDriverFileCheck CheckDriverFile(const std::string& driver) { return {}; }

    // A journal of an unfinished save that the backend keeps beside the
    // store and that failed its check stops every write until it is dealt
    // with: one that passes its check is finished, one that fails it is
    // discarded. Says what was done.
    virtual std::string DiscardJournal();

    // OS facts (kernel32).
    virtual bool GetVersionExA(OSVERSIONINFOEXA* info) = 0;
    virtual std::string GetSystemDirectoryA() = 0;
    virtual std::string GetWindowsDirectoryA() = 0;
    virtual std::string FormatLocalDateTimeNow() = 0;
};

// Where a driver's own configure and about dialogs appear when the backend
// cannot let the driver draw them itself (the emulated machine): the windows
// install a host that shows a modal dialog titled with the driver's name;
// without one a dialog counts as shown and closed at once.
using TDriverDialogHost = std::function<void(bool configure, const std::string& title, const std::string& text)>;
void SetDriverDialogHost(TDriverDialogHost host);
const TDriverDialogHost& DriverDialogHost();

// Where the platform tells what it noticed but went on with (odd lines of a
// registry file it kept as they were): the program's log, or standard error.
void SetDiagnosticSink(std::function<void(const std::string& text)> sink);
void ReportDiagnostic(const std::string& text);

// The view's words for the status bar and the log: "32-bit view" or
// "64-bit view"; empty for a machine of one view.
std::string ViewText(int view);

// Makes `backend` the one every platform call uses; returns the previous one.
std::unique_ptr<TPlatformBackend> UseBackend(std::unique_ptr<TPlatformBackend> backend);
// The backend in use; throws EPlatformError when start-up chose none.
TPlatformBackend& CurrentBackend();
bool HasBackend();

// Nothing was chosen to work on, or a backend cannot serve a call.
class EPlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace tarnel::platform
