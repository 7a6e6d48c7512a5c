#include "platform/machine/WineHive.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"

namespace tarnel::platform::wine {

namespace {
std::atomic<uint64_t> treeChanges{1};
void TreeChanged() { treeChanges.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

uint64_t KeyTreeChanges() { return treeChanges.load(std::memory_order_relaxed); }

namespace {

constexpr std::string_view kVersionLine = "WINE REGISTRY Version 2";
// Seconds between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600LL;
// Small keys are searched linearly; bigger ones get a hash index.
constexpr size_t kIndexThreshold = 8;
// Windows nests keys at most 512 levels deep.
constexpr size_t kMaxDepth = 512;
// Wine refuses key names longer than this (UTF-16 units) and value names
// longer than Windows allows.
constexpr size_t kMaxKeyName = 256;
constexpr size_t kMaxValueName = 16383;
// A broken file must not flood the log.
constexpr size_t kMaxWarnings = 100;

// HiveValue::bits_: the text length and what the record is.
constexpr uint32_t kLengthMask = 0x0fffffff;
constexpr uint32_t kSlot = 0x10000000;       // ptr_ is a Hive::Slot
constexpr uint32_t kDead = 0x20000000;       // deleted; ptr_ is its text, if it had one
constexpr uint32_t kShadow = 0x40000000;     // a repeat of an earlier value; type_ is its slot
constexpr uint32_t kMalformed = 0x80000000;  // Wine reads it as an empty value of type 0

char Lower(char c) { return AsciiLower(c); }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// Eight characters at once, ASCII upper case made lower.
uint64_t LowerWord(uint64_t x) {
    uint64_t seven = x & 0x7f7f7f7f7f7f7f7fULL;
    uint64_t atLeastA = seven + 0x3f3f3f3f3f3f3f3fULL;
    uint64_t pastZ = seven + 0x2525252525252525ULL;
    uint64_t upper = atLeastA & ~pastZ & ~x & 0x8080808080808080ULL;
    return x | (upper >> 2);
}

uint32_t HashName(std::string_view s) {
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

constexpr auto kHexDigits = [] {
    std::array<int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[size_t(c)] = int8_t(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) t[size_t(c)] = int8_t(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) t[size_t(c)] = int8_t(c - 'A' + 10);
    return t;
}();

int HexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }

// C's isspace in the C locale, which Wine's loader trims with.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

const char* SkipSpace(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) ++p;
    return p;
}

bool AllSpace(const char* p, const char* end) { return SkipSpace(p, end) == end; }

bool StartsWith(const char* p, const char* end, std::string_view prefix) {
    return size_t(end - p) >= prefix.size() && std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

// The first byte from p that is `a` or `b` or not printable ASCII (below
// 0x20 or above 0x7e), or end.
const char* FindSpecial(const char* p, const char* end, char a, char b) {
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
void EscapeUnits(std::u16string_view s, char delim1, char delim2, std::string& out) {
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

void AppendHex32(std::string& out, const char* format, uint32_t v) {
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
const char* DecodeUtf8(unsigned char lead, const char* p, const char* end, Sink& sink) {
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
StringEnd ScanString(const char*& p, const char* end, char endchar, Sink& sink, bool* plain) {
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
uint64_t StrToUL(const char*& p, const char* end, int* digits) {
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
DataInfo ReadData(TextReader& r, Sink& sink) {
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

ValueText ReadValueName(const char* p, const char* le) {
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
DataInfo DecodeValueText(const char* text, size_t length, Sink& sink) {
    TextReader r{text, text, text, text + length};
    r.NextLine();
    ValueText v = ReadValueName(text, r.le);
    r.p = v.data;
    return ReadData(r, sink);
}

std::string DecodeName(const char* p, const char* le) {
    std::u16string units;
    UnitSink sink{units};
    ScanString(p, le, '"', sink, nullptr);
    return UnitsToUtf8(units);
}

std::string Shown(std::string_view name) {
    if (name.size() > 60) return std::string(name.substr(0, 57)) + "...";
    return std::string(name);
}

}  // namespace

// ---------------------------------------------------------------- internals

// Open addressing over entry numbers, hashed on the ASCII-lowered name.
class NameIndex {
public:
    bool Valid() const { return !slots_.empty(); }
    void Clear() {
        std::vector<uint32_t>().swap(slots_);
        size_ = 0;
    }
    void Reset(size_t expected) {
        size_t n = 16;
        while (n < expected * 2 + 2) n *= 2;
        slots_.assign(n, 0);
        size_ = 0;
    }

    template <class NameOf>
    int Find(std::string_view name, const NameOf& nameOf) const {
        size_t mask = slots_.size() - 1;
        for (size_t i = HashName(name) & mask;; i = (i + 1) & mask) {
            uint32_t e = slots_[i];
            if (!e) return -1;
            if (SameName(nameOf(e - 1), name)) return int(e - 1);
        }
    }

    template <class NameOf>
    void Insert(uint32_t entry, const NameOf& nameOf) {
        if ((size_ + 1) * 2 > slots_.size()) {
            std::vector<uint32_t> old;
            old.swap(slots_);
            slots_.assign(std::max<size_t>(old.size() * 2, 16), 0);
            for (uint32_t e : old)
                if (e) Place(e, HashName(nameOf(e - 1)));
        }
        Place(entry + 1, HashName(nameOf(entry)));
        ++size_;
    }

    // Backward-shift deletion keeps every probe chain whole.
    template <class NameOf>
    void Erase(uint32_t entry, const NameOf& nameOf) {
        size_t mask = slots_.size() - 1;
        size_t i = HashName(nameOf(entry)) & mask;
        while (slots_[i] != entry + 1) {
            if (!slots_[i]) return;
            i = (i + 1) & mask;
        }
        --size_;
        size_t j = i;
        for (;;) {
            slots_[i] = 0;
            for (;;) {
                j = (j + 1) & mask;
                if (!slots_[j]) return;
                size_t home = HashName(nameOf(slots_[j] - 1)) & mask;
                bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
                if (!stays) break;
            }
            slots_[i] = slots_[j];
            i = j;
        }
    }

private:
    void Place(uint32_t e, uint32_t hash) {
        size_t mask = slots_.size() - 1;
        size_t i = hash & mask;
        while (slots_[i]) i = (i + 1) & mask;
        slots_[i] = e;
    }

    std::vector<uint32_t> slots_;  // entry + 1; 0 is empty
    size_t size_ = 0;
};

// A value whose name needed decoding, that was repeated, changed or made new.
struct Hive::Slot {
    uint32_t index = 0;
    std::string name;
    std::vector<uint8_t> data;          // once changed
    const char* raw = nullptr;          // its place in the source; null: new
    uint32_t rawLength = 0;
    const char* src = nullptr;          // the text its data is read from while unchanged
    uint32_t srcLength = 0;
    bool changed = false;
    bool dead = false;
    bool srcMalformed = false;
    bool repeated = false;              // shadow records point here
};

struct HiveKey::Extra {
    std::vector<HiveValue> own;  // the records, once they left the shared array
    bool detached = false;
    uint32_t droppable = 0;      // deleted records with no text to hide
    NameIndex values;            // record numbers of live values
    NameIndex children;          // child positions
    std::vector<uint32_t> order; // live records in enumeration order
    bool orderValid = false;
    uint32_t lastSection = 0;    // + 1, for a key with more than one section
    uint32_t firstMention = 0;   // + 1, when a subkey's section named it before its own
    uint32_t classLine = 0;      // + 1: offset of the "#class" line in force
};

// ---------------------------------------------------------------- helpers

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
    for (size_t i = 0; i < data.size(); ++i) {
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 15];
        count += 2;
        if (i + 1 < data.size()) {
            out += ',';
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out += '\n';
    return out;
}

// ---------------------------------------------------------------- HiveValue

std::string_view HiveValue::Name() const {
    if (bits_ & kSlot) return Hive::SlotOf(*this)->name;
    const char* t = static_cast<const char*>(ptr_);
    if (!t || *t == '@') return {};
    // A name kept in the text has neither quotes nor backslashes in it.
    const char* q = static_cast<const char*>(std::memchr(t + 1, '"', (bits_ & kLengthMask) - 1));
    return {t + 1, size_t(q - t - 1)};
}

bool HiveValue::NameIs(std::string_view name) const {
    if (bits_ & kSlot) return SameName(Hive::SlotOf(*this)->name, name);
    const char* t = static_cast<const char*>(ptr_);
    if (*t == '@') return name.empty();
    // A name kept in the text has no quote in it: meeting the closing one
    // early means the name is shorter.
    const char* n = t + 1;
    for (size_t i = 0; i < name.size(); ++i)
        if (n[i] == '"' || (n[i] != name[i] && Lower(n[i]) != Lower(name[i]))) return false;
    return n[name.size()] == '"';
}

const char* HiveValue::DataText(size_t* length) const {
    if (bits_ & kSlot) {
        auto* s = Hive::SlotOf(*this);
        if (s->srcMalformed || !s->src) return nullptr;
        *length = s->srcLength;
        return s->src;
    }
    if (bits_ & kMalformed) return nullptr;
    *length = bits_ & kLengthMask;
    return static_cast<const char*>(ptr_);
}

std::vector<uint8_t> HiveValue::Data() const {
    if ((bits_ & kSlot) && Hive::SlotOf(*this)->changed)
        return Hive::SlotOf(*this)->data;
    size_t length = 0;
    const char* text = DataText(&length);
    std::vector<uint8_t> out;
    if (!text) return out;
    ByteSink sink{out};
    DecodeValueText(text, length, sink);
    return out;
}

size_t HiveValue::DataSize() const {
    if ((bits_ & kSlot) && Hive::SlotOf(*this)->changed)
        return Hive::SlotOf(*this)->data.size();
    size_t length = 0;
    const char* text = DataText(&length);
    if (!text) return 0;
    CountSink sink;
    DecodeValueText(text, length, sink);
    return sink.n;
}

// ---------------------------------------------------------------- KeyList

KeyList::~KeyList() { std::free(data_); }

void KeyList::push_back(HiveKey* key) {
    if (size_ == capacity_) {
        uint32_t capacity = capacity_ ? capacity_ * 2 : 2;
        auto* grown = static_cast<HiveKey**>(std::realloc(data_, capacity * sizeof(HiveKey*)));
        if (!grown) throw std::bad_alloc();
        data_ = grown;
        capacity_ = capacity;
    }
    data_[size_++] = key;
}

void KeyList::erase(size_t i) {
    std::memmove(data_ + i, data_ + i + 1, (size_ - i - 1) * sizeof(HiveKey*));
    --size_;
}

void KeyList::clear() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

// ---------------------------------------------------------------- HiveKey

HiveKey::HiveKey(Hive& hive, HiveKey* parent, std::string_view name, uint16_t depth)
    : hive_(&hive), parent_(parent), name_(name.data()), nameLength_(uint32_t(name.size())), depth_(depth) {}

HiveKey::~HiveKey() = default;

HiveKey::Extra& HiveKey::Ensure() const {
    if (!extra_) extra_ = std::make_unique<Extra>();
    return *extra_;
}

HiveValue* HiveKey::Records() {
    return extra_ && extra_->detached ? extra_->own.data() : hive_->parsed_.get() + first_;
}

const HiveValue* HiveKey::Records() const {
    return extra_ && extra_->detached ? extra_->own.data() : hive_->parsed_.get() + first_;
}

std::vector<std::string> HiveKey::Path() const {
    std::vector<std::string> parts;
    for (const HiveKey* k = this; k->parent_; k = k->parent_) parts.emplace_back(k->Name());
    std::reverse(parts.begin(), parts.end());
    return parts;
}

uint32_t HiveKey::FirstMention() const {
    if (flags_ & kImplied) return section_;
    if (extra_ && extra_->firstMention) return extra_->firstMention;
    return section_;
}

uint32_t HiveKey::LastSection() const {
    if (!HasOwnSection()) return 0;
    if (extra_ && extra_->lastSection) return extra_->lastSection;
    return section_;
}

HiveKey* HiveKey::FindChild(std::string_view name) {
    if (children_.size() <= kIndexThreshold) {
        for (HiveKey* c : children_)
            if (SameName(c->Name(), name)) return c;
        return nullptr;
    }
    Extra& x = Ensure();
    auto nameOf = [this](uint32_t e) { return children_[e]->Name(); };
    if (!x.children.Valid()) {
        x.children.Reset(children_.size());
        for (uint32_t i = 0; i < children_.size(); ++i) x.children.Insert(i, nameOf);
    }
    int i = x.children.Find(name, nameOf);
    return i < 0 ? nullptr : children_[size_t(i)];
}

HiveKey& HiveKey::CreateChild(std::string_view name) {
    if (HiveKey* existing = FindChild(name)) return *existing;
    if (depth_ >= kMaxDepth)
        throw ERegistryException("Key '" + Shown(name) + "' would lie deeper than " + std::to_string(kMaxDepth) +
                                 " levels");
    HiveKey* child = hive_->NewKey(this, hive_->KeepName(name));
    child->Touch();
    return *child;
}

bool HiveKey::RemoveChild(std::string_view name) {
    HiveKey* child = FindChild(name);
    if (!child) return false;
    TreeChanged();
    children_.erase(size_t(std::find(children_.begin(), children_.end(), child) - children_.begin()));
    if (extra_) extra_->children.Clear();

    // The subtree leaves the tree and its sections the file; its memory is
    // given back, all but the keys themselves, which sections still name.
    Hive& hive = *hive_;
    std::vector<HiveKey*> stack{child};
    while (!stack.empty()) {
        HiveKey* k = stack.back();
        stack.pop_back();
        k->flags_ |= kRemoved;
        stack.insert(stack.end(), k->children_.begin(), k->children_.end());
        k->children_.clear();
        HiveValue* r = k->Records();
        for (uint32_t i = 0; i < k->count_; ++i)
            if ((r[i].bits_ & kSlot) && !Hive::SlotOf(r[i])->repeated)
                hive.FreeSlot(Hive::SlotOf(r[i])->index);
        k->extra_.reset();
        k->count_ = k->live_ = 0;
    }

    // A key first named by a section that is now gone gets a head of its own
    // there, so that reading the file again finds it in the same place.
    for (HiveKey* a = this; a; a = a->parent_) {
        uint32_t m = a->FirstMention();
        if (!m || (a->flags_ & kAnchored)) continue;
        const HiveKey* owner = hive.sections_[m - 1].key;
        if (owner != a && (owner->flags_ & kRemoved)) {
            a->flags_ |= kAnchored;
            hive.anchored_.push_back(a);
        }
    }
    // A key left without subkeys needs a section of its own to survive.
    if (parent_ && children_.empty()) EnsureSection();
    return true;
}

int HiveKey::FindRecord(std::string_view name) const {
    const HiveValue* r = Records();
    if (count_ <= kIndexThreshold) {
        for (uint32_t i = 0; i < count_; ++i)
            if (!(r[i].bits_ & (kDead | kShadow)) && r[i].NameIs(name)) return int(i);
        return -1;
    }
    Extra& x = Ensure();
    auto nameOf = [this](uint32_t e) { return Records()[e].Name(); };
    if (!x.values.Valid()) {
        x.values.Reset(live_);
        for (uint32_t i = 0; i < count_; ++i)
            if (!(r[i].bits_ & (kDead | kShadow))) x.values.Insert(i, nameOf);
    }
    return x.values.Find(name, nameOf);
}

void HiveKey::AppendRecord(const HiveValue& v) {
    Hive& hive = *hive_;
    if (!(extra_ && extra_->detached)) {
        // While the file is read, a key's values lie side by side in one
        // array; a key whose values do not (named twice, or changed) gets
        // an array of its own.
        if (hive.parsing_ && (count_ == 0 || first_ + count_ == hive.parsedSize_)) {
            if (count_ == 0) first_ = hive.parsedSize_;
            hive.PushParsed(v);
            ++count_;
            return;
        }
        Extra& x = Ensure();
        x.own.reserve(count_ + 1);
        x.own.assign(Records(), Records() + count_);
        x.detached = true;
    }
    extra_->own.push_back(v);
    count_ = uint32_t(extra_->own.size());
}

void HiveKey::IndexRecord(uint32_t index) {
    if (!extra_) return;
    if (extra_->values.Valid()) extra_->values.Insert(index, [this](uint32_t e) { return Records()[e].Name(); });
    if (extra_->orderValid) extra_->order.push_back(index);
}

const HiveValue* HiveKey::FindValue(std::string_view name) const {
    int i = FindRecord(name);
    return i < 0 ? nullptr : &Records()[size_t(i)];
}

void HiveKey::SetValue(std::string_view name, uint32_t type, std::vector<uint8_t> data) {
    Hive& hive = *hive_;
    int i = FindRecord(name);
    if (i >= 0) {
        HiveValue& v = Records()[size_t(i)];
        Hive::Slot* s;
        if (v.bits_ & kSlot) {
            s = Hive::SlotOf(v);
        } else {
            s = hive.slots_[hive.NewSlot()].get();
            s->name = v.Name();
            s->raw = static_cast<const char*>(v.ptr_);
            s->rawLength = v.bits_ & kLengthMask;
            v.ptr_ = s;
            v.bits_ = kSlot;
        }
        s->changed = true;
        s->data = std::move(data);
        s->src = nullptr;
        s->srcMalformed = false;
        v.type_ = type;
    } else {
        Hive::Slot* s = hive.slots_[hive.NewSlot()].get();
        s->name = std::string(name);
        s->data = std::move(data);
        s->changed = true;
        HiveValue v;
        v.ptr_ = s;
        v.bits_ = kSlot;
        v.type_ = type;
        AppendRecord(v);
        ++live_;
        IndexRecord(count_ - 1);
    }
    Touch();
}

bool HiveKey::DeleteValue(std::string_view name) {
    int i = FindRecord(name);
    if (i < 0) return false;
    if (extra_ && extra_->values.Valid())
        extra_->values.Erase(uint32_t(i), [this](uint32_t e) { return Records()[e].Name(); });
    HiveValue& v = Records()[size_t(i)];
    if (v.bits_ & kSlot) {
        auto* s = Hive::SlotOf(v);
        s->dead = true;
        if (s->repeated || s->rawLength > kLengthMask) {
            // Its repeats look here to know they are gone too.
            v.bits_ |= kDead;
            std::vector<uint8_t>().swap(s->data);
        } else {
            v.ptr_ = s->raw;
            v.bits_ = s->rawLength | kDead;
            if (!s->raw) ++Ensure().droppable;
            hive_->FreeSlot(s->index);
        }
    } else {
        v.bits_ |= kDead;
    }
    --live_;
    if (extra_) {
        extra_->orderValid = false;
        // Values made and deleted again leave nothing in the file; drop
        // them once they outnumber the living, keeping deletion cheap.
        Extra& x = *extra_;
        if (x.droppable > 16 && x.droppable > live_) {
            x.own.erase(std::remove_if(x.own.begin(), x.own.end(),
                                       [](const HiveValue& r) { return (r.bits_ & kDead) && !r.ptr_; }),
                        x.own.end());
            count_ = uint32_t(x.own.size());
            x.droppable = 0;
            x.values.Clear();
        }
    }
    Touch();
    return true;
}

const HiveValue* HiveKey::ValueAt(size_t i) const {
    if (i >= live_) return nullptr;
    const HiveValue* r = Records();
    if (live_ == count_) return &r[i];
    Extra& x = Ensure();
    if (!x.orderValid) {
        x.order.clear();
        x.order.reserve(live_);
        for (uint32_t j = 0; j < count_; ++j)
            if (!(r[j].bits_ & (kDead | kShadow))) x.order.push_back(j);
        x.orderValid = true;
    }
    return &r[x.order[i]];
}

std::vector<const HiveValue*> HiveKey::Values() const {
    std::vector<const HiveValue*> out;
    out.reserve(live_);
    const HiveValue* r = Records();
    for (uint32_t i = 0; i < count_; ++i)
        if (!(r[i].bits_ & (kDead | kShadow))) out.push_back(&r[i]);
    return out;
}

std::string HiveKey::Class() const {
    if (!extra_ || !extra_->classLine) return {};
    const std::string& src = hive_->source_;
    const char* p = src.data() + extra_->classLine - 1;
    const char* end = src.data() + src.size();
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
    const char* le = nl ? nl : end;
    p = SkipSpace(p, le) + std::string_view("#class=\"").size();
    return DecodeName(p, le);
}

void HiveKey::EnsureSection() {
    if (HasOwnSection() || (flags_ & (kQueued | kAnchored))) return;
    if (section_) {
        // Read, but only named by subkeys: its head goes where it was first named.
        flags_ |= kAnchored;
        hive_->anchored_.push_back(this);
    } else {
        flags_ |= kQueued;
        hive_->queued_.push_back(this);
    }
}

void HiveKey::Touch() {
    EnsureSection();
    flags_ |= kTouched | kDirty;
}

// ---------------------------------------------------------------- Hive

Hive::Hive(std::string_view relativeTo) {
    TreeChanged();
    root_ = NewKey(nullptr, {});
    newHeader_ = std::string(kVersionLine) + "\n;; All keys relative to ";
    for (char c : relativeTo) {
        if (c == '\\') newHeader_ += '\\';
        newHeader_ += c;
    }
    newHeader_ += '\n';
}

Hive::~Hive() {
    TreeChanged();
    // Keys live in blocks and point at each other: no recursion, whatever the depth.
    for (size_t b = 0; b < keyBlocks_.size(); ++b) {
        size_t n = b + 1 == keyBlocks_.size() ? keysInBlock_ : kKeysPerBlock;
        auto* keys = reinterpret_cast<HiveKey*>(keyBlocks_[b].get());
        for (size_t i = 0; i < n; ++i) keys[i].~HiveKey();
    }
}

HiveKey* Hive::NewKey(HiveKey* parent, std::string_view name) {
    TreeChanged();
    if (keyBlocks_.empty() || keysInBlock_ == kKeysPerBlock) {
        keyBlocks_.emplace_back(new std::byte[kKeysPerBlock * sizeof(HiveKey)]);
        keysInBlock_ = 0;
    }
    void* at = keyBlocks_.back().get() + keysInBlock_ * sizeof(HiveKey);
    auto* key = new (at) HiveKey(*this, parent, name, uint16_t(parent ? parent->depth_ + 1 : 0));
    ++keysInBlock_;
    if (parent) {
        parent->children_.push_back(key);
        if (parent->extra_ && parent->extra_->children.Valid())
            parent->extra_->children.Insert(uint32_t(parent->children_.size() - 1),
                                            [parent](uint32_t e) { return parent->children_[e]->Name(); });
    }
    return key;
}

std::string_view Hive::KeepName(std::string_view name) {
    if (name.empty()) return {};
    if (name.size() > nameRoom_) {
        size_t size = std::max<size_t>(name.size(), 4096);
        nameBlocks_.emplace_back(new char[size]);
        nameAt_ = nameBlocks_.back().get();
        nameRoom_ = size;
    }
    char* at = nameAt_;
    std::memcpy(at, name.data(), name.size());
    nameAt_ += name.size();
    nameRoom_ -= name.size();
    return {at, name.size()};
}

void Hive::Free::operator()(void* p) const { std::free(p); }

static_assert(std::is_trivially_copyable_v<HiveValue>);

void Hive::GrowParsed(size_t room) {
    if (room == 0) {
        parsed_.reset();
        parsedRoom_ = 0;
        return;
    }
    void* grown = std::realloc(parsed_.get(), room * sizeof(HiveValue));
    if (!grown) throw std::bad_alloc();
    (void)parsed_.release();
    parsed_.reset(static_cast<HiveValue*>(grown));
    parsedRoom_ = uint32_t(room);
}

uint32_t Hive::NewSlot() {
    uint32_t n;
    if (!freeSlots_.empty()) {
        n = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        n = uint32_t(slots_.size());
        slots_.push_back(std::make_unique<Slot>());
    }
    slots_[n]->index = n;
    return n;
}

void Hive::FreeSlot(uint32_t index) {
    *slots_[index] = Slot{};
    freeSlots_.push_back(index);
}

Hive::Slot* Hive::SlotOf(const HiveValue& v) { return static_cast<Slot*>(const_cast<void*>(v.ptr_)); }

std::atomic<int64_t>& FixedRegistryTime() {
    static std::atomic<int64_t> fixed{-1};
    return fixed;
}

int64_t Hive::Now() const {
    if (fixedClock_ >= 0) return fixedClock_;
    if (int64_t fixed = FixedRegistryTime().load(); fixed >= 0) return fixed;
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

HiveKey* Hive::Find(const std::vector<std::string>& path) {
    HiveKey* k = root_;
    for (const auto& part : path) {
        k = k->FindChild(part);
        if (!k) return nullptr;
    }
    return k;
}

HiveKey& Hive::Create(const std::vector<std::string>& path) {
    HiveKey* k = root_;
    for (const auto& part : path) k = &k->CreateChild(part);
    return *k;
}

bool Hive::Remove(const std::vector<std::string>& path) {
    if (path.empty()) return false;
    std::vector<std::string> parentPath(path.begin(), path.end() - 1);
    HiveKey* parent = Find(parentPath);
    return parent && parent->RemoveChild(path.back());
}

// ---------------------------------------------------------------- reading

// While a file is read, one table finds the children and values of every
// key; it goes with the loading, and keys that are asked for later build
// their own index then.
class LoadTable {
public:
    LoadTable() : slots_(1024) {}

    // A child's position (values: false) or a value's record number (true).
    template <class Same>
    int Find(const HiveKey* owner, bool values, uint32_t hash, const Same& same) const {
        uint32_t h = Mix(owner, values, hash);
        size_t mask = slots_.size() - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            const Slot& e = slots_[i];
            if (!e.owner) return -1;
            if (e.owner == owner && e.hash == h && same(e.index)) return int(e.index);
        }
    }

    void Insert(const HiveKey* owner, bool values, uint32_t hash, uint32_t index) {
        if ((size_ + 1) * 2 > slots_.size()) {
            std::vector<Slot> old(slots_.size() * 2);
            old.swap(slots_);
            for (const Slot& e : old)
                if (e.owner) Place(e);
        }
        Place({owner, Mix(owner, values, hash), index});
        ++size_;
    }

private:
    struct Slot {
        const HiveKey* owner;
        uint32_t hash;
        uint32_t index;
    };

    static uint32_t Mix(const HiveKey* owner, bool values, uint32_t hash) {
        uint64_t h = (uint64_t(reinterpret_cast<uintptr_t>(owner)) * 0x9e3779b97f4a7c15ULL) ^ hash ^ (values ? 0x5bd1e995u : 0);
        return uint32_t(h ^ (h >> 32));
    }

    void Place(const Slot& e) {
        size_t mask = slots_.size() - 1;
        size_t i = e.hash & mask;
        while (slots_[i].owner) i = (i + 1) & mask;
        slots_[i] = e;
    }

    std::vector<Slot> slots_;
    size_t size_ = 0;
};

struct HiveParser {
    Hive& hive;
    const std::string& file;
    const char* base;
    const char* end;
    TextReader r;
    int line = 0;
    size_t suppressed = 0;
    std::vector<std::string_view> parts;
    std::vector<std::string> decoded;
    std::vector<HiveKey*> lastKeys;
    std::string_view lastHead;  // the last head's path as written, when it was plain
    bool longPart = false;      // a name of the head being read is too long for Wine
    std::u16string units;
    LoadTable table;
    std::vector<HiveKey*> listed;  // keys whose flags the table set
    std::string decodedName;       // of the value being read, when it had escapes
    // The names of the values of the key read last, two bits each: a name
    // whose bits are not all there is no repeat, and needs no search.
    const HiveKey* filterKey = nullptr;
    uint64_t filter = 0;
    // The name of the value read last, and its key.
    const HiveKey* lastNameKey = nullptr;
    std::string_view lastName;

    [[gnu::always_inline]] static uint64_t FilterBits(std::string_view name) {
        // Length and last two characters: cheap, and enough to tell most
        // names of one key apart.
        size_t n = name.size();
        // Case folded by setting 0x20, which folds a few other characters
        // too: that only makes the filter less sure.
        uint32_t last = n ? uint8_t(name[n - 1]) | 0x20u : 0, before = n > 1 ? uint8_t(name[n - 2]) | 0x20u : 0;
        uint32_t h = (uint32_t(n) * 0x9e3779b1u) ^ (last * 0x85ebca6bu) ^ (before * 0xc2b2ae35u);
        h ^= h >> 15;
        h *= 0x2c1b3c6du;
        return (uint64_t(1) << (h >> 26)) | (uint64_t(1) << ((h >> 20) & 63));
    }

    HiveParser(Hive& h, const std::string& f)
        : hive(h), file(f), base(h.source_.data()), end(h.source_.data() + h.source_.size()),
          r{base, base, base, end} {}

    [[noreturn]] void Fail(int at, const std::string& what) const {
        throw ERegistryException("Bad registry file '" + file + "' at line " + std::to_string(at) + ": " + what);
    }

    void Warn(int at, const std::string& what) {
        if (hive.warnings_.size() < kMaxWarnings)
            hive.warnings_.push_back("Registry file '" + file + "' at line " + std::to_string(at) + ": " + what);
        else
            ++suppressed;
    }

    bool NextLine() {
        if (!r.NextLine()) return false;
        ++line;
        return true;
    }

    void Run() {
        hive.parsing_ = true;
        // Generous guesses: what is not used is given back at the end.
        hive.GrowParsed(hive.source_.size() / 24 + 16);
        hive.sections_.reserve(hive.source_.size() / 96 + 16);
        NextLine();
        if (!StartsWith(r.p, r.le, kVersionLine) || !AllSpace(r.p + kVersionLine.size(), r.le))
            Fail(1, "not a registry file of version 2 (expected \"WINE REGISTRY Version 2\")");
        HiveKey* key = nullptr;
        const char* lead = nullptr;  // blank and comment lines not yet followed by anything else
        // The comments right under the version line are the file's own, not
        // the first key's.
        for (;;) {
            const char* p = SkipSpace(r.next, end);
            if (p == end || *p != ';') break;
            NextLine();
        }
        for (;;) {
            if (key && r.next < end && *r.next == '"' && QuickLine(key)) {
                lead = nullptr;
                continue;
            }
            if (!NextLine()) break;
            const char* ls = r.p;
            const char* p = SkipSpace(r.p, r.le);
            if (p != ls && p != r.le && std::find_if(ls, p, [](char c) { return c != ' ' && c != '\t'; }) != p)
                Warn(line, "line starts with a vertical tab, form feed or carriage return: read as blank space");
            char c = p < r.le ? *p : '\0';
            switch (c) {
            case '\0':
            case ';':
                if (!lead) lead = ls;
                continue;
            case '[': {
                auto index = uint32_t(hive.sections_.size());
                uint32_t start = uint32_t((lead ? lead : ls) - base);
                key = Head(p + 1, index);
                hive.sections_.push_back({key, start});
                break;
            }
            case '#':
                if (key) Option(key, p);
                break;
            case '@':
            case '"':
                if (key)
                    Value(key, p);
                else
                    Warn(line, "value outside any key kept as it is");
                break;
            default:
                Warn(line, "unrecognized line kept as it is");
            }
            lead = nullptr;
        }
        hive.trailer_ = uint32_t((lead ? lead : end) - base);
        hive.crlf_ = r.crlf > r.newlines - r.crlf;
        if (suppressed)
            hive.warnings_.push_back("Registry file '" + file + "': " + std::to_string(suppressed) +
                                     " more lines skipped or read in part");
        hive.parsing_ = false;
        for (HiveKey* k : listed) k->flags_ &= ~(HiveKey::kChildrenListed | HiveKey::kValuesListed);
        hive.GrowParsed(hive.parsedSize_);
        hive.sections_.shrink_to_fit();
    }

    // The key a head line names, or null when Wine would refuse it (and so
    // everything up to the next head).
    HiveKey* Head(const char* p, uint32_t index) {
        parts.clear();
        longPart = false;
        // Most heads are plain ASCII names joined by "\\" (an escaped
        // backslash); their names stay in the text.
        bool plain = true;
        const char* from = p;
        const char* close = nullptr;
        const char* le = r.le;
        for (const char* c = p;;) {
            c = FindSpecial(c, le, ']', '\\');
            if (c == le) break;
            if (*c == ']') {
                close = c;
                break;
            }
            // A path cannot start with a backslash: the slow way refuses it.
            if (*c != '\\' || c + 1 == le || c[1] != '\\' || c == p) break;
            if (c > from) AddPart({from, size_t(c - from)});
            from = c += 2;
        }
        if (close) {
            if (close > from) AddPart({from, size_t(close - from)});
        } else {
            plain = false;
            parts.clear();
            units.clear();
            UnitSink sink{units};
            const char* q = p;
            if (ScanString(q, r.le, ']', sink, nullptr) != StringEnd::Closed) {
                Warn(line, "key name not closed by ']': section ignored");
                return nullptr;
            }
            if (!units.empty() && units[0] == u'\\') {
                Warn(line, "key path starting with a backslash: section ignored");
                return nullptr;
            }
            decoded.clear();
            size_t at = 0;
            for (size_t i = 0; i <= units.size(); ++i) {
                if (i == units.size() || units[i] == u'\\') {
                    if (i > at) {
                        if (i - at > kMaxKeyName) {
                            Warn(line, "key name longer than " + std::to_string(kMaxKeyName) +
                                           " characters: section ignored");
                            return nullptr;
                        }
                        decoded.push_back(UnitsToUtf8(std::u16string_view(units).substr(at, i - at)));
                        if (decoded.size() > kMaxDepth) DeepFail();
                    }
                    at = i + 1;
                }
            }
            for (const auto& d : decoded) parts.push_back(d);
        }
        if (longPart) {
            Warn(line, "key name longer than " + std::to_string(kMaxKeyName) + " characters: section ignored");
            return nullptr;
        }

        // Sections come in tree order, so most of a path is the last one's:
        // names that end inside the text both heads share are the same.
        size_t same = 0;
        if (plain && !lastHead.empty()) {
            size_t shared = SharedPrefix(p, close, lastHead, end);
            while (same < parts.size() && same < lastKeys.size()) {
                // The name ends at the same place in both, where the last head ended or went on.
                size_t end = size_t(parts[same].data() + parts[same].size() - p);
                if (end > shared || (end == shared && end < lastHead.size() && lastHead[end] != '\\')) break;
                ++same;
            }
        } else {
            while (same < parts.size() && same < lastKeys.size() && parts[same] == lastKeys[same]->Name()) ++same;
        }
        lastHead = plain ? std::string_view(p, size_t(close - p)) : std::string_view();
        lastKeys.resize(same);
        HiveKey* k = same ? lastKeys.back() : hive.root_;
        for (size_t i = same; i < parts.size(); ++i) {
            HiveKey* child = Child(k, parts[i], plain, index);
            k = child;
            lastKeys.push_back(k);
        }

        if (k->flags_ & HiveKey::kImplied) {
            if (k->section_ != index + 1) k->Ensure().firstMention = k->section_;
            k->flags_ &= ~HiveKey::kImplied;
            k->section_ = index + 1;
        } else if (!k->section_) {
            k->section_ = index + 1;
        } else {
            k->Ensure().lastSection = index + 1;
        }
        return k;
    }

    // The child of that name, made if need be.
    HiveKey* Child(HiveKey* parent, std::string_view name, bool inText, uint32_t index) {
        KeyList& kids = parent->children_;
        uint32_t hash = 0;
        if (kids.empty() || (!(parent->flags_ & HiveKey::kChildrenUnsorted) &&
                             CompareNames(name, kids[kids.size() - 1]->Name()) > 0)) {
            // Wine writes subkeys sorted: one after the last is new.
            if (parent->flags_ & HiveKey::kChildrenListed) hash = HashName(name);
        } else if (kids.size() <= kIndexThreshold && !(parent->flags_ & HiveKey::kChildrenListed)) {
            for (HiveKey* c : kids)
                if (SameName(c->Name(), name)) return c;
        } else {
            if (!(parent->flags_ & HiveKey::kChildrenListed)) {
                for (uint32_t i = 0; i < kids.size(); ++i) table.Insert(parent, false, HashName(kids[i]->Name()), i);
                parent->flags_ |= HiveKey::kChildrenListed;
                listed.push_back(parent);
            }
            hash = HashName(name);
            int found = table.Find(parent, false, hash, [&](uint32_t e) { return SameName(kids[e]->Name(), name); });
            if (found >= 0) return kids[size_t(found)];
        }
        if (!kids.empty() && CompareNames(name, kids[kids.size() - 1]->Name()) <= 0)
            parent->flags_ |= HiveKey::kChildrenUnsorted;
        HiveKey* child = hive.NewKey(parent, inText ? name : hive.KeepName(name));
        child->flags_ |= HiveKey::kImplied;
        child->section_ = index + 1;
        if (parent->flags_ & HiveKey::kChildrenListed) table.Insert(parent, false, hash, uint32_t(kids.size() - 1));
        return child;
    }

    // The record of the key's live value of that name, or -1.
    int Record(HiveKey* key, std::string_view name, uint32_t* hash) {
        if (key->count_ <= kIndexThreshold && !(key->flags_ & HiveKey::kValuesListed)) {
            const HiveValue* r = key->Records();
            for (uint32_t i = 0; i < key->count_; ++i)
                if (!(r[i].bits_ & (kDead | kShadow)) && r[i].NameIs(name)) return int(i);
            return -1;
        }
        if (!(key->flags_ & HiveKey::kValuesListed)) {
            const HiveValue* r = key->Records();
            for (uint32_t i = 0; i < key->count_; ++i)
                if (!(r[i].bits_ & (kDead | kShadow))) table.Insert(key, true, HashName(r[i].Name()), i);
            key->flags_ |= HiveKey::kValuesListed;
            listed.push_back(key);
        }
        *hash = HashName(name);
        return table.Find(key, true, *hash, [&](uint32_t e) { return key->Records()[e].NameIs(name); });
    }

    void Append(HiveKey* key, const HiveValue& rec, bool live, uint32_t hash) {
        if (!key->extra_ && key->count_ && key->first_ + key->count_ == hive.parsedSize_) {
            hive.PushParsed(rec);
            ++key->count_;
        } else {
            key->AppendRecord(rec);
        }
        if (!live) return;
        ++key->live_;
        if (key->flags_ & HiveKey::kValuesListed) table.Insert(key, true, hash, key->count_ - 1);
    }

    // How many bytes two stretches of the text agree on; both lie before
    // `textEnd`, which bounds reading ahead.
    static size_t SharedPrefix(const char* p, const char* end, std::string_view other, const char* textEnd) {
        size_t n = std::min(size_t(end - p), other.size()), i = 0;
#ifdef __SSE2__
        for (; i < n && textEnd - (p + i) >= 16 && textEnd - (other.data() + i) >= 16; i += 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(other.data() + i));
            unsigned differ = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))) & 0xffffu;
            if (differ) return std::min(n, i + size_t(__builtin_ctz(differ)));
        }
        if (i >= n) return n;
#endif
        while (i < n && p[i] == other[i]) ++i;
        return i;
    }

    [[gnu::always_inline]] void AddPart(std::string_view part) {
        longPart |= part.size() > kMaxKeyName;
        parts.push_back(part);
        if (parts.size() > kMaxDepth) DeepFail();
    }

    [[noreturn]] void DeepFail() const {
        Fail(line, "key nested deeper than " + std::to_string(kMaxDepth) + " levels");
    }

    // "#" lines: options of the key wherever they stand in its section.
    void Option(HiveKey* key, const char* p) {
        if (r.le - p < 5 || (p[1] != 'c' && p[1] != 'l')) return;  // mostly "#time="
        if (StartsWith(p, r.le, "#class=\"")) {
            const char* q = p + 8;
            NoSink none;
            if (ScanString(q, r.le, '"', none, nullptr) == StringEnd::Closed)
                key->Ensure().classLine = uint32_t(r.p - base) + 1;
        }
        if (StartsWith(p, r.le, "#link")) key->flags_ |= HiveKey::kLink;
    }

    void Value(HiveKey* key, const char* p) {
        int at = line;
        const char* le = r.le;
        std::string_view name;
        bool plain = true;
        const char* q = p + 1;
        if (*p == '"') {
            // Most names are plain ASCII and stay in the text.
            q = FindSpecial(q, le, '"', '\\');
            if (q < le && *q == '"') {
                name = {p + 1, size_t(q - p - 1)};
                ++q;
            } else {
                plain = false;
                q = p + 1;
                NoSink none;
                if (ScanString(q, le, '"', none, nullptr) != StringEnd::Closed) {
                    Warn(at, "malformed value name: line kept as it is");
                    return;
                }
                decodedName = DecodeName(p + 1, le);
                name = decodedName;  // kept until the next value's name needs decoding
            }
        }
        q = SkipSpace(q, le);
        if (q == le || *q != '=') {
            Warn(at, "malformed value name: line kept as it is");
            return;
        }
        q = SkipSpace(q + 1, le);
        if (name.size() > kMaxValueName && (plain || Utf8ToUnits(name).size() > kMaxValueName)) {
            Warn(at, "value name longer than " + std::to_string(kMaxValueName) + " characters: line kept as it is");
            return;
        }

        // The data, perhaps over more lines.
        int linesBefore = r.lines;
        r.p = q;
        NoSink none;
        DataInfo info = ReadData(r, none);
        line += r.lines - linesBefore;
        if (info.odd) Report(at, p, name, info);
        Add(key, p, name, plain, info.odd & kBadData ? 0 : info.type, (info.odd & kBadData) != 0, at);
    }

    // At the start of a line: takes it whole when it is one of the two
    // shapes most values have, "name"="text" or "name"=dword:n in plain
    // ASCII, finding its end with the same loads; false leaves it to the
    // general reading.
    bool QuickLine(HiveKey* key) {
#ifdef __SSE2__
        const char* p = r.next;
        if (end - p < 64 || *p != '"') return false;
        uint64_t quotes = 0, stops = 0, ends = 0;
        unsigned odd = 0;
        const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'), zero = _mm_setzero_si128();
        const __m128i newline = _mm_set1_epi8('\n'), low = _mm_set1_epi8(0x20), high = _mm_set1_epi8(0x7e);
        for (size_t i = 0; i < 64 && !ends; i += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            quotes |= uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quote)))) << i;
            stops |= uint64_t(unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, backslash),
                                                                      _mm_cmpeq_epi8(v, zero)))))
                     << i;
            ends = uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, newline)))) << i;
            if (i == 0)  // the name, mostly; longer ones are checked below
                odd = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi8(v, low), _mm_cmpgt_epi8(v, high))));
        }
        if (!ends) return false;
        size_t newlineAt = size_t(__builtin_ctzll(ends));
        bool crlf = newlineAt && p[newlineAt - 1] == '\r';
        size_t length = newlineAt - crlf;
        uint64_t inLine = (uint64_t(1) << length) - 1;
        quotes &= inLine & ~uint64_t(1);
        if ((stops & inLine) || !quotes) return false;
        size_t close = size_t(__builtin_ctzll(quotes));  // of the name
        if (close > 16 ? FindSpecial(p + 1, p + close, '"', '"') != p + close
                       : (odd & ((1u << close) - 1) & ~1u) != 0)
            return false;
        if (close + 2 >= length || p[close + 1] != '=') return false;
        size_t data = close + 2;
        uint32_t type;
        if (p[data] == '"') {
            uint64_t after = quotes & ~((uint64_t(2) << data) - 1);
            if (!after || size_t(__builtin_ctzll(after)) != length - 1) return false;
            type = kRegSz;
        } else if (length - data == 14 && std::memcmp(p + data, "dword:", 6) == 0) {
            for (size_t i = data + 6; i < length; ++i)
                if (HexDigit(p[i]) < 0) return false;
            type = kRegDword;
        } else {
            return false;
        }
        r.p = p;
        r.le = p + length;
        r.next = p + newlineAt + 1;
        ++r.lines;
        ++r.newlines;
        r.crlf += crlf;
        ++line;
        Add(key, p, std::string_view(p + 1, close - 1), true, type, false, line);
        return true;
