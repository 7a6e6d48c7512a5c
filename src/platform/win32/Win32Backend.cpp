#include "platform/win32/Win32Backend.h"

#include <windows.h>
#include <vfw.h>
#include <winver.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

#include "platform/api/LockWait.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"
#include "platform/win32/Win32Journal.h"

namespace tarnel::platform::win32 {

static_assert(sizeof(::ICINFO) == sizeof(platform::ICINFO));
static_assert(sizeof(::OSVERSIONINFOEXA) == sizeof(platform::OSVERSIONINFOEXA));

namespace {

std::wstring Widen(const std::string& s) {
    if (s.empty()) return {};
    int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

std::string Narrow(const wchar_t* w, size_t n) {
    if (n == 0) return {};
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, w, int(n), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, w, int(n), s.data(), bytes, nullptr, nullptr);
    return s;
}

// "a\\b\\" and "\\a\\b" name the key a\b below their base.
std::wstring JoinPath(const std::wstring& base, const char* sub) {
    std::wstring s = Widen(sub ? sub : "");
    while (!s.empty() && s.front() == L'\\') s.erase(s.begin());
    while (!s.empty() && s.back() == L'\\') s.pop_back();
    if (base.empty()) return s;
    return s.empty() ? base : base + L"\\" + s;
}

bool IsPredefined(RegKey key) { return key >= 0x80000000u && key <= 0x80000006u; }
// The predefined roots are negative numbers to Windows: a 64-bit program's
// HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002, not 0x80000002.
HKEY H(RegKey key) {
    if (IsPredefined(key)) return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(key)));
    return reinterpret_cast<HKEY>(key);
}

// The kernel's name of an open key ("\REGISTRY\MACHINE\SOFTWARE\..."), in
// the spelling the key was created with.
using NtQueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
std::wstring KernelName(HKEY key) {
    static NtQueryKeyFn query = reinterpret_cast<NtQueryKeyFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryKey")));
    if (!query) return {};
    alignas(4) unsigned char buf[4096];
    ULONG got = 0;
    constexpr int kKeyNameInformation = 3;
    if (query(key, kKeyNameInformation, buf, sizeof buf, &got) != 0) return {};
    ULONG bytes = 0;
    std::memcpy(&bytes, buf, 4);
    return std::wstring(reinterpret_cast<const wchar_t*>(buf + 4), bytes / sizeof(wchar_t));
}

// The mapping stays open; one view of it at a time, so that a file larger
// than the address space is read all the same.
class MappedView final : public TMappedFile {
public:
    MappedView(HANDLE mapping, uint64_t size, std::string shown)
        : mapping_(mapping), size_(size), shown_(std::move(shown)) {}
    ~MappedView() override {
        if (view_) ::UnmapViewOfFile(view_);
        if (mapping_) ::CloseHandle(mapping_);
    }
    uint64_t Size() const override { return size_; }
    const unsigned char* View(uint64_t offset, size_t length) override {
        if (length == 0) return nullptr;
        if (offset > size_ || length > size_ - offset)
            throw EPlatformError("Cannot read file " + shown_ + ". The range asked for lies beyond its end.");
        if (view_ && offset >= viewOffset_ && offset - viewOffset_ + length <= viewLength_)
            return view_ + (offset - viewOffset_);
        if (view_) ::UnmapViewOfFile(view_);
        view_ = nullptr;
        // Views begin on the allocation granularity.
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        const uint64_t start = offset - offset % info.dwAllocationGranularity;
        const size_t span = size_t(offset - start) + length;
        void* view = ::MapViewOfFile(mapping_, FILE_MAP_READ, DWORD(start >> 32), DWORD(start & 0xffffffffu), span);
        if (!view) throw EPlatformError("Cannot read file " + shown_ + ". " + SystemMessage(::GetLastError()));
        view_ = static_cast<const unsigned char*>(view);
        viewOffset_ = start;
        viewLength_ = span;
        return view_ + (offset - start);
    }

private:
    HANDLE mapping_;
    uint64_t size_;
    std::string shown_;
    const unsigned char* view_ = nullptr;
    uint64_t viewOffset_ = 0;
    size_t viewLength_ = 0;
};

}  // namespace

