#include "platform/machine/WineHive.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"

namespace tarnel::platform::wine {

namespace {

constexpr std::string_view kVersionLine = "WINE REGISTRY Version 2";
// Seconds between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600LL;
// Small keys are searched linearly; bigger ones get a hash index.
constexpr size_t kIndexThreshold = 8;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (IsBlank(s[i]) || s[i] == '\r')) ++i;
    return s.substr(i);
}

bool RestIsBlank(std::string_view s) { return TrimLeft(s).empty(); }

void AppendUnitsLE(std::vector<uint8_t>& out, std::u16string_view units) {
    for (char16_t u : units) {
        out.push_back(uint8_t(u & 0xff));
        out.push_back(uint8_t(u >> 8));
    }
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

// Reads a text one line at a time, counting lines for error messages.
struct LineReader {
    std::string_view text;
    size_t next = 0;
    int number = 0;
    size_t start = 0;  // of the current line
    size_t after = 0;  // just past its line end
    std::string_view line;  // without the line end

    bool Next() {
        if (next >= text.size()) return false;
        start = next;
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string_view::npos ? text.size() : nl;
        after = nl == std::string_view::npos ? text.size() : nl + 1;
        if (end > start && text[end - 1] == '\r') --end;
        line = text.substr(start, end - start);
        ++number;
        next = after;
        return true;
    }
};

class Parser {
public:
    Parser(LineReader& reader, const std::string& file) : r_(reader), file_(file) {}

    [[noreturn]] void Fail(const std::string& what) const {
        throw ERegistryException("Bad registry file '" + file_ + "' at line " +
                                 std::to_string(r_.number) + ": " + what);
    }

    // Parses an escaped string up to `end` (not included) from `cur`, which
    // is advanced past the closing character. A backslash at the end of a
    // line continues the text on the next line, after its indentation.
    const std::u16string& String(std::string_view& cur, char end) {
        std::u16string& out = scratch_;
        out.clear();
        size_t i = 0;
        for (;;) {
            if (i >= cur.size()) Fail(end == ']' ? "key name not closed by ']'" : "unterminated string");
            unsigned char c = static_cast<unsigned char>(cur[i]);
            if (c == static_cast<unsigned char>(end)) {
                cur.remove_prefix(i + 1);
                return out;
            }
            if (c == '\\') {
                if (i + 1 >= cur.size()) {
                    if (!r_.Next()) Fail("unterminated string at end of file");
                    cur = TrimLeft(r_.line);
                    i = 0;
                    continue;
                }
                char e = cur[i + 1];
                i += 2;
                switch (e) {
                case 'a': out += u'\a'; break;
                case 'b': out += u'\b'; break;
                case 'e': out += char16_t(27); break;
                case 'f': out += u'\f'; break;
                case 'n': out += u'\n'; break;
                case 'r': out += u'\r'; break;
                case 't': out += u'\t'; break;
                case 'v': out += u'\v'; break;
                case 'x': {
                    if (i >= cur.size() || HexDigit(cur[i]) < 0) {
                        out += u'x';
                        break;
                    }
                    unsigned v = 0;
                    for (int n = 0; n < 4 && i < cur.size() && HexDigit(cur[i]) >= 0; ++n, ++i)
                        v = v * 16 + unsigned(HexDigit(cur[i]));
                    out += char16_t(v);
                    break;
                }
                case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
                    unsigned v = unsigned(e - '0');
                    for (int n = 0; n < 2 && i < cur.size() && cur[i] >= '0' && cur[i] <= '7'; ++n, ++i)
                        v = v * 8 + unsigned(cur[i] - '0');
                    out += char16_t(v);
                    break;
                }
                default:
                    // Non-ASCII after a backslash: take the whole character.
                    if (static_cast<unsigned char>(e) >= 0x80) {
                        i -= 1;
                        DecodeUtf8(cur, i, out);
                    } else {
                        out += char16_t(static_cast<unsigned char>(e));
                    }
                }
                continue;
            }
            if (c < 0x80) {
                out += char16_t(c);
                ++i;
            } else {
                DecodeUtf8(cur, i, out);
            }
        }
    }

    // Comma-separated hex bytes; a trailing backslash continues the list on
    // the next line.
    std::vector<uint8_t> HexList(std::string_view cur) {
        std::vector<uint8_t> out;
        for (;;) {
            cur = TrimLeft(cur);
            if (cur.empty()) return out;
            if (cur[0] == '\\' && RestIsBlank(cur.substr(1))) {
                if (!r_.Next()) Fail("hex data continued past the end of the file");
                cur = r_.line;
                continue;
            }
            int hi = HexDigit(cur[0]);
            if (hi < 0) Fail("bad hex data near '" + std::string(cur.substr(0, 8)) + "'");
            unsigned v = unsigned(hi);
            size_t n = 1;
            if (n < cur.size() && HexDigit(cur[n]) >= 0) v = v * 16 + unsigned(HexDigit(cur[n++]));
            if (n < cur.size() && HexDigit(cur[n]) >= 0) Fail("hex byte with more than two digits");
            out.push_back(uint8_t(v));
            cur.remove_prefix(n);
            cur = TrimLeft(cur);
            if (!cur.empty() && cur[0] == ',') cur.remove_prefix(1);
        }
    }

    // "(N):" after "str" or "hex"; returns N.
    uint32_t TypeNumber(std::string_view& cur) {
        size_t close = cur.find("):");
        if (cur.empty() || cur[0] != '(' || close == std::string_view::npos || close < 2 || close > 9)
            Fail("bad value type");
        uint32_t v = 0;
        for (size_t i = 1; i < close; ++i) {
            int d = HexDigit(cur[i]);
            if (d < 0) Fail("bad value type");
            v = v * 16 + uint32_t(d);
        }
        cur.remove_prefix(close + 2);
        return v;
    }

    void Value(std::string_view cur, HiveValue& v) {
        cur.remove_prefix(1);
        if (cur.data()[-1] == '"') {
            // Most names are plain ASCII: take them as they stand.
            size_t i = 0;
            while (i < cur.size() && cur[i] != '"' && cur[i] != '\\' && static_cast<unsigned char>(cur[i]) < 0x80) ++i;
            if (i < cur.size() && cur[i] == '"') {
                v.name.assign(cur.substr(0, i));
                cur.remove_prefix(i + 1);
            } else {
                v.name = UnitsToUtf8(String(cur, '"'));
            }
        }
        cur = TrimLeft(cur);
        if (cur.empty() || cur[0] != '=') Fail("'=' expected after the value name");
        cur = TrimLeft(cur.substr(1));

        auto stringData = [&](uint32_t type) {
            if (cur.empty() || cur[0] != '"') Fail("'\"' expected");
            cur.remove_prefix(1);
            const std::u16string& s = String(cur, '"');
            v.type = type;
            v.data.reserve(s.size() * 2 + 2);
            AppendUnitsLE(v.data, s);
            v.data.push_back(0);
            v.data.push_back(0);
            if (!RestIsBlank(cur)) Fail("unexpected text after the string");
        };

        if (!cur.empty() && cur[0] == '"') {
            stringData(kRegSz);
        } else if (cur.substr(0, 4) == "str:") {
            cur.remove_prefix(4);
            stringData(kRegSz);
        } else if (cur.substr(0, 4) == "str(") {
            cur.remove_prefix(3);
            uint32_t type = TypeNumber(cur);
            stringData(type);
        } else if (cur.substr(0, 6) == "dword:") {
            cur.remove_prefix(6);
            uint32_t d = 0;
            size_t n = 0;
            while (n < cur.size() && HexDigit(cur[n]) >= 0) d = d * 16 + uint32_t(HexDigit(cur[n++]));
            if (n == 0 || n > 8 || !RestIsBlank(cur.substr(n))) Fail("bad dword data");
            v.type = kRegDword;
            v.data = {uint8_t(d), uint8_t(d >> 8), uint8_t(d >> 16), uint8_t(d >> 24)};
        } else if (cur.substr(0, 4) == "hex:") {
            v.type = kRegBinary;
            v.data = HexList(cur.substr(4));
        } else if (cur.substr(0, 4) == "hex(") {
            cur.remove_prefix(3);
            v.type = TypeNumber(cur);
            v.data = HexList(cur);
        } else {
            Fail("unknown value data '" + std::string(cur.substr(0, 12)) + "'");
        }
    }

private:
    // Appends the UTF-8 character at cur[i] (advancing i); a byte that does
    // not start a valid sequence is taken as the character of that number.
    static void DecodeUtf8(std::string_view cur, size_t& i, std::u16string& out) {
        unsigned char c = static_cast<unsigned char>(cur[i]);
        int len = c >= 0xf0 && c < 0xf5 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
        if (c >= 0xf5) len = 0;
        uint32_t cp = 0;
        if (len && i + size_t(len) <= cur.size()) {
            cp = c & (0xff >> (len + 1));
            for (int k = 1; k < len; ++k) {
                unsigned char cc = static_cast<unsigned char>(cur[i + size_t(k)]);
                if ((cc & 0xc0) != 0x80) {
                    len = 0;
                    break;
                }
                cp = (cp << 6) | (cc & 0x3f);
            }
        } else {
            len = 0;
        }
        if (!len) {
            out += char16_t(c);
            ++i;
            return;
        }
        i += size_t(len);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xd800 + (cp >> 10));
            out += char16_t(0xdc00 + (cp & 0x3ff));
        } else {
            out += char16_t(cp);
        }
    }

    LineReader& r_;
    const std::string& file_;
    std::u16string scratch_;  // reused for every string, saving allocations
};

