#include "platform/api/Registry.h"

#include <cstring>

#include "platform/api/WinError.h"

namespace tarnel::platform {

// ---------------------------------------------------------------- calls

long RegOpenKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired, RegKey* result) {
    return CurrentBackend().RegOpenKeyExA(key, subKey, options, samDesired, result);
}
long RegCreateKeyExA(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result, uint32_t* disposition) {
    return CurrentBackend().RegCreateKeyExA(key, subKey, samDesired, result, disposition);
}
long RegCloseKey(RegKey key) { return CurrentBackend().RegCloseKey(key); }
long RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* nameChars) {
    return CurrentBackend().RegEnumKeyExA(key, index, name, nameChars);
}
long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type, uint8_t* data,
                   uint32_t* dataBytes) {
    return CurrentBackend().RegEnumValueA(key, index, name, nameChars, type, data, dataBytes);
}
long RegQueryInfoKeyA(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                      uint32_t* maxValueNameChars, uint32_t* maxValueBytes) {
    return CurrentBackend().RegQueryInfoKeyA(key, subKeys, maxSubKeyChars, values, maxValueNameChars, maxValueBytes);
}
long RegQueryValueExA(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* dataBytes) {
    return CurrentBackend().RegQueryValueExA(key, name, type, data, dataBytes);
}
long RegSetValueExA(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t dataBytes) {
    return CurrentBackend().RegSetValueExA(key, name, type, data, dataBytes);
}
long RegDeleteValueA(RegKey key, const char* name) { return CurrentBackend().RegDeleteValueA(key, name); }
long RegDeleteKeyA(RegKey key, const char* subKey) { return CurrentBackend().RegDeleteKeyA(key, subKey); }

// ---------------------------------------------------------------- TRegistry

namespace {

std::string SetFailed(const std::string& name) { return "Failed to set data for '" + name + "'"; }
std::string CreateFailed(const std::string& key) { return "Failed to create key " + key; }
std::string InvalidType(const std::string& name) { return "Invalid data type for '" + name + "'"; }
std::string GetFailed(const std::string& name) { return "Failed to get data for '" + name + "'"; }

// The program's text, followed by what the store could not do when it says.
std::string WithDetail(const std::string& text) {
    std::string detail = CurrentBackend().RegLastErrorDetail();
    return detail.empty() ? text : text + ": " + detail;
}

// A store that cannot be read at all answers every call with its own error
// (naming the file and the line), never with a plain "not found".
void ThrowIfUnreadable(long rc) {
    if (rc == long(kErrorBadDbFormat)) {
        std::string detail = CurrentBackend().RegLastErrorDetail();
        throw ERegistryException(detail.empty() ? "The registry cannot be read" : detail);
    }
}

bool IsStringType(uint32_t type) { return type == kRegSz || type == kRegExpandSz; }

}  // namespace

std::string ErrorText(const std::exception& error) {
    std::string text = error.what();
    const auto* registry = dynamic_cast<const ERegistryException*>(&error);
    if (registry && !registry->Key().empty() && text.find(registry->Key()) == std::string::npos)
        text += " (key " + registry->Key() + ")";
    return text;
}

TRegistry::TRegistry() = default;

std::string TRegistry::FullPath() const {
    if (!key_) return {};
    const char* root = root_ == RootKey::LocalMachine  ? "HKEY_LOCAL_MACHINE"
                       : root_ == RootKey::ClassesRoot ? "HKEY_CLASSES_ROOT"
                                                       : "HKEY_CURRENT_USER";
    return path_.empty() ? root : std::string(root) + "\\" + path_;
}

void TRegistry::Fail(const std::string& message) const { throw ERegistryException(message, FullPath()); }

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(RootKey root) {
    CloseKey();
    root_ = root;
}

TRegistry::Target TRegistry::Resolve(const std::string& key) const {
    if (!key_ || (!key.empty() && key[0] == '\\')) {
        std::string sub = (!key.empty() && key[0] == '\\') ? key.substr(1) : key;
        return {RootHandle(root_), sub, sub};
    }
    return {key_, key, path_.empty() ? key : (key.empty() ? path_ : path_ + "\\" + key)};
}