std::string SystemMessage(uint32_t error) {
    char* text = nullptr;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : "Error " + std::to_string(error) + ".";
    if (text) ::LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

struct TWin32Backend::Impl {
    // Where each key handle this backend opened lies, for the journal.
    struct Place {
        HKEY root;
        std::wstring path;
    };
    std::map<RegKey, Place> places;
    HANDLE writerMutex = nullptr;
    bool inTransaction = false;
    bool writing = false;
    TUndoJournal journal;
    // The view: the registry access flag that reaches it (0 for the
    // process's own) and why its drivers cannot be asked here.
    int view = 0;
    REGSAM viewFlag = 0;
    std::string driverRefusal;

    bool Journaling() const { return writing; }

    // The place of a key argument; false for a handle this backend does not know.
    bool PlaceOf(RegKey key, Place& out) const {
        if (IsPredefined(key)) {
            out = {H(key), L""};
            return true;
        }
        auto it = places.find(key);
        if (it == places.end()) return false;
        out = it->second;
        return true;
    }

    void Lock() {
        DWORD rc = ::WaitForSingleObject(writerMutex, 0);
        // Another writer is at work: the wait is said (a window keeps
        // painting meanwhile) and has a limit, as on every machine.
        if (rc == WAIT_TIMEOUT) rc = WaitForWriter();
        if (rc != WAIT_OBJECT_0 && rc != WAIT_ABANDONED)
            throw ERegistryException("Cannot take the registry writers' lock: " + SystemMessage(::GetLastError()));
        // A writer that died while holding the lock left its journal.
        TUndoJournal::UndoLeftOver();
    }
    DWORD WaitForWriter() {
        TLockWait wait;
        wait.Machine = ComputerName();
        wait.Limit = LockWaitLimit();
        const ULONGLONG began = ::GetTickCount64();
        struct Ending {
            TLockWait& wait;
            ~Ending() {
                wait.Phase = TLockWait::Ends;
                PassLockWait(wait);
            }
        } ending{wait};
        bool go = wait.Limit > 0 && PassLockWait(wait);
        for (;;) {
            const DWORD rc = ::WaitForSingleObject(writerMutex, 0);
            if (rc != WAIT_TIMEOUT) return rc;
            wait.Waited = double(::GetTickCount64() - began) / 1000.0;
            if (!go || wait.Waited >= wait.Limit) {
                char limit[32];
                std::snprintf(limit, sizeof limit, "%g", wait.Limit);
                throw ERegistryException(std::string(go ? "Gave up after " + std::string(limit) + " s" : "Stopped") +
                                         " waiting for another program to finish with the registry of '" +
                                         wait.Machine + "'; nothing was changed");
            }
            wait.Phase = TLockWait::Goes;
            go = PassLockWait(wait);
        }
    }
    static std::string ComputerName() {
        char name[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD n = sizeof name;
        return ::GetComputerNameA(name, &n) ? std::string(name, n) : std::string("this computer");
    }
    void Unlock() { ::ReleaseMutex(writerMutex); }
    void End() {
        if (writing) Unlock();
        inTransaction = writing = false;
    }
};

TWin32Backend::TWin32Backend() : impl_(std::make_unique<Impl>()) {
    impl_->writerMutex = ::CreateMutexA(nullptr, FALSE, kWriterMutexName);
    if (!impl_->writerMutex)
        throw EPlatformError("Cannot make the registry writers' lock: " + SystemMessage(::GetLastError()));
    // A change cut off earlier is undone before anything reads the store,
    // unless a writer is at work right now (its journal is its own).
    DWORD rc = ::WaitForSingleObject(impl_->writerMutex, 0);
    if (rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED) {
        TUndoJournal::UndoLeftOver();
        ::ReleaseMutex(impl_->writerMutex);
    }
}

TWin32Backend::~TWin32Backend() {
    if (impl_->inTransaction) {
        impl_->journal.UndoTo(0);
        impl_->End();
    }
    for (const auto& [key, place] : impl_->places) ::RegCloseKey(H(key));
    ::CloseHandle(impl_->writerMutex);
}

std::string TWin32Backend::Describe() const {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD n = sizeof name;
    std::string computer = ::GetComputerNameA(name, &n) ? std::string(name, n) : std::string("this computer");
    return computer + " (the Windows API)";
}

bool RunsOnWine() {
    static const bool wine =
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

namespace {
// 64 when Windows itself is 64-bit (also for a 32-bit program on it).
int SystemBits() {
    if (sizeof(void*) == 8) return 64;
    using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    Fn isWow64 = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow = FALSE;
    return isWow64 && isWow64(::GetCurrentProcess(), &wow) && wow ? 64 : 32;
}
constexpr int kOwnBits = sizeof(void*) == 8 ? 64 : 32;
}  // namespace

bool TWin32Backend::WineMachine() { return RunsOnWine(); }
int TWin32Backend::View() const { return impl_->view; }
std::string TWin32Backend::DriverCallsRefused() const { return impl_->driverRefusal; }

void TWin32Backend::SetView(int view, const std::string& refusal) {
    if (view != 0 && view != 32 && view != 64)
        throw EPlatformError("A view is 32 or 64, not " + std::to_string(view));
    if (SystemBits() == 32) {
        if (view == 64) throw EPlatformError("This Windows is a 32-bit one: it has no 64-bit view");
        impl_->view = 0;
        return;
    }
    if (view == 0) view = kOwnBits;
    impl_->view = view;
    impl_->viewFlag = view == kOwnBits ? 0 : view == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    impl_->driverRefusal.clear();
    if (view != kOwnBits)
        impl_->driverRefusal = !refusal.empty() ? refusal
                               : "The " + std::to_string(view) + "-bit view's drivers load only in a " +
                                     std::to_string(view) + "-bit program, and this one is " +
                                     std::to_string(kOwnBits) + "-bit";
    SetJournalView(impl_->viewFlag);
}

TMachineFamily TWin32Backend::Family() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExA(&info)) return TMachineFamily::Unsupported;
    return FamilyOfPlatformId(info.dwPlatformId);
}

// ---------------------------------------------------------------- registry

long TWin32Backend::RegOpenKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired,
                                  RegKey* result) {
    HKEY opened = nullptr;
    LONG rc = ::RegOpenKeyExA(H(key), subKey, options, samDesired | impl_->viewFlag, &opened);
    if (rc == ERROR_SUCCESS) {
        Impl::Place base;
        if (impl_->PlaceOf(key, base)) impl_->places[RegKey(opened)] = {base.root, JoinPath(base.path, subKey)};
        if (result) *result = RegKey(opened);
    }
    return rc;
}