std::vector<std::string> SplitKeyPath(std::u16string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\') {
            if (i > start) parts.push_back(UnitsToUtf8(path.substr(start, i - start)));
            start = i + 1;
        }
    }
    return parts;
}

}  // namespace

// ---------------------------------------------------------------- helpers

std::string LowerName(std::string_view name) {
    std::string s(name);
    for (char& c : s) c = Lower(c);
    return s;
}

// Names are kept as UTF-8 made from UTF-16 units, so they always decode.
std::u16string Utf8ToUnits(std::string_view s) { return Utf8ToUtf16(s); }

std::string UnitsToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xd800 && cp < 0xdc00 && i + 1 < s.size() && s[i + 1] >= 0xdc00 && s[i + 1] < 0xe000) {
            cp = 0x10000 + ((cp - 0xd800) << 10) + (s[i + 1] - 0xdc00);
            ++i;
        }
        // A lone surrogate is encoded like any other code point, so that
        // converting back gives the same units.
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xc0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3f));
        } else if (cp < 0x10000) {
            out += char(0xe0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3f));
            out += char(0x80 | (cp & 0x3f));
        } else {
            out += char(0xf0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3f));
            out += char(0x80 | ((cp >> 6) & 0x3f));
            out += char(0x80 | (cp & 0x3f));
        }
    }
    return out;
}

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

