#include "platform/machine/CodecManager.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/Ansi.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/api/VersionApi.h"
#include "platform/api/VersionBlock.h"
#include "platform/api/WinError.h"
#include "platform/api/WinPaths.h"
#include "platform/machine/DriverFiles.h"
#include "platform/machine/Machine.h"
#include "platform/machine/MachineBackend.h"
#include "platform/machine/PeImage.h"

namespace tarnel::platform::machine {

namespace {

constexpr const char* kDrivers32Key = kDrivers32KeyPath;

// The four characters of a code, stopping at the first zero byte.
std::string CodeText(uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        if (!c) break;
        s += c;
    }
    return s;
}

// What a PE file without its own description answers: the names from the
// first string table of its version resource.
CodecSelfDescription PlainDescription(const std::string& driver) {
    CodecSelfDescription d;
    uint32_t size = GetFileVersionInfoSizeA(driver, nullptr);
    if (size == 0) return d;
    std::string block(size, '\0');
    if (!GetFileVersionInfoA(driver, 0, size, block.data())) return d;
    std::string key = FirstStringTableKey(block.data(), block.size());
    if (key.empty()) return d;
    auto query = [&](const char* name, size_t max) {
        void* p = nullptr;
        uint32_t len = 0;
        if (!VerQueryValueA(block.data(), "\\StringFileInfo\\" + key + "\\" + name, &p, &len) || !p)
            return std::string();
        std::string text(static_cast<const char*>(p), strnlen(static_cast<const char*>(p), len));
        return text.substr(0, max);
    };
    d.name = query("InternalName", 15);
    d.description = query("FileDescription", 127);
    return d;
}

bool AnswersTo(const CodecSelfDescription& d, std::string handler) {
    // A code shorter than four characters is padded with blanks by some callers.
    while (!handler.empty() && handler.back() == ' ') handler.pop_back();
    if (d.fourccs.empty() || d.fourccs == "*") return true;
    size_t start = 0;
    while (start <= d.fourccs.size()) {
        size_t end = d.fourccs.find(',', start);
        if (end == std::string::npos) end = d.fourccs.size();
        std::string item = d.fourccs.substr(start, end - start);
        while (!item.empty() && item.front() == ' ') item.erase(item.begin());
        while (!item.empty() && item.back() == ' ') item.pop_back();
        if (item == "*" || EqualsNoCase(item, handler)) return true;
        start = end + 1;
    }
    return false;
}

void CopyWide(char16_t* dst, size_t cap, const std::u16string& src) {
    size_t n = std::min(src.size(), cap - 1);
    std::memcpy(dst, src.data(), n * sizeof(char16_t));
    dst[n] = 0;
}

// The file name of a driver text without any folder, as szDriver holds it.
std::string BaseName(const std::string& driver) {
    size_t cut = driver.find_last_of("\\/:");
    return cut == std::string::npos ? driver : driver.substr(cut + 1);
}

}  // namespace

// The driver file the live store names for "type.handler", as stored. The
// machine's family decides the store, as it decides the system folder.
std::string CodecManager::LookUpDriver(const std::string& entry) {
    if (machine_.Family() != TMachineFamily::Win9x) {
        // One query of the live entry, as the manager makes it.
        RegKey key = 0;
        if (machine_.RegOpenKeyExA(RootHandle(kHkeyLocalMachine), kDrivers32Key, 0, kKeyRead, &key) != 0)
            key = 0;
        std::string data(260, '\0');
        uint32_t type = 0, size = uint32_t(data.size());
        long rc = long(kErrorFileNotFound);
        if (key) {
            rc = machine_.RegQueryValueExA(key, entry.c_str(), &type, reinterpret_cast<uint8_t*>(data.data()), &size);
            if (rc == long(kErrorMoreData)) {
                data.assign(size, '\0');
                rc = machine_.RegQueryValueExA(key, entry.c_str(), &type, reinterpret_cast<uint8_t*>(data.data()),
                                               &size);
            }
            machine_.RegCloseKey(key);
        }
        if (rc == 0 && (type == kRegSz || type == kRegExpandSz)) {
            data.resize(std::min<size_t>(size, data.size()));
            return std::string(data.c_str());
        }
        // Wine's manager looks in SYSTEM.INI next, on every family.
        if (!machine_.WineMachine()) return {};
    }
    char buf[1024];
    machine_.GetPrivateProfileStringA("drivers32", entry.c_str(), "", buf, sizeof buf, "system.ini");
    return buf;
}

