#include "platform/api/VersionApi.h"

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "platform/api/Ansi.h"
#include "platform/machine/Machine.h"
#include "platform/machine/PeImage.h"

namespace tarnel::platform {

namespace {

// The ANSI copies of queried strings live after the raw block, behind this
// marker, at the same offset as their UTF-16 original. GetFileVersionInfoA
// writes the marker only when the caller's buffer has that room, and
// VerQueryValueA converts text only when it finds the marker.
constexpr char kSpareMarker[4] = {'F', 'E', '2', 'X'};
constexpr size_t kNodeHeader = 6;  // wLength, wValueLength, wType

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
size_t Align4(size_t off) { return (off + 3) & ~size_t(3); }

// A version block fit for the calls below: its root length lies inside what
// was read, so the ANSI room computed from it stays inside the buffer.
std::optional<std::string> ReadUsableBlock(const std::string& file) {
    std::optional<std::filesystem::path> path;
    try {
        path = ResolveMachineFile(file);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!path) return std::nullopt;
    auto block = ReadVersionBlock(*path);
    if (!block || block->size() < kNodeHeader) return std::nullopt;
    const uint16_t rootLength = Get16(reinterpret_cast<const uint8_t*>(block->data()));
    if (rootLength < kNodeHeader || rootLength > block->size()) return std::nullopt;
    return block;
}

// One node of a block (offsets from the block's start), checked to lie
// inside its parent.
struct Node {
    size_t start = 0, end = 0;
    uint16_t valueLength = 0, type = 0;
    size_t keyStart = 0, keyChars = 0;
    size_t value = 0, children = 0;
};

std::optional<Node> ReadNode(const uint8_t* b, size_t start, size_t limit) {
    if (start > limit || limit - start < kNodeHeader) return std::nullopt;
    Node n;
    n.start = start;
    const uint16_t length = Get16(b + start);
    if (length < kNodeHeader || length > limit - start) return std::nullopt;
    n.end = start + length;
    n.valueLength = Get16(b + start + 2);
    n.type = Get16(b + start + 4);
    n.keyStart = start + kNodeHeader;
    size_t p = n.keyStart;
    while (true) {
        if (p + 2 > n.end) return std::nullopt;  // key without its terminating NUL
        if (Get16(b + p) == 0) break;
        p += 2;
    }
    n.keyChars = (p - n.keyStart) / 2;
    n.value = Align4(p + 2);
    const size_t valueBytes = size_t(n.valueLength) * (n.type ? 2 : 1);
    n.children = Align4(n.value + valueBytes);
    return n;
}

bool KeyMatches(const uint8_t* b, const Node& n, std::u16string_view want) {
    if (n.keyChars != want.size()) return false;
    for (size_t i = 0; i < want.size(); ++i) {
        char16_t c = static_cast<char16_t>(Get16(b + n.keyStart + 2 * i));
        char16_t w = want[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (w >= u'a' && w <= u'z') w = static_cast<char16_t>(w - u'a' + u'A');
        if (c != w) return false;
    }
    return true;
}

}  // namespace

uint32_t GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle) {
    if (handle) *handle = 0;
    const auto block = ReadUsableBlock(file);
    if (!block) return 0;
    // Room for the block, the marker and an ANSI copy of every string.
    return static_cast<uint32_t>(block->size() * 2 + sizeof kSpareMarker);
}

bool GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data) {
    if (!data) return false;
    const auto block = ReadUsableBlock(file);
    if (!block || len < block->size()) return false;
    std::memcpy(data, block->data(), block->size());
    const size_t rootLength = Get16(reinterpret_cast<const uint8_t*>(block->data()));
    if (len >= rootLength * 2 + sizeof kSpareMarker)
        std::memcpy(static_cast<char*>(data) + rootLength, kSpareMarker, sizeof kSpareMarker);
    return true;
}

bool VerQueryValueA(void* block, const std::string& subBlock, void** buffer, uint32_t* len) {
    if (len) *len = 0;
    if (!block || !buffer) return false;
    auto* b = static_cast<uint8_t*>(block);
    const size_t rootLength = Get16(b);
    // A first key character where the type word belongs marks the 16-bit
    // layout of old NE files, which this reader does not handle.
    if (rootLength < kNodeHeader || b[4] >= ' ') return false;

    auto node = ReadNode(b, 0, rootLength);
    if (!node) return false;
    size_t pos = 0;
    while (pos < subBlock.size()) {
        if (subBlock[pos] == '\\') {
            ++pos;
            continue;
        }
        size_t slash = subBlock.find('\\', pos);
        if (slash == std::string::npos) slash = subBlock.size();
        const std::u16string want = AnsiToUtf16(std::string_view(subBlock).substr(pos, slash - pos));
        pos = slash;

        std::optional<Node> found;
        // Children only advance: each is at least a header long.
        for (size_t child = node->children; child < node->end;) {
            auto c = ReadNode(b, child, node->end);
            if (!c) return false;
            if (KeyMatches(b, *c, want)) {
                found = c;
                break;
            }
            child = Align4(c->end);
        }
        if (!found) return false;
        node = found;
    }

    const Node& n = *node;
    const size_t available = n.value < n.end ? n.end - n.value : 0;
    if (n.type == 0) {
        // Binary values (the fixed info, the translation array) must lie whole inside.
        if (n.valueLength > available) return false;
        *buffer = b + n.value;
        if (len) *len = n.valueLength;
        return true;
    }

    // Text: convert into the spare room, at this string's own offset.
    if (std::memcmp(b + rootLength, kSpareMarker, sizeof kSpareMarker) != 0) return false;
    const size_t chars = std::min<size_t>(n.valueLength, available / 2);
    std::u16string wide(chars, u'\0');
    for (size_t i = 0; i < chars; ++i) wide[i] = static_cast<char16_t>(Get16(b + n.value + 2 * i));
    const std::string ansi = Utf16ToAnsi(wide);
    uint8_t* area = b + rootLength + sizeof kSpareMarker;
    const size_t room = n.value < rootLength ? rootLength - n.value : 0;
    const size_t copied = std::min(ansi.size(), room);
    std::memcpy(area + n.value, ansi.data(), copied);
    *buffer = area + n.value;
    if (len) *len = static_cast<uint32_t>(copied);
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
