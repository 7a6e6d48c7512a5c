// Building a version block as the resource compiler lays it out: the
// program's own version resource is made this way at build time.
#include <cstring>
#include <string_view>

#include "platform/api/Ansi.h"
#include "platform/api/VersionApi.h"

namespace tarnel::platform {

namespace {

// Lays nodes out as the resource compiler does: each node's length runs to
// the end of its last child (trailing padding excluded), siblings start on
// 4-byte boundaries and that padding counts towards the parent.
class BlockWriter {
public:
    size_t Begin(std::string_view key, uint16_t valueLength, uint16_t type) {
        Pad();
        const size_t start = out_.size();
        U16(0);
        U16(valueLength);
        U16(type);
        Text(AnsiToUtf16(key));
        Pad();
        return start;
    }
    void End(size_t start) {
        const size_t length = out_.size() - start;
        if (length > 0xffff) throw std::length_error("version resource larger than 64 KiB");
        out_[start] = static_cast<char>(length & 0xff);
        out_[start + 1] = static_cast<char>(length >> 8);
    }
    void U16(uint16_t v) {
        out_.push_back(static_cast<char>(v & 0xff));
        out_.push_back(static_cast<char>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v & 0xffff));
        U16(static_cast<uint16_t>(v >> 16));
    }
    // UTF-16 text with its terminating NUL.
    void Text(std::u16string_view s) {
        for (char16_t c : s) U16(c);
        U16(0);
    }
    void Pad() {
        while (out_.size() % 4) out_.push_back('\0');
    }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructVersion = 0x00010000;
constexpr uint16_t kFixedInfoSize = 52;

}  // namespace

std::string BuildVersionResource(const VersionResourceSpec& layout) {
    BlockWriter w;
    const size_t root = w.Begin("VS_VERSION_INFO", kFixedInfoSize, 0);
    w.U32(kFixedSignature);
    w.U32(kFixedStructVersion);
    w.U32(uint32_t(layout.fileVersion[0]) << 16 | layout.fileVersion[1]);
    w.U32(uint32_t(layout.fileVersion[2]) << 16 | layout.fileVersion[3]);
    w.U32(uint32_t(layout.productVersion[0]) << 16 | layout.productVersion[1]);
    w.U32(uint32_t(layout.productVersion[2]) << 16 | layout.productVersion[3]);
    for (int i = 0; i < 7; ++i) w.U32(0);  // flags mask, flags, OS, type, subtype, date

    if (!layout.tables.empty()) {
        const size_t sfi = w.Begin("StringFileInfo", 0, 1);
        for (const auto& table : layout.tables) {
            const size_t t = w.Begin(table.key, 0, 1);
            for (const auto& [name, value] : table.strings) {
                const std::u16string wide = AnsiToUtf16(value);
                if (wide.size() + 1 > 0xffff) throw std::length_error("version string too long: " + name);
                const size_t s = w.Begin(name, static_cast<uint16_t>(wide.size() + 1), 1);
                w.Text(wide);
                w.End(s);
            }
            w.End(t);
        }
        w.End(sfi);
    }
    if (!layout.translations.empty()) {
        const size_t vfi = w.Begin("VarFileInfo", 0, 1);
        const size_t tr = w.Begin("Translation", static_cast<uint16_t>(layout.translations.size() * 4), 0);
        for (const auto& [language, codePage] : layout.translations) {
            w.U16(language);
            w.U16(codePage);
        }
        w.End(tr);
        w.End(vfi);
    }
    w.End(root);
    return w.Take();
}

VersionResourceSpec ProgramVersionSpec(const uint16_t version[4]) {
    const std::string text = std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
                             std::to_string(version[2]) + "." + std::to_string(version[3]);
    VersionResourceSpec layout;
    for (int i = 0; i < 4; ++i) layout.fileVersion[i] = layout.productVersion[i] = version[i];
    layout.tables.push_back({"040904E4",
                             {{"CompanyName", "Halvorin"},
                              {"FileDescription", "Tarnel video codec manager"},
                              {"FileVersion", text},
                              {"InternalName", "Tarnel"},
                              {"LegalCopyright", "Copyright (C) 2026 Halvorin"},
                              {"OriginalFilename", "Tarnel.exe"},
                              {"ProductName", "Tarnel"},
                              {"ProductVersion", text},
                              {"Comments", ""}}});
    layout.translations.push_back({0x0409, 1252});
    return layout;
}

}  // namespace tarnel::platform
