// One registry hive held in memory, read from and written to Wine's registry
// text format ("WINE REGISTRY Version 2").
//
// Whatever was read and not changed since is written back exactly as it was
// read (the source text of each section head and value is kept), so loading
// and saving a hive loses nothing. New keys and values are appended in the
// order they were made; nothing is sorted. Changed or new items are written
// the way Wine itself writes them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarnel::platform::wine {

class Hive;

// A piece of the hive's source text: [offset, offset + length).
struct Span {
    uint32_t offset = 0;
    uint32_t length = 0;
};

struct HiveValue {
    std::string name;  // UTF-8; empty for the default value
    uint32_t type = 0;
    std::vector<uint8_t> data;  // as Windows stores it (strings UTF-16LE, zero-terminated)
    Span lead;  // blank or comment lines read before the value
    Span raw;   // the value's own source lines; empty once changed
    bool alive = true;

    std::string_view Name() const { return name; }
    uint32_t Type() const { return type; }
    const std::vector<uint8_t>& Data() const { return data; }
};

class HiveKey {
public:
    HiveKey(Hive& hive, HiveKey* parent, std::string name);
    HiveKey(const HiveKey&) = delete;
    HiveKey& operator=(const HiveKey&) = delete;

    const std::string& Name() const { return name_; }
    HiveKey* Parent() const { return parent_; }
    // Component names from the hive's root down to this key.
    std::vector<std::string> Path() const;

    // Names compare without regard to ASCII case.
    HiveKey* FindChild(std::string_view name);
    // The existing child of that name, or a new one appended after the others.
    HiveKey& CreateChild(std::string_view name);
    bool RemoveChild(std::string_view name);
    // Live children in enumeration order.
    std::vector<HiveKey*> Children() const;
    size_t ChildCount() const { return children_.size(); }

    const HiveValue* FindValue(std::string_view name) const;
    // Replaces the data of an existing value in place, or appends a new one.
    void SetValue(std::string_view name, uint32_t type, std::vector<uint8_t> data);
    bool DeleteValue(std::string_view name);
    // Live values in enumeration order.
    std::vector<const HiveValue*> Values() const;
    size_t ValueCount() const { return liveValues_; }
    // The live value / child at that place in enumeration order.
    const HiveValue* ValueAt(size_t i) const;
    HiveKey* ChildAt(size_t i) const { return i < children_.size() ? children_[i].get() : nullptr; }


    // A symbolic link key (its "#link" line); the target is its
    // "SymbolicLinkValue" (kRegLink, a UTF-16 path like \Registry\Machine\...).
    bool IsLink() const { return link_; }

private:
    friend class Hive;

    int FindValueIndex(std::string_view name) const;
    void IndexValues() const;
    void IndexChildren() const;
    void Touch();  // marks the section as changed now
    void EnsureSection();

    Hive& hive_;
    HiveKey* parent_;
    std::string name_;
    std::vector<std::unique_ptr<HiveKey>> children_;
    mutable std::unordered_map<std::string, HiveKey*> childIndex_;  // lower-case name
    mutable bool childIndexValid_ = false;
    std::vector<HiveValue> values_;  // deleted ones stay as tombstones until compacted
    size_t liveValues_ = 0;
    mutable std::unordered_map<std::string, uint32_t> valueIndex_;  // lower-case name
    mutable bool valueIndexValid_ = false;
    // Where the live values stand in values_ while there are tombstones, so
    // that enumerating by place does not count the tombstones each time.
    mutable std::vector<uint32_t> livePlaces_;
    mutable bool livePlacesValid_ = false;

    // Where the key's section stands in the file: 0 = it has none (yet).
    uint64_t seq_ = 0;
    bool fromFile_ = false;      // the file had a section for it
    bool headChanged_ = false;   // the head must be written anew
    bool link_ = false;
    Span lead_;                  // blank or comment lines before the head
    Span head_;                  // "[path] time" line and its "#" lines, as read
    Span meta_;                  // the "#" lines alone (the end of head_)
};

class Hive {
public:
    // An empty hive; `relativeTo` names its place, e.g. "REGISTRY\\Machine"
    // (written into the header comment as Wine does, backslashes doubled).
    explicit Hive(std::string_view relativeTo);
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;

    // Throws ERegistryException naming `fileName` and the line on bad input.
    // An empty text gives an empty hive.
    static std::unique_ptr<Hive> Parse(std::string text, const std::string& fileName,
                                       std::string_view relativeTo);

    std::string Serialize() const;
    const std::vector<std::string>& Warnings() const { return warnings_; }

    HiveKey& Root() { return *root_; }
    // The key at that path below the root, or null.
    HiveKey* Find(const std::vector<std::string>& path);
    HiveKey& Create(const std::vector<std::string>& path);
    bool Remove(const std::vector<std::string>& path);

    // Seconds since 1970 used for the time of changed keys (now, unless set).
    void SetClockForTesting(int64_t unixSeconds) { fixedClock_ = unixSeconds; }

private:
    friend class HiveKey;

    std::string_view Text(Span s) const { return std::string_view(source_).substr(s.offset, s.length); }
    int64_t Now() const;
    void WriteKey(const HiveKey& key, std::string& out) const;

    std::string source_;
    Span header_;
    Span trailer_;
    std::string newHeader_;  // header of a hive not read from a file
    std::unique_ptr<HiveKey> root_;
    uint64_t nextSeq_ = 1;
    int64_t fixedClock_ = -1;
    std::vector<std::string> warnings_;
};

// The time stamp changed keys get instead of now; -1 for now.
std::atomic<int64_t>& FixedRegistryTime();

// The value's text in Wine's format: "name"=data or @=data, ending in "\n",
// long binary data wrapped the way Wine wraps it.
std::string FormatValue(std::string_view name, uint32_t type, const std::vector<uint8_t>& data);

// UTF-8 (lone surrogates allowed) <-> UTF-16 code units; lossless both ways.
std::u16string Utf8ToUnits(std::string_view utf8);
std::string UnitsToUtf8(std::u16string_view units);

// ASCII-only lower case, the rule for key and value names.
std::string LowerName(std::string_view name);

}  // namespace tarnel::platform::wine
