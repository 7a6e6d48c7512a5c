#include "platform/api/Ansi.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace tarnel::platform {

namespace {
// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned positions,
// which Windows maps to the same-numbered C1 controls.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t ToWide(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) {
        char16_t w = kHigh[c - 0x80];
        return w ? w : c;
    }
    return c;
}

// Characters the code page lacks that Windows writes as a near byte of it
// (A-macron as A), as WideCharToMultiByte does without WC_NO_BEST_FIT_CHARS.
struct BestFit {
    char16_t wide;
    unsigned char byte;
};
constexpr BestFit kBestFit[] = {
#include "platform/api/BestFit1252.inc"
};

char FromWide(char32_t w) {
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return static_cast<char>(w);
    for (unsigned i = 0; i < kHigh.size(); ++i) {
        char16_t h = kHigh[i];
        if ((h && h == w) || (!h && w == 0x80 + i)) return static_cast<char>(0x80 + i);
    }
    if (w <= 0xFFFF) {
        auto it = std::lower_bound(std::begin(kBestFit), std::end(kBestFit), w,
                                   [](const BestFit& b, char32_t c) { return b.wide < c; });
        if (it != std::end(kBestFit) && it->wide == w) return static_cast<char>(it->byte);
    }
    return '?';
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one code point; malformed sequences yield U+FFFD and consume one byte.
char32_t NextUtf8(std::string_view s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    int len = (c >= 0xF0 && c < 0xF8) ? 4 : (c >= 0xE0) ? 3 : (c >= 0xC0) ? 2 : 0;
    if (len == 0 || i + len > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = c & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    i += len;
    return cp;
}

// Decodes one code point from UTF-16; lone surrogates pass through as themselves.
char32_t NextUtf16(std::u16string_view s, size_t& i) {
    char32_t w = s[i++];
    if (w >= 0xD800 && w < 0xDC00 && i < s.size() && s[i] >= 0xDC00 && s[i] < 0xE000)
        return 0x10000 + ((w - 0xD800) << 10) + (s[i++] - 0xDC00);
    return w;
}
}  // namespace

std::u16string AnsiToUtf16(std::string_view ansi) {
    std::u16string out;
    out.reserve(ansi.size());
    for (char c : ansi) out += ToWide(static_cast<unsigned char>(c));
    return out;
}

std::string Utf16ToAnsi(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size();) out += FromWide(NextUtf16(wide, i));
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) AppendUtf8(out, ToWide(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) out += FromWide(NextUtf8(utf8, i));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = NextUtf8(utf8, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size();) AppendUtf8(out, NextUtf16(wide, i));
    return out;
}


std::string AsciiLowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

std::string AsciiUpperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

}  // namespace tarnel::platform
