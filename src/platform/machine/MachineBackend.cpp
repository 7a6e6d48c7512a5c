#include "platform/machine/MachineBackend.h"
#include "platform/machine/WinePrefix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/api/WinError.h"

#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/api/VersionApi.h"
#include "platform/machine/CodecManager.h"
#include "platform/machine/DriverFiles.h"
#include "platform/machine/HostMapping.h"
#include "platform/machine/Machine.h"
#include "platform/machine/MachineRegistry.h"
#include "platform/machine/StoreFiles.h"

namespace fs = std::filesystem;

namespace tarnel::platform::machine {

namespace {
// The first bytes of a small file; empty when it cannot be read.
std::string ReadSmallFile(const fs::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    char buf[256];
    ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}
}  // namespace

// The profile calls (Profile.cpp) and the version calls (VersionApi.cpp).
uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size, const char* file);
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* buffer,
                                  uint32_t size, const char* file);
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file);
void EditProfileText(ProfileText& text, const StoreOp& op);
void AdmitHostFile(const std::filesystem::path& file);
uint32_t GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle);
bool GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data);
bool VerQueryValueA(void* block, const std::string& subBlock, void** buffer, uint32_t* len);
bool VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer, uint32_t* len);

// The OS facts of the machine (OsVersion.cpp).
bool GetVersionExA(OSVERSIONINFOEXA* info);
std::string GetSystemDirectoryA();
std::string GetWindowsDirectoryA();
std::string FormatLocalDateTimeNow();
TMachineFamily FamilyFromFacts();

// A Wine server running on the folder keeps the registry in memory and
// writes it back later, over whatever we wrote: while one runs, nothing is
// written. The server holds a lock on the file "lock" of its folder
// server-<device>-<inode> (named after the prefix folder), which lies in
// /tmp/.wine-<uid>/, or, where Wine makes its own folder under $TMPDIR,
// in the one the prefix's file "wineserver" names.
namespace {
bool ServerLockHeld(const std::string& serverDir, pid_t& holder) {
    int fd = ::open((serverDir + "/lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock query {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    bool held = ::fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
    ::close(fd);
    holder = query.l_pid;
    return held;
}
}  // namespace

std::string WineServerRefusal(const fs::path& root) {
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0) return {};
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", (unsigned long long)st.st_dev,
                  (unsigned long long)st.st_ino);
    std::vector<std::string> dirs = {"/tmp/.wine-" + std::to_string(::getuid())};
    std::string own = ReadSmallFile(root / "wineserver");
    while (!own.empty() && (own.back() == '\n' || own.back() == '\r')) own.pop_back();
    if (!own.empty() && own.find('/') == std::string::npos && own != "." && own != "..") {
        const char* tmp = std::getenv("TMPDIR");
        dirs.push_back(std::string(tmp && *tmp ? tmp : "/tmp") + "/" + own);
        if (tmp && *tmp) dirs.push_back("/tmp/" + own);
    }
    pid_t holder = 0;
    bool held = false;
    for (const std::string& dir : dirs)
        if ((held = ServerLockHeld(dir + "/" + name, holder))) break;
    if (!held) return {};
    return "Wine is running on the prefix '" + root.string() + "' (its server, process " + std::to_string(holder) +
           ", keeps the registry in memory and would overwrite any change): close the prefix's programs or run "
           "'wineserver -k', then try again. Nothing was changed.";
}

struct TMachineBackend::Impl {
    explicit Impl(TMachineBackend& self, const fs::path& root) : root(root), files(root), registry(files), codecs(self) {}
    fs::path root;
    StoreFiles files;
    MachineRegistry registry;
    CodecManager codecs;
    CodecDialogHandler dialogs;
    TransactionCache cache;
    std::string registryDetail;  // what the last failed registry call said
    // The family, worked out again whenever the system hive changes.
    uint64_t familyGeneration = 0;
    TMachineFamily family = TMachineFamily::Unsupported;
    bool computingFamily = false;
    bool wine = false;  // a Wine prefix
    int bits = 32;      // its bitness: a 64-bit prefix has two views
    int view = 0;
};