// ---------------------------------------------------------------- HiveKey

HiveKey::HiveKey(Hive& hive, HiveKey* parent, std::string name)
    : hive_(hive), parent_(parent), name_(std::move(name)) {}

std::vector<std::string> HiveKey::Path() const {
    std::vector<std::string> parts;
    for (const HiveKey* k = this; k->parent_; k = k->parent_) parts.push_back(k->name_);
    std::reverse(parts.begin(), parts.end());
    return parts;
}

void HiveKey::IndexChildren() const {
    childIndex_.clear();
    childIndex_.reserve(children_.size() * 2);
    for (const auto& c : children_) childIndex_.emplace(LowerName(c->name_), c.get());
    childIndexValid_ = true;
}

HiveKey* HiveKey::FindChild(std::string_view name) {
    if (children_.size() <= kIndexThreshold) {
        for (const auto& c : children_)
            if (SameName(c->name_, name)) return c.get();
        return nullptr;
    }
    if (!childIndexValid_) IndexChildren();
    auto it = childIndex_.find(LowerName(name));
    return it == childIndex_.end() ? nullptr : it->second;
}

HiveKey& HiveKey::CreateChild(std::string_view name) {
    if (HiveKey* existing = FindChild(name)) return *existing;
    children_.push_back(std::make_unique<HiveKey>(hive_, this, std::string(name)));
    HiveKey* child = children_.back().get();
    if (childIndexValid_) childIndex_.emplace(LowerName(name), child);
    child->Touch();
    return *child;
}

