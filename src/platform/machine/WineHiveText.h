// The text layer of Wine's registry format, shared by the hive's tree, its
// parser and its writer: the format's constants, its character classes and
// names, and the readers of strings and value data. The readers serve both
// loading, which only checks and measures the text, and decoding, which the
// tree does later; so what is decoded is what was checked. Everything here is
// inline: the parser's hot loop depends on it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"
#include "platform/machine/WineHive.h"

namespace tarnel::platform::wine::hivetext {

inline constexpr std::string_view kVersionLine = "WINE REGISTRY Version 2";
// Seconds between 1601-01-01 (FILETIME) and 1970-01-01.
inline constexpr int64_t kEpochDelta = 11644473600LL;
// Small keys are searched linearly; bigger ones get a hash index.
inline constexpr size_t kIndexThreshold = 8;
// Windows nests keys at most 512 levels deep.
inline constexpr size_t kMaxDepth = 512;
// Wine refuses key names longer than this (UTF-16 units) and value names
// longer than Windows allows.
inline constexpr size_t kMaxKeyName = 256;
inline constexpr size_t kMaxValueName = 16383;
// A broken file must not flood the log.
inline constexpr size_t kMaxWarnings = 100;

// HiveValue::bits_: the text length and what the record is.
inline constexpr uint32_t kLengthMask = 0x0fffffff;
inline constexpr uint32_t kSlot = 0x10000000;       // ptr_ is a Hive::Slot
inline constexpr uint32_t kDead = 0x20000000;       // deleted; ptr_ is its text, if it had one
inline constexpr uint32_t kShadow = 0x40000000;     // a repeat of an earlier value; type_ is its slot
inline constexpr uint32_t kMalformed = 0x80000000;  // Wine reads it as an empty value of type 0

inline char Lower(char c) { return AsciiLower(c); }

inline bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// Eight characters at once, ASCII upper case made lower.
inline uint64_t LowerWord(uint64_t x) {
    uint64_t seven = x & 0x7f7f7f7f7f7f7f7fULL;
    uint64_t atLeastA = seven + 0x3f3f3f3f3f3f3f3fULL;
    uint64_t pastZ = seven + 0x2525252525252525ULL;
    uint64_t upper = atLeastA & ~pastZ & ~x & 0x8080808080808080ULL;
    return x | (upper >> 2);
}

inline uint32_t HashName(std::string_view s) {
    uint64_t h = 0x9e3779b97f4a7c15ULL ^ s.size();
    const char* p = s.data();
    size_t n = s.size();
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ LowerWord(w)) * 0xff51afd7ed558ccdULL;
        h ^= h >> 32;
    }
    if (n) {
        uint64_t w = 0;
        std::memcpy(&w, p, n);
        h = (h ^ LowerWord(w)) * 0xff51afd7ed558ccdULL;
    }
    h ^= h >> 29;
    h *= 0xc4ceb9fe1a85ec53ULL;
    return uint32_t(h ^ (h >> 32));
}

inline constexpr auto kHexDigits = [] {
    std::array<int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[size_t(c)] = int8_t(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) t[size_t(c)] = int8_t(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) t[size_t(c)] = int8_t(c - 'A' + 10);
    return t;
}();

inline int HexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }

// C's isspace in the C locale, which Wine's loader trims with.
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline const char* SkipSpace(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) ++p;
    return p;
}

inline bool AllSpace(const char* p, const char* end) { return SkipSpace(p, end) == end; }

inline bool StartsWith(const char* p, const char* end, std::string_view prefix) {
    return size_t(end - p) >= prefix.size() && std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

// The first byte from p that is `a` or `b` or not printable ASCII (below
// 0x20 or above 0x7e), or end.
inline const char* FindSpecial(const char* p, const char* end, char a, char b) {
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
    const __m128i low = _mm_set1_epi8(0x20), high = _mm_set1_epi8(0x7e);
    for (; end - p >= 16; p += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Signed compares: bytes from 0x80 up count as below 0x20.
        __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                                   _mm_or_si128(_mm_cmplt_epi8(v, low), _mm_cmpgt_epi8(v, high)));
        if (int mask = _mm_movemask_epi8(hit)) return p + __builtin_ctz(unsigned(mask));
    }
#endif
    for (; p < end; ++p) {
        char c = *p;
        if (c == a || c == b || c < 0x20 || c > 0x7e) return p;
    }
    return end;
}