TMachineBackend::TMachineBackend(const fs::path& root) {
    std::error_code ec;
    if (!fs::is_directory(root, ec))
        throw EFileError("The machine folder '" + root.string() + "' does not exist");
    impl_ = std::make_unique<Impl>(*this, fs::absolute(root, ec));
    // A profile write made during a transaction is made again on top of
    // another process's version of the file when that one changed meanwhile.
    impl_->files.SetProfileEditor(&EditProfileText);
    impl_->files.SetWriteGuard([root = impl_->root] { return WineServerRefusal(root); });
    impl_->files.SetWarningSink(&ReportDiagnostic);
    impl_->wine = IsWinePrefixFolder(impl_->root);
    impl_->bits = impl_->wine ? WinePrefixBits(impl_->root) : 32;
    SetView(0);
}

MachineRegistry& TMachineBackend::RegistryCalls() { return impl_->registry; }

bool TMachineBackend::HasTwoViews() const { return impl_->wine && impl_->bits == 64; }

void TMachineBackend::SetView(int view) {
    if (view != 0 && view != 32 && view != 64)
        throw EPlatformError("A view is 32 or 64, not " + std::to_string(view));
    if (!HasTwoViews()) {
        if (view == 64)
            throw EPlatformError("The machine '" + impl_->root.string() + "' has no 64-bit view: " +
                                 (impl_->wine ? "it is a 32-bit Wine prefix" : "it is a 32-bit machine") +
                                 ", whose one view is the 32-bit one");
        view = 0;
    } else if (view == 0) {
        // The program's own: a 32-bit program sees the 32-bit view.
        view = 32;
    }
    impl_->view = view;
    impl_->registry.SetWow32(view == 32);
}

bool TMachineBackend::WineMachine() { return impl_->wine; }
int TMachineBackend::View() const { return impl_->view; }

TMachineBackend::~TMachineBackend() = default;

const fs::path& TMachineBackend::Root() const { return impl_->root; }
StoreFiles& TMachineBackend::Files() { return impl_->files; }
void TMachineBackend::PrefetchStore() { impl_->files.Prefetch(); }
void TMachineBackend::SetCodecDialogHandler(CodecDialogHandler handler) { impl_->dialogs = std::move(handler); }
const CodecDialogHandler& TMachineBackend::DialogHandler() const { return impl_->dialogs; }
void TMachineBackend::SetReadOnly(const std::string& reason) { impl_->files.SetReadOnly(reason); }

TransactionCache* TMachineBackend::Cache() {
    StoreFiles& files = impl_->files;
    if (!files.InTransaction()) return nullptr;
    if (impl_->cache.serial != files.TransactionSerial()) {
        impl_->cache = TransactionCache{};
        impl_->cache.serial = files.TransactionSerial();
    }
    return &impl_->cache;
}

TransactionCache* ActiveCache() { return MachineInUse() ? CurrentMachine().Cache() : nullptr; }

bool TMachineBackend::IsDemo() const {
    std::error_code ec;
    return fs::exists(impl_->root / kDemoMarkerFile, ec);
}

std::string TMachineBackend::Describe() const {
    return impl_->root.string() + (IsDemo() ? " (demo machine)" : "");
}

bool TMachineBackend::ReadOnly() const { return !impl_->files.ReadOnlyReason().empty(); }
std::string TMachineBackend::ReadOnlyReason() const { return impl_->files.ReadOnlyReason(); }

TMachineFamily TMachineBackend::Family() {
    // The facts are read through the registry, which may ask for the family
    // again (the system folder): answer that from what is known so far.
    if (impl_->computingFamily) return impl_->family;
    StoreFile& system = impl_->files.Hive(FileKind::SystemHive);
    if (impl_->familyGeneration != system.generation || impl_->familyGeneration == 0) {
        impl_->computingFamily = true;
        try {
            impl_->family = FamilyFromFacts();
        } catch (...) {
            impl_->family = TMachineFamily::Unsupported;
        }
        impl_->computingFamily = false;
        impl_->familyGeneration = impl_->files.Hive(FileKind::SystemHive).generation;
    }
    return impl_->family;
}

// The registry's failures are exceptions inside; here, at the API's edge,
// they become the codes Windows answers with.
template <class Call>
long TMachineBackend::Registry(Call&& call) {
    return AtApiEdge(impl_->registryDetail, kErrorRegistryIoFailed, std::forward<Call>(call));
}