bool HiveKey::RemoveChild(std::string_view name) {
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (SameName((*it)->name_, name)) {
            children_.erase(it);
            childIndexValid_ = false;
            // A key left without subkeys needs a section of its own to survive.
            if (parent_ && children_.empty()) EnsureSection();
            return true;
        }
    }
    return false;
}

std::vector<HiveKey*> HiveKey::Children() const {
    std::vector<HiveKey*> out;
    out.reserve(children_.size());
    for (const auto& c : children_) out.push_back(c.get());
    return out;
}

void HiveKey::IndexValues() const {
    valueIndex_.clear();
    valueIndex_.reserve(values_.size() * 2);
    for (uint32_t i = 0; i < values_.size(); ++i)
        if (values_[i].alive) valueIndex_.emplace(LowerName(values_[i].name), i);
    valueIndexValid_ = true;
}

int HiveKey::FindValueIndex(std::string_view name) const {
    if (values_.size() <= kIndexThreshold) {
        for (size_t i = 0; i < values_.size(); ++i)
            if (values_[i].alive && SameName(values_[i].name, name)) return int(i);
        return -1;
    }
    if (!valueIndexValid_) IndexValues();
    auto it = valueIndex_.find(LowerName(name));
    return it == valueIndex_.end() ? -1 : int(it->second);
}

const HiveValue* HiveKey::FindValue(std::string_view name) const {
    int i = FindValueIndex(name);
    return i < 0 ? nullptr : &values_[size_t(i)];
}

void HiveKey::SetValue(std::string_view name, uint32_t type, std::vector<uint8_t> data) {
    int i = FindValueIndex(name);
    if (i >= 0) {
        HiveValue& v = values_[size_t(i)];
        v.type = type;
        v.data = std::move(data);
        v.raw = {};
    } else {
        HiveValue v;
        v.name = std::string(name);
        v.type = type;
        v.data = std::move(data);
        values_.push_back(std::move(v));
        ++liveValues_;
        livePlacesValid_ = false;
        if (valueIndexValid_) valueIndex_.emplace(LowerName(name), uint32_t(values_.size() - 1));
    }
    Touch();
}

bool HiveKey::DeleteValue(std::string_view name) {
    int i = FindValueIndex(name);
    if (i < 0) return false;
    HiveValue& v = values_[size_t(i)];
    v.alive = false;
    v.data.clear();
    v.data.shrink_to_fit();
    --liveValues_;
    livePlacesValid_ = false;
    if (valueIndexValid_) valueIndex_.erase(LowerName(v.name));
    // Compact once the dead outnumber the living, keeping deletion cheap.
    size_t dead = values_.size() - liveValues_;
    if (dead > 16 && dead > liveValues_) {
        values_.erase(std::remove_if(values_.begin(), values_.end(), [](const HiveValue& x) { return !x.alive; }),
                      values_.end());
        valueIndexValid_ = false;
    }
    Touch();
    return true;
}

const HiveValue* HiveKey::ValueAt(size_t i) const {
    if (values_.size() == liveValues_) return i < values_.size() ? &values_[i] : nullptr;
    if (!livePlacesValid_) {
        livePlaces_.clear();
        for (uint32_t p = 0; p < values_.size(); ++p)
            if (values_[p].alive) livePlaces_.push_back(p);
        livePlacesValid_ = true;
    }
    return i < livePlaces_.size() ? &values_[livePlaces_[i]] : nullptr;
}

std::vector<const HiveValue*> HiveKey::Values() const {
    std::vector<const HiveValue*> out;
    out.reserve(liveValues_);
    for (const auto& v : values_)
        if (v.alive) out.push_back(&v);
    return out;
}

void HiveKey::EnsureSection() {
    if (seq_ == 0) seq_ = hive_.nextSeq_++;
}

void HiveKey::Touch() {
    EnsureSection();
    headChanged_ = true;
}

// ---------------------------------------------------------------- Hive

