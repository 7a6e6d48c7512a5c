#include "platform/api/CodecManager.h"

#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "platform/api/Ansi.h"
#include "platform/machine/Machine.h"
#include "platform/api/OsVersion.h"
#include "platform/machine/PeImage.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/api/VersionApi.h"

namespace tarnel::platform {

namespace {

constexpr const char* kDrivers32Key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

struct OpenCodec {
    CodecSelfDescription self;
    uint32_t fccType = 0, fccHandler = 0, mode = 0;
    std::u16string driverPath;  // as the machine names it, for szDriver
};

std::map<HIC, OpenCodec>& Handles() {
    static std::map<HIC, OpenCodec> handles;
    return handles;
}
HIC& NextHandle() {
    static HIC next = 0x1000;
    return next;
}
CodecDialogHandler& DialogHandler() {
    static CodecDialogHandler handler;
    return handler;
}

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

bool IsNtFamily() {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    return reg.OpenKeyReadOnly("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion") &&
           (reg.ValueExists("CurrentVersion") || reg.ValueExists("CurrentMajorVersionNumber"));
}

// The driver file the live store names for "type.handler", as stored.
std::string LookUpDriver(const std::string& entry) {
    if (IsNtFamily()) {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        if (!reg.OpenKeyReadOnly(kDrivers32Key)) return {};
        TRegDataType t = reg.GetDataType(entry);
        if (t != TRegDataType::rdString && t != TRegDataType::rdExpandString) return {};
        return reg.ReadString(entry);
    }
    char buf[1024];
    GetPrivateProfileStringA("drivers32", entry.c_str(), "", buf, sizeof buf, "system.ini");
    return buf;
}

// Reads a little-endian 16-bit word of the block, bounded.
uint16_t Word(const std::string& b, size_t off) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[off]) |
                                 (static_cast<unsigned char>(b[off + 1]) << 8));
}

// Size of a UTF-16 key starting at off (without its zero), bounded by end.
std::optional<size_t> KeyEnd(const std::string& b, size_t off, size_t end) {
    for (size_t p = off; p + 1 < end; p += 2)
        if (Word(b, p) == 0) return p;
    return std::nullopt;
}

std::u16string KeyAt(const std::string& b, size_t off, size_t keyEnd) {
    std::u16string k;
    for (size_t p = off; p < keyEnd; p += 2) k += static_cast<char16_t>(Word(b, p));
    return k;
}

size_t Align4(size_t v) { return (v + 3) & ~size_t(3); }

// The key of the first string table of a 32-bit version block, walking the
// children of the root until "StringFileInfo"; every length is bounded by
// its parent's.
std::string FirstStringTableKey(const std::string& b) {
    if (b.size() < 6) return {};
    size_t rootEnd = std::min<size_t>(Word(b, 0), b.size());
    auto rootKeyEnd = KeyEnd(b, 6, rootEnd);
    if (!rootKeyEnd) return {};
    size_t pos = Align4(*rootKeyEnd + 2) + Word(b, 2);
    while (pos + 6 <= rootEnd) {
        pos = Align4(pos);
        size_t len = Word(b, pos);
        if (len < 6 || pos + len > rootEnd) return {};
        auto ke = KeyEnd(b, pos + 6, pos + len);
        if (!ke) return {};
        if (KeyAt(b, pos + 6, *ke) == u"StringFileInfo") {
            size_t table = Align4(*ke + 2);
            if (table + 6 > pos + len) return {};
            size_t tlen = Word(b, table);
            if (tlen < 6 || table + tlen > pos + len) return {};
            auto tke = KeyEnd(b, table + 6, table + tlen);
            if (!tke) return {};
            return Utf16ToAnsi(KeyAt(b, table + 6, *tke));
        }
        pos += len;
    }
    return {};
}