bool TRegistry::OpenWith(const std::string& key, bool create, bool readOnly) {
    Target t = Resolve(key);
    RegKey opened = 0;
    long rc;
    if (create) {
        uint32_t disposition = 0;
        rc = RegCreateKeyExA(t.base, t.sub.c_str(), kKeyAllAccess, &opened, &disposition);
    } else {
        rc = RegOpenKeyExA(t.base, t.sub.c_str(), 0, readOnly ? kKeyRead : kKeyAllAccess, &opened);
    }
    ThrowIfUnreadable(rc);
    if (rc != long(kErrorSuccess)) return false;
    std::string spelled = CurrentBackend().RegKeyPath(opened);
    CloseKey();
    key_ = opened;
    readOnly_ = readOnly;
    path_ = spelled.empty() ? t.path : spelled;
    return true;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) { return OpenWith(key, canCreate, false); }

bool TRegistry::OpenKeyReadOnly(const std::string& key) { return OpenWith(key, false, true); }

bool TRegistry::CreateKey(const std::string& key) {
    Target t = Resolve(key);
    RegKey made = 0;
    uint32_t disposition = 0;
    long rc = RegCreateKeyExA(t.base, t.sub.c_str(), kKeyAllAccess, &made, &disposition);
    ThrowIfUnreadable(rc);
    if (rc != long(kErrorSuccess)) throw ERegistryException(WithDetail(CreateFailed(key)));
    RegCloseKey(made);
    return true;
}

void TRegistry::CloseKey() {
    if (key_) RegCloseKey(key_);
    key_ = 0;
    readOnly_ = false;
    path_.clear();
}

namespace {
// Deletes every subkey of `key`, deepest first, then nothing else.
long DeleteSubkeys(RegKey key) {
    for (;;) {
        char name[256];
        uint32_t chars = sizeof name;
        long rc = RegEnumKeyExA(key, 0, name, &chars);
        if (rc == long(kErrorNoMoreItems)) return long(kErrorSuccess);
        if (rc != long(kErrorSuccess)) return rc;
        RegKey child = 0;
        rc = RegOpenKeyExA(key, name, 0, kKeyAllAccess, &child);
        if (rc != long(kErrorSuccess)) return rc;
        rc = DeleteSubkeys(child);
        RegCloseKey(child);
        if (rc != long(kErrorSuccess)) return rc;
        rc = RegDeleteKeyA(key, name);
        if (rc != long(kErrorSuccess)) return rc;
    }
}
}  // namespace

bool TRegistry::DeleteKey(const std::string& key) {
    Target t = Resolve(key);
    while (!t.sub.empty() && t.sub.back() == '\\') t.sub.pop_back();
    if (t.sub.empty()) return false;
    // The whole branch goes in one change of the store, or nothing does.
    TTransaction transaction;
    RegKey victim = 0;
    long rc = RegOpenKeyExA(t.base, t.sub.c_str(), 0, kKeyAllAccess, &victim);
    ThrowIfUnreadable(rc);
    if (rc != long(kErrorSuccess)) return false;
    rc = DeleteSubkeys(victim);
    RegCloseKey(victim);
    if (rc == long(kErrorSuccess)) rc = RegDeleteKeyA(t.base, t.sub.c_str());
    ThrowIfUnreadable(rc);
    if (rc == long(kErrorFileNotFound)) return false;
    if (rc != long(kErrorSuccess)) throw ERegistryException(WithDetail("Failed to delete key " + key));
    try {
        transaction.Commit();
    } catch (const ERegistryException& e) {
        throw ERegistryException("Failed to delete key " + key + ": " + e.what());
    }
    return true;
}

bool TRegistry::KeyExists(const std::string& key) {
    Target t = Resolve(key);
    RegKey probe = 0;
    long rc = RegOpenKeyExA(t.base, t.sub.c_str(), 0, kKeyRead, &probe);
    ThrowIfUnreadable(rc);
    if (rc != long(kErrorSuccess)) return false;
    RegCloseKey(probe);
    return true;
}

