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
#include "platform/machine/Machine.h"
#include "platform/machine/PeImage.h"

namespace fs = std::filesystem;

namespace tarnel::platform {

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

uint64_t Fingerprint(const uint8_t* b, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
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
        admitted = Admitted().count(HostKey(name)) > 0;
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
    VersionBlockRead read = ReadVersionBlockOf(*found.file);
    if (!read.block) {
        SetLastError(read.error);
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

namespace {

// Lays nodes out as the resource compiler does: each node's length runs to
// the end of its last child (trailing padding excluded), siblings start on
// 4-byte boundaries and that padding counts towards the parent.
class BlockWriter {
public:
    size_t Begin(std::string_view key, uint16_t valueLength, uint16_t type) {
        Pad();
        const size_t start = out_.size();
        U16(0);
        U16(valueLength);
        U16(type);
        Text(AnsiToUtf16(key));
        Pad();
        return start;
    }
    void End(size_t start) {
        const size_t length = out_.size() - start;
        if (length > 0xffff) throw std::length_error("version resource larger than 64 KiB");
        out_[start] = static_cast<char>(length & 0xff);
        out_[start + 1] = static_cast<char>(length >> 8);
    }
    void U16(uint16_t v) {
        out_.push_back(static_cast<char>(v & 0xff));
        out_.push_back(static_cast<char>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v & 0xffff));
        U16(static_cast<uint16_t>(v >> 16));
    }
    // UTF-16 text with its terminating NUL.
    void Text(std::u16string_view s) {
        for (char16_t c : s) U16(c);
        U16(0);
    }
    void Pad() {
        while (out_.size() % 4) out_.push_back('\0');
    }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructVersion = 0x00010000;
constexpr uint16_t kFixedInfoSize = 52;

}  // namespace

std::string BuildVersionResource(const VersionResourceSpec& layout) {
    BlockWriter w;
    const size_t root = w.Begin("VS_VERSION_INFO", kFixedInfoSize, 0);
    w.U32(kFixedSignature);
    w.U32(kFixedStructVersion);
    w.U32(uint32_t(layout.fileVersion[0]) << 16 | layout.fileVersion[1]);
    w.U32(uint32_t(layout.fileVersion[2]) << 16 | layout.fileVersion[3]);
    w.U32(uint32_t(layout.productVersion[0]) << 16 | layout.productVersion[1]);
    w.U32(uint32_t(layout.productVersion[2]) << 16 | layout.productVersion[3]);
    for (int i = 0; i < 7; ++i) w.U32(0);  // flags mask, flags, OS, type, subtype, date

    if (!layout.tables.empty()) {
        const size_t sfi = w.Begin("StringFileInfo", 0, 1);
        for (const auto& table : layout.tables) {
            const size_t t = w.Begin(table.key, 0, 1);
            for (const auto& [name, value] : table.strings) {
                const std::u16string wide = AnsiToUtf16(value);
                if (wide.size() + 1 > 0xffff) throw std::length_error("version string too long: " + name);
                const size_t s = w.Begin(name, static_cast<uint16_t>(wide.size() + 1), 1);
                w.Text(wide);
                w.End(s);
            }
            w.End(t);
        }
        w.End(sfi);
    }
    if (!layout.translations.empty()) {
        const size_t vfi = w.Begin("VarFileInfo", 0, 1);
        const size_t tr = w.Begin("Translation", static_cast<uint16_t>(layout.translations.size() * 4), 0);
        for (const auto& [language, codePage] : layout.translations) {
            w.U16(language);
            w.U16(codePage);
        }
        w.End(tr);
        w.End(vfi);
    }
    w.End(root);
    return w.Take();
}

}  // namespace tarnel::platform