#else
        (void)key;
        return false;
#endif
    }

    // A value read from the line(s) at p, whose data runs to r.next.
    [[gnu::always_inline]] void Add(HiveKey* key, const char* p, std::string_view name, bool plain, uint32_t type,
                                    bool malformed, int at) {
        // Mostly a plain name after the last one, in a key whose values lie
        // at the end of the shared array.
        auto length = size_t(r.next - p);
        constexpr uint16_t kSlow = HiveKey::kValuesUnsorted | HiveKey::kValuesListed;
        if (plain && length <= kLengthMask && !(key->flags_ & kSlow) && !key->extra_ && filterKey != key &&
            (key->count_ ? key->first_ + key->count_ == hive.parsedSize_ &&
                               CompareNames(name, lastNameKey == key ? lastName : key->Records()[key->count_ - 1].Name()) > 0
                         : true)) {
            if (!key->count_) key->first_ = hive.parsedSize_;
            HiveValue rec;
            rec.ptr_ = p;
            rec.bits_ = uint32_t(length) | (malformed ? kMalformed : 0);
            rec.type_ = type;
            hive.PushParsed(rec);
            ++key->count_;
            ++key->live_;
            lastNameKey = key;
            lastName = name;
            return;
        }
        // Out of order, but the filter tells it is no repeat.
        if (plain && length <= kLengthMask && (key->flags_ & kSlow) == HiveKey::kValuesUnsorted && !key->extra_ &&
            filterKey == key && key->count_ && key->first_ + key->count_ == hive.parsedSize_) {
            uint64_t bits = FilterBits(name);
            if ((filter & bits) != bits) {
                filter |= bits;
                HiveValue rec;
                rec.ptr_ = p;
                rec.bits_ = uint32_t(length) | (malformed ? kMalformed : 0);
                rec.type_ = type;
                hive.PushParsed(rec);
                ++key->count_;
                ++key->live_;
                lastNameKey = key;
                lastName = name;
                return;
            }
        }
        AddOther(key, p, name, plain, type, malformed, at);
    }

    [[gnu::noinline]] void AddOther(HiveKey* key, const char* p, std::string_view name, bool plain, uint32_t type,
                                    bool malformed, int at) {
        auto length = size_t(r.next - p);
        uint32_t hash = 0;
        int existing = -1;
        if (key->count_ == 0 ||
            (!(key->flags_ & HiveKey::kValuesUnsorted) &&
             CompareNames(name, lastNameKey == key ? lastName : key->Records()[key->count_ - 1].Name()) > 0)) {
            // Wine writes values sorted: one after the last is no repeat.
            if (filterKey == key) filter |= FilterBits(name);
        } else {
            key->flags_ |= HiveKey::kValuesUnsorted;
            if (filterKey != key) {
                filterKey = key;
                filter = 0;
                const HiveValue* r = key->Records();
                for (uint32_t i = 0; i < key->count_; ++i)
                    if (!(r[i].bits_ & (kDead | kShadow))) filter |= FilterBits(r[i].Name());
            }
            uint64_t bits = FilterBits(name);
            if ((filter & bits) == bits) existing = Record(key, name, &hash);
            filter |= bits;
        }
        if (existing >= 0) {
            lastNameKey = nullptr;
            return Repeated(key, existing, p, length, malformed, type, at);
        }
        if ((key->flags_ & HiveKey::kValuesListed) && !hash) hash = HashName(name);
        HiveValue rec;
        rec.type_ = type;
        if (plain && length <= kLengthMask) {
            rec.ptr_ = p;
            rec.bits_ = uint32_t(length) | (malformed ? kMalformed : 0);
        } else {
            Hive::Slot* s = hive.slots_[hive.NewSlot()].get();
            s->name = std::string(name);
            s->raw = s->src = p;
            s->rawLength = s->srcLength = uint32_t(length);
            s->srcMalformed = malformed;
            rec.ptr_ = s;
            rec.bits_ = kSlot;
            name = s->name;
        }
        Append(key, rec, true, hash);
        lastNameKey = key;
        lastName = name;
    }

    // The same name again: Wine reads the new data over the value, which
    // keeps its place and spelling. The repeat stays in the text while the
    // value is unchanged.
    void Repeated(HiveKey* key, int existing, const char* p, size_t length, bool malformed, uint32_t type, int at) {
        if (length > kLengthMask) Fail(at, "value text longer than 256 MB");
        HiveValue& owner = key->Records()[size_t(existing)];
        Hive::Slot* s;
        if (owner.bits_ & kSlot) {
            s = Hive::SlotOf(owner);
        } else {
            s = hive.slots_[hive.NewSlot()].get();
            s->name = std::string(owner.Name());
            s->raw = static_cast<const char*>(owner.ptr_);
            s->rawLength = owner.bits_ & kLengthMask;
            owner.ptr_ = s;
            owner.bits_ = kSlot;
        }
        s->src = p;
        s->srcLength = uint32_t(length);
        s->srcMalformed = malformed;
        s->repeated = true;
        owner.type_ = type;
        HiveValue shadow;
        shadow.ptr_ = p;
        shadow.bits_ = uint32_t(length) | kShadow;
        shadow.type_ = s->index;
        Append(key, shadow, false, 0);
    }

    void Report(int at, const char* p, std::string_view name, const DataInfo& info) {
        std::string shown = "value '" + Shown(name) + "'";
        if (info.odd & kBadData)
            Warn(at, "malformed data of " + shown + ": read as an empty value of type 0, as Wine does");
        else if (info.odd & kTrailing)
            Warn(at, "text after the data of " + shown + " ignored");
        else if (info.odd & kContinued)
            Warn(at, "string of " + shown + " continued on the next line: read as one string");
        if (info.odd & kLongDword) Warn(at, "dword of " + shown + " has more than eight hex digits: its low 32 bits are kept");
        if (info.odd & kNoDigits) Warn(at, "dword of " + shown + " has no hex digits: read as 0");
        if (info.odd & kRanOut) hive.openEnd_ = uint32_t(p - base);
    }
};