// The codes of the store's "type.xxxx" entries, in the store's order.
std::vector<uint32_t> CodecManager::EntriesOfType(const std::string& type) {
    std::vector<std::string> names;
    const bool wine = machine_.WineMachine();
    if (machine_.Family() != TMachineFamily::Win9x) {
        RegKey key = 0;
        if (machine_.RegOpenKeyExA(RootHandle(kHkeyLocalMachine), kDrivers32Key, 0, kKeyRead, &key) == 0) {
            for (uint32_t i = 0;; ++i) {
                char name[256];
                uint32_t chars = sizeof name;
                long rc = machine_.RegEnumValueA(key, i, name, &chars, nullptr, nullptr, nullptr);
                if (rc == long(kErrorMoreData)) continue;
                if (rc != 0) break;
                // Wine's manager takes names of exactly "type.xxxx".
                if (wine && chars != type.size() + 5) continue;
                names.emplace_back(name, chars);
            }
            machine_.RegCloseKey(key);
        } else if (!wine) {
            return {};
        }
    }
    if (machine_.Family() == TMachineFamily::Win9x || wine) {
        std::string buf(32767, '\0');
        uint32_t n = machine_.GetPrivateProfileSectionA("drivers32", buf.data(), uint32_t(buf.size()), "system.ini");
        for (uint32_t at = 0; at < n;) {
            std::string line(buf.data() + at);
            at += uint32_t(line.size()) + 1;
            // Wine's: the line's key is "type.xxxx", its '=' right after.
            if (wine && (line.size() <= type.size() + 5 || line[type.size() + 5] != '=')) continue;
            names.push_back(line.substr(0, line.find('=')));
        }
    }
    std::vector<uint32_t> codes;
    for (const std::string& name : names) {
        if (name.size() <= type.size() + 1 || !StartsWithNoCase(name, type + ".")) continue;
        const std::string code = name.substr(type.size() + 1, 4);
        uint32_t c = 0;
        for (size_t i = 0; i < code.size(); ++i) c |= uint32_t(uint8_t(code[i])) << (8 * i);
        codes.push_back(c);
    }
    return codes;
}

HIC CodecManager::Open(uint32_t fccType, uint32_t fccHandler, uint32_t mode) {
    std::string type = AsciiLowerCase(CodeText(fccType));
    std::string handler = CodeText(fccHandler);
    if (type != "vidc") return 0;
    if (handler.empty()) {
        // Any codec of the type: the first entry whose driver opens.
        std::vector<uint32_t> codes;
        try {
            codes = EntriesOfType(type);
        } catch (const ERegistryException&) {
            return 0;
        }
        for (uint32_t code : codes)
            if (code)
                if (HIC h = Open(fccType, code, mode)) return h;
        return 0;
    }
    std::string driver;
    try {
        driver = LookUpDriver(type + "." + handler);
    } catch (const ERegistryException&) {
        return 0;  // a store that cannot be read names no driver
    }
    if (driver.empty()) return 0;
    auto file = ResolveMachineFile(driver);
    if (!file) return 0;

    OpenCodec codec;
    DriverFile scratch;
    const DriverFile& facts = DriverFileFacts(*file, scratch);
    // A file that is not a sound PE image cannot be loaded as a driver, and
    // the manager calls a driver through its DriverProc: a library without
    // one is no driver.
    if (!facts.image || !facts.driverProc) return 0;
    if (facts.codecInfo) {
        codec.self = ParseCodecInfoText(*facts.codecInfo);
        codec.self.described = true;
    } else {
        codec.self = PlainDescription(driver);
    }
    if (codec.self.described && !AnswersTo(codec.self, handler)) return 0;
    // A driver reports its own type in the system's spelling.
    codec.fccType = 'v' | ('i' << 8) | ('d' << 16) | ('c' << 24);
    codec.fccHandler = fccHandler;
    codec.mode = mode;
    codec.driverName = AnsiToUtf16(BaseName(driver));
    HIC h = next_++;
    handles_.emplace(h, std::move(codec));
    return h;
}

intptr_t CodecManager::GetInfo(HIC hic, ICINFO* info, uint32_t cb) {
    auto it = handles_.find(hic);
    if (it == handles_.end()) return kIcErrBadHandle;
    // As the system's manager: no record is a wrong parameter (the driver is
    // not asked), a short one gets nothing.
    if (!info) return kMmsysErrInvalParam;
    if (cb < sizeof(ICINFO)) return 0;
    const OpenCodec& c = it->second;
    ICINFO filled;
    std::memset(&filled, 0, sizeof filled);
    filled.dwSize = sizeof(ICINFO);
    filled.fccType = c.fccType;
    filled.fccHandler = c.fccHandler;
    filled.dwFlags = c.self.flags;
    filled.dwVersion = c.self.version;
    filled.dwVersionICM = 0x104;
    CopyWide(filled.szName, 16, AnsiToUtf16(c.self.name));
    CopyWide(filled.szDescription, 128, AnsiToUtf16(c.self.description));
    CopyWide(filled.szDriver, 128, c.driverName);
    std::memcpy(info, &filled, sizeof filled);
    return sizeof(ICINFO);
}

intptr_t CodecManager::SendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2) {
    auto it = handles_.find(hic);
    if (it == handles_.end()) return kIcErrBadHandle;
    const OpenCodec& c = it->second;
    switch (msg) {
    case kIcmGetInfo:
        // Straight to the driver, which tells its record's size when given none.
        if (!p1) return sizeof(ICINFO);
        return GetInfo(hic, reinterpret_cast<ICINFO*>(p1), static_cast<uint32_t>(p2));
    case kIcmConfigure:
    case kIcmAbout: {
        bool configure = msg == kIcmConfigure;
        bool offered = configure ? c.self.configure : c.self.about;
        if (!offered) return kIcErrUnsupported;
        if (p1 == -1) return kIcErrOk;
        const std::string& text = configure ? c.self.configureText : c.self.aboutText;
        if (const auto& handler = machine_.DialogHandler())
            handler(configure ? CodecDialogKind::Configure : CodecDialogKind::About, c.self.name, text);
        else if (const auto& host = DriverDialogHost())
            host(configure, c.self.name, text);
        return kIcErrOk;
    }
    default:
        return kIcErrUnsupported;
    }
}

intptr_t CodecManager::Close(HIC hic) { return handles_.erase(hic) ? kIcErrOk : kIcErrBadHandle; }

}  // namespace tarnel::platform::machine
