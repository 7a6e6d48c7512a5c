// One registry hive held in memory, read from and written to Wine's registry
// text format ("WINE REGISTRY Version 2").
//
// The hive keeps the text it was read from and points into it: a value's data
// is decoded only when asked for, and a name that needs no unescaping is a
// view of the text. Saving writes the text back as it was, changing only what
// was changed: a value in its place, a key's head line for its new time, new
// values at the end of their key's section, new keys at the end of the file.
// Nothing is sorted. Generated lines use the file's own line ending.
//
// Lines Wine's loader skips or half-reads are kept as they stand and reported
// through Warnings(); the tree holds what Wine would make of them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::platform::wine {

class Hive;
class HiveKey;

// Counts every change of any hive's key tree (a key made or removed, a hive
// made or dropped): what was learned of a key's subkeys holds while it stays.
uint64_t KeyTreeChanges();

// A key's children: a vector in 16 bytes rather than 24, there being one in
// every key.
class KeyList {
public:
    KeyList() = default;
    KeyList(const KeyList&) = delete;
    KeyList& operator=(const KeyList&) = delete;
    ~KeyList();

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    HiveKey* operator[](size_t i) const { return data_[i]; }
    HiveKey* const* begin() const { return data_; }
    HiveKey* const* end() const { return data_ + size_; }
    void push_back(HiveKey* key);
    void erase(size_t i);
    void clear();  // and gives the memory back

private:
    HiveKey** data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};

// One value of a key. Pointers to values stay valid until the key's values
// change (SetValue of a new name, DeleteValue).
class HiveValue {
public:
    // UTF-8; empty for the default value.
    std::string_view Name() const;
    uint32_t Type() const { return type_; }
    // As Windows stores it (strings UTF-16LE, zero-terminated).
    std::vector<uint8_t> Data() const;
    // The same bytes in a string.
    std::string DataBytes() const;
    // The same into `out`, reusing its room.
    void DataBytesInto(std::string& out) const;
    size_t DataSize() const;

private:
    friend class Hive;
    friend class HiveKey;
    friend struct HiveParser;
    friend struct HiveWriter;

    bool NameIs(std::string_view name) const;
    const char* DataText(size_t* length) const;

    // The source text of the value (first non-blank character to the end of
    // its last line), or the Slot that holds it (kSlot), or nothing (a value
    // deleted since it was made).
    const void* ptr_ = nullptr;
    uint32_t bits_ = 0;  // text length (low 28 bits) and flags
    uint32_t type_ = 0;  // the value's type; a shadow's slot number
};

class HiveKey {
public:
    HiveKey(const HiveKey&) = delete;
    HiveKey& operator=(const HiveKey&) = delete;
    ~HiveKey();

    std::string_view Name() const { return {name_, nameLength_}; }
    HiveKey* Parent() const { return parent_; }
    // Component names from the hive's root down to this key.
    std::vector<std::string> Path() const;

    // Names compare without regard to ASCII case.
    HiveKey* FindChild(std::string_view name);
    // The existing child of that name, or a new one appended after the others.
    // Throws ERegistryException past Windows' depth of 512 levels.
    HiveKey& CreateChild(std::string_view name);
    bool RemoveChild(std::string_view name);
    // Live children in enumeration order.
    size_t ChildCount() const { return children_.size(); }
    // Null past the last one.
    HiveKey* ChildAt(size_t i) const { return i < children_.size() ? children_[i] : nullptr; }
    std::vector<HiveKey*> Children() const { return {children_.begin(), children_.end()}; }

    const HiveValue* FindValue(std::string_view name) const;
    // Replaces the data of an existing value in place, or appends a new one.
    void SetValue(std::string_view name, uint32_t type, std::vector<uint8_t> data);
    bool DeleteValue(std::string_view name);
    // Live values in enumeration order.
    size_t ValueCount() const { return live_; }
    const HiveValue* ValueAt(size_t i) const;
    std::vector<const HiveValue*> Values() const;

    // A symbolic link key (a "#link" line in its section); the target is its
    // "SymbolicLinkValue" (kRegLink, a UTF-16 path like \Registry\Machine\...).
    bool IsLink() const { return (flags_ & kLink) != 0; }
    // The class given by a "#class" line (UTF-8), empty when none.
    std::string Class() const;

private:
    friend class Hive;
    friend struct HiveParser;
    friend struct HiveWriter;
    struct Extra;

    enum : uint16_t {
        kLink = 1,
        kDirty = 2,      // values changed: its sections are written piece by piece
        kTouched = 4,    // its head is written anew with the current time
        kRemoved = 8,    // cut from the tree; its sections are left out
        kImplied = 16,   // read, but only named by a subkey's section: section_ is that section
        kQueued = 32,    // gets a section written at the end of the file
        kAnchored = 64,  // gets a head written where it was first named
        kChildrenListed = 128,  // while loading: its children are in the loader's table
        kValuesListed = 256,    // while loading: its values are in the loader's table
        kChildrenUnsorted = 512,  // its subkeys were read out of order (only loading looks)
        kValuesUnsorted = 1024,   // its values were read out of order (only loading looks)
    };