long TWin32Backend::RegCreateKeyExA(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result,
                                    uint32_t* disposition) {
    Impl::Place base;
    bool known = impl_->PlaceOf(key, base);
    if (impl_->Journaling() && known) {
        // Every key on the way that does not exist yet is made by this call.
        const std::wstring rest = JoinPath(L"", subKey);
        bool missing = false;
        for (size_t at = 0; !rest.empty() && at <= rest.size();) {
            size_t end = rest.find(L'\\', at);
            if (end == std::wstring::npos) end = rest.size();
            const std::wstring prefix = rest.substr(0, end);
            const std::wstring path = base.path.empty() ? prefix : base.path + L"\\" + prefix;
            if (!missing) {
                HKEY probe = nullptr;
                if (::RegOpenKeyExW(base.root, path.c_str(), 0, KEY_READ | impl_->viewFlag, &probe) == ERROR_SUCCESS)
                    ::RegCloseKey(probe);
                else
                    missing = true;
            }
            if (missing) impl_->journal.RecordKeyCreated(base.root, path);
            at = end + 1;
        }
    }
    HKEY made = nullptr;
    DWORD disp = 0;
    LONG rc = ::RegCreateKeyExA(H(key), subKey, 0, nullptr, 0, samDesired | impl_->viewFlag, nullptr, &made, &disp);
    if (rc == ERROR_SUCCESS) {
        if (known) impl_->places[RegKey(made)] = {base.root, JoinPath(base.path, subKey)};
        if (result) *result = RegKey(made);
        if (disposition) *disposition = disp;
    }
    return rc;
}