Hive::Hive(std::string_view relativeTo) : root_(std::make_unique<HiveKey>(*this, nullptr, std::string())) {
    newHeader_ = std::string(kVersionLine) + "\n;; All keys relative to ";
    for (char c : relativeTo) {
        if (c == '\\') newHeader_ += '\\';
        newHeader_ += c;
    }
    newHeader_ += '\n';
}

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
    HiveKey* k = root_.get();
    for (const auto& part : path) {
        k = k->FindChild(part);
        if (!k) return nullptr;
    }
    return k;
}

HiveKey& Hive::Create(const std::vector<std::string>& path) {
    HiveKey* k = root_.get();
    for (const auto& part : path) k = &k->CreateChild(part);
    return *k;
}

bool Hive::Remove(const std::vector<std::string>& path) {
    if (path.empty()) return false;
    std::vector<std::string> parentPath(path.begin(), path.end() - 1);
    HiveKey* parent = Find(parentPath);
    return parent && parent->RemoveChild(path.back());
}

std::unique_ptr<Hive> Hive::Parse(std::string text, const std::string& fileName, std::string_view relativeTo) {
    auto hive = std::make_unique<Hive>(relativeTo);
    if (text.empty()) return hive;
    if (text.size() > 0xffffffffu)
        throw ERegistryException("Bad registry file '" + fileName + "': too large");
    hive->source_ = std::move(text);
    hive->newHeader_.clear();

    LineReader r;
    r.text = hive->source_;
    Parser p(r, fileName);

    r.Next();
    if (r.line.substr(0, kVersionLine.size()) != kVersionLine || !RestIsBlank(r.line.substr(kVersionLine.size())))
        p.Fail("not a registry file of version 2 (expected \"WINE REGISTRY Version 2\")");

    constexpr size_t kNone = std::string::npos;
    size_t pending = kNone;    // start of blank and comment lines not yet owned
    size_t headerEnd = r.after;
    bool inHeader = true;
    HiveKey* key = nullptr;
    bool inHead = false;  // after a section header, before its first value
    std::vector<std::string> lastPath;
    std::vector<HiveKey*> lastKeys;
    auto span = [](size_t from, size_t to) { return Span{uint32_t(from), uint32_t(to - from)}; };

    while (r.Next()) {
        std::string_view line = TrimLeft(r.line);
        char c = line.empty() ? '\0' : line[0];
        if (c == '\0' || c == ';') {
            if (pending == kNone) pending = r.start;
            continue;
        }
        if (c == '[') {
            size_t start = r.start;
            std::string_view cur = line.substr(1);
            std::vector<std::string> path = SplitKeyPath(p.String(cur, ']'));
            if (inHeader) {
                hive->header_ = span(0, pending == kNone ? start : pending);
                inHeader = false;
            }
            // Sections come in tree order, so most of a path is the last one's.
            size_t same = 0;
            while (same < path.size() && same < lastPath.size() && path[same] == lastPath[same]) ++same;
            lastKeys.resize(same);
            HiveKey* k = same ? lastKeys.back() : hive->root_.get();
            for (size_t i = same; i < path.size(); ++i) {
                const std::string& part = path[i];
                HiveKey* child = k->FindChild(part);
                if (!child) {
                    k->children_.push_back(std::make_unique<HiveKey>(*hive, k, part));
                    child = k->children_.back().get();
                    if (k->childIndexValid_) k->childIndex_.emplace(LowerName(part), child);
                }
                k = child;
                lastKeys.push_back(k);
            }
            lastPath = std::move(path);
            key = k;
            if (!key->fromFile_) {
                // A key named twice gets the values of both sections (as Wine
                // merges them) and is written back under its first head.
                key->fromFile_ = true;
                key->seq_ = hive->nextSeq_++;
                key->lead_ = pending == kNone ? Span{} : span(pending, start);
                key->head_ = span(start, r.after);
            }
            pending = kNone;
            inHead = true;
            continue;
        }
        if (c == '#') {
            if (inHeader) {
                pending = kNone;
                headerEnd = r.after;
                continue;
            }
            if (inHead && pending == kNone && key->head_.offset + key->head_.length == r.start) {
                if (line.substr(0, 5) == "#link" && RestIsBlank(line.substr(5))) key->link_ = true;
                if (!key->meta_.length) key->meta_.offset = uint32_t(r.start);
                key->meta_.length = uint32_t(r.after - key->meta_.offset);
                key->head_.length = uint32_t(r.after - key->head_.offset);
            } else if (pending == kNone) {
                pending = r.start;  // kept as a comment
            }
            continue;
        }
        if (c == '@' || c == '"') {
            if (inHeader) p.Fail("value outside of any key section");
            size_t start = r.start;
            HiveValue v;
            p.Value(line, v);
            v.lead = pending == kNone ? Span{} : span(pending, start);
            v.raw = span(start, r.after);
            pending = kNone;
            inHead = false;
            int existing = key->FindValueIndex(v.name);
            if (existing >= 0) {
                HiveValue& old = key->values_[size_t(existing)];
                old.type = v.type;
                old.data = std::move(v.data);
                old.raw = {};
            } else {
                key->values_.push_back(std::move(v));
                ++key->liveValues_;
                key->livePlacesValid_ = false;
                if (key->valueIndexValid_)
                    key->valueIndex_.emplace(LowerName(key->values_.back().name), uint32_t(key->values_.size() - 1));
            }
            continue;
        }
        p.Fail("unrecognized line '" + std::string(line.substr(0, 40)) + "'");
    }
    if (inHeader) {
        hive->header_ = span(0, pending == kNone ? hive->source_.size() : pending);
        (void)headerEnd;
    }
    if (pending != kNone) hive->trailer_ = span(pending, hive->source_.size());
    return hive;
}