void TRegistry::GetValueNames(std::vector<std::string>& names) {
    names.clear();
    if (!key_) return;
    uint32_t count = 0, maxName = 0;
    if (RegQueryInfoKeyA(key_, nullptr, nullptr, &count, &maxName, nullptr) != long(kErrorSuccess)) return;
    names.reserve(count);
    std::string buffer(size_t(maxName) + 1, '\0');
    for (uint32_t i = 0;; ++i) {
        uint32_t chars = uint32_t(buffer.size());
        long rc = RegEnumValueA(key_, i, buffer.data(), &chars, nullptr, nullptr, nullptr);
        if (rc == long(kErrorMoreData)) {
            // Another process added a longer name since the query.
            buffer.assign(buffer.size() * 2 + 256, '\0');
            --i;
            continue;
        }
        if (rc != long(kErrorSuccess)) break;
        names.emplace_back(buffer.data(), chars);
    }
}

void TRegistry::GetValues(std::vector<TValue>& values) {
    values.clear();
    if (!key_) return;
    CurrentBackend().RegGetValues(key_, values);
}

void TRegistry::GetValueRange(uint32_t first, uint32_t count, std::vector<TValue>& values) {
    values.clear();
    if (!key_) return;
    CurrentBackend().RegGetValueRange(key_, first, count, values);
}

void TRegistry::VisitValues(const std::function<void(const TValue&)>& visit) {
    if (key_) CurrentBackend().RegVisitValues(key_, visit);
}

long TPlatformBackend::RegVisitValues(RegKey key, const std::function<void(const RegValue&)>& visit) {
    std::vector<RegValue> values;
    for (uint32_t first = 0;; first += uint32_t(values.size())) {
        values.clear();
        const long rc = RegGetValueRange(key, first, 256, values);
        if (rc != long(kErrorSuccess) && rc != long(kErrorNoMoreItems)) return rc;
        if (values.empty()) return long(kErrorSuccess);
        for (const RegValue& v : values) visit(v);
    }
}

uint32_t TRegistry::ValueCount() {
    uint32_t count = 0;
    if (!key_ || RegQueryInfoKeyA(key_, nullptr, nullptr, &count, nullptr, nullptr) != long(kErrorSuccess)) return 0;
    return count;
}

long TPlatformBackend::RegGetValues(RegKey key, std::vector<RegValue>& values) {
    // The count alone: the longest name and data would cost a pass over
    // every value's data; a value that does not fit asks for more room below.
    uint32_t count = 0;
    long rc = RegQueryInfoKeyA(key, nullptr, nullptr, &count, nullptr, nullptr);
    if (rc != long(kErrorSuccess)) return rc;
    values.reserve(values.size() + count);
    return RegGetValueRange(key, 0, UINT32_MAX, values);
}

long TPlatformBackend::RegGetValueRange(RegKey key, uint32_t first, uint32_t count, std::vector<RegValue>& values) {
    std::string name(256, '\0');
    std::string data(4096, '\0');
    long rc = long(kErrorSuccess);
    for (uint32_t i = first; i - first < count; ++i) {
        uint32_t chars = uint32_t(name.size()), bytes = uint32_t(data.size()), type = 0;
        rc = RegEnumValueA(key, i, name.data(), &chars, &type, reinterpret_cast<uint8_t*>(data.data()), &bytes);
        if (rc == long(kErrorMoreData)) {
            // Changed since the query: make room and ask again.
            name.assign(name.size() * 2 + 256, '\0');
            data.assign(std::max<size_t>(data.size() * 2, bytes + 1), '\0');
            --i;
            continue;
        }
        if (rc == long(kErrorNoMoreItems)) return long(kErrorSuccess);
        if (rc != long(kErrorSuccess)) return rc;
        values.push_back(RegValue{std::string(name.data(), chars), type, std::string(data.data(), bytes)});
    }
    return long(kErrorSuccess);
}