// Names in the order Wine keeps them, ignoring ASCII case. While names come
// in rising order, a name after the last one cannot repeat any before it.
inline int CompareNames(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size()), i = 0;
    // Names of siblings often share a long start: skip it eight bytes at a time.
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            i += size_t(__builtin_ctzll(x ^ y)) / 8;
            break;
        }
    }
    for (; i < n; ++i) {
        if (a[i] == b[i]) continue;
        auto x = static_cast<unsigned char>(Lower(a[i])), y = static_cast<unsigned char>(Lower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Escapes UTF-16 text the way Wine writes it: C escapes for control
// characters, octal for the other ones, \x for everything above 127, and a
// backslash before '\' and the two given delimiters.
inline void EscapeUnits(std::u16string_view s, char delim1, char delim2, std::string& out) {
    static constexpr char kEscapes[33] = ".......abtnvfr.............e....";
    char buf[16];
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        bool hasNext = i + 1 < s.size();
        char16_t next = hasNext ? s[i + 1] : 0;
        if (c > 127) {
            bool nextIsHex = hasNext && next < 128 && HexDigit(char(next)) >= 0;
            std::snprintf(buf, sizeof buf, nextIsHex ? "\\x%04x" : "\\x%x", unsigned(c));
            out += buf;
        } else if (c < 32) {
            if (kEscapes[c] != '.') {
                out += '\\';
                out += kEscapes[c];
            } else {
                bool nextIsOctal = hasNext && next >= '0' && next <= '7';
                std::snprintf(buf, sizeof buf, nextIsOctal ? "\\%03o" : "\\%o", unsigned(c));
                out += buf;
            }
        } else {
            if (c == '\\' || c == char16_t(delim1) || c == char16_t(delim2)) out += '\\';
            out += char(c);
        }
    }
}

inline void AppendHex32(std::string& out, const char* format, uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, format, v);
    out += buf;
}

// ------------------------------------------------------------ reading text
//
// One set of readers serves both loading, which only checks and measures the
// text (NoSink), and Data(), which decodes it; so what is read later is what
// was checked.

struct NoSink {
    void Unit(char16_t) {}
    void Byte(uint8_t) {}
};

struct ByteSink {
    std::vector<uint8_t>& out;
    void Unit(char16_t u) {
        out.push_back(uint8_t(u & 0xff));
        out.push_back(uint8_t(u >> 8));
    }
    void Byte(uint8_t b) { out.push_back(b); }
};

struct CountSink {
    size_t n = 0;
    void Unit(char16_t) { n += 2; }
    void Byte(uint8_t) { ++n; }
};

struct UnitSink {
    std::u16string& out;
    void Unit(char16_t u) { out += u; }
    void Byte(uint8_t) {}
};

// UTF-8 as Wine decodes it: a sequence that is not valid is dropped.
template <class Sink>
inline const char* DecodeUtf8(unsigned char lead, const char* p, const char* end, Sink& sink) {
    static constexpr uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    int more = lead >= 0xc2 && lead < 0xe0 ? 1 : lead >= 0xe0 && lead < 0xf0 ? 2 : lead >= 0xf0 && lead < 0xf5 ? 3 : 0;
    if (!more) return p;
    uint32_t cp = lead & (0x7f >> (more + 1));
    for (int i = 0; i < more; ++i) {
        if (p == end) return p;
        unsigned char c = static_cast<unsigned char>(*p) ^ 0x80;
        if (c >= 0x40) return p;
        cp = (cp << 6) | c;
        ++p;
    }
    if (cp < kMinimum[more] || cp > 0x10ffff) return p;
    if (cp <= 0xffff) {
        sink.Unit(char16_t(cp));
    } else {
        cp -= 0x10000;
        sink.Unit(char16_t(0xd800 | (cp >> 10)));
        sink.Unit(char16_t(0xdc00 | (cp & 0x3ff)));
    }
    return p;
}

enum class StringEnd { Closed, Open, Backslash };

