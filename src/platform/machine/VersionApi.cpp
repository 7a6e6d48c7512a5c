#include "platform/api/VersionApi.h"

#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>

#include "platform/api/Ansi.h"
#include "platform/api/OsVersion.h"
#include "platform/api/VersionBlock.h"
#include "platform/api/WinError.h"
#include "platform/machine/DriverFiles.h"
#include "platform/machine/Machine.h"
#include "platform/machine/PeImage.h"

namespace fs = std::filesystem;

namespace tarnel::platform::machine {

namespace {

// The ANSI copies of queried strings live after the raw block, behind this
// marker, at the same offset as their UTF-16 original. GetFileVersionInfoA
// writes the marker only when the caller's buffer has that room.
constexpr char kSpareMarker[4] = {'F', 'E', '2', 'X'};
constexpr size_t kNodeHeader = 6;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// VerQueryValueA is handed only a pointer, yet must know how far it may read
// and write: GetFileVersionInfoA records each buffer it fills with its size.
// A record counts only while the buffer still holds the same block.
struct FilledBuffer {
    const void* at;
    size_t size;
    uint16_t rootLength;
    uint64_t fingerprint;
};
constexpr size_t kRememberedBuffers = 64;

std::mutex& FilledMutex() {
    static std::mutex m;
    return m;
}
std::deque<FilledBuffer>& Filled() {
    static std::deque<FilledBuffer> buffers;
    return buffers;
}

// Tells a filled buffer from the same memory holding another block since.
// Every query checks it, so it samples the block: its head, where the keys
// and fixed version numbers of any two blocks differ, and its tail.
uint64_t Fingerprint(const uint8_t* b, size_t n) {
    uint64_t h = 1469598103934665603ull ^ n;
    auto mix = [&](size_t from, size_t to) {
        size_t i = from;
        for (; i + 8 <= to; i += 8) {
            uint64_t w;
            std::memcpy(&w, b + i, 8);
            h = (h ^ w) * 1099511628211ull;
            h ^= h >> 29;
        }
        for (; i < to; ++i) h = (h ^ b[i]) * 1099511628211ull;
    };
    constexpr size_t kSample = 128;
    if (n <= 2 * kSample) {
        mix(0, n);
    } else {
        mix(0, kSample);
        mix(n - kSample, n);
    }
    return h;
}

void Remember(const void* at, size_t size, uint16_t rootLength) {
    const uint64_t fp = Fingerprint(static_cast<const uint8_t*>(at), rootLength);
    std::lock_guard lock(FilledMutex());
    auto& list = Filled();
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->at == at) {
            list.erase(it);
            break;
        }
    list.push_front({at, size, rootLength, fp});
    if (list.size() > kRememberedBuffers) list.pop_back();
}

// The size of the buffer GetFileVersionInfoA filled at `block`; nullopt for
// a buffer it did not fill (or that holds another block since).
std::optional<size_t> RememberedSize(const uint8_t* block, uint16_t rootLength) {
    std::lock_guard lock(FilledMutex());
    for (const FilledBuffer& f : Filled())
        if (f.at == block) {
            if (f.rootLength != rootLength || f.fingerprint != Fingerprint(block, rootLength)) return std::nullopt;
            return f.size;
        }
    return std::nullopt;
}

std::mutex& AdmittedMutex() {
    static std::mutex m;
    return m;
}
std::set<std::string>& Admitted() {
    static std::set<std::string> files;
    return files;
}

std::string HostKey(const fs::path& p) {
    std::error_code ec;
    fs::path abs = fs::absolute(p, ec);
    return (ec ? p : abs).lexically_normal().string();
}

// The host file a version call names: a file of the machine (LookUpMachineFile),
// the program's own file, a host file the program admitted, or a file of the
// machine named by its host path (as ResolveMachineFile hands them out).
MachineFileLookup ResolveVersionFile(const std::string& name) {
    auto hostFile = [](const fs::path& p) -> MachineFileLookup {
        std::error_code ec;
        const auto st = fs::status(p, ec);
        if (ec || !fs::exists(st)) return {std::nullopt, kErrorFileNotFound};
        if (!fs::is_regular_file(st)) return {std::nullopt, kErrorAccessDenied};
        return {p, kErrorSuccess};
    };
    bool admitted = name == ProgramFile();
    if (!admitted) {
        std::lock_guard lock(AdmittedMutex());
        admitted = !Admitted().empty() && Admitted().count(HostKey(name)) > 0;
    }
    if (admitted) return hostFile(name);
    MachineFileLookup r;
    try {
        r = LookUpMachineFile(name);
    } catch (const std::exception&) {
        return {std::nullopt, kErrorPathNotFound};
    }
    if (r.file || name.empty() || name[0] != '/' || !MachineSelected()) return r;
    try {
        std::error_code ec;
        if (fs::exists(name, ec) && !LeadsOutsideMachine(name)) return hostFile(name);
    } catch (const std::exception&) {
    }
    return r;
}

// The block of a file, or the error Windows gives for it (last error set).
std::optional<std::string> UsableBlock(const std::string& file) {
    if (file.empty()) {
        SetLastError(kErrorBadPathname);
        return std::nullopt;
    }
    const MachineFileLookup found = ResolveVersionFile(file);
    if (!found.file) {
        SetLastError(found.error);
        return std::nullopt;
    }
    DriverFile scratch;
    VersionBlockRead read = DriverFileFacts(*found.file, scratch).version;
    if (!read.block) {
        // The version calls answer every kind of missing resource with
        // ERROR_RESOURCE_DATA_NOT_FOUND, whatever the loader said (measured
        // on the real calls); the file's own errors pass through.
        const bool missing = read.error == kErrorResourceTypeNotFound || read.error == kErrorResourceNameNotFound;
        SetLastError(missing ? kErrorResourceDataNotFound : read.error);
        return std::nullopt;
    }
    // The root length must lie inside what was read, so that the ANSI room
    // computed from it stays inside the caller's buffer.
    const std::string& b = *read.block;
    const uint16_t rootLength =
        b.size() >= kNodeHeader ? Get16(reinterpret_cast<const uint8_t*>(b.data())) : 0;
    if (rootLength < kNodeHeader || rootLength > b.size()) {
        SetLastError(kErrorResourceDataNotFound);
        return std::nullopt;
    }
    return std::move(read.block);
}

}  // namespace