std::unique_ptr<Hive> Hive::Parse(std::string text, const std::string& fileName, std::string_view relativeTo) {
    auto hive = std::make_unique<Hive>(relativeTo);
    if (text.empty()) return hive;
    if (text.size() >= 0xffffffffu)
        throw ERegistryException("Bad registry file '" + fileName + "': too large");
    hive->source_ = std::move(text);
    hive->newHeader_.clear();
    HiveParser parser(*hive, fileName);
    parser.Run();
    return hive;
}

// ---------------------------------------------------------------- writing

struct HiveWriter {
    const Hive& h;
    std::string& out;
    std::string_view eol;
    const char* base;
    uint32_t size;
    bool atOpenEnd = false;  // the output ends with the value that ran into the end of the text

    void Text(uint32_t from, uint32_t to) {
        if (from >= to) return;
        out.append(base + from, to - from);
        atOpenEnd = to == size && h.openEnd_ != UINT32_MAX && from <= h.openEnd_;
    }

    // Lines we make end the way the file's lines do.
    void Generated(std::string_view text) {
        atOpenEnd = false;
        if (eol.size() == 1) {
            out += text;
            return;
        }
        for (char c : text) {
            if (c == '\n')
                out += eol;
            else
                out += c;
        }
    }

    // Before lines are added after what was read.
    void LineStart() {
        if (atOpenEnd) {
            // A continued value that ran into the end of the text would take
            // the next line as its own: write it as what Wine made of it.
            out.resize(out.size() - (size - h.openEnd_));
            const char* p = base + h.openEnd_;
            std::string name = *p == '@' ? std::string() : DecodeName(p + 1, base + size);
            Generated(FormatValue(name, kRegNone, {}));
        }
        if (!out.empty() && out.back() != '\n') Generated("\n");
    }