long TWin32Backend::RegCloseKey(RegKey key) {
    impl_->places.erase(key);
    return ::RegCloseKey(H(key));
}

long TWin32Backend::RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* nameChars) {
    DWORD chars = nameChars ? *nameChars : 0;
    LONG rc = ::RegEnumKeyExA(H(key), index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (nameChars && (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)) *nameChars = chars;
    return rc;
}

long TWin32Backend::RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type,
                                  uint8_t* data, uint32_t* dataBytes) {
    DWORD chars = nameChars ? *nameChars : 0, t = 0, bytes = dataBytes ? *dataBytes : 0;
    LONG rc = ::RegEnumValueA(H(key), index, name, &chars, nullptr, &t, data, dataBytes ? &bytes : nullptr);
    if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        if (nameChars) *nameChars = chars;
        if (type) *type = t;
        if (dataBytes) *dataBytes = bytes;
    }
    return rc;
}

long TWin32Backend::RegQueryInfoKeyA(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                                     uint32_t* maxValueNameChars, uint32_t* maxValueBytes) {
    DWORD k = 0, kc = 0, v = 0, vc = 0, vb = 0;
    LONG rc = ::RegQueryInfoKeyA(H(key), nullptr, nullptr, nullptr, &k, &kc, nullptr, &v, &vc, &vb, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) {
        if (subKeys) *subKeys = k;
        if (maxSubKeyChars) *maxSubKeyChars = kc;
        if (values) *values = v;
        if (maxValueNameChars) *maxValueNameChars = vc;
        if (maxValueBytes) *maxValueBytes = vb;
    }
    return rc;
}

long TWin32Backend::RegQueryValueExA(RegKey key, const char* name, uint32_t* type, uint8_t* data,
                                     uint32_t* dataBytes) {
    DWORD t = 0, bytes = dataBytes ? *dataBytes : 0;
    LONG rc = ::RegQueryValueExA(H(key), name, nullptr, &t, data, dataBytes ? &bytes : nullptr);
    if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        if (type) *type = t;
        if (dataBytes) *dataBytes = bytes;
    }
    return rc;
}

long TWin32Backend::RegSetValueExA(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                                   uint32_t dataBytes) {
    Impl::Place place;
    if (impl_->Journaling() && impl_->PlaceOf(key, place))
        impl_->journal.RecordValue(place.root, place.path, Widen(name ? name : ""));
    return ::RegSetValueExA(H(key), name, 0, type, data, dataBytes);
}

long TWin32Backend::RegDeleteValueA(RegKey key, const char* name) {
    Impl::Place place;
    if (impl_->Journaling() && impl_->PlaceOf(key, place))
        impl_->journal.RecordValue(place.root, place.path, Widen(name ? name : ""));
    return ::RegDeleteValueA(H(key), name);
}

long TWin32Backend::RegDeleteKeyA(RegKey key, const char* subKey) {
    Impl::Place place;
    if (impl_->Journaling() && impl_->PlaceOf(key, place))
        impl_->journal.RecordKeyDeleted(place.root, JoinPath(place.path, subKey));
    if (impl_->viewFlag) return ::RegDeleteKeyExA(H(key), subKey, impl_->viewFlag, 0);
    return ::RegDeleteKeyA(H(key), subKey);
}

std::string TWin32Backend::RegKeyPath(RegKey key) {
    Impl::Place place;
    if (!impl_->PlaceOf(key, place) || IsPredefined(key) || place.path.empty()) return {};
    // The kernel's name ends in the path below the root, spelled as stored;
    // the path asked for has the same length, as names differ only in case.
    const std::wstring name = KernelName(H(key));
    const size_t n = place.path.size();
    if (name.size() <= n || name[name.size() - n - 1] != L'\\') return {};
    const std::wstring stored = name.substr(name.size() - n);
    if (::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, stored.c_str(), int(n), place.path.c_str(), int(n)) !=
        CSTR_EQUAL)
        return {};
    return Narrow(stored.data(), stored.size());
}

// ---------------------------------------------------------------- transactions

void TWin32Backend::BeginTransaction(bool write) {
    impl_->inTransaction = true;
    if (write && !impl_->writing) {
        impl_->Lock();
        impl_->writing = true;
    }
}

