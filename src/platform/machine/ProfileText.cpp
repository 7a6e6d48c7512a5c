#include "platform/machine/ProfileText.h"

#include <cstring>

#include "platform/api/Ansi.h"

namespace tarnel::platform::machine {

bool IsProfileBlank(char c) { return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == ' '; }

std::string_view TrimProfile(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsProfileBlank(s[b])) ++b;
    while (e > b && IsProfileBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

namespace {
// A name or value ends at its first zero byte, as a C string held by the
// profile code does; the line itself runs on to its line break.
std::string_view UpToNul(std::string_view s) {
    size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}
}  // namespace

void ProfileText::Read(Line& l) {
    const std::string_view text = l.Text();
    auto place = [&](std::string_view part, uint32_t& at, uint32_t& length) {
        at = part.empty() ? 0 : uint32_t(part.data() - text.data());
        length = uint32_t(part.size());
    };
    l.kind_ = Line::Blank;
    l.hasValue_ = false;
    std::string_view t = TrimProfile(text);
    if (t.empty()) return;
    // A '[' line is a header only when a ']' closes it; else it is an entry.
    if (t.front() == '[') {
        size_t close = t.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            l.kind_ = Line::Header;
            place(UpToNul(TrimProfile(t.substr(1, close - 1))), l.nameAt_, l.nameLength_);
            return;
        }
    }
    l.kind_ = Line::Entry;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        place(UpToNul(t), l.nameAt_, l.nameLength_);
        return;
    }
    place(UpToNul(TrimProfile(t.substr(0, eq))), l.nameAt_, l.nameLength_);
    std::string_view v = t.substr(eq + 1);
    while (!v.empty() && IsProfileBlank(v.front())) v.remove_prefix(1);
    place(UpToNul(v), l.valueAt_, l.valueLength_);
    l.hasValue_ = true;
}

ProfileText::ProfileText(std::string text) : source_(std::make_unique<const std::string>(std::move(text))) {
    const char* d = source_->data();
    const size_t n = source_->size();
    size_t lines = 1;
    for (const char* p = d; (p = static_cast<const char*>(std::memchr(p, '\n', size_t(d + n - p)))); ++p) ++lines;
    table_.reserve(lines);
    parts_.emplace_back();
    for (size_t i = 0; i < n;) {
        // A line ends at the first CR or LF; CR LF is one ending.
        const char* lf = static_cast<const char*>(std::memchr(d + i, '\n', n - i));
        const size_t lfAt = lf ? size_t(lf - d) : n;
        const char* cr = static_cast<const char*>(std::memchr(d + i, '\r', lfAt - i));
        size_t j;
        Line::Ending ending;
        if (cr) {
            j = size_t(cr - d);
            ending = j + 1 < n && d[j + 1] == '\n' ? Line::CrLf : Line::Cr;
        } else {
            j = lfAt;
            ending = j < n ? Line::Lf : Line::None;
        }
        Line l;
        l.text_ = d + i;
        l.length_ = uint32_t(j - i);
        l.ending_ = ending;
        // Only a line that may be a header is read now: it begins a section.
        size_t k = i;
        while (k < j && IsProfileBlank(d[k])) ++k;
        if (k < j && d[k] == '[') {
            Read(l);
            if (l.kind_ == Line::Header) {
                parts_.emplace_back();
                parts_.back().first = uint32_t(table_.size());
            }
        }
        table_.push_back(l);
        ++parts_.back().count;
        i = j + EndingBytes(ending);
    }
    IndexSections();
}

void ProfileText::IndexSections() {
    firstPart_.clear();
    for (size_t p = 1; p < parts_.size(); ++p)
        firstPart_.try_emplace(AsciiLowerCase(LinesOf(parts_[p])[0].Name()), p);
}

std::span<ProfileText::Line> ProfileText::LinesOf(Part& part) {
    if (part.edited) return part.own;
    return {table_.data() + part.first, part.count};
}

std::span<const ProfileText::Line> ProfileText::LinesOf(const Part& part) const {
    if (part.edited) return part.own;
    return {table_.data() + part.first, part.count};
}

std::vector<ProfileText::Line>& ProfileText::Own(Part& part) {
    if (!part.edited) {
        part.own.assign(table_.begin() + part.first, table_.begin() + part.first + part.count);
        part.edited = true;
    }
    return part.own;
}

