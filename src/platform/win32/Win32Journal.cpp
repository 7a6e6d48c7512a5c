#include "platform/win32/Win32Journal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/win32/Win32Backend.h"

namespace tarnel::platform::win32 {

namespace {

enum RecordKind : uint8_t { kValue = 1, kKeyCreated = 2, kKeyDeleted = 3, kProfileEntry = 4, kProfileSection = 5 };

// Records are bytes: a kind, then fields, each length-prefixed when it has
// no fixed size. The same bytes live in memory and in the journal key.
class Writer {
public:
    explicit Writer(RecordKind kind) { out_.push_back(char(kind)); }
    Writer& U8(uint8_t v) {
        out_.push_back(char(v));
        return *this;
    }
    Writer& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    Writer& Bytes(const void* p, size_t n) {
        U32(uint32_t(n));
        out_.append(static_cast<const char*>(p), n);
        return *this;
    }
    Writer& Str(const std::string& s) { return Bytes(s.data(), s.size()); }
    Writer& WStr(const std::wstring& s) { return Bytes(s.data(), s.size() * sizeof(wchar_t)); }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

class Reader {
public:
    explicit Reader(const std::string& in) : in_(in) {}
    bool Ok() const { return ok_; }
    uint8_t U8() {
        if (pos_ + 1 > in_.size()) return Fail(), 0;
        return uint8_t(in_[pos_++]);
    }
    uint32_t U32() {
        if (pos_ + 4 > in_.size()) return Fail(), 0;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(in_[pos_ + i])) << (8 * i);
        pos_ += 4;
        return v;
    }
    std::string Bytes() {
        uint32_t n = U32();
        if (!ok_ || n > in_.size() - pos_) return Fail(), std::string();
        std::string s = in_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    std::wstring WStr() {
        std::string b = Bytes();
        std::wstring w(b.size() / sizeof(wchar_t), L'\0');
        if (!w.empty()) std::memcpy(w.data(), b.data(), w.size() * sizeof(wchar_t));
        return w;
    }

private:
    void Fail() { ok_ = false; }
    const std::string& in_;
    size_t pos_ = 1;  // past the kind
    bool ok_ = true;
};

// A record's root code carries the registry view the change was made in
// (KEY_WOW64_32KEY or KEY_WOW64_64KEY), so that it is undone in the same one.
constexpr uint32_t kViewBits = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
REGSAM g_view = 0;
// The predefined roots are negative numbers to Windows.
HKEY RootOf(uint32_t code) {
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(code & ~kViewBits)));
}
REGSAM ViewOf(uint32_t code) { return code & kViewBits; }
uint32_t CodeOf(HKEY root) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root)) | uint32_t(g_view); }

std::wstring JournalPath() {
    std::wstring w;
    for (const char* p = kJournalKeyPath; *p; ++p) w += wchar_t(static_cast<unsigned char>(*p));
    return w;
}

std::wstring RecordName(size_t index) {
    wchar_t name[16];
    std::swprintf(name, 16, L"%08u", unsigned(index));
    return name;
}

// Every value of a key, as the registry keeps it (UTF-16 names, raw data).
struct Value {
    std::wstring name;
    DWORD type = 0;
    std::string data;
};

std::vector<Value> ValuesOf(HKEY key) {
    std::vector<Value> values;
    DWORD count = 0, maxName = 0, maxData = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName, &maxData,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    std::wstring name(maxName + 2, L'\0');
    std::string data(maxData + 2, '\0');
    for (DWORD i = 0;; ++i) {
        DWORD chars = DWORD(name.size()), bytes = DWORD(data.size()), type = 0;
        LONG rc = ::RegEnumValueW(key, i, name.data(), &chars, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (rc == ERROR_MORE_DATA) {
            name.assign(name.size() * 2 + 256, L'\0');
            data.assign(std::max<size_t>(data.size() * 2, bytes + 2), '\0');
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        values.push_back({std::wstring(name.data(), chars), type, std::string(data.data(), bytes)});
    }
    return values;
}

void PutValue(HKEY key, const std::wstring& name, DWORD type, const std::string& data) {
    ::RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()));
}

// The profile entry's value, or nullopt-like `existed = false`. A default
// no real value can hold tells a missing key from an empty one.
constexpr char kAbsent[] = "\x01\x02tarnel-absent\x02\x01";

bool ProfileValue(const std::string& file, const std::string& section, const std::string& key, std::string& value) {
    std::string buf(4096, '\0');
    for (;;) {
        DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kAbsent, buf.data(), DWORD(buf.size()),
                                             file.c_str());
        if (n + 1 >= buf.size() && buf.size() < (1u << 24)) {
            buf.assign(buf.size() * 4, '\0');
            continue;
        }
        value.assign(buf.data(), n);
        return value != kAbsent;
    }
}

}  // namespace

TUndoJournal::~TUndoJournal() {
    if (persisted_) ::RegCloseKey(persisted_);
}

void TUndoJournal::Keep(std::string record) {
    // Written ahead of the change: whatever happens to this process after
    // this point, the next writer finds what to undo.
    if (!persisted_) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, JournalPath().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &persisted_, nullptr);
    }
    if (persisted_) PutValue(persisted_, RecordName(records_.size()), REG_BINARY, record);
    records_.push_back(std::move(record));
}

void TUndoJournal::RecordValue(HKEY root, const std::wstring& path, const std::wstring& name) {
    HKEY key = nullptr;
    bool existed = false;
    DWORD type = 0;
    std::string data;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | g_view, &key) == ERROR_SUCCESS) {
        DWORD bytes = 0;
        if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS) {
            data.assign(bytes, '\0');
            existed = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                         &bytes) == ERROR_SUCCESS;
            data.resize(bytes);
        }
        ::RegCloseKey(key);
    }
    Keep(Writer(kValue).U32(CodeOf(root)).WStr(path).WStr(name).U8(existed).U32(type).Str(data).Take());
}