void Hive::WriteKey(const HiveKey& key, std::string& out) const {
    auto ensureLineStart = [&out] {
        if (!out.empty() && out.back() != '\n') out += '\n';
    };
    ensureLineStart();
    if (key.fromFile_)
        out += Text(key.lead_);
    else
        out += '\n';
    if (!key.headChanged_ && key.head_.length) {
        out += Text(key.head_);
    } else {
        out += '[';
        bool first = true;
        for (const auto& part : key.Path()) {
            if (!first) out += "\\\\";
            first = false;
            EscapeUnits(Utf8ToUnits(part), '[', ']', out);
        }
        int64_t now = Now();
        out += "] " + std::to_string(now) + "\n";
        uint64_t ft = uint64_t(now + kEpochDelta) * 10000000ULL;
        AppendHex32(out, "#time=%x", uint32_t(ft >> 32));
        AppendHex32(out, "%08x\n", uint32_t(ft));
        std::string_view meta = Text(key.meta_);
        while (!meta.empty()) {
            size_t nl = meta.find('\n');
            std::string_view line = meta.substr(0, nl == std::string_view::npos ? meta.size() : nl + 1);
            meta.remove_prefix(line.size());
            if (TrimLeft(line).substr(0, 6) == "#time=") continue;
            out += line;
            if (out.back() != '\n') out += '\n';
        }
    }
    for (const auto& v : key.values_) {
        if (!v.alive) continue;
        ensureLineStart();
        out += Text(v.lead);
        if (v.raw.length)
            out += Text(v.raw);
        else
            out += FormatValue(v.name, v.type, v.data);
    }
}

std::string Hive::Serialize() const {
    std::vector<const HiveKey*> keys;
    std::vector<const HiveKey*> stack{root_.get()};
    while (!stack.empty()) {
        const HiveKey* k = stack.back();
        stack.pop_back();
        // Wine leaves out keys whose subkeys imply them; so do we.
        if (k->seq_ && (k->fromFile_ || k->liveValues_ || k->children_.empty() || k->meta_.length))
            keys.push_back(k);
        for (const auto& c : k->children_) stack.push_back(c.get());
    }
    std::sort(keys.begin(), keys.end(), [](const HiveKey* a, const HiveKey* b) { return a->seq_ < b->seq_; });

    std::string out;
    out.reserve(source_.size() + 4096);
    if (newHeader_.empty())
        out += Text(header_);
    else
        out += newHeader_;
    for (const HiveKey* k : keys) WriteKey(*k, out);
    if (trailer_.length) {
        if (!out.empty() && out.back() != '\n') out += '\n';
        out += Text(trailer_);
    }
    return out;
}

}  // namespace tarnel::platform::wine