ProfileText::Part* ProfileText::Find(std::string_view section) {
    auto it = firstPart_.find(AsciiLowerCase(TrimProfile(section)));
    if (it == firstPart_.end()) return nullptr;
    Part& part = parts_[it->second];
    if (!part.read) {
        for (Line& l : LinesOf(part))
            if (l.kind_ == Line::Unread) Read(l);
        part.read = true;
    }
    return &part;
}

ProfileText::Line ProfileText::Make(std::string text, Line::Ending ending) {
    owned_.push_back(std::move(text));
    Line l;
    l.text_ = owned_.back().data();
    l.length_ = uint32_t(owned_.back().size());
    l.ending_ = ending;
    Read(l);
    return l;
}

// The file's own line ending: that of its first line that has one.
ProfileText::Line::Ending ProfileText::NewLine() const {
    for (const Part& p : parts_)
        for (const Line& l : LinesOf(p))
            if (l.ending_ != Line::None) return l.ending_;
    return Line::CrLf;
}

std::span<const ProfileText::Line> ProfileText::Section(std::string_view section) {
    Part* part = Find(section);
    if (!part) return {};
    return LinesOf(*part);
}

const ProfileText::Line* ProfileText::Entry(std::string_view section, std::string_view key) {
    std::span<const Line> lines = Section(section);
    key = TrimProfile(key);
    for (size_t i = 1; i < lines.size(); ++i)
        if (lines[i].kind_ == Line::Entry && EqualsNoCase(lines[i].Name(), key)) return &lines[i];
    return nullptr;
}

bool ProfileText::Edit(std::string_view section, const char* key, const char* value) {
    const Line::Ending nl = NewLine();
    Part* part = Find(section);
    // A value is stored without its leading blanks.
    std::string_view v = value ? std::string_view(value) : std::string_view();
    while (!v.empty() && IsProfileBlank(v.front())) v.remove_prefix(1);
    const std::string_view keyText = key ? TrimProfile(key) : std::string_view();

    if (!key) {
        if (!part) return false;
        parts_.erase(parts_.begin() + (part - parts_.data()));
        IndexSections();
        return true;
    }
    if (part) {
        std::span<Line> lines = LinesOf(*part);
        size_t found = 0;
        for (size_t i = 1; i < lines.size() && !found; ++i)
            if (lines[i].kind_ == Line::Entry && EqualsNoCase(lines[i].Name(), keyText)) found = i;
        if (found) {
            std::vector<Line>& own = Own(*part);
            if (!value) {
                own.erase(own.begin() + long(found));
                return true;
            }
            std::string text = std::string(own[found].Name()) + "=" + std::string(v);
            if (text == own[found].Text()) return false;
            own[found] = Make(std::move(text), own[found].ending_);
            return true;
        }
        if (!value) return false;
        size_t last = 0;
        for (size_t i = 1; i < lines.size(); ++i)
            if (lines[i].kind_ != Line::Blank) last = i;
        std::vector<Line>& own = Own(*part);
        if (own[last].ending_ == Line::None) own[last].ending_ = nl;
        own.insert(own.begin() + long(last) + 1, Make(std::string(keyText) + "=" + std::string(v), nl));
        return true;
    }
    if (!value) return false;
    // A new section at the end of the file; the last line gets its ending.
    for (size_t p = parts_.size(); p-- > 0;) {
        if (LinesOf(parts_[p]).empty()) continue;
        std::vector<Line>& own = Own(parts_[p]);
        if (own.back().ending_ == Line::None) own.back().ending_ = nl;
        break;
    }
    Part added;
    added.edited = added.read = true;
    added.own.push_back(Make("[" + std::string(TrimProfile(section)) + "]", nl));
    added.own.push_back(Make(std::string(keyText) + "=" + std::string(v), nl));
    parts_.push_back(std::move(added));
    IndexSections();
    return true;
}

std::string ProfileText::Serialize() const {
    static const char* const endings[] = {"", "\n", "\r", "\r\n"};
    size_t bytes = 0;
    for (const Part& p : parts_)
        for (const Line& l : LinesOf(p)) bytes += l.length_ + EndingBytes(l.ending_);
    std::string out;
    out.reserve(bytes);
    for (const Part& p : parts_)
        for (const Line& l : LinesOf(p)) {
            out.append(l.text_, l.length_);
            out.append(endings[l.ending_], EndingBytes(l.ending_));
        }
    return out;
}

}  // namespace tarnel::platform::machine