    void Head(const HiveKey& k) {
        std::vector<const HiveKey*> chain;
        for (const HiveKey* p = &k; p->parent_; p = p->parent_) chain.push_back(p);
        std::string line = "[";
        for (size_t i = chain.size(); i-- > 0;) {
            EscapeUnits(Utf8ToUnits(chain[i]->Name()), '[', ']', line);
            if (i) line += "\\\\";
        }
        int64_t now = h.Now();
        line += "] " + std::to_string(now) + "\n";
        uint64_t ft = uint64_t(now + kEpochDelta) * 10000000ULL;
        AppendHex32(line, "#time=%x", uint32_t(ft >> 32));
        AppendHex32(line, "%08x\n", uint32_t(ft));
        Generated(line);
    }

    // Text between a changed key's values: kept, but for its old time.
    void Gap(uint32_t from, uint32_t to, bool dropTimes) {
        if (!dropTimes) return Text(from, to);
        while (from < to) {
            const char* nl = static_cast<const char*>(std::memchr(base + from, '\n', to - from));
            uint32_t next = nl ? uint32_t(nl - base + 1) : to;
            const char* p = SkipSpace(base + from, base + next);
            if (!StartsWith(p, base + next, "#time=")) Text(from, next);
            from = next;
        }
    }

    static const char* TextOf(const HiveValue& v, uint32_t* length) {
        if (v.bits_ & kSlot) {
            auto* s = Hive::SlotOf(v);
            *length = s->rawLength;
            return s->raw;
        }
        *length = v.bits_ & kLengthMask;
        return static_cast<const char*>(v.ptr_);
    }

