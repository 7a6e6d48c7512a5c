// The registry object of the program: one root, one open key at a time.
// Backed by the machine's Wine-format hive files (system.reg, user.reg).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnel::platform {

class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The predefined roots. Classes root is the local machine's Software\Classes.
enum class RootKey : uint32_t {
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
};
inline constexpr RootKey kHkeyClassesRoot = RootKey::ClassesRoot;
inline constexpr RootKey kHkeyCurrentUser = RootKey::CurrentUser;
inline constexpr RootKey kHkeyLocalMachine = RootKey::LocalMachine;

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

// Raw registry value types, as Windows numbers them.
enum : uint32_t {
    kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4,
    kRegDwordBigEndian = 5, kRegLink = 6, kRegMultiSz = 7, kRegQword = 11,
};

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
    bool HasOpenKey() const { return open_; }
    // The open key's path from the root, as it was spelled when created.
    std::string CurrentPath() const;

    // Cleared, then every name in enumeration order; nothing while no key is open.
    void GetValueNames(std::vector<std::string>& names);
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
    // open, key opened read-only, the hive file cannot be written).
    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    void WriteBinaryData(const std::string& name, const void* buffer, int bufSize);
    void WriteInteger(const std::string& name, int32_t value);
    void WriteBool(const std::string& name, bool value);
    bool DeleteValue(const std::string& name);

private:
    RootKey root_ = RootKey::CurrentUser;
    bool open_ = false;
    bool readOnly_ = false;
    std::string path_;  // below the root, components joined by '\'
};

// Collects every registry write made while it lives (by any TRegistry) and
// lets each touched hive file reach disk once, as one atomic replacement, at
// Commit. Without Commit the writes are discarded (the hives are reloaded
// from disk). Scopes do not nest; a second one throws ERegistryException.
class TRegistryScope {
public:
    TRegistryScope();
    ~TRegistryScope();
    TRegistryScope(const TRegistryScope&) = delete;
    TRegistryScope& operator=(const TRegistryScope&) = delete;
    void Commit();

private:
    bool done_ = false;
};

// While it lives, every key changed gets this time stamp instead of the
// current time, so that machines made from the same content come out
// byte-identical.
class TRegistryFixedTime {
public:
    explicit TRegistryFixedTime(int64_t unixSeconds);
    ~TRegistryFixedTime();
    TRegistryFixedTime(const TRegistryFixedTime&) = delete;
    TRegistryFixedTime& operator=(const TRegistryFixedTime&) = delete;

private:
    int64_t previous_;
};

// Drops every hive held in memory, so the next access reads the files again.
// Used when the selected machine changes.
void ForgetLoadedHives();

}  // namespace tarnel::platform