void TRegistry::GetKeyNames(std::vector<std::string>& names) {
    names.clear();
    if (!key_) return;
    uint32_t count = 0;
    if (RegQueryInfoKeyA(key_, &count, nullptr, nullptr, nullptr, nullptr) != long(kErrorSuccess)) return;
    names.reserve(count);
    for (uint32_t i = 0;; ++i) {
        char name[256];
        uint32_t chars = sizeof name;
        if (RegEnumKeyExA(key_, i, name, &chars) != long(kErrorSuccess)) break;
        names.emplace_back(name, chars);
    }
}

bool TRegistry::Query(const std::string& name, uint32_t& type, std::vector<uint8_t>& data) {
    data.clear();
    type = kRegNone;
    if (!key_) return false;
    uint32_t size = 0;
    long rc = RegQueryValueExA(key_, name.c_str(), &type, nullptr, &size);
    ThrowIfUnreadable(rc);
    if (rc != long(kErrorSuccess)) return false;
    data.resize(size);
    for (;;) {
        uint32_t got = uint32_t(data.size());
        rc = RegQueryValueExA(key_, name.c_str(), &type, data.data(), &got);
        if (rc == long(kErrorMoreData)) {
            data.resize(got);
            continue;
        }
        if (rc != long(kErrorSuccess)) return false;
        data.resize(got);
        return true;
    }
}

bool TRegistry::ValueExists(const std::string& name) {
    if (!key_) return false;
    uint32_t type = 0, size = 0;
    long rc = RegQueryValueExA(key_, name.c_str(), &type, nullptr, &size);
    ThrowIfUnreadable(rc);
    return rc == long(kErrorSuccess);
}

uint32_t TRegistry::GetRawType(const std::string& name) {
    if (!key_) return kRegNone;
    uint32_t type = kRegNone, size = 0;
    long rc = RegQueryValueExA(key_, name.c_str(), &type, nullptr, &size);
    ThrowIfUnreadable(rc);
    return rc == long(kErrorSuccess) ? type : kRegNone;
}

TRegDataType TRegistry::GetDataType(const std::string& name) {
    if (!ValueExists(name)) return TRegDataType::rdUnknown;
    switch (GetRawType(name)) {
    case kRegSz: return TRegDataType::rdString;
    case kRegExpandSz: return TRegDataType::rdExpandString;
    case kRegDword: return TRegDataType::rdInteger;
    case kRegBinary: return TRegDataType::rdBinary;
    default: return TRegDataType::rdUnknown;
    }
}

int TRegistry::GetDataSize(const std::string& name) {
    if (!key_) return -1;
    uint32_t type = 0, size = 0;
    long rc = RegQueryValueExA(key_, name.c_str(), &type, nullptr, &size);
    ThrowIfUnreadable(rc);
    return rc == long(kErrorSuccess) ? int(size) : -1;
}

std::string TRegistry::ReadString(const std::string& name) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!Query(name, type, data)) return {};
    if (!IsStringType(type)) Fail(InvalidType(name));
    size_t n = 0;
    while (n < data.size() && data[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(data.data()), n);
}

int TRegistry::ReadBinaryData(const std::string& name, void* buffer, int bufSize) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!Query(name, type, data)) return 0;
    // The typed calls own strings and integers; every other type is raw data.
    if (IsStringType(type) || type == kRegDword) Fail(InvalidType(name));
    if (data.size() > size_t(bufSize < 0 ? 0 : bufSize)) Fail(InvalidType(name));
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    return int(data.size());
}

int32_t TRegistry::ReadInteger(const std::string& name) {
    // As a query into a 4-byte buffer: missing or too big fails first.
    uint32_t type = 0, size = 4;
    uint8_t bytes[4] = {0, 0, 0, 0};
    long rc = key_ ? RegQueryValueExA(key_, name.c_str(), &type, bytes, &size) : long(kErrorFileNotFound);
    ThrowIfUnreadable(rc);
    if (rc != long(kErrorSuccess)) Fail(GetFailed(name));
    if (type != kRegDword) Fail(InvalidType(name));
    uint32_t d = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    return int32_t(d);
}

bool TRegistry::ReadBool(const std::string& name) { return ReadInteger(name) != 0; }