// An escaped string up to `endchar`, read as Wine's parse_strW reads it. On
// Closed, `p` is left past the closing character. `plain` (if given) is
// cleared when any character needed decoding.
template <class Sink>
inline StringEnd ScanString(const char*& p, const char* end, char endchar, Sink& sink, bool* plain) {
    if constexpr (std::is_same_v<Sink, NoSink>) {
        if (!plain) {
            // Only the end is wanted: no character after a backslash, nor a
            // byte of a UTF-8 sequence, can be the closing one.
#ifdef __SSE2__
            const __m128i close = _mm_set1_epi8(endchar), backslash = _mm_set1_epi8('\\'), zero = _mm_setzero_si128();
#endif
            while (p < end) {
#ifdef __SSE2__
                while (end - p >= 16) {
                    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, close), _mm_cmpeq_epi8(v, backslash)),
                                               _mm_cmpeq_epi8(v, zero));
                    int mask = _mm_movemask_epi8(hit);
                    if (mask) {
                        p += __builtin_ctz(unsigned(mask));
                        break;
                    }
                    p += 16;
                }
                if (p == end) break;
#endif
                char c = *p;
                if (c == endchar) {
                    ++p;
                    return StringEnd::Closed;
                }
                if (c == 0) return StringEnd::Open;
                if (c == '\\') {
                    if (++p == end) return StringEnd::Backslash;
                    if (*p == 0) return StringEnd::Open;
                }
                ++p;
            }
            return StringEnd::Open;
        }
    }
    while (p < end) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == static_cast<unsigned char>(endchar)) {
            ++p;
            return StringEnd::Closed;
        }
        if (c == 0) return StringEnd::Open;  // Wine's line ends at a NUL
        if (c == '\\') {
            if (plain) *plain = false;
            ++p;
            if (p == end) return StringEnd::Backslash;
            if (*p == 0) return StringEnd::Open;
            switch (*p) {
            case 'a': sink.Unit(u'\a'); ++p; continue;
            case 'b': sink.Unit(u'\b'); ++p; continue;
            case 'e': sink.Unit(char16_t(27)); ++p; continue;
            case 'f': sink.Unit(u'\f'); ++p; continue;
            case 'n': sink.Unit(u'\n'); ++p; continue;
            case 'r': sink.Unit(u'\r'); ++p; continue;
            case 't': sink.Unit(u'\t'); ++p; continue;
            case 'v': sink.Unit(u'\v'); ++p; continue;
            case 'x': {
                ++p;
                unsigned v = 0;
                int n = 0;
                for (; n < 4 && p < end && HexDigit(*p) >= 0; ++n, ++p) v = v * 16 + unsigned(HexDigit(*p));
                sink.Unit(n ? char16_t(v) : u'x');
                continue;
            }
            case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
                unsigned v = unsigned(*p++ - '0');
                for (int n = 0; n < 2 && p < end && *p >= '0' && *p <= '7'; ++n, ++p) v = v * 8 + unsigned(*p - '0');
                sink.Unit(char16_t(v));
                continue;
            }
            default:
                c = static_cast<unsigned char>(*p);  // any other character stands for itself
            }
        }
        ++p;
        if (c < 0x80) {
            sink.Unit(c);
        } else {
            if (plain) *plain = false;
            p = DecodeUtf8(c, p, end, sink);
        }
    }
    return StringEnd::Open;
}

// The next "\n" from p, or null. Most lines are short: a call to memchr
// costs more than looking at them here.
inline const char* FindLineEnd(const char* p, const char* end) {
#ifdef __SSE2__
    const __m128i nl = _mm_set1_epi8('\n');
    for (; end - p >= 16; p += 16) {
        int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), nl));
        if (mask) return p + __builtin_ctz(unsigned(mask));
    }
#endif
    return static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
}

// Lines of a text, with the line end ("\n", or "\r\n") left out.
struct TextReader {
    const char* p;      // reading position in the current line
    const char* le;     // end of the current line's content
    const char* next;   // start of the next line
    const char* limit;  // end of the text
    int lines = 0;      // lines moved on to
    int newlines = 0;   // of them, those ending in a line end
    int crlf = 0;       // and of those, in "\r\n"

