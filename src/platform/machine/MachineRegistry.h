// The registry calls of the emulated machine: key handles over the hives
// held by StoreFiles, with Windows' arguments and results. A call that fails
// throws EWinError with the code Windows answers; the backend turns it into
// that code at the API's edge.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/api/Backend.h"
#include "platform/machine/StoreFiles.h"

namespace tarnel::platform::machine {

class MachineRegistry {
public:
    explicit MachineRegistry(StoreFiles& files);

    void OpenKey(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result);
    void CreateKey(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result, uint32_t* disposition);
    void CloseKey(RegKey key);
    void EnumKey(RegKey key, uint32_t index, char* name, uint32_t* nameChars);
    void EnumValue(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type, uint8_t* data,
                   uint32_t* dataBytes);
    void QueryInfoKey(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                      uint32_t* maxValueNameChars, uint32_t* maxValueBytes);
    void QueryValue(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* dataBytes);
    // Every value of the key as EnumValue gives them, in one pass.
    void GetValues(RegKey key, std::vector<RegValue>& values, uint32_t first = 0, uint32_t count = UINT32_MAX);
    void VisitValues(RegKey key, const std::function<void(const RegValue&)>& visit);
    void SetValue(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t dataBytes);
    void DeleteValue(RegKey key, const char* name);
    // Whether SetValue with these arguments would leave the key as it is.
    bool ValueHolds(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t dataBytes);
    void DeleteKey(RegKey key, const char* subKey);
    std::string KeyPath(RegKey key);

    // The 32-bit view of a 64-bit machine, as Windows redirects it: a key
    // below HKLM\Software lies below HKLM\Software\Wow6432Node, and a
    // class's key below Software\Classes\Wow6432Node where that holds it.
    void SetWow32(bool on) { wow32_ = on; }
    // The native keys while one lives, whatever the view: the OS facts,
    // which Windows answers from outside the registry, are read there.
    class NativeScope {
    public:
        explicit NativeScope(MachineRegistry& r) : r_(r) { ++r_.nativeDepth_; }
        ~NativeScope() { --r_.nativeDepth_; }
        NativeScope(const NativeScope&) = delete;
        NativeScope& operator=(const NativeScope&) = delete;

    private:
        MachineRegistry& r_;
    };

private:
    // Where a handle points: a key of one hive, by its stored path, with the
    // key found last (valid while the file's generation stays).
    struct Handle {
        FileKind hive = FileKind::SystemHive;
        std::vector<std::string> path;  // from the hive's root, stored spelling
        std::string shown;              // from the handle's predefined root
        bool write = false;
        bool classesRoot = false;       // below HKEY_CLASSES_ROOT
        uint64_t generation = 0;
        wine::HiveKey* key = nullptr;
    };
    enum class Mode { Find, Create };
    struct Located {
        Handle handle;
        bool created = false;
    };

    const Handle* HandleOf(RegKey key, Handle& rootScratch);
    StoreFile& File(FileKind hive);
    // The key the handle names now; null when it is gone.
    wine::HiveKey* KeyOf(const Handle& h);
    // The open key whose values are asked for; null for a classes-root key
    // that does not exist (it lists nothing), else throws as the calls do.
    wine::HiveKey* ValuesKey(RegKey key);
    std::vector<std::string> PathOf(const Handle& h, wine::HiveKey* key);
    void Locate(const Handle& base, const std::string& subKey, Mode mode, Located& out);
    RegKey Store(Handle h);

    // Windows enumerates a key's subkeys sorted by name in upper case; the
    // hive keeps them in file order. The last key enumerated keeps its order.
    wine::HiveKey* SortedChildAt(wine::HiveKey* key, uint32_t index);
    struct SortedChildren {
        const wine::HiveKey* key = nullptr;
        uint64_t treeChanges = 0;
        std::vector<wine::HiveKey*> order;
    } sorted_;

    StoreFiles& files_;
    bool wow32_ = false;
    int nativeDepth_ = 0;
    std::unordered_map<RegKey, Handle> handles_;
    RegKey next_ = 0x1000;
};

}  // namespace tarnel::platform::machine