long TMachineBackend::RegOpenKeyExA(RegKey key, const char* subKey, uint32_t, uint32_t samDesired, RegKey* result) {
    return Registry([&] { impl_->registry.OpenKey(key, subKey, samDesired, result); });
}
long TMachineBackend::RegCreateKeyExA(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result,
                                      uint32_t* disposition) {
    return Registry([&] { impl_->registry.CreateKey(key, subKey, samDesired, result, disposition); });
}
long TMachineBackend::RegCloseKey(RegKey key) {
    return Registry([&] { impl_->registry.CloseKey(key); });
}
long TMachineBackend::RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* nameChars) {
    return Registry([&] { impl_->registry.EnumKey(key, index, name, nameChars); });
}
long TMachineBackend::RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type,
                                    uint8_t* data, uint32_t* dataBytes) {
    return Registry([&] { impl_->registry.EnumValue(key, index, name, nameChars, type, data, dataBytes); });
}
long TMachineBackend::RegGetValues(RegKey key, std::vector<RegValue>& values) {
    return Registry([&] { impl_->registry.GetValues(key, values); });
}
bool TMachineBackend::RegValueHoldsA(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                                     uint32_t dataBytes) {
    bool holds = false;
    Registry([&] { holds = impl_->registry.ValueHolds(key, name, type, data, dataBytes); });
    return holds;
}
long TMachineBackend::RegGetValueRange(RegKey key, uint32_t first, uint32_t count, std::vector<RegValue>& values) {
    return Registry([&] { impl_->registry.GetValues(key, values, first, count); });
}
long TMachineBackend::RegVisitValues(RegKey key, const std::function<void(const RegValue&)>& visit) {
    return Registry([&] { impl_->registry.VisitValues(key, visit); });
}
long TMachineBackend::RegQueryInfoKeyA(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                                       uint32_t* maxValueNameChars, uint32_t* maxValueBytes) {
    return Registry([&] {
        impl_->registry.QueryInfoKey(key, subKeys, maxSubKeyChars, values, maxValueNameChars, maxValueBytes);
    });
}
long TMachineBackend::RegQueryValueExA(RegKey key, const char* name, uint32_t* type, uint8_t* data,
                                       uint32_t* dataBytes) {
    return Registry([&] { impl_->registry.QueryValue(key, name, type, data, dataBytes); });
}
long TMachineBackend::RegSetValueExA(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                                     uint32_t dataBytes) {
    return Registry([&] { impl_->registry.SetValue(key, name, type, data, dataBytes); });
}
long TMachineBackend::RegDeleteValueA(RegKey key, const char* name) {
    return Registry([&] { impl_->registry.DeleteValue(key, name); });
}
long TMachineBackend::RegDeleteKeyA(RegKey key, const char* subKey) {
    return Registry([&] { impl_->registry.DeleteKey(key, subKey); });
}
std::string TMachineBackend::RegLastErrorDetail() { return impl_->registryDetail; }
std::string TMachineBackend::RegKeyPath(RegKey key) { return impl_->registry.KeyPath(key); }

namespace {
// The store's own failures reach the program as the registry's errors: the
// transaction calls throw, as the registry object does.
template <class Call>
auto AsRegistryError(Call&& call) {
    try {
        return call();
    } catch (const EStoreWrite& e) {
        throw ERegistryException(e.what());
    }
}
}  // namespace

void TMachineBackend::BeginTransaction(bool write) {
    AsRegistryError([&] { impl_->files.Begin(write); });
}
void TMachineBackend::BeginScratchTransaction() { impl_->files.BeginScratch(); }
void TMachineBackend::CommitTransaction() {
    AsRegistryError([&] { impl_->files.Commit(); });
}
void TMachineBackend::RollbackTransaction() { impl_->files.Rollback(); }
std::string TMachineBackend::DiscardJournal() {
    return AsRegistryError([&] { return impl_->files.DiscardJournal(); });
}
int TMachineBackend::SetSavepoint() { return impl_->files.SetSavepoint(); }
void TMachineBackend::RollbackToSavepoint(int mark) { impl_->files.RollbackToSavepoint(mark); }