    void NewValues(const HiveKey& k) {
        const HiveValue* r = k.Records();
        for (uint32_t i = 0; i < k.count_; ++i) {
            uint32_t length;
            if ((r[i].bits_ & (kDead | kShadow)) || TextOf(r[i], &length)) continue;
            auto* s = Hive::SlotOf(r[i]);
            LineStart();
            Generated(FormatValue(s->name, r[i].type_, s->data));
        }
    }

    // A changed key's section, piece by piece.
    void Section(size_t i, uint32_t end) {
        const Hive::Section& s = h.sections_[i];
        const HiveKey& k = *s.key;
        // The head is the first line of the section that is neither blank nor a comment.
        uint32_t head = s.start, headEnd;
        for (;;) {
            const char* nl = static_cast<const char*>(std::memchr(base + head, '\n', size - head));
            headEnd = nl ? uint32_t(nl - base + 1) : size;
            const char* p = SkipSpace(base + head, base + headEnd);
            if (p < base + headEnd && *p == '[') break;
            head = headEnd;
        }
        Text(s.start, head);
        bool touched = (k.flags_ & HiveKey::kTouched) != 0;
        if (touched && i + 1 == k.section_)
            Head(k);
        else
            Text(head, headEnd);

        // Values with text come first, in the order of the text.
        const HiveValue* r = k.Records();
        uint32_t lo = 0, hi = k.count_;
        while (lo < hi) {
            uint32_t mid = (lo + hi) / 2;
            uint32_t length;
            const char* t = TextOf(r[mid], &length);
            if (!t || uint32_t(t - base) >= headEnd)
                hi = mid;
            else
                lo = mid + 1;
        }
        uint32_t pos = headEnd;
        for (uint32_t j = lo; j < k.count_; ++j) {
            uint32_t length;
            const char* t = TextOf(r[j], &length);
            if (!t || uint32_t(t - base) >= end) break;
            auto at = uint32_t(t - base);
            Gap(pos, at, touched);
            Record(r[j], at, length);
            pos = at + length;
        }
        Gap(pos, end, touched);
        if (i + 1 == k.LastSection()) NewValues(k);
    }