    HiveKey(Hive& hive, HiveKey* parent, std::string_view name, uint16_t depth);

    HiveValue* Records();
    const HiveValue* Records() const;
    int FindRecord(std::string_view name) const;
    Extra& Ensure() const;
    void AppendRecord(const HiveValue& v);
    void IndexRecord(uint32_t index);
    void Touch();
    void EnsureSection();
    uint32_t FirstMention() const;
    uint32_t LastSection() const;
    bool HasOwnSection() const { return section_ && !(flags_ & kImplied); }

    Hive* hive_;
    HiveKey* parent_;
    const char* name_;
    uint32_t nameLength_;
    uint16_t depth_;
    uint16_t flags_ = 0;
    KeyList children_;
    uint32_t first_ = 0;    // first record in the hive's shared array, until detached
    uint32_t count_ = 0;    // records: live values, deleted ones and repeats
    uint32_t live_ = 0;
    uint32_t section_ = 0;  // own first section + 1 (see kImplied); 0: none
    mutable std::unique_ptr<Extra> extra_;
};

class Hive {
public:
    // An empty hive; `relativeTo` names its place, e.g. "REGISTRY\\Machine"
    // (written into the header comment as Wine does, backslashes doubled).
    explicit Hive(std::string_view relativeTo);
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;
    ~Hive();

    // Throws ERegistryException naming `fileName` and the line when the text
    // is no registry file or nests keys deeper than 512 levels. Other bad
    // lines are kept and listed in Warnings(). An empty text gives an empty hive.
    static std::unique_ptr<Hive> Parse(std::string text, const std::string& fileName,
                                       std::string_view relativeTo);

    std::string Serialize() const;

    HiveKey& Root() { return *root_; }
    // The key at that path below the root, or null.
    HiveKey* Find(const std::vector<std::string>& path);
    HiveKey& Create(const std::vector<std::string>& path);
    bool Remove(const std::vector<std::string>& path);

    // What Parse skipped or read only in part, one line each, naming the file
    // and the line.
    const std::vector<std::string>& Warnings() const { return warnings_; }

    // Seconds since 1970 used for the time of changed keys (now, unless set).
    void SetClockForTesting(int64_t unixSeconds) { fixedClock_ = unixSeconds; }

private:
    friend class HiveKey;
    friend class HiveValue;
    friend struct HiveParser;
    friend struct HiveWriter;
    struct Slot;

    // A key's section in the source: its lead (blank and comment lines before
    // the head), the head line, and everything up to the next section's lead.
#pragma pack(push, 4)
    struct Section {
        HiveKey* key;    // null: a head Wine refuses, and the lines it rules
        uint32_t start;  // of the lead
    };
#pragma pack(pop)

    static Slot* SlotOf(const HiveValue& v);
    HiveKey* NewKey(HiveKey* parent, std::string_view name);
    std::string_view KeepName(std::string_view name);
    uint32_t NewSlot();
    void FreeSlot(uint32_t index);
    int64_t Now() const;

    static constexpr size_t kKeysPerBlock = 512;

    std::string source_;
    std::string newHeader_;  // header of a hive not read from a file
    std::vector<Section> sections_;
    uint32_t trailer_ = 0;  // start of the blank and comment lines ending the file
    bool crlf_ = false;     // most lines end in "\r\n"
    uint32_t openEnd_ = UINT32_MAX;  // a value whose continuation ran into the end of the text
    struct Free {
        void operator()(void* p) const;
    };
    // The values as read, key by key (plain data, grown with realloc).
    std::unique_ptr<HiveValue, Free> parsed_;
    uint32_t parsedSize_ = 0;
    uint32_t parsedRoom_ = 0;
    [[gnu::always_inline]] void PushParsed(const HiveValue& v) {
        if (parsedSize_ == parsedRoom_) GrowParsed(parsedRoom_ ? size_t(parsedRoom_) * 2 : 64);
        parsed_.get()[parsedSize_++] = v;
    }
    void GrowParsed(size_t room);
    bool parsing_ = false;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<uint32_t> freeSlots_;
    std::vector<std::unique_ptr<std::byte[]>> keyBlocks_;
    size_t keysInBlock_ = 0;
    std::vector<std::unique_ptr<char[]>> nameBlocks_;
    char* nameAt_ = nullptr;
    size_t nameRoom_ = 0;
    std::vector<HiveKey*> queued_;    // keys without a section from the file, in creation order
    std::vector<HiveKey*> anchored_;  // read keys whose first naming must be kept in place
    std::vector<std::string> warnings_;
    HiveKey* root_ = nullptr;
    int64_t fixedClock_ = -1;
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