void AdmitHostFile(const std::filesystem::path& file) {
    std::lock_guard lock(AdmittedMutex());
    Admitted().insert(HostKey(file));
}

uint32_t GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle) {
    if (handle) *handle = 0;
    const auto block = UsableBlock(file);
    if (!block) return 0;
    SetLastError(kErrorSuccess);
    // Room for the block, the marker and an ANSI copy of every string.
    return static_cast<uint32_t>(block->size() * 2 + sizeof kSpareMarker);
}

bool GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data) {
    (void)handle;
    if (!data) {
        SetLastError(kErrorInvalidData);
        return false;
    }
    const auto block = UsableBlock(file);
    if (!block) return false;
    if (len < block->size()) {
        SetLastError(kErrorInsufficientBuffer);
        return false;
    }
    std::memcpy(data, block->data(), block->size());
    const uint16_t rootLength = Get16(static_cast<const uint8_t*>(data));
    if (len >= size_t(rootLength) + sizeof kSpareMarker)
        std::memcpy(static_cast<char*>(data) + rootLength, kSpareMarker, sizeof kSpareMarker);
    Remember(data, len, rootLength);
    SetLastError(kErrorSuccess);
    return true;
}

bool VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer, uint32_t* len);

bool VerQueryValueA(void* block, const std::string& subBlock, void** buffer, uint32_t* len) {
    if (len) *len = 0;
    if (!block || !buffer) return false;
    const auto* b = static_cast<const uint8_t*>(block);
    const uint16_t rootLength = Get16(b);
    // A buffer this module did not fill is taken to hold the block and
    // nothing more.
    const size_t size = RememberedSize(b, rootLength).value_or(rootLength);
    return VerQueryValueA(block, static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX)), subBlock, buffer, len);
}

bool VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer, uint32_t* len) {
    if (len) *len = 0;
    if (!block || !buffer || size < kNodeHeader) return false;
    auto* b = static_cast<uint8_t*>(block);
    const VersionBlock tree(b, size);
    if (!tree.Root()) return false;
    const auto node = tree.Find(AnsiToUtf16(subBlock));
    if (!node) {
        SetLastError(kErrorResourceTypeNotFound);
        return false;
    }
    const VersionNode& n = *node;
    if (!n.IsText()) {
        // Binary values (the fixed info, the translation array) must lie whole inside.
        if (n.ValueBytes() > n.ValueBytesInside()) return false;
        *buffer = b + n.value;
        if (len) *len = n.valueLength;
        return true;
    }

    const std::u16string wide = tree.Text(n);
    if (wide.empty()) {
        // No value: the key's terminating zero stands for an empty text.
        *buffer = b + n.keyEnd;
        return true;
    }
    // The ANSI copy goes to the spare room, at this string's own offset,
    // when the buffer has that room (marker present, copy and its zero inside).
    const size_t rootLength = tree.Size();
    const size_t area = rootLength + sizeof kSpareMarker;
    const std::string ansi = Utf16ToAnsi(wide);
    const size_t at = area + n.value;
    if (area <= size && std::memcmp(b + rootLength, kSpareMarker, sizeof kSpareMarker) == 0 &&
        at + ansi.size() + 1 <= size && n.value + ansi.size() + 1 <= rootLength) {
        std::memcpy(b + at, ansi.data(), ansi.size());
        b[at + ansi.size()] = 0;
        *buffer = b + at;
        if (len) *len = static_cast<uint32_t>(ansi.size());
        return true;
    }
    // No room for a copy: the text comes back as stored, in UTF-16.
    *buffer = b + n.value;
    if (len) *len = static_cast<uint32_t>(wide.size());
    return true;
}

}  // namespace tarnel::platform::machine