void TWin32Backend::BeginScratchTransaction() { BeginTransaction(true); }

void TWin32Backend::CommitTransaction() {
    impl_->journal.Drop();
    impl_->End();
}

void TWin32Backend::RollbackTransaction() {
    impl_->journal.UndoTo(0);
    impl_->End();
}

int TWin32Backend::SetSavepoint() { return int(impl_->journal.Size()); }

void TWin32Backend::RollbackToSavepoint(int mark) { impl_->journal.UndoTo(size_t(mark < 0 ? 0 : mark)); }

// ---------------------------------------------------------------- profile files

uint32_t TWin32Backend::GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                                  const char* file) {
    return ::GetPrivateProfileSectionA(section, buffer, size, file);
}

uint32_t TWin32Backend::GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                                 char* buffer, uint32_t size, const char* file) {
    return ::GetPrivateProfileStringA(section, key, def, buffer, size, file);
}

bool TWin32Backend::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                               const char* file) {
    if (impl_->Journaling() && section && file) impl_->journal.RecordProfile(file, section, key);
    return ::WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

// ---------------------------------------------------------------- codec manager

HIC TWin32Backend::ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode) {
    // This process's codec manager answers for its own view only.
    if (!impl_->driverRefusal.empty()) return 0;
    return HIC(::ICOpen(fccType, fccHandler, mode));
}

intptr_t TWin32Backend::ICGetInfo(HIC hic, ICINFO* info, uint32_t cb) {
    return ::ICGetInfo(reinterpret_cast<::HIC>(hic), reinterpret_cast<::ICINFO*>(info), cb);
}

intptr_t TWin32Backend::ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2) {
    return ::ICSendMessage(reinterpret_cast<::HIC>(hic), msg, DWORD_PTR(p1), DWORD_PTR(p2));
}

intptr_t TWin32Backend::ICClose(HIC hic) { return ::ICClose(reinterpret_cast<::HIC>(hic)); }

// ---------------------------------------------------------------- version resources

namespace {
// A bare driver name of the other view is that view's system folder's file.
std::string InView(TWin32Backend& b, int view, const std::string& file) {
    if (view == kOwnBits || view == 0 || file.find_first_of("\\/:") != std::string::npos) return file;
    const std::string there = b.GetSystemDirectoryA() + "\\" + file;
    return ::GetFileAttributesA(there.c_str()) != INVALID_FILE_ATTRIBUTES ? there : file;
}
}  // namespace

uint32_t TWin32Backend::GetFileVersionInfoSizeA(const std::string& name, uint32_t* handle) {
    const std::string file = InView(*this, impl_->view, name);
    DWORD h = 0;
    DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &h);
    platform::SetLastError(size ? kErrorSuccess : ::GetLastError());
    if (handle) *handle = h;
    return size;
}

bool TWin32Backend::GetFileVersionInfoA(const std::string& name, uint32_t handle, uint32_t len, void* data) {
    const std::string file = InView(*this, impl_->view, name);
    bool ok = ::GetFileVersionInfoA(file.c_str(), handle, len, data) != FALSE;
    platform::SetLastError(ok ? kErrorSuccess : ::GetLastError());
    return ok;
}

bool TWin32Backend::VerQueryValueA(void* block, uint32_t, const std::string& subBlock, void** buffer,
                                   uint32_t* len) {
    UINT n = 0;
    void* at = nullptr;
    bool ok = ::VerQueryValueA(block, subBlock.c_str(), &at, &n) != FALSE;
    if (buffer) *buffer = ok ? at : nullptr;
    if (len) *len = ok ? n : 0;
    return ok;
}

// ---------------------------------------------------------------- files and OS facts

std::unique_ptr<TMappedFile> TWin32Backend::MapFileA(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw EPlatformError("Cannot open file " + path + ". " + SystemMessage(::GetLastError()));
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) {
        DWORD error = ::GetLastError();
        ::CloseHandle(file);
        throw EPlatformError("Cannot read file " + path + ". " + SystemMessage(error));
    }
    if (size.QuadPart == 0) {
        ::CloseHandle(file);
        return std::make_unique<MappedView>(nullptr, 0, path);
    }
    HANDLE mapping = ::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    DWORD error = ::GetLastError();
    ::CloseHandle(file);
    if (!mapping) throw EPlatformError("Cannot read file " + path + ". " + SystemMessage(error));
    return std::make_unique<MappedView>(mapping, uint64_t(size.QuadPart), path);
}