uint32_t TMachineBackend::GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                                    const char* file) {
    return machine::GetPrivateProfileSectionA(section, buffer, size, file);
}
uint32_t TMachineBackend::GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                                   char* buffer, uint32_t size, const char* file) {
    return machine::GetPrivateProfileStringA(section, key, def, buffer, size, file);
}
bool TMachineBackend::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                                 const char* file) {
    return machine::WritePrivateProfileStringA(section, key, value, file);
}

HIC TMachineBackend::ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode) {
    return impl_->codecs.Open(fccType, fccHandler, mode);
}
intptr_t TMachineBackend::ICGetInfo(HIC hic, ICINFO* info, uint32_t cb) { return impl_->codecs.GetInfo(hic, info, cb); }
intptr_t TMachineBackend::ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2) {
    return impl_->codecs.SendMessage(hic, msg, p1, p2);
}
intptr_t TMachineBackend::ICClose(HIC hic) { return impl_->codecs.Close(hic); }

uint32_t TMachineBackend::GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle) {
    return machine::GetFileVersionInfoSizeA(file, handle);
}
bool TMachineBackend::GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data) {
    return machine::GetFileVersionInfoA(file, handle, len, data);
}
bool TMachineBackend::VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer,
                                     uint32_t* len) {
    return size ? machine::VerQueryValueA(block, size, subBlock, buffer, len)
                : machine::VerQueryValueA(block, subBlock, buffer, len);
}
void TMachineBackend::AdmitHostFile(const std::filesystem::path& file) { machine::AdmitHostFile(file); }

std::unique_ptr<TMappedFile> TMachineBackend::MapFileA(const std::string& path) {
    MachineFileLookup found = LookUpMachineFile(path);
    if (!found.file) {
        const char* why = found.error == kErrorPathNotFound ? "The system cannot find the path specified"
                          : found.error == kErrorAccessDenied ? "Access is denied"
                                                              : "The system cannot find the file specified";
        throw EPlatformError("Cannot open file " + path + ". " + why + ".");
    }
    return machine::MapHostFile(*found.file, path);
}

namespace {
// The Windows name of a file found for a bare name: the folder as the
// system names it (its system directory, ...), then the file's own name.
std::optional<std::string> WindowsNameOf(const fs::path& hostFile) {
    const std::string windows = machine::GetWindowsDirectoryA();
    for (const std::string& folder : {machine::GetSystemDirectoryA(), windows + "\\system", windows}) {
        auto host = MapWindowsPath(folder);
        if (host && host->lexically_normal() == hostFile.parent_path().lexically_normal())
            return folder + "\\" + hostFile.filename().string();
    }
    return std::nullopt;
}
}  // namespace

TDriverFileCheck TMachineBackend::CheckDriverFile(const std::string& driver) {
    TDriverFileCheck check;
    if (driver.empty()) {
        check.State = TDriverFileState::NotFound;
        return check;
    }
    const bool bare = driver.find_first_of("\\/") == std::string::npos;
    auto file = ResolveMachineFile(driver);
    if (!file) {
        check.State = TDriverFileState::NotFound;
        check.Path = bare ? machine::GetSystemDirectoryA() + "\\" + driver : driver;
        return check;
    }
    auto shown = WindowsNameOf(*file);
    check.Path = bare && shown ? *shown : driver;
    DriverFile scratch;
    const DriverFile& facts = DriverFileFacts(*file, scratch);
    check.State = !facts.image        ? TDriverFileState::NotImage
                  : !facts.driverProc ? TDriverFileState::NoDriverProc
                                      : TDriverFileState::Loadable;
    return check;
}

bool TMachineBackend::GetVersionExA(OSVERSIONINFOEXA* info) { return machine::GetVersionExA(info); }
std::string TMachineBackend::GetSystemDirectoryA() { return machine::GetSystemDirectoryA(); }
std::string TMachineBackend::GetWindowsDirectoryA() { return machine::GetWindowsDirectoryA(); }
std::string TMachineBackend::FormatLocalDateTimeNow() { return machine::FormatLocalDateTimeNow(); }

TMachineBackend& CurrentMachine() {
    auto* m = dynamic_cast<TMachineBackend*>(&CurrentBackend());
    if (!m) throw EPlatformError("The platform in use is not an emulated machine");
    return *m;
}

bool MachineInUse() { return HasBackend() && dynamic_cast<TMachineBackend*>(&CurrentBackend()) != nullptr; }

}  // namespace tarnel::platform::machine