void SetJournalView(REGSAM view) { g_view = view & kViewBits; }

void TUndoJournal::RecordKeyCreated(HKEY root, const std::wstring& path) {
    Keep(Writer(kKeyCreated).U32(CodeOf(root)).WStr(path).Take());
}

void TUndoJournal::RecordKeyDeleted(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    std::vector<Value> values;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | g_view, &key) == ERROR_SUCCESS) {
        values = ValuesOf(key);
        ::RegCloseKey(key);
    }
    Writer w(kKeyDeleted);
    w.U32(CodeOf(root)).WStr(path).U32(uint32_t(values.size()));
    for (const Value& v : values) w.WStr(v.name).U32(v.type).Str(v.data);
    Keep(w.Take());
}

void TUndoJournal::RecordProfile(const std::string& file, const std::string& section, const char* key) {
    if (key) {
        std::string value;
        bool existed = ProfileValue(file, section, key, value);
        Keep(Writer(kProfileEntry).Str(file).Str(section).Str(key).U8(existed).Str(value).Take());
        return;
    }
    // A whole section: its entries in order.
    std::string buf(32768, '\0');
    DWORD n = 0;
    for (;;) {
        n = ::GetPrivateProfileSectionA(section.c_str(), buf.data(), DWORD(buf.size()), file.c_str());
        if (n + 2 >= buf.size() && buf.size() < (1u << 24)) {
            buf.assign(buf.size() * 4, '\0');
            continue;
        }
        break;
    }
    std::vector<std::pair<std::string, std::string>> entries;
    for (size_t at = 0; at < n;) {
        std::string line(buf.data() + at);
        at += line.size() + 1;
        if (line.empty()) break;
        size_t eq = line.find('=');
        entries.emplace_back(line.substr(0, eq), eq == std::string::npos ? std::string() : line.substr(eq + 1));
    }
    Writer w(kProfileSection);
    w.Str(file).Str(section).U32(uint32_t(entries.size()));
    for (const auto& [k, v] : entries) w.Str(k).Str(v);
    Keep(w.Take());
}

void TUndoJournal::Undo(const std::string& record) {
    if (record.empty()) return;
    Reader r(record);
    switch (uint8_t(record[0])) {
    case kValue: {
        const uint32_t code = r.U32();
        HKEY root = RootOf(code);
        std::wstring path = r.WStr(), name = r.WStr();
        bool existed = r.U8() != 0;
        DWORD type = r.U32();
        std::string data = r.Bytes();
        if (!r.Ok()) return;
        HKEY key = nullptr;
        if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | ViewOf(code), &key) != ERROR_SUCCESS) return;
        if (existed) PutValue(key, name, type, data);
        else ::RegDeleteValueW(key, name.c_str());
        ::RegCloseKey(key);
        return;
    }
    case kKeyCreated: {
        const uint32_t code = r.U32();
        HKEY root = RootOf(code);
        std::wstring path = r.WStr();
        if (r.Ok()) ::RegDeleteKeyExW(root, path.c_str(), ViewOf(code), 0);
        return;
    }
    case kKeyDeleted: {
        const uint32_t code = r.U32();
        HKEY root = RootOf(code);
        std::wstring path = r.WStr();
        uint32_t count = r.U32();
        if (!r.Ok()) return;
        HKEY key = nullptr;
        if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | ViewOf(code), nullptr, &key,
                              nullptr) !=
            ERROR_SUCCESS)
            return;
        for (uint32_t i = 0; i < count && r.Ok(); ++i) {
            std::wstring name = r.WStr();
            DWORD type = r.U32();
            std::string data = r.Bytes();
            if (r.Ok()) PutValue(key, name, type, data);
        }
        ::RegCloseKey(key);
        return;
    }
    case kProfileEntry: {
        std::string file = r.Bytes(), section = r.Bytes(), key = r.Bytes();
        bool existed = r.U8() != 0;
        std::string value = r.Bytes();
        if (r.Ok())
            ::WritePrivateProfileStringA(section.c_str(), key.c_str(), existed ? value.c_str() : nullptr,
                                         file.c_str());
        return;
    }
    case kProfileSection: {
        std::string file = r.Bytes(), section = r.Bytes();
        uint32_t count = r.U32();
        for (uint32_t i = 0; i < count && r.Ok(); ++i) {
            std::string key = r.Bytes(), value = r.Bytes();
            if (r.Ok()) ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
        }
        return;
    }
    default: return;
    }
}

void TUndoJournal::UndoTo(size_t mark) {
    while (records_.size() > mark) {
        Undo(records_.back());
        records_.pop_back();
        if (persisted_) ::RegDeleteValueW(persisted_, RecordName(records_.size()).c_str());
    }
    if (records_.empty()) Drop();
}

void TUndoJournal::Drop() {
    records_.clear();
    if (!persisted_) return;
    ::RegCloseKey(persisted_);
    persisted_ = nullptr;
    // One call: the journal goes as a whole or stays as a whole.
    ::RegDeleteKeyW(HKEY_CURRENT_USER, JournalPath().c_str());
}

bool TUndoJournal::UndoLeftOver() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, JournalPath().c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    std::vector<Value> values = ValuesOf(key);
    ::RegCloseKey(key);
    // Newest first: the names count up from 00000000.
    std::sort(values.begin(), values.end(), [](const Value& a, const Value& b) { return a.name > b.name; });
    for (const Value& v : values)
        if (v.type == REG_BINARY) Undo(v.data);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, JournalPath().c_str());
    return !values.empty();
}

}  // namespace tarnel::platform::win32
