// The registry calls of the emulated machine: key handles over the hives
// held by StoreFiles, with Windows' arguments, results and error codes.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/api/Backend.h"
#include "platform/machine/StoreFiles.h"

namespace tarnel::platform::machine {

class MachineRegistry {
public:
    explicit MachineRegistry(StoreFiles& files);

    long OpenKey(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result);
    long CreateKey(RegKey key, const char* subKey, uint32_t samDesired, RegKey* result, uint32_t* disposition);
    long CloseKey(RegKey key);
    long EnumKey(RegKey key, uint32_t index, char* name, uint32_t* nameChars);
    long EnumValue(RegKey key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type, uint8_t* data,
                   uint32_t* dataBytes);
    long QueryInfoKey(RegKey key, uint32_t* subKeys, uint32_t* maxSubKeyChars, uint32_t* values,
                      uint32_t* maxValueNameChars, uint32_t* maxValueBytes);
    long QueryValue(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* dataBytes);
    long SetValue(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t dataBytes);
    long DeleteValue(RegKey key, const char* name);
    long DeleteKey(RegKey key, const char* subKey);
    std::string KeyPath(RegKey key);

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
    long Locate(const Handle& base, const std::string& subKey, Mode mode, Located& out);
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
    std::unordered_map<RegKey, Handle> handles_;
    RegKey next_ = 0x1000;
};

}  // namespace tarnel::platform::machine
