// Names and values of the registry format, written as Wine writes them.
#include "platform/machine/WineHiveText.h"

#include <cstring>

namespace tarnel::platform::wine {

using namespace hivetext;

std::string LowerName(std::string_view name) {
    std::string s(name);
    for (char& c : s) c = Lower(c);
    return s;
}

// Names are kept as UTF-8 made from UTF-16 units, so they always decode.
std::u16string Utf8ToUnits(std::string_view s) { return Utf8ToUtf16(s); }

// Lossless both ways: a lone surrogate is kept as the code point it is.
std::string UnitsToUtf8(std::u16string_view s) { return Utf16ToUtf8(s); }

std::string FormatValue(std::string_view name, uint32_t type, const std::vector<uint8_t>& data) {
    std::string out;
    if (name.empty()) {
        out = "@=";
    } else {
        out = "\"";
        EscapeUnits(Utf8ToUnits(name), '"', '"', out);
        out += "\"=";
    }
    size_t count = out.size();  // the column, for wrapping binary data

    if (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz) {
        // Only properly terminated strings are written as text.
        size_t n = data.size() / 2;
        if (data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 2] == 0 && data.back() == 0) {
            std::u16string units(n - 1, u'\0');
            for (size_t i = 0; i + 1 < n; ++i) units[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
            if (type != kRegSz) AppendHex32(out, "str(%x):", type);
            out += '"';
            EscapeUnits(units, '"', '"', out);
            out += "\"\n";
            return out;
        }
    } else if (type == kRegDword && data.size() == 4) {
        uint32_t d = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
        AppendHex32(out, "dword:%08x\n", d);
        return out;
    }

    size_t before = out.size();
    if (type == kRegBinary)
        out += "hex:";
    else
        AppendHex32(out, "hex(%x):", type);
    count += out.size() - before;
    static constexpr char kHex[] = "0123456789abcdef";
    // Written in place: a line holds at least 25 bytes after its first break.
    const size_t n = data.size();
    const size_t start = out.size();
    out.resize(start + n * 3 + (n / 20 + 2) * 4 + 1);
    char* w = out.data() + start;
    for (size_t i = 0; i < n; ++i) {
        *w++ = kHex[data[i] >> 4];
        *w++ = kHex[data[i] & 15];
        count += 2;
        if (i + 1 < n) {
            *w++ = ',';
            if (++count > 76) {
                std::memcpy(w, "\\\n  ", 4);
                w += 4;
                count = 2;
            }
        }
    }
    *w++ = '\n';
    out.resize(size_t(w - out.data()));
    return out;
}

}  // namespace tarnel::platform::wine