// Where the codec manager looks for a driver named without a folder: the
// system directory, then the Windows directory's "system" and itself. A
// file found there is looked at as far as its image headers; whether it
// exports its entry point is left to the codec manager's own load.
TDriverFileCheck TWin32Backend::CheckDriverFile(const std::string& driver) {
    TDriverFileCheck check;
    check.State = TDriverFileState::NotFound;
    if (driver.empty()) return check;
    const bool bare = driver.find_first_of("\\/") == std::string::npos;
    std::vector<std::string> candidates;
    if (bare) {
        const std::string windows = GetWindowsDirectoryA();
        for (const std::string& folder : {GetSystemDirectoryA(), windows + "\\system", windows})
            candidates.push_back(folder + "\\" + driver);
    } else {
        candidates.push_back(driver);
    }
    check.Path = candidates.front();
    for (const std::string& candidate : candidates) {
        const DWORD attributes = ::GetFileAttributesA(candidate.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        check.Path = candidate;
        check.State = TDriverFileState::NotImage;
        HANDLE file = ::CreateFileA(candidate.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            check.State = TDriverFileState::Unknown;  // there, but not ours to read
            return check;
        }
        IMAGE_DOS_HEADER dos{};
        DWORD got = 0, signature = 0;
        if (::ReadFile(file, &dos, sizeof dos, &got, nullptr) && got == sizeof dos && dos.e_magic == IMAGE_DOS_SIGNATURE &&
            dos.e_lfanew > 0 && ::SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
            ::ReadFile(file, &signature, sizeof signature, &got, nullptr) && got == sizeof signature &&
            signature == IMAGE_NT_SIGNATURE)
            check.State = TDriverFileState::Unknown;
        ::CloseHandle(file);
        return check;
    }
    return check;
}

bool TWin32Backend::GetVersionExA(OSVERSIONINFOEXA* info) {
    return ::GetVersionExA(reinterpret_cast<::OSVERSIONINFOA*>(info)) != FALSE;
}

std::string TWin32Backend::GetSystemDirectoryA() {
    char path[MAX_PATH + 1];
    if (impl_->view == 32 && kOwnBits == 64) {
        UINT n = ::GetSystemWow64DirectoryA(path, sizeof path);
        return n && n < sizeof path ? std::string(path, n) : std::string();
    }
    UINT n = ::GetSystemDirectoryA(path, sizeof path);
    return n && n < sizeof path ? std::string(path, n) : std::string();
}

std::string TWin32Backend::GetWindowsDirectoryA() {
    char path[MAX_PATH + 1];
    UINT n = ::GetWindowsDirectoryA(path, sizeof path);
    return n && n < sizeof path ? std::string(path, n) : std::string();
}

std::string TWin32Backend::FormatLocalDateTimeNow() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char date[128] = "", time[128] = "";
    ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date);
    std::string text = date;
    if (now.wHour || now.wMinute || now.wSecond) {
        ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof time);
        text += std::string(" ") + time;
    }
    return text;
}

// Wine's own exports, present only when Windows is Wine.
std::string TWin32Backend::UnixPathOf(const std::string& windowsPath) {
    using Fn = char*(CDECL*)(const wchar_t*);
    static Fn toUnix = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    std::wstring w = Widen(windowsPath);
    char* unix = toUnix(w.c_str());
    if (!unix) return {};
    std::string s = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return s;
}

std::string TWin32Backend::WindowsPathOfUnix(const std::string& unixPath) {
    using Fn = wchar_t*(CDECL*)(const char*);
    static Fn toDos = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos) return unixPath;
    wchar_t* dos = toDos(unixPath.c_str());
    if (!dos) return unixPath;
    std::string s = Narrow(dos, wcslen(dos));
    ::HeapFree(::GetProcessHeap(), 0, dos);
    return s;
}

}  // namespace tarnel::platform::win32
