#include "platform/machine/MachineRegistry.h"

#include <algorithm>
#include <cstring>

#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"

namespace tarnel::platform::machine {

namespace {
constexpr const char* kWow64Node = "Wow6432Node";
}  // namespace

namespace {

using wine::HiveKey;
using wine::HiveValue;

// Windows' limits: 255 characters per key name, 16383 per value name.
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
// Links pointing at links end somewhere; a loop must not hang us.
constexpr int kMaxLinkHops = 16;
// Rights that let a handle change its key.
constexpr uint32_t kWriteRights = 0x0002 | 0x0004 | 0x00010000;  // set value, create subkey, delete

std::vector<std::string> SplitPath(std::string_view utf8) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= utf8.size(); ++i) {
        if (i == utf8.size() || utf8[i] == '\\') {
            if (i > start) parts.emplace_back(utf8.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

std::u16string UnitsOf(const std::vector<uint8_t>& data) {
    std::u16string s(data.size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
    return s;
}

bool IsStringType(uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

// The data as the ANSI calls hand it over: strings in the code page.
std::string AnsiData(const HiveValue& v) {
    if (!IsStringType(v.Type())) return v.DataBytes();
    std::vector<uint8_t> data = v.Data();
    std::string out = Utf16ToAnsi(UnitsOf(data));
    if (data.size() % 2) out += char(data.back());
    return out;
}

// The data as stored, from what an ANSI call gives.
std::vector<uint8_t> StoredData(uint32_t type, const uint8_t* data, uint32_t size) {
    if (!IsStringType(type)) return std::vector<uint8_t>(data, data + size);
    std::u16string w = AnsiToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<uint8_t> out;
    out.reserve(w.size() * 2);
    for (char16_t c : w) {
        out.push_back(uint8_t(c & 0xff));
        out.push_back(uint8_t(c >> 8));
    }
    return out;
}

// Copies `text` into a caller's name buffer of `*chars` characters (with its
// zero); sets *chars to the length without the zero.
void CopyName(const std::string& text, char* buffer, uint32_t* chars) {
    if (!chars) throw EWinError(kErrorInvalidParameter);
    if (!buffer || text.size() + 1 > *chars) throw EWinError(kErrorMoreData);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    *chars = uint32_t(text.size());
}

// Hands data over as RegQueryValueEx does: size only without a buffer,
// ERROR_MORE_DATA (and the size needed) when it does not fit.
void CopyData(const std::string& bytes, uint8_t* data, uint32_t* dataBytes) {
    if (!dataBytes) {
        if (data) throw EWinError(kErrorInvalidParameter);
        return;
    }
    uint32_t need = uint32_t(bytes.size());
    if (data && need > *dataBytes) {
        *dataBytes = need;
        throw EWinError(kErrorMoreData);
    }
    if (data && need) std::memcpy(data, bytes.data(), need);
    *dataBytes = need;
}

}  // namespace

MachineRegistry::MachineRegistry(StoreFiles& files) : files_(files) {}

StoreFile& MachineRegistry::File(FileKind hive) { return files_.Hive(hive); }

const MachineRegistry::Handle* MachineRegistry::HandleOf(RegKey key, Handle& rootScratch) {
    if (IsRootHandle(key)) {
        rootScratch = Handle{};
        rootScratch.write = true;
        switch (static_cast<RootKey>(key)) {
        case RootKey::CurrentUser: rootScratch.hive = FileKind::UserHive; break;
        case RootKey::LocalMachine: rootScratch.hive = FileKind::SystemHive; break;
        case RootKey::ClassesRoot:
            rootScratch.hive = FileKind::SystemHive;
            rootScratch.path = {"Software", "Classes"};
            rootScratch.classesRoot = true;
            break;
        }
        return &rootScratch;
    }
    auto it = handles_.find(key);
    return it == handles_.end() ? nullptr : &it->second;
}

HiveKey* MachineRegistry::KeyOf(const Handle& h) {
    StoreFile& f = File(h.hive);
    if (!f.hive) return nullptr;
    if (h.key && h.generation == f.generation) return h.key;
    return f.hive->Find(h.path);
}

// The handle keeps the path of the key it found, spelled as the hive
// spells it: no need to build it again for every change.
std::vector<std::string> MachineRegistry::PathOf(const Handle& h, wine::HiveKey* key) {
    return key && h.key == key && h.generation == File(h.hive).generation ? h.path : key->Path();
}

RegKey MachineRegistry::Store(Handle h) {
    RegKey k = next_++;
    handles_.emplace(k, std::move(h));
    return k;
}

void MachineRegistry::Locate(const Handle& base, const std::string& subKey, Mode mode, Located& out) {
    out = Located{};
    Handle h = base;
    if (!subKey.empty() && subKey[0] == '\\') throw EWinError(kErrorBadPathname);
    std::vector<std::string> parts = SplitPath(AnsiToUtf8(subKey));
    for (const auto& part : parts)
        if (part.size() > kMaxKeyName && Utf8ToUtf16(part).size() > kMaxKeyName)
            throw EWinError(kErrorInvalidParameter);

    StoreFile* file = &File(h.hive);
    if (!file->hive) throw EWinError(kErrorBadDbFormat, file->error);
    HiveKey* key = KeyOf(h);
    if (!key) {
        // The classes root exists even before anything was registered.
        if (!(base.classesRoot && base.path.size() == 2)) throw EWinError(kErrorKeyDeleted);
        if (mode == Mode::Find) {
            if (parts.empty()) {
                out.handle = h;
                out.handle.generation = 0;
                return;
            }
            throw EWinError(kErrorFileNotFound);
        }
        key = &file->hive->Create(h.path);
        out.created = true;
    }

    // Follows a symbolic link key to its target (which may be in the other hive).
    auto follow = [&](HiveKey* k) -> HiveKey* {
        for (int hop = 0; k && k->IsLink(); ++hop) {
            if (hop == kMaxLinkHops) return nullptr;
            const HiveValue* target = k->FindValue("SymbolicLinkValue");
            if (!target || target->Type() != kRegLink) return k;
            std::vector<std::string> tp = SplitPath(Utf16ToUtf8(UnitsOf(target->Data())));
            if (tp.size() < 2 || !EqualsNoCase(tp[0], "Registry")) return nullptr;
            size_t skip;
            if (EqualsNoCase(tp[1], "Machine")) {
                skip = 2;
                h.hive = FileKind::SystemHive;
            } else if (EqualsNoCase(tp[1], "User") && tp.size() >= 3) {
                skip = 3;
                h.hive = FileKind::UserHive;
            } else {
                return nullptr;
            }
            file = &File(h.hive);
            if (!file->hive) return nullptr;
            h.path.assign(tp.begin() + long(skip), tp.end());
            k = file->hive->Find(h.path);
        }
        return k;
    };

    const bool redirect = wow32_ && nativeDepth_ == 0;
    for (const std::string& part : parts) {
        key = follow(key);
        if (!key) throw EWinError(kErrorFileNotFound);
        if (redirect && h.hive == FileKind::SystemHive && !EqualsNoCase(part, kWow64Node)) {
            const bool software = key->Parent() == &file->hive->Root() && EqualsNoCase(key->Name(), "Software");
            const bool classes = !software && key->Parent() && key->Parent()->Parent() == &file->hive->Root() &&
                                 EqualsNoCase(key->Parent()->Name(), "Software") && EqualsNoCase(key->Name(), "Classes");
            HiveKey* node = software || classes ? key->FindChild(kWow64Node) : nullptr;
            if (software && !EqualsNoCase(part, "Classes")) {
                // Every program key of the 32-bit view lives there, made with it.
                if (!node) {
                    if (mode != Mode::Create) throw EWinError(kErrorFileNotFound);
                    if (!base.write) throw EWinError(kErrorAccessDenied);
                    node = &key->CreateChild(kWow64Node);
                    out.created = true;
                }
                key = follow(node);
                if (!key) throw EWinError(kErrorFileNotFound);
            } else if (classes && node) {
                // Classes the 32-bit side registers apart (CLSID, ...);
                // the others are shared.
                HiveKey* apart = follow(node);
                if (apart && apart->FindChild(part)) key = apart;
            }
        }
        HiveKey* child = key->FindChild(part);
        std::string shown = child ? std::string(child->Name()) : part;
        // Windows makes CurrentControlSet a link to ControlSet001 at boot and
        // never stores it. A hive that keeps it as a real key (as Wine's do)
        // is used as it stands; only without one does ControlSet001 stand in.
        if (!child && h.hive == FileKind::SystemHive && key->Parent() == &file->hive->Root() &&
            EqualsNoCase(key->Name(), "System") && EqualsNoCase(part, "CurrentControlSet")) {
            child = key->FindChild("ControlSet001");
            if (!child && mode == Mode::Create) {
                child = &key->CreateChild("ControlSet001");
                out.created = true;
            }
        }
        if (!child) {
            if (mode != Mode::Create) throw EWinError(kErrorFileNotFound);
            if (!base.write) throw EWinError(kErrorAccessDenied);
            child = &key->CreateChild(part);
            out.created = true;
        }
        key = child;
        if (!h.shown.empty()) h.shown += '\\';
        h.shown += shown;
    }
    key = follow(key);
    if (!key) throw EWinError(kErrorFileNotFound);
    h.path = key->Path();
    h.key = key;
    h.generation = file->generation;
    out.handle = std::move(h);
}

void MachineRegistry::OpenKey(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result) {
    if (!result) throw EWinError(kErrorInvalidParameter);
    *result = 0;
    Handle scratch;
    const Handle* base = HandleOf(key, scratch);
    if (!base) throw EWinError(kErrorInvalidHandle);
    Located loc;
    Locate(*base, subKey ? subKey : "", Mode::Find, loc);
    loc.handle.write = (samDesired & kWriteRights) != 0;
    *result = Store(std::move(loc.handle));
}

void MachineRegistry::CreateKey(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result,
                                uint32_t* disposition) {
    if (!result) throw EWinError(kErrorInvalidParameter);
    *result = 0;
    Handle scratch;
    const Handle* base = HandleOf(key, scratch);
    if (!base) throw EWinError(kErrorInvalidHandle);
    Handle baseCopy = *base;
    std::string sub = subKey ? subKey : "";
    // Most creations find the key there already: no lock, no write.
    Located loc;
    bool found = true;
    try {
        Locate(baseCopy, sub, Mode::Find, loc);
    } catch (const EWinError& e) {
        if (e.Code() != kErrorFileNotFound) throw;
        found = false;
    }
    if (found && loc.handle.key) {
        loc.handle.write = (samDesired & kWriteRights) != 0;
        if (disposition) *disposition = kRegOpenedExistingKey;
        *result = Store(std::move(loc.handle));
        return;
    }
    TStoreWriteScope scope(files_);
    Locate(baseCopy, sub, Mode::Create, loc);
    if (loc.created) {
        StoreOp op{};
        op.kind = StoreOp::CreateKey;
        op.path = loc.handle.path;
        files_.Changed(File(loc.handle.hive), std::move(op));
    }
    scope.Commit();
    // The commit may have read the file again: find the key anew.
    loc.handle.key = nullptr;
    loc.handle.generation = 0;
    loc.handle.write = (samDesired & kWriteRights) != 0;
    if (disposition) *disposition = loc.created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    *result = Store(std::move(loc.handle));
}

void MachineRegistry::CloseKey(RegKey key) {
    if (IsRootHandle(key)) return;
    if (!handles_.erase(key)) throw EWinError(kErrorInvalidHandle);
}

void MachineRegistry::EnumKey(RegKey key, uint32_t index, char* name, uint32_t* nameChars) {
    Handle scratch;
    const Handle* h = HandleOf(key, scratch);
    if (!h) throw EWinError(kErrorInvalidHandle);
    StoreFile& f = File(h->hive);
    if (!f.hive) throw EWinError(kErrorBadDbFormat, f.error);
    HiveKey* k = KeyOf(*h);
    if (!k) throw EWinError(h->classesRoot ? kErrorNoMoreItems : kErrorKeyDeleted);
    HiveKey* child = SortedChildAt(k, index);
    if (!child) throw EWinError(kErrorNoMoreItems);
    return CopyName(Utf8ToAnsi(child->Name()), name, nameChars);
}

wine::HiveKey* MachineRegistry::SortedChildAt(wine::HiveKey* key, uint32_t index) {
    if (sorted_.key != key || sorted_.treeChanges != wine::KeyTreeChanges()) {
        sorted_.key = key;
        sorted_.treeChanges = wine::KeyTreeChanges();
        sorted_.order = key->Children();
        // Names as UTF-16 code units, ASCII letters in upper case: '_' sorts
        // after the letters, as on Windows.
        auto upper = [](std::string_view utf8) {
            std::u16string w = Utf8ToUtf16(utf8);
            for (char16_t& c : w)
                if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
            return w;
        };
        std::vector<std::pair<std::u16string, wine::HiveKey*>> named;
        named.reserve(sorted_.order.size());
        for (wine::HiveKey* child : sorted_.order) named.emplace_back(upper(child->Name()), child);
        std::stable_sort(named.begin(), named.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < named.size(); ++i) sorted_.order[i] = named[i].second;
    }
    return index < sorted_.order.size() ? sorted_.order[index] : nullptr;
}

void MachineRegistry::EnumValue(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type,
                                uint8_t* data, uint32_t* dataBytes) {
    Handle scratch;
    const Handle* h = HandleOf(key, scratch);
    if (!h) throw EWinError(kErrorInvalidHandle);
    StoreFile& f = File(h->hive);
    if (!f.hive) throw EWinError(kErrorBadDbFormat, f.error);
    HiveKey* k = KeyOf(*h);
    if (!k) throw EWinError(h->classesRoot ? kErrorNoMoreItems : kErrorKeyDeleted);
    const HiveValue* v = k->ValueAt(index);
    if (!v) throw EWinError(kErrorNoMoreItems);
    CopyName(Utf8ToAnsi(v->Name()), name, nameChars);
    if (type) *type = v->Type();
    if (data || dataBytes) return CopyData(AnsiData(*v), data, dataBytes);
}

HiveKey* MachineRegistry::ValuesKey(RegKey key) {
    Handle scratch;
    const Handle* h = HandleOf(key, scratch);
    if (!h) throw EWinError(kErrorInvalidHandle);
    StoreFile& f = File(h->hive);
    if (!f.hive) throw EWinError(kErrorBadDbFormat, f.error);
    HiveKey* k = KeyOf(*h);
    if (!k) {
        if (h->classesRoot) return nullptr;
        throw EWinError(kErrorKeyDeleted);
    }
    return k;
}

void MachineRegistry::GetValues(RegKey key, std::vector<RegValue>& values, uint32_t first, uint32_t count) {
    HiveKey* k = ValuesKey(key);
    if (!k) return;
    const size_t end = first + std::min<size_t>(count, k->ValueCount() - std::min<size_t>(first, k->ValueCount()));
    values.reserve(values.size() + (end - std::min<size_t>(first, end)));
    for (size_t i = first; i < end; ++i) {
        const HiveValue* v = k->ValueAt(i);
        values.push_back(RegValue{Utf8ToAnsi(v->Name()), v->Type(), AnsiData(*v)});
    }
}

void MachineRegistry::VisitValues(RegKey key, const std::function<void(const RegValue&)>& visit) {
    HiveKey* k = ValuesKey(key);
    if (!k) return;
    // One value's room, reused: a pass over many values copies none.
    RegValue value;
    for (size_t i = 0, n = k->ValueCount(); i < n; ++i) {
        const HiveValue* v = k->ValueAt(i);
        const std::string_view name = v->Name();
        if (std::all_of(name.begin(), name.end(), [](char c) { return c > 0 && c < 0x7f; })) value.Name.assign(name);
        else value.Name = Utf8ToAnsi(name);
        value.Type = v->Type();
        if (IsStringType(v->Type())) value.Data = AnsiData(*v);
        else v->DataBytesInto(value.Data);
        visit(value);
    }
}

void MachineRegistry::QueryInfoKey(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                                   uint32_t* maxValueNameChars, uint32_t* maxValueBytes) {
    Handle scratch;
    const Handle* h = HandleOf(key, scratch);
    if (!h) throw EWinError(kErrorInvalidHandle);
    StoreFile& f = File(h->hive);
    if (!f.hive) throw EWinError(kErrorBadDbFormat, f.error);
    HiveKey* k = KeyOf(*h);
    uint32_t nKeys = 0, maxKey = 0, nValues = 0, maxName = 0, maxData = 0;
    if (k) {
        nKeys = uint32_t(k->ChildCount());
        if (maxSubKeyChars)
            for (size_t i = 0; i < k->ChildCount(); ++i)
                maxKey = std::max<uint32_t>(maxKey, uint32_t(Utf8ToUtf16(k->ChildAt(i)->Name()).size()));
        nValues = uint32_t(k->ValueCount());
        if (maxValueNameChars || maxValueBytes)
            for (size_t i = 0; i < k->ValueCount(); ++i) {
                const HiveValue* v = k->ValueAt(i);
                if (maxValueNameChars) maxName = std::max<uint32_t>(maxName, uint32_t(Utf8ToUtf16(v->Name()).size()));
                if (maxValueBytes) maxData = std::max<uint32_t>(maxData, uint32_t(v->DataSize()));
            }
    } else if (!h->classesRoot) {
        throw EWinError(kErrorKeyDeleted);
    }
    if (subKeys) *subKeys = nKeys;
    if (maxSubKeyChars) *maxSubKeyChars = maxKey;
    if (values) *values = nValues;
    if (maxValueNameChars) *maxValueNameChars = maxName;
    if (maxValueBytes) *maxValueBytes = maxData;
}

void MachineRegistry::QueryValue(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* dataBytes) {
    Handle scratch;
    const Handle* h = HandleOf(key, scratch);
    if (!h) throw EWinError(kErrorInvalidHandle);
    StoreFile& f = File(h->hive);
    if (!f.hive) throw EWinError(kErrorBadDbFormat, f.error);
    HiveKey* k = KeyOf(*h);
    if (!k) throw EWinError(h->classesRoot ? kErrorFileNotFound : kErrorKeyDeleted);
    const HiveValue* v = k->FindValue(AnsiToUtf8(name ? name : ""));
    if (!v) throw EWinError(kErrorFileNotFound);
    if (type) *type = v->Type();
    return CopyData(AnsiData(*v), data, dataBytes);
}

void MachineRegistry::SetValue(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                               uint32_t dataBytes) {
    Handle scratch;
    const Handle* base = HandleOf(key, scratch);
    if (!base) throw EWinError(kErrorInvalidHandle);
    if (!base->write) throw EWinError(kErrorAccessDenied);
    // Windows keeps no values on the local machine's root itself.
    if (key == RootHandle(RootKey::LocalMachine)) throw EWinError(kErrorAccessDenied);
    if (!data && dataBytes) throw EWinError(kErrorInvalidParameter);
    std::string utf8 = AnsiToUtf8(name ? name : "");
    if (utf8.size() > kMaxValueName && Utf8ToUtf16(utf8).size() > kMaxValueName)
        throw EWinError(kErrorInvalidParameter);
    const Handle& h = *base;
    TStoreWriteScope scope(files_);
    StoreFile& f = File(h.hive);
    if (!f.hive) throw EWinError(kErrorBadDbFormat, f.error);
    HiveKey* k = KeyOf(h);
    if (!k && h.classesRoot && h.path.size() == 2) {
        k = &f.hive->Create(h.path);
        StoreOp made{};
        made.kind = StoreOp::CreateKey;
        made.path = h.path;
        files_.Changed(f, std::move(made));
    }
    if (!k) throw EWinError(kErrorKeyDeleted);
    std::vector<uint8_t> stored = StoredData(type, data, dataBytes);
    k->SetValue(utf8, type, stored);
    StoreOp op{};
    op.kind = StoreOp::SetValue;
    op.path = PathOf(h, k);
    op.name = std::move(utf8);
    op.type = type;
    op.data = std::move(stored);
    files_.Changed(f, std::move(op));
    scope.Commit();
}

bool MachineRegistry::ValueHolds(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                                 uint32_t dataBytes) {
    Handle scratch;
    const Handle* h = HandleOf(key, scratch);
    if (!h || (!data && dataBytes)) return false;
    StoreFile& f = File(h->hive);
    if (!f.hive) return false;
    HiveKey* k = KeyOf(*h);
    if (!k) return false;
    const std::string utf8 = AnsiToUtf8(name ? name : "");
    const HiveValue* v = k->FindValue(utf8);
    // Names match without regard to case, but a write keeps the spelling it is given.
    if (!v || v->Name() != utf8 || v->Type() != type) return false;
    return v->Data() == StoredData(type, data, dataBytes);
}

void MachineRegistry::DeleteValue(RegKey key, const char* name) {
    Handle scratch;
    const Handle* base = HandleOf(key, scratch);
    if (!base) throw EWinError(kErrorInvalidHandle);
    if (!base->write) throw EWinError(kErrorAccessDenied);
    const Handle& h = *base;
    std::string utf8 = AnsiToUtf8(name ? name : "");
    TStoreWriteScope scope(files_);
    StoreFile& f = File(h.hive);
    if (!f.hive) throw EWinError(kErrorBadDbFormat, f.error);
    HiveKey* k = KeyOf(h);
    if (!k) throw EWinError(kErrorFileNotFound);
    if (!k->DeleteValue(utf8)) throw EWinError(kErrorFileNotFound);
    StoreOp op{};
    op.kind = StoreOp::DeleteValue;
    op.path = PathOf(h, k);
    op.name = std::move(utf8);
    files_.Changed(f, std::move(op));
    scope.Commit();
}

void MachineRegistry::DeleteKey(RegKey key, const char* subKey) {
    Handle scratch;
    const Handle* base = HandleOf(key, scratch);
    if (!base) throw EWinError(kErrorInvalidHandle);
    std::string sub = subKey ? subKey : "";
    if (sub.empty()) throw EWinError(kErrorInvalidParameter);
    Handle baseCopy = *base;
    TStoreWriteScope scope(files_);
    Located loc;
    Locate(baseCopy, sub, Mode::Find, loc);
    HiveKey* victim = loc.handle.key;
    if (!victim || !victim->Parent()) throw EWinError(kErrorAccessDenied);
    // As on the NT family: a key with subkeys is not deleted.
    if (victim->ChildCount() > 0) throw EWinError(kErrorAccessDenied);
    StoreFile& f = File(loc.handle.hive);
    std::vector<std::string> path = victim->Path();
    HiveKey* parent = victim->Parent();
    const std::string name(victim->Name());
    parent->RemoveChild(name);
    StoreOp op{};
    op.kind = StoreOp::DeleteKey;
    op.path = std::move(path);
    files_.Changed(f, std::move(op));
    scope.Commit();
}

std::string MachineRegistry::KeyPath(RegKey key) {
    auto it = handles_.find(key);
    return it == handles_.end() ? std::string() : Utf8ToAnsi(it->second.shown);
}

}  // namespace tarnel::platform::machine
