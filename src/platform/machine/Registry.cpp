#include "platform/api/Registry.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "platform/api/Ansi.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "platform/machine/WineHive.h"

namespace tarnel::platform {

namespace {

using wine::Hive;
using wine::HiveKey;
using wine::HiveValue;

// Windows' limits: 255 characters per key name, 16383 per value name.
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
// Links pointing at links end somewhere; a loop must not hang us.
constexpr int kMaxLinkHops = 16;

std::string SetFailed(const std::string& name) { return "Failed to set data for '" + name + "'"; }
std::string CreateFailed(const std::string& key) { return "Failed to create key " + key; }
std::string InvalidType(const std::string& name) { return "Invalid data type for '" + name + "'"; }
std::string GetFailed(const std::string& name) { return "Failed to get data for '" + name + "'"; }

// One hive file as held in memory, shared by every TRegistry.
struct LoadedHive {
    std::string file;
    bool system = false;
    std::unique_ptr<Hive> hive;  // null when the file could not be parsed
    std::string error;           // the parse error; the file is then never written
    FileStamp stamp;             // of the file as last read or written
    bool touched = false;        // changed by the open scope, not yet on disk
};

enum class OpKind { CreateKey, SetValue, DeleteValue, DeleteKey };

// A change made inside a scope, kept so that it can be applied again to a
// hive that another process rewrote in the meantime.
struct ScopeOp {
    std::string file;
    OpKind kind;
    std::vector<std::string> path;  // from the hive's root
    std::string name;               // value name (UTF-8), or the caller's key text
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

ScopeOp MakeOp(OpKind kind, std::vector<std::string> path, std::string name, uint32_t type = 0) {
    ScopeOp op;
    op.kind = kind;
    op.path = std::move(path);
    op.name = std::move(name);
    op.type = type;
    return op;
}

struct RegistryState {
    std::recursive_mutex mutex;
    std::map<std::string, LoadedHive> hives;
    bool scopeOpen = false;
    std::vector<ScopeOp> ops;
};

RegistryState& State() {
    static RegistryState state;
    return state;
}

std::string_view RelativeTo(bool system) {
    return system ? "REGISTRY\\Machine" : "REGISTRY\\User\\S-1-5-21-0-0-0-1000";
}

void Load(LoadedHive& h) {
    h.hive.reset();
    h.error.clear();
    // Stamp first: a change after this point is seen at the next access.
    h.stamp = StampOf(h.file);
    if (!h.stamp.exists) {
        h.hive = std::make_unique<Hive>(RelativeTo(h.system));
        return;
    }
    std::string text = ReadWholeFile(h.file);
    try {
        h.hive = Hive::Parse(std::move(text), h.file, RelativeTo(h.system));
    } catch (const ERegistryException& e) {
        h.error = e.what();
    }
}

// The hive of that file, read again when another process changed it.
// A hive that cannot be parsed throws its parse error on every access.
LoadedHive& Access(const std::filesystem::path& path, bool system) {
    RegistryState& st = State();
    std::string file = path.lexically_normal().string();
    auto [it, inserted] = st.hives.try_emplace(file);
    LoadedHive& h = it->second;
    try {
        if (inserted) {
            h.file = file;
            h.system = system;
            Load(h);
        } else if (!(st.scopeOpen && h.touched) && StampOf(h.file) != h.stamp) {
            Load(h);
        }
    } catch (...) {
        st.hives.erase(file);
        throw;
    }
    if (!h.hive) throw ERegistryException(h.error);
    return h;
}

void Forget(const std::string& file) { State().hives.erase(file); }

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

bool IsStringType(uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

std::u16string UnitsOf(const std::vector<uint8_t>& data) {
    std::u16string s(data.size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
    return s;
}

std::vector<uint8_t> BytesOfString(const std::string& ansi) {
    std::u16string w = AnsiToUtf16(ansi);
    std::vector<uint8_t> out;
    out.reserve(w.size() * 2 + 2);
    for (char16_t c : w) {
        out.push_back(uint8_t(c & 0xff));
        out.push_back(uint8_t(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

// Size as the ANSI interface reports it: strings converted to the code page.
int AnsiDataSize(const HiveValue& v) {
    if (IsStringType(v.Type())) {
        std::vector<uint8_t> data = v.Data();
        return int(Utf16ToAnsi(UnitsOf(data)).size() + (data.size() % 2));
    }
    return int(v.DataSize());
}

enum class Mode {
    Find,          // nothing is created
    CreateRoot,    // only the root's own key (classes root) may be created
    CreateAll,     // every missing key is created
};

struct Located {
    LoadedHive* hive = nullptr;
    HiveKey* key = nullptr;  // null: the root of a classes root not made yet
    std::string spelled;     // path below the root, in the stored spelling
    bool created = false;
    bool badName = false;    // a missing key whose name Windows refuses
};

// Where a symbolic link key points, or null when it dangles.
HiveKey* FollowLink(LoadedHive*& hive, HiveKey* key) {
    for (int hop = 0; key && key->IsLink(); ++hop) {
        if (hop == kMaxLinkHops) return nullptr;
        const HiveValue* target = key->FindValue("SymbolicLinkValue");
        if (!target || target->Type() != kRegLink) return key;
        std::vector<std::string> parts = SplitPath(wine::UnitsToUtf8(UnitsOf(target->Data())));
        if (parts.size() < 2 || !EqualsNoCase(parts[0], "Registry")) return nullptr;
        size_t skip;
        bool system;
        if (EqualsNoCase(parts[1], "Machine")) {
            skip = 2;
            system = true;
        } else if (EqualsNoCase(parts[1], "User") && parts.size() >= 3) {
            skip = 3;
            system = false;
        } else {
            return nullptr;
        }
        hive = &Access(system ? SystemHivePath() : UserHivePath(), system);
        key = hive->hive->Find(std::vector<std::string>(parts.begin() + long(skip), parts.end()));
    }
    return key;
}

// Finds (or makes) the key at `parts` below `root`, following symbolic
// links on the way (and at the end when `followLast`).
std::optional<Located> Locate(RootKey root, const std::vector<std::string>& parts, Mode mode,
                              bool followLast = true) {
    bool system = root != RootKey::CurrentUser;
    Located loc;
    if (mode == Mode::CreateAll) {
        // Refuse before anything is made, so a failed create leaves no trace.
        for (const auto& part : parts)
            if (wine::Utf8ToUnits(part).size() > kMaxKeyName) {
                loc.badName = true;
                return loc;
            }
    }
    loc.hive = &Access(system ? SystemHivePath() : UserHivePath(), system);
    HiveKey* key = &loc.hive->hive->Root();
    if (root == RootKey::ClassesRoot) {
        for (const char* part : {"Software", "Classes"}) {
            HiveKey* child = key->FindChild(part);
            if (!child && mode != Mode::Find) {
                child = &key->CreateChild(part);
                loc.created = true;
            }
            if (!child) {
                if (parts.empty()) return loc;  // the root itself always exists
                return std::nullopt;
            }
            key = child;
        }
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        key = FollowLink(loc.hive, key);
        if (!key) return std::nullopt;
        HiveKey* child = key->FindChild(part);
        std::string shown = child ? std::string(child->Name()) : part;
        // Windows makes CurrentControlSet a link to ControlSet001 at boot and
        // never stores it; stand in for it when the hive has no such key.
        if (!child && loc.hive->system && key->Parent() == &loc.hive->hive->Root() &&
            EqualsNoCase(key->Name(), "System") && EqualsNoCase(part, "CurrentControlSet")) {
            child = key->FindChild("ControlSet001");
            if (!child && mode == Mode::CreateAll) {
                child = &key->CreateChild("ControlSet001");
                loc.created = true;
            }
        }
        if (!child && mode == Mode::CreateAll) {
            child = &key->CreateChild(part);
            loc.created = true;
        }
        if (!child) return std::nullopt;
        key = child;
        if (!loc.spelled.empty()) loc.spelled += '\\';
        loc.spelled += shown;
    }
    if (followLast) {
        key = FollowLink(loc.hive, key);
        if (!key) return std::nullopt;
    }
    loc.key = key;
    return loc;
}

// Brings a change to disk, or, inside a scope, records it for the commit.
void Persist(LoadedHive& h, ScopeOp op, const std::string& failure) {
    RegistryState& st = State();
    if (st.scopeOpen) {
        h.touched = true;
        op.file = h.file;
        st.ops.push_back(std::move(op));
        return;
    }
    try {
        WriteFileAtomically(h.file, h.hive->Serialize());
        h.stamp = StampOf(h.file);
    } catch (const EFileError&) {
        // Memory now differs from the file: read it again next time.
        Forget(h.file);
        throw ERegistryException(failure);
    }
}

void Replay(Hive& hive, const ScopeOp& op) {
    switch (op.kind) {
    case OpKind::CreateKey:
        hive.Create(op.path);
        break;
    case OpKind::SetValue:
        hive.Create(op.path).SetValue(op.name, op.type, op.data);
        break;
    case OpKind::DeleteValue:
        if (HiveKey* k = hive.Find(op.path)) k->DeleteValue(op.name);
        break;
    case OpKind::DeleteKey:
        hive.Remove(op.path);
        break;
    }
}

std::string FailureOf(const ScopeOp& op) {
    return op.kind == OpKind::CreateKey ? CreateFailed(op.name) : SetFailed(Utf8ToAnsi(op.name));
}

}  // namespace

// ---------------------------------------------------------------- TRegistry

TRegistry::TRegistry() = default;
TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(RootKey root) {
    CloseKey();
    root_ = root;
}

namespace {
// The components a key argument names: from the root when it starts with a
// backslash or no key is open, else below the open key.
std::vector<std::string> Target(bool open, const std::string& path, const std::string& key, bool* relative) {
    bool rel = key.empty() || key[0] != '\\';
    if (relative) *relative = rel && open;
    std::vector<std::string> parts;
    if (rel && open) parts = SplitPath(path);
    for (auto& p : SplitPath(AnsiToUtf8(key))) parts.push_back(std::move(p));
    return parts;
}
}  // namespace

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    std::lock_guard lock(State().mutex);
    bool relative = false;
    auto parts = Target(open_, path_, key, &relative);
    // A key opened read-only cannot make subkeys.
    bool mayCreate = canCreate && !(relative && readOnly_);
    auto loc = Locate(root_, parts, mayCreate ? Mode::CreateAll : Mode::Find);
    if (!loc || loc->badName) return false;
    if (loc->created) {
        ScopeOp op = MakeOp(OpKind::CreateKey, loc->key->Path(), key);
        try {
            Persist(*loc->hive, std::move(op), CreateFailed(key));
        } catch (const ERegistryException&) {
            return false;
        }
    }
    open_ = true;
    readOnly_ = false;
    path_ = loc->spelled;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
    std::lock_guard lock(State().mutex);
    auto parts = Target(open_, path_, key, nullptr);
    auto loc = Locate(root_, parts, Mode::Find);
    if (!loc) return false;
    open_ = true;
    readOnly_ = true;
    path_ = loc->spelled;
    return true;
}

bool TRegistry::CreateKey(const std::string& key) {
    std::lock_guard lock(State().mutex);
    bool relative = false;
    auto parts = Target(open_, path_, key, &relative);
    auto loc = Locate(root_, parts, (relative && readOnly_) ? Mode::Find : Mode::CreateAll);
    if (!loc || loc->badName) throw ERegistryException(CreateFailed(key));
    if (loc->created) {
        ScopeOp op = MakeOp(OpKind::CreateKey, loc->key->Path(), key);
        Persist(*loc->hive, std::move(op), CreateFailed(key));
    }
    return true;
}

void TRegistry::CloseKey() {
    open_ = false;
    readOnly_ = false;
    path_.clear();
}

bool TRegistry::DeleteKey(const std::string& key) {
    std::lock_guard lock(State().mutex);
    auto parts = Target(open_, path_, key, nullptr);
    if (parts.empty()) return false;
    std::string last = parts.back();
    parts.pop_back();
    auto loc = Locate(root_, parts, Mode::Find);
    if (!loc || !loc->key) return false;
    HiveKey* child = loc->key->FindChild(last);
    if (!child) return false;
    std::vector<std::string> removed = child->Path();
    loc->key->RemoveChild(last);
    ScopeOp op = MakeOp(OpKind::DeleteKey, std::move(removed), key);
    Persist(*loc->hive, std::move(op), "Failed to delete key " + key);
    return true;
}

bool TRegistry::KeyExists(const std::string& key) {
    std::lock_guard lock(State().mutex);
    return Locate(root_, Target(open_, path_, key, nullptr), Mode::Find).has_value();
}

std::string TRegistry::CurrentPath() const { return Utf8ToAnsi(path_); }

namespace {
HiveKey* OpenedKey(RootKey root, bool open, const std::string& path) {
    if (!open) return nullptr;
    auto loc = Locate(root, SplitPath(path), Mode::Find);
    return loc ? loc->key : nullptr;
}
}  // namespace

void TRegistry::GetValueNames(std::vector<std::string>& names) {
    names.clear();
    std::lock_guard lock(State().mutex);
    if (HiveKey* k = OpenedKey(root_, open_, path_))
        for (const HiveValue* v : k->Values()) names.push_back(Utf8ToAnsi(v->Name()));
}

void TRegistry::GetKeyNames(std::vector<std::string>& names) {
    names.clear();
    std::lock_guard lock(State().mutex);
    if (HiveKey* k = OpenedKey(root_, open_, path_))
        for (const HiveKey* c : k->Children()) names.push_back(Utf8ToAnsi(c->Name()));
}

namespace {
const HiveValue* FindValue(RootKey root, bool open, const std::string& path, const std::string& name) {
    HiveKey* k = OpenedKey(root, open, path);
    return k ? k->FindValue(AnsiToUtf8(name)) : nullptr;
}
}  // namespace

bool TRegistry::ValueExists(const std::string& name) {
    std::lock_guard lock(State().mutex);
    return FindValue(root_, open_, path_, name) != nullptr;
}

TRegDataType TRegistry::GetDataType(const std::string& name) {
    std::lock_guard lock(State().mutex);
    const HiveValue* v = FindValue(root_, open_, path_, name);
    if (!v) return TRegDataType::rdUnknown;
    switch (v->Type()) {
    case kRegSz: return TRegDataType::rdString;
    case kRegExpandSz: return TRegDataType::rdExpandString;
    case kRegDword: return TRegDataType::rdInteger;
    case kRegBinary: return TRegDataType::rdBinary;
    default: return TRegDataType::rdUnknown;
    }
}

int TRegistry::GetDataSize(const std::string& name) {
    std::lock_guard lock(State().mutex);
    const HiveValue* v = FindValue(root_, open_, path_, name);
    return v ? AnsiDataSize(*v) : -1;
}

uint32_t TRegistry::GetRawType(const std::string& name) {
    std::lock_guard lock(State().mutex);
    const HiveValue* v = FindValue(root_, open_, path_, name);
    return v ? v->Type() : kRegNone;
}

std::string TRegistry::ReadString(const std::string& name) {
    std::lock_guard lock(State().mutex);
    const HiveValue* v = FindValue(root_, open_, path_, name);
    if (!v) return {};
    if (v->Type() != kRegSz && v->Type() != kRegExpandSz) throw ERegistryException(InvalidType(name));
    std::u16string units = UnitsOf(v->Data());
    if (size_t zero = units.find(u'\0'); zero != std::u16string::npos) units.resize(zero);
    return Utf16ToAnsi(units);
}

int TRegistry::ReadBinaryData(const std::string& name, void* buffer, int bufSize) {
    std::lock_guard lock(State().mutex);
    const HiveValue* v = FindValue(root_, open_, path_, name);
    if (!v) return 0;
    // The typed calls own strings and integers; every other type is raw data.
    if (v->Type() == kRegSz || v->Type() == kRegExpandSz || v->Type() == kRegDword)
        throw ERegistryException(InvalidType(name));
    // The ANSI interface hands multi-strings over in the code page, as it does strings.
    std::string ansi;
    std::vector<uint8_t> data = v->Data();
    if (IsStringType(v->Type())) ansi = Utf16ToAnsi(UnitsOf(data));
    size_t size = IsStringType(v->Type()) ? ansi.size() : data.size();
    if (size > size_t(std::max(bufSize, 0))) throw ERegistryException(InvalidType(name));
    if (size) std::memcpy(buffer, IsStringType(v->Type()) ? static_cast<const void*>(ansi.data()) : data.data(), size);
    return int(size);
}

int32_t TRegistry::ReadInteger(const std::string& name) {
    std::lock_guard lock(State().mutex);
    const HiveValue* v = FindValue(root_, open_, path_, name);
    // As the query into a 4-byte buffer: missing or too big fails first.
    if (!v || AnsiDataSize(*v) > 4) throw ERegistryException(GetFailed(name));
    if (v->Type() != kRegDword) throw ERegistryException(InvalidType(name));
    std::vector<uint8_t> data = v->Data();
    uint32_t d = 0;
    for (size_t i = 0; i < data.size(); ++i) d |= uint32_t(data[i]) << (8 * i);
    return int32_t(d);
}

bool TRegistry::ReadBool(const std::string& name) { return ReadInteger(name) != 0; }

namespace {
void PutValue(RootKey root, bool open, bool readOnly, const std::string& path, const std::string& name,
              uint32_t type, std::vector<uint8_t> data) {
    std::lock_guard lock(State().mutex);
    if (!open || readOnly) throw ERegistryException(SetFailed(name));
    std::string utf8 = AnsiToUtf8(name);
    if (wine::Utf8ToUnits(utf8).size() > kMaxValueName) throw ERegistryException(SetFailed(name));
    auto loc = Locate(root, SplitPath(path), Mode::CreateRoot);
    if (!loc || !loc->key) throw ERegistryException(SetFailed(name));
    loc->key->SetValue(utf8, type, data);
    ScopeOp op = MakeOp(OpKind::SetValue, loc->key->Path(), utf8, type);
    if (State().scopeOpen) op.data = std::move(data);
    Persist(*loc->hive, std::move(op), SetFailed(name));
}
}  // namespace

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    PutValue(root_, open_, readOnly_, path_, name, kRegSz, BytesOfString(value));
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
    PutValue(root_, open_, readOnly_, path_, name, kRegExpandSz, BytesOfString(value));
}

void TRegistry::WriteBinaryData(const std::string& name, const void* buffer, int bufSize) {
    if (bufSize < 0 || (bufSize > 0 && !buffer)) throw ERegistryException(SetFailed(name));
    const auto* p = static_cast<const uint8_t*>(buffer);
    PutValue(root_, open_, readOnly_, path_, name, kRegBinary, std::vector<uint8_t>(p, p + bufSize));
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
    auto d = uint32_t(value);
    PutValue(root_, open_, readOnly_, path_, name, kRegDword,
             {uint8_t(d), uint8_t(d >> 8), uint8_t(d >> 16), uint8_t(d >> 24)});
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

bool TRegistry::DeleteValue(const std::string& name) {
    std::lock_guard lock(State().mutex);
    if (!open_ || readOnly_) return false;
    auto loc = Locate(root_, SplitPath(path_), Mode::Find);
    if (!loc || !loc->key) return false;
    std::string utf8 = AnsiToUtf8(name);
    if (!loc->key->DeleteValue(utf8)) return false;
    ScopeOp op = MakeOp(OpKind::DeleteValue, loc->key->Path(), utf8);
    Persist(*loc->hive, std::move(op), SetFailed(name));
    return true;
}

// ---------------------------------------------------------------- scope

TRegistryScope::TRegistryScope() {
    RegistryState& st = State();
    std::lock_guard lock(st.mutex);
    if (st.scopeOpen) throw ERegistryException("A registry scope is already open");
    st.scopeOpen = true;
    st.ops.clear();
}

TRegistryScope::~TRegistryScope() {
    if (done_) return;
    RegistryState& st = State();
    std::lock_guard lock(st.mutex);
    // Discard: what memory holds differs from disk, so read the files again.
    for (auto it = st.hives.begin(); it != st.hives.end();)
        it = it->second.touched ? st.hives.erase(it) : std::next(it);
    st.ops.clear();
    st.scopeOpen = false;
}

void TRegistryScope::Commit() {
    if (done_) return;
    done_ = true;
    RegistryState& st = State();
    std::lock_guard lock(st.mutex);
    std::vector<ScopeOp> ops = std::move(st.ops);
    st.ops.clear();
    st.scopeOpen = false;

    std::vector<std::string> files;  // in the order they were first changed
    for (const auto& op : ops)
        if (std::find(files.begin(), files.end(), op.file) == files.end()) files.push_back(op.file);

    std::string current;
    try {
        for (const auto& file : files) {
            current = file;
            const ScopeOp* first = nullptr;
            for (const auto& op : ops)
                if (op.file == file) {
                    first = &op;
                    break;
                }
            auto it = st.hives.find(file);
            bool system = it != st.hives.end() ? it->second.system : file == SystemHivePath().lexically_normal().string();
            // Another process rewrote the file during the scope (or the hive
            // was dropped): start from what is on disk now and apply this
            // scope's changes again, so neither side's changes are lost.
            if (it == st.hives.end() || StampOf(file) != it->second.stamp) {
                if (it != st.hives.end()) st.hives.erase(it);
                LoadedHive& fresh = Access(file, system);
                for (const auto& op : ops)
                    if (op.file == file) Replay(*fresh.hive, op);
                it = st.hives.find(file);
            }
            LoadedHive& h = it->second;
            try {
                WriteFileAtomically(h.file, h.hive->Serialize());
            } catch (const EFileError&) {
                throw ERegistryException(FailureOf(*first));
            }
            h.stamp = StampOf(h.file);
            h.touched = false;
        }
    } catch (...) {
        for (auto it = st.hives.begin(); it != st.hives.end();)
            it = it->second.touched || it->first == current ? st.hives.erase(it) : std::next(it);
        throw;
    }
    for (auto& [file, h] : st.hives) h.touched = false;
}

void ForgetLoadedHives() {
    RegistryState& st = State();
    std::lock_guard lock(st.mutex);
    st.hives.clear();
    st.ops.clear();
}

TRegistryFixedTime::TRegistryFixedTime(int64_t unixSeconds)
    : previous_(wine::FixedRegistryTime().exchange(unixSeconds)) {}
TRegistryFixedTime::~TRegistryFixedTime() { wine::FixedRegistryTime().store(previous_); }

}  // namespace tarnel::platform