    bool NextLine() {
        if (next >= limit) return false;
        p = next;
        const char* nl = FindLineEnd(p, limit);
        if (nl) {
            next = nl + 1;
            le = nl;
            ++newlines;
            if (le > p && le[-1] == '\r') {
                --le;
                ++crlf;
            }
        } else {
            next = le = limit;
        }
        ++lines;
        return true;
    }

    // Whether a string ending in a lone backslash goes on with the next line.
    // Wine itself refuses such a string; we read it as one string only when
    // the next line is one Wine would skip anyway, so no key, value or option
    // line is ever swallowed.
    bool StringContinues() const {
        if (next >= limit) return false;
        const char* nl = static_cast<const char*>(std::memchr(next, '\n', size_t(limit - next)));
        const char* q = SkipSpace(next, nl ? nl : limit);
        if (q == (nl ? nl : limit)) return false;
        return std::strchr("[\"@#;", *q) == nullptr && *q != 0;
    }
};

// What is odd about a value's data, which Wine reads all the same.
enum : uint32_t {
    kBadData = 1,     // Wine makes it an empty value of type 0
    kTrailing = 2,    // text after the data, which Wine ignores
    kLongDword = 4,   // more than eight hex digits
    kNoDigits = 8,    // a dword without digits, which Wine reads as 0
    kContinued = 16,  // a string continued on another line
    kRanOut = 32,     // a continuation ran into the end of the text
};

struct DataInfo {
    uint32_t type = 0;
    uint32_t odd = 0;
};

// strtoul(p, &end, 16) with a 64-bit unsigned long, as Wine's server runs.
inline uint64_t StrToUL(const char*& p, const char* end, int* digits) {
    const char* q = SkipSpace(p, end);
    bool negative = false;
    if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
    if (end - q > 2 && q[0] == '0' && (q[1] == 'x' || q[1] == 'X') && HexDigit(q[2]) >= 0) q += 2;
    uint64_t v = 0;
    bool overflow = false;
    int n = 0;
    for (; q < end && HexDigit(*q) >= 0; ++q, ++n) {
        if (v >> 60) overflow = true;
        v = v * 16 + uint64_t(HexDigit(*q));
    }
    *digits = n;
    if (!n) return 0;  // nothing read: end stays at the start
    p = q;
    if (overflow) return UINT64_MAX;
    return negative ? uint64_t(0) - v : v;
}

