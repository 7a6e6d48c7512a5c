// The registry: the Windows calls (forwarded to the backend in use), the
// registry object the program works with (one root, one open key at a time,
// the program's error texts), and transactions that batch and lock writes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <functional>
#include <string>
#include <vector>

#include "platform/api/Backend.h"

namespace tarnel::platform {

class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // The program's message, and the key it concerns as a full path
    // ("HKEY_CURRENT_USER\SOFTWARE\..."), which the message names only by
    // its value.
    ERegistryException(const std::string& message, std::string key)
        : std::runtime_error(message), key_(std::move(key)) {}
    const std::string& Key() const { return key_; }

private:
    std::string key_;
};

// An error as the user reads it: its message, followed by the registry key
// it concerns when the message does not name it.
std::string ErrorText(const std::exception& error);

// The predefined roots, as Windows numbers them. Classes root is the local
// machine's Software\Classes.
enum class RootKey : uint32_t {
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
};
inline constexpr RootKey kHkeyClassesRoot = RootKey::ClassesRoot;
inline constexpr RootKey kHkeyCurrentUser = RootKey::CurrentUser;
inline constexpr RootKey kHkeyLocalMachine = RootKey::LocalMachine;
inline RegKey RootHandle(RootKey root) { return static_cast<RegKey>(root); }
inline bool IsRootHandle(RegKey key) { return key >= 0x80000000u && key <= 0x80000002u; }

// Registry value types, as Windows numbers them.
enum : uint32_t {
    kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4,
    kRegDwordBigEndian = 5, kRegLink = 6, kRegMultiSz = 7, kRegQword = 11,
};

// Access masks and dispositions the calls take and give.
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;
inline constexpr uint32_t kRegCreatedNewKey = 1;
inline constexpr uint32_t kRegOpenedExistingKey = 2;

// The advapi32 calls, with Windows' arguments and results. The subkey and
// value names are ANSI; data of string types is ANSI on both sides.
long RegOpenKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired, RegKey* result);
long RegCreateKeyExA(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result, uint32_t* disposition);
long RegCloseKey(RegKey key);
long RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* nameChars);
long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type, uint8_t* data,
                   uint32_t* dataBytes);