// What a PE file without its own description answers: the names from the
// first string table of its version resource.
CodecSelfDescription PlainDescription(const std::string& file) {
    CodecSelfDescription d;
    uint32_t size = GetFileVersionInfoSizeA(file, nullptr);
    if (size == 0) return d;
    std::string block(size, '\0');
    if (!GetFileVersionInfoA(file, 0, size, block.data())) return d;
    std::string key = FirstStringTableKey(block);
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

ICINFO InfoOf(const OpenCodec& c) {
    ICINFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof(ICINFO);
    info.fccType = c.fccType;
    info.fccHandler = c.fccHandler;
    info.dwFlags = c.self.flags;
    info.dwVersion = c.self.version;
    info.dwVersionICM = 0x104;
    CopyWide(info.szName, 16, AnsiToUtf16(c.self.name));
    CopyWide(info.szDescription, 128, AnsiToUtf16(c.self.description));
    CopyWide(info.szDriver, 128, c.driverPath);
    return info;
}

}  // namespace

HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode) {
    if (!MachineSelected()) return 0;
    std::string type = AsciiLowerCase(CodeText(fccType));
    std::string handler = CodeText(fccHandler);
    if (type != "vidc" || handler.empty()) return 0;
    std::string driver = LookUpDriver(type + "." + handler);
    if (driver.empty()) return 0;
    auto file = ResolveMachineFile(driver);
    if (!file) return 0;

    OpenCodec codec;
    try {
        PeImage image = PeImage::Load(*file);
        auto text = image.FindResource(ResId::Name("CODECINFO"), ResId::Id(1));
        if (text) {
            codec.self = ParseCodecInfoText(*text);
            codec.self.described = true;
        } else {
            codec.self = PlainDescription(file->string());
        }
    } catch (const std::exception&) {
        // A file that is not a sound PE image cannot be loaded as a driver.
        return 0;
    }
    if (codec.self.described && !AnswersTo(codec.self, handler)) return 0;
    // A driver reports its own type in the system's spelling.
    codec.fccType = 'v' | ('i' << 8) | ('d' << 16) | ('c' << 24);
    codec.fccHandler = fccHandler;
    codec.mode = mode;
    codec.driverPath = AnsiToUtf16(driver);
    HIC h = NextHandle()++;
    Handles().emplace(h, std::move(codec));
    return h;
}

uint32_t ICGetInfo(HIC hic, ICINFO* info, uint32_t cb) {
    auto it = Handles().find(hic);
    if (it == Handles().end() || !info) return 0;
    ICINFO filled = InfoOf(it->second);
    uint32_t n = std::min<uint32_t>(cb, sizeof(ICINFO));
    std::memcpy(info, &filled, n);
    return n;
}

intptr_t ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2) {
    constexpr intptr_t kIcErrBadHandle = -8;
    auto it = Handles().find(hic);
    if (it == Handles().end()) return kIcErrBadHandle;
    const OpenCodec& c = it->second;
    switch (msg) {
        case kIcmGetInfo:
            return ICGetInfo(hic, reinterpret_cast<ICINFO*>(p1), static_cast<uint32_t>(p2));
        case kIcmConfigure:
        case kIcmAbout: {
            bool configure = msg == kIcmConfigure;
            bool offered = configure ? c.self.configure : c.self.about;
            if (!offered) return kIcErrUnsupported;
            if (p1 == -1) return kIcErrOk;
            const std::string& text = configure ? c.self.configureText : c.self.aboutText;
            if (auto& handler = DialogHandler())
                handler(configure ? CodecDialogKind::Configure : CodecDialogKind::About, c.self.name, text);
            return kIcErrOk;
        }
        default:
            return kIcErrUnsupported;
    }
}

intptr_t ICClose(HIC hic) {
    Handles().erase(hic);
    return kIcErrOk;
}

void SetCodecDialogHandler(CodecDialogHandler handler) { DialogHandler() = std::move(handler); }

}  // namespace tarnel::platform