// The data of a value, from its type tag on, as Wine's load_value reads it.
template <class Sink>
inline DataInfo ReadData(TextReader& r, Sink& sink) {
    DataInfo info;
    const char* p = r.p;
    enum { kString, kDword, kHex } form;
    char first = p < r.le ? *p : '\0';
    if (first == '"') {
        info.type = kRegSz, p += 1, form = kString;
    } else if (first == 'h' && r.le - p >= 4 && p[1] == 'e' && p[2] == 'x' && p[3] == ':') {
        info.type = kRegBinary, p += 4, form = kHex;
    } else if (first == 'd' && r.le - p >= 6 && p[1] == 'w' && p[2] == 'o' && p[3] == 'r' && p[4] == 'd' &&
               p[5] == ':') {
        info.type = kRegDword, p += 6, form = kDword;
    } else if (first != 's' && first != 'h') {
        info.odd |= kBadData;
        return info;
    } else if (StartsWith(p, r.le, "str:\"")) {
        info.type = kRegSz, p += 5, form = kString;
    } else if (StartsWith(p, r.le, "str(2):\"")) {
        info.type = kRegExpandSz, p += 8, form = kString;
    } else if (StartsWith(p, r.le, "str(7):\"")) {
        info.type = kRegMultiSz, p += 8, form = kString;
    } else if (StartsWith(p, r.le, "hex(")) {
        p += 4;
        int digits;
        info.type = uint32_t(StrToUL(p, r.le, &digits));
        if (!StartsWith(p, r.le, "):")) {
            info.odd |= kBadData;
            return info;
        }
        p += 2;
        form = kHex;
    } else {
        info.odd |= kBadData;
        return info;
    }

    if (form == kString) {
        for (;;) {
            StringEnd end = ScanString(p, r.le, '"', sink, nullptr);
            if (end == StringEnd::Closed) break;
            if (end == StringEnd::Backslash && r.StringContinues()) {
                r.NextLine();
                p = SkipSpace(r.p, r.le);
                info.odd |= kContinued;
                continue;
            }
            info.odd |= kBadData;
            return info;
        }
        sink.Unit(0);
        if (p != r.le && !AllSpace(p, r.le)) info.odd |= kTrailing;
    } else if (form == kDword) {
        int digits = 8;
        uint32_t d = 0;
        // Wine writes eight digits and the line end.
        if (r.le - p == 8) {
            for (int i = 0; i < 8; ++i) {
                int v = HexDigit(p[i]);
                if (v < 0) {
                    digits = 0;
                    break;
                }
                d = d << 4 | uint32_t(v);
            }
            if (digits) p += 8;
        } else {
            digits = 0;
        }
        // Anything else goes through strtoul as Wine's does: more than eight
        // digits make a 64-bit number of which the dword keeps the low 32
        // bits (all ones past 64 bits); no digits make 0.
        if (!digits) d = uint32_t(StrToUL(p, r.le, &digits));
        if (digits == 0) info.odd |= kNoDigits;
        if (digits > 8) info.odd |= kLongDword;
        if (digits && p != r.le && !AllSpace(p, r.le)) info.odd |= kTrailing;
        for (int i = 0; i < 4; ++i) sink.Byte(uint8_t(d >> (8 * i)));
    } else {
        for (;;) {
            // Wine writes "xx," over and over: take those as they come.
            while (r.le - p >= 3 && p[2] == ',') {
                int hi = HexDigit(p[0]), lo = HexDigit(p[1]);
                if ((hi | lo) < 0) break;
                sink.Byte(uint8_t(hi << 4 | lo));
                p += 3;
            }
            while (p < r.le && HexDigit(*p) >= 0) {
                const char* q = p;
                if (r.le - q > 2 && q[0] == '0' && (q[1] == 'x' || q[1] == 'X') && HexDigit(q[2]) >= 0) q += 2;
                unsigned v = 0;
                for (; q < r.le && HexDigit(*q) >= 0; ++q) {
                    v = v * 16 + unsigned(HexDigit(*q));
                    if (v > 0xff) {
                        info.odd |= kBadData;
                        return info;
                    }
                }
                sink.Byte(uint8_t(v));
                p = SkipSpace(q, r.le);
                if (p < r.le && *p == ',') ++p;
                p = SkipSpace(p, r.le);
            }
            p = SkipSpace(p, r.le);
            if (p == r.le || *p == 0) break;
            // A backslash continues the list on the next line; the rest of
            // its own line is ignored.
            if (*p != '\\') {
                info.odd |= kBadData;
                return info;
            }
            if (!r.NextLine()) {
                info.odd |= kBadData | kRanOut;
                return info;
            }
            p = SkipSpace(r.p, r.le);
        }
    }
    return info;
}

// A value's text: its name, '=', and its data.
struct ValueText {
    const char* name = nullptr;  // past the opening quote; null for the default value
    const char* data = nullptr;  // the type tag
    bool plain = true;           // the name needs no decoding
    bool ok = false;
};

inline ValueText ReadValueName(const char* p, const char* le) {
    ValueText v;
    const char* q;
    if (*p == '@') {
        q = p + 1;
    } else {
        v.name = q = p + 1;
        NoSink none;
        if (ScanString(q, le, '"', none, &v.plain) != StringEnd::Closed) return v;
    }
    q = SkipSpace(q, le);
    if (q == le || *q != '=') return v;
    v.data = SkipSpace(q + 1, le);
    v.ok = true;
    return v;
}

template <class Sink>
inline DataInfo DecodeValueText(const char* text, size_t length, Sink& sink) {
    TextReader r{text, text, text, text + length};
    r.NextLine();
    ValueText v = ReadValueName(text, r.le);
    r.p = v.data;
    return ReadData(r, sink);
}

inline std::string DecodeName(const char* p, const char* le) {
    std::u16string units;
    UnitSink sink{units};
    ScanString(p, le, '"', sink, nullptr);
    return UnitsToUtf8(units);
}

inline std::string Shown(std::string_view name) {
    if (name.size() > 60) return std::string(name.substr(0, 57)) + "...";
    return std::string(name);
}

}  // namespace tarnel::platform::wine::hivetext