long RegQueryInfoKeyA(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                      uint32_t* maxValueNameChars, uint32_t* maxValueBytes);
long RegQueryValueExA(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* dataBytes);
long RegSetValueExA(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t dataBytes);
long RegDeleteValueA(RegKey key, const char* name);
long RegDeleteKeyA(RegKey key, const char* subKey);

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TRegistry {
public:
    TRegistry();  // full access, root kHkeyCurrentUser, no key open
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    void SetRootKey(RootKey root);  // closes an open key
    RootKey GetRootKey() const { return root_; }

    // A path with a leading backslash, or any path while no key is open, is
    // taken from the root; otherwise it is relative to the open key.
    bool OpenKey(const std::string& key, bool canCreate);
    bool OpenKeyReadOnly(const std::string& key);
    // Creates the key (and its parents); "Failed to create key %s" on failure.
    bool CreateKey(const std::string& key);
    void CloseKey();
    // Removes the key with all its subkeys; false when it does not exist.
    bool DeleteKey(const std::string& key);
    bool KeyExists(const std::string& key);
    bool HasOpenKey() const { return key_ != 0; }
    // The open key's path from the root.
    std::string CurrentPath() const { return path_; }
    RegKey CurrentKey() const { return key_; }

    // Cleared, then every name in enumeration order; nothing while no key is open.
    void GetValueNames(std::vector<std::string>& names);
    // Every value of the open key with its type and data (as the ANSI calls
    // give them), in enumeration order: one pass instead of a query per name.
    using TValue = RegValue;
    void GetValues(std::vector<TValue>& values);
    // Cleared, then at most `count` of them from position `first` on.
    void GetValueRange(uint32_t first, uint32_t count, std::vector<TValue>& values);
    // Each value of the open key in enumeration order, in a value reused
    // from one call to the next (copy what is kept); nothing while no key
    // is open. `visit` must not change the key.
    void VisitValues(const std::function<void(const TValue&)>& visit);
    // How many values the open key holds; 0 while no key is open.
    uint32_t ValueCount();
    void GetKeyNames(std::vector<std::string>& names);

    bool ValueExists(const std::string& name);
    TRegDataType GetDataType(const std::string& name);
    // Bytes the value needs through the ANSI interface (strings with their
    // terminating zero); -1 when missing.
    int GetDataSize(const std::string& name);
    uint32_t GetRawType(const std::string& name);  // kRegNone when missing

    // String or expandable string, unexpanded, cut at its first zero byte;
    // empty when missing; "Invalid data type for '%s'" for another type.
    std::string ReadString(const std::string& name);
    // Raw data of a binary value, or of any type the typed calls do not
    // cover (kRegNone, kRegMultiSz, ...: data type rdUnknown), into buffer;
    // a string, expandable string or integer value, or more bytes than
    // bufSize, fails with "Invalid data type for '%s'". Returns bytes copied.
    int ReadBinaryData(const std::string& name, void* buffer, int bufSize);
    int32_t ReadInteger(const std::string& name);
    bool ReadBool(const std::string& name);  // true when not 0

    // Replace or create; "Failed to set data for '%s'" on failure (no key
    // open, key opened read-only, the hive file cannot be written; the
    // store's own reason follows after ": ").
    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    void WriteBinaryData(const std::string& name, const void* buffer, int bufSize);
    void WriteInteger(const std::string& name, int32_t value);
    void WriteBool(const std::string& name, bool value);
    bool DeleteValue(const std::string& name);
    // Whether WriteString (WriteExpandString) of these would leave the open
    // key exactly as it is; false when the backend cannot tell.
    bool HoldsString(const std::string& name, const std::string& value, bool expandable);

private:
    // The handle and path a key argument names (from the root or below the
    // open key); base is not owned.
    struct Target {
        RegKey base;
        std::string sub;   // below base
        std::string path;  // from the root
    };
    Target Resolve(const std::string& key) const;
    // The open key from its root's name on; empty while none is open.
    std::string FullPath() const;
    [[noreturn]] void Fail(const std::string& message) const;
    bool OpenWith(const std::string& key, bool create, bool readOnly);
    void Put(const std::string& name, uint32_t type, const void* data, uint32_t size);
    bool Query(const std::string& name, uint32_t& type, std::vector<uint8_t>& data);

    RootKey root_ = RootKey::CurrentUser;
    RegKey key_ = 0;
    bool readOnly_ = false;
    std::string path_;
};

// Every store call runs in one transaction. One opened inside another joins
// it; only the outermost reaches the store: a writing one locks the machine
// and brings its changes to the store at Commit, one replacement per changed
// file, all or none. Leaving without Commit undoes the changes made since
// the transaction began (for a joined one, only those), so an operation that
// fails halfway leaves nothing of itself behind.
class TTransaction {
public:
    // Scratch: changes that the calls of this process see and that are
    // always undone (Commit undoes them too); nothing reaches the store.
    enum Kind { Read, Write, Scratch };
    explicit TTransaction(Kind kind = Write);
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

    // Throws the backend's error naming the step that failed; the store is
    // then as it was before the transaction.
    void Commit();
    // Ends the transaction now, undoing its changes.
    void Rollback();
    bool Outermost() const { return outermost_; }

    static bool Active();
    static int Depth();

private:
    bool outermost_ = false;
    bool done_ = false;
    int mark_ = 0;
};

// Undoes the changes made after it was set, at the latest when it ends.
// Needs an open transaction; the changes it undoes never reach the store.
class TSavepoint {
public:
    TSavepoint();
    ~TSavepoint();
    TSavepoint(const TSavepoint&) = delete;
    TSavepoint& operator=(const TSavepoint&) = delete;
    void RollbackNow();

private:
    int mark_;
    bool done_ = false;
};

}  // namespace tarnel::platform