void TRegistry::Put(const std::string& name, uint32_t type, const void* data, uint32_t size) {
    if (!key_ || readOnly_) Fail(SetFailed(name));
    long rc = RegSetValueExA(key_, name.c_str(), type, static_cast<const uint8_t*>(data), size);
    ThrowIfUnreadable(rc);
    if (rc != long(kErrorSuccess)) Fail(WithDetail(SetFailed(name)));
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    std::string z(value.c_str());  // cut at a zero byte, as the C string the call takes
    Put(name, kRegSz, z.c_str(), uint32_t(z.size() + 1));
}

bool TRegistry::HoldsString(const std::string& name, const std::string& value, bool expandable) {
    if (!key_) return false;
    const std::string z(value.c_str());
    return CurrentBackend().RegValueHoldsA(key_, name.c_str(), expandable ? kRegExpandSz : kRegSz,
                                           reinterpret_cast<const uint8_t*>(z.c_str()), uint32_t(z.size() + 1));
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
    std::string z(value.c_str());
    Put(name, kRegExpandSz, z.c_str(), uint32_t(z.size() + 1));
}

void TRegistry::WriteBinaryData(const std::string& name, const void* buffer, int bufSize) {
    if (bufSize < 0 || (bufSize > 0 && !buffer)) Fail(SetFailed(name));
    Put(name, kRegBinary, buffer, uint32_t(bufSize));
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
    auto d = uint32_t(value);
    uint8_t bytes[4] = {uint8_t(d), uint8_t(d >> 8), uint8_t(d >> 16), uint8_t(d >> 24)};
    Put(name, kRegDword, bytes, 4);
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

bool TRegistry::DeleteValue(const std::string& name) {
    if (!key_ || readOnly_) return false;
    long rc = RegDeleteValueA(key_, name.c_str());
    ThrowIfUnreadable(rc);
    if (rc == long(kErrorSuccess)) return true;
    if (rc == long(kErrorFileNotFound) || rc == long(kErrorAccessDenied)) return false;
    Fail(WithDetail(SetFailed(name)));
}

// ---------------------------------------------------------------- transactions

namespace {
struct TransactionState {
    int depth = 0;
    bool write = false;
    bool scratch = false;
};
TransactionState& Transactions() {
    static TransactionState state;
    return state;
}
}  // namespace

TTransaction::TTransaction(Kind kind) {
    TransactionState& st = Transactions();
    bool write = kind == Write;
    if (st.depth == 0) {
        if (kind == Scratch) CurrentBackend().BeginScratchTransaction();
        else CurrentBackend().BeginTransaction(write);
        st.write = write || kind == Scratch;
        st.scratch = kind == Scratch;
        outermost_ = true;
    } else {
        if (write && !st.write) {
            // A write inside a read: the backend takes the lock now.
            CurrentBackend().BeginTransaction(true);
            st.write = true;
        }
        mark_ = CurrentBackend().SetSavepoint();
    }
    ++st.depth;
}

TTransaction::~TTransaction() {
    if (!done_) {
        try {
            Rollback();
        } catch (...) {
            // Nothing reached the store; there is nothing left to undo.
        }
    }
}

void TTransaction::Commit() {
    if (done_) return;
    done_ = true;
    TransactionState& st = Transactions();
    --st.depth;
    if (!outermost_) return;
    if (st.scratch) CurrentBackend().RollbackTransaction();
    else CurrentBackend().CommitTransaction();
}

void TTransaction::Rollback() {
    if (done_) return;
    done_ = true;
    --Transactions().depth;
    if (outermost_)
        CurrentBackend().RollbackTransaction();
    else
        CurrentBackend().RollbackToSavepoint(mark_);
}

bool TTransaction::Active() { return Transactions().depth > 0; }
int TTransaction::Depth() { return Transactions().depth; }

TSavepoint::TSavepoint() : mark_(CurrentBackend().SetSavepoint()) {}

TSavepoint::~TSavepoint() {
    try {
        RollbackNow();
    } catch (...) {
        // The transaction around it rolls back what is left.
    }
}

void TSavepoint::RollbackNow() {
    if (done_) return;
    done_ = true;
    CurrentBackend().RollbackToSavepoint(mark_);
}

}  // namespace tarnel::platform
