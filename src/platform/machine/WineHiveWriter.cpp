// Writing a hive back: unchanged sections as the very text they were read
// from, changed ones piece by piece, new keys at the end.
#include <algorithm>
#include <cstring>

#include "platform/machine/WineHiveTree.h"

namespace tarnel::platform::wine {

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
