// The one reader of a 32-bit VS_VERSIONINFO block: a tree of nodes, each
// wLength, wValueLength, wType, a UTF-16 key, the value and the children,
// value and children on 4-byte boundaries. Pure functions over bytes: every
// node is checked to lie inside its parent and the parent inside the bytes
// given, so nothing here reads outside them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::platform {

// One node; offsets count from the start of the block.
struct VersionNode {
    size_t start = 0, end = 0;  // end: start + wLength
    uint16_t valueLength = 0;   // as stored: characters for text, bytes for binary
    uint16_t type = 0;          // 1 text, 0 binary
    size_t keyStart = 0, keyChars = 0;
    size_t keyEnd = 0;          // offset of the key's terminating zero
    size_t value = 0;           // where the value starts
    size_t children = 0;        // where the first child starts
    bool IsText() const { return type != 0; }
    // Bytes the value claims, and how many of them lie inside the node.
    size_t ValueBytes() const { return size_t(valueLength) * (IsText() ? 2 : 1); }
    size_t ValueBytesInside() const { return value < end ? std::min(ValueBytes(), end - value) : 0; }
};

class VersionBlock {
public:
    // `size` bytes at `data`; the root's own length narrows them further.
    VersionBlock(const void* data, size_t size);

    // The root node; nullopt for a damaged block or the 16-bit layout of old
    // NE files, which this reader does not handle.
    std::optional<VersionNode> Root() const { return root_; }
    // The children in order, up to the first one that is damaged.
    std::vector<VersionNode> Children(const VersionNode& parent) const;
    std::u16string Key(const VersionNode& node) const;
    // ASCII letters compare without regard to case, as the queries do.
    bool KeyIs(const VersionNode& node, std::u16string_view key) const;
    // The first child with that key.
    std::optional<VersionNode> Child(const VersionNode& parent, std::u16string_view key) const;
    // A path of keys separated by '\' (empty parts skipped) from the root:
    // "\" is the root, "\StringFileInfo\040904E4\CompanyName" a string.
    std::optional<VersionNode> Find(std::u16string_view path) const;
    // A text value's characters, as many as lie inside its node.
    std::u16string Text(const VersionNode& node) const;
    // The bytes of the tree (the root's length).
    size_t Size() const { return size_; }

private:
    std::optional<VersionNode> ReadNode(size_t start, size_t limit) const;
    uint16_t Word(size_t off) const;
    const uint8_t* data_;
    size_t size_ = 0;
    std::optional<VersionNode> root_;
};

// The key of the first string table (the first child of the first
// "StringFileInfo"), in the ANSI code page; empty when there is none. In the
// usual layout these are the eight characters at offsets 134..148.
std::string FirstStringTableKey(const void* block, size_t size);

}  // namespace tarnel::platform
