#include "platform/api/VersionBlock.h"

#include <algorithm>

#include "platform/api/Ansi.h"

namespace tarnel::platform {

namespace {

constexpr size_t kNodeHeader = 6;  // wLength, wValueLength, wType

size_t Align4(size_t off) { return (off + 3) & ~size_t(3); }

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

}  // namespace

VersionBlock::VersionBlock(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)) {
    if (!data_ || size < kNodeHeader) return;
    // A first key character where the type word belongs marks the 16-bit layout.
    if (data_[4] >= ' ') return;
    size_ = std::min<size_t>(size, Word(0));
    root_ = ReadNode(0, size_);
    if (!root_) size_ = 0;
}

uint16_t VersionBlock::Word(size_t off) const {
    return static_cast<uint16_t>(data_[off] | data_[off + 1] << 8);
}

std::optional<VersionNode> VersionBlock::ReadNode(size_t start, size_t limit) const {
    if (start > limit || limit - start < kNodeHeader) return std::nullopt;
    VersionNode n;
    n.start = start;
    const uint16_t length = Word(start);
    if (length < kNodeHeader || length > limit - start) return std::nullopt;
    n.end = start + length;
    n.valueLength = Word(start + 2);
    n.type = Word(start + 4);
    n.keyStart = start + kNodeHeader;
    size_t p = n.keyStart;
    for (;;) {
        if (p + 2 > n.end) return std::nullopt;  // key without its terminating zero
        if (Word(p) == 0) break;
        p += 2;
    }
    n.keyEnd = p;
    n.keyChars = (p - n.keyStart) / 2;
    n.value = Align4(p + 2);
    n.children = Align4(n.value + n.ValueBytes());
    return n;
}

std::vector<VersionNode> VersionBlock::Children(const VersionNode& parent) const {
    std::vector<VersionNode> out;
    // Children only advance: each is at least a header long.
    for (size_t at = parent.children; at < parent.end;) {
        auto c = ReadNode(at, parent.end);
        if (!c) break;
        out.push_back(*c);
        at = Align4(c->end);
    }
    return out;
}

std::u16string VersionBlock::Key(const VersionNode& node) const {
    std::u16string k(node.keyChars, u'\0');
    for (size_t i = 0; i < node.keyChars; ++i) k[i] = static_cast<char16_t>(Word(node.keyStart + 2 * i));
    return k;
}

bool VersionBlock::KeyIs(const VersionNode& node, std::u16string_view key) const {
    if (node.keyChars != key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (FoldAscii(static_cast<char16_t>(Word(node.keyStart + 2 * i))) != FoldAscii(key[i])) return false;
    return true;
}

std::optional<VersionNode> VersionBlock::Child(const VersionNode& parent, std::u16string_view key) const {
    for (size_t at = parent.children; at < parent.end;) {
        auto c = ReadNode(at, parent.end);
        if (!c) return std::nullopt;
        if (KeyIs(*c, key)) return c;
        at = Align4(c->end);
    }
    return std::nullopt;
}

std::optional<VersionNode> VersionBlock::Find(std::u16string_view path) const {
    std::optional<VersionNode> node = root_;
    size_t pos = 0;
    while (node && pos < path.size()) {
        if (path[pos] == u'\\') {
            ++pos;
            continue;
        }
        size_t slash = path.find(u'\\', pos);
        if (slash == std::u16string_view::npos) slash = path.size();
        node = Child(*node, path.substr(pos, slash - pos));
        pos = slash;
    }
    return node;
}

std::u16string VersionBlock::Text(const VersionNode& node) const {
    const size_t chars = node.ValueBytesInside() / 2;
    std::u16string out(chars, u'\0');
    for (size_t i = 0; i < chars; ++i) out[i] = static_cast<char16_t>(Word(node.value + 2 * i));
    return out;
}

std::string FirstStringTableKey(const void* block, size_t size) {
    const VersionBlock b(block, size);
    const auto root = b.Root();
    if (!root) return {};
    for (const VersionNode& child : b.Children(*root)) {
        if (!b.KeyIs(child, u"StringFileInfo")) continue;
        const auto tables = b.Children(child);
        return tables.empty() ? std::string() : Utf16ToAnsi(b.Key(tables.front()));
    }
    return {};
}

}  // namespace tarnel::platform