    void Record(const HiveValue& v, uint32_t at, uint32_t length) {
        if (v.bits_ & kSlot) {
            auto* s = Hive::SlotOf(v);
            if (s->dead) return;
            if (s->changed) {
                Generated(FormatValue(s->name, v.type_, s->data));
                return;
            }
        } else if (v.bits_ & kDead) {
            return;
        } else if (v.bits_ & kShadow) {
            const Hive::Slot& s = *h.slots_[v.type_];
            if (s.dead || s.changed) return;
        }
        Text(at, at + length);
    }

    // A head, and new values, for a key the file gave no section of its own.
    void NewSection(const HiveKey& k) {
        LineStart();
        Generated("\n");
        Head(k);
        if (!k.HasOwnSection()) NewValues(k);
    }
};

std::string Hive::Serialize() const {
    std::string out;
    out.reserve(source_.size() + 4096);
    HiveWriter w{*this, out, crlf_ ? "\r\n" : "\n", source_.data(), uint32_t(source_.size())};
    if (!newHeader_.empty()) out += newHeader_;

    std::vector<const HiveKey*> anchors;
    for (const HiveKey* k : anchored_)
        if (!(k->flags_ & HiveKey::kRemoved)) anchors.push_back(k);
    std::sort(anchors.begin(), anchors.end(), [](const HiveKey* a, const HiveKey* b) {
        return a->FirstMention() != b->FirstMention() ? a->FirstMention() < b->FirstMention() : a->depth_ < b->depth_;
    });
    size_t a = 0;

    // Unchanged sections go out as one piece of text.
    uint32_t runFrom = 0;
    uint32_t runTo = sections_.empty() ? trailer_ : sections_[0].start;
    for (size_t i = 0; i < sections_.size(); ++i) {
        const Section& s = sections_[i];
        uint32_t end = i + 1 < sections_.size() ? sections_[i + 1].start : trailer_;
        bool anchorsHere = a < anchors.size() && anchors[a]->FirstMention() == i + 1;
        bool verbatim = !s.key || !(s.key->flags_ & (HiveKey::kRemoved | HiveKey::kDirty | HiveKey::kTouched));
        if (verbatim && !anchorsHere) {
            runTo = end;
            continue;
        }
        w.Text(runFrom, runTo);
        while (a < anchors.size() && anchors[a]->FirstMention() == i + 1) w.NewSection(*anchors[a++]);
        runFrom = verbatim ? s.start : end;
        runTo = end;
        if (!verbatim && !(s.key->flags_ & HiveKey::kRemoved)) w.Section(i, end);
    }
    w.Text(runFrom, runTo);

    // Keys made since, in the order they were made. Wine leaves out keys
    // whose subkeys imply them; so do we, where a subkey's head comes next
    // and so names the key in the same place.
    std::vector<const HiveKey*> fresh;
    const HiveKey* next = nullptr;
    for (auto it = queued_.rbegin(); it != queued_.rend(); ++it) {
        const HiveKey* k = *it;
        if (k->flags_ & HiveKey::kRemoved) continue;
        if (!k->live_ && !k->children_.empty() && next) {
            bool below = false;
            for (const HiveKey* p = next->parent_; p && !below; p = p->parent_) below = p == k;
            if (below) continue;
        }
        fresh.push_back(k);
        next = k;
    }
    for (auto it = fresh.rbegin(); it != fresh.rend(); ++it) w.NewSection(**it);

    w.Text(trailer_, uint32_t(source_.size()));
    return out;
}

}  // namespace tarnel::platform::wine
