// Reading a registry file into the hive: one pass over the text that checks
// every line as Wine's loader would read it and keeps pointers into it.
#include <algorithm>
#include <cstring>

#include "platform/machine/WineHiveTree.h"

namespace tarnel::platform::wine {

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

}  // namespace tarnel::platform::wine
