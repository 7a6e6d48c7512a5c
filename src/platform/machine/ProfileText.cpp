#include "platform/machine/ProfileText.h"

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

ProfileText::Line Parse(std::string_view text, std::string_view ending) {
    ProfileText::Line l;
    l.text = text;
    l.ending = ending;
    std::string_view t = TrimProfile(text);
    if (t.empty()) return l;
    // A '[' line is a header only when a ']' closes it; else it is an entry.
    if (t.front() == '[') {
        size_t close = t.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            l.kind = ProfileText::Line::Header;
            l.name = UpToNul(TrimProfile(t.substr(1, close - 1)));
            return l;
        }
    }
    l.kind = ProfileText::Line::Entry;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        l.name = UpToNul(t);
        return l;
    }
    l.name = UpToNul(TrimProfile(t.substr(0, eq)));
    std::string_view v = t.substr(eq + 1);
    while (!v.empty() && IsProfileBlank(v.front())) v.remove_prefix(1);
    l.value = UpToNul(v);
    l.hasValue = true;
    return l;
}

}  // namespace

ProfileText::ProfileText(std::string text) : source_(std::make_unique<const std::string>(std::move(text))) {
    const std::string_view data = *source_;
    parts_.emplace_back();
    parts_.back().lead = true;
    size_t i = 0;
    while (i < data.size()) {
        size_t j = i;
        while (j < data.size() && data[j] != '\n' && data[j] != '\r') ++j;
        std::string_view ending;
        if (j < data.size()) ending = data.substr(j, data[j] == '\r' && j + 1 < data.size() && data[j + 1] == '\n' ? 2 : 1);
        Line l = Parse(data.substr(i, j - i), ending);
        if (l.kind == Line::Header) parts_.emplace_back();
        parts_.back().lines.push_back(l);
        i = j + ending.size();
    }
    IndexSections();
}

void ProfileText::IndexSections() {
    firstPart_.clear();
    for (size_t p = 0; p < parts_.size(); ++p)
        if (!parts_[p].lead) firstPart_.try_emplace(AsciiLowerCase(parts_[p].lines[0].name), p);
}

std::string_view ProfileText::Keep(std::string text) {
    owned_.push_back(std::move(text));
    return owned_.back();
}

void ProfileText::SetEnding(Line& line, std::string_view ending) { line.ending = ending; }

// The file's own line ending: that of its first line that has one.
std::string_view ProfileText::NewLineText() const {
    for (const Part& p : parts_)
        for (const Line& l : p.lines)
            if (!l.ending.empty()) return l.ending;
    return "\r\n";
}

const std::vector<ProfileText::Line>* ProfileText::Section(std::string_view section) const {
    auto it = firstPart_.find(AsciiLowerCase(TrimProfile(section)));
    return it == firstPart_.end() ? nullptr : &parts_[it->second].lines;
}

const ProfileText::Line* ProfileText::Entry(std::string_view section, std::string_view key) const {
    const std::vector<Line>* lines = Section(section);
    if (!lines) return nullptr;
    key = TrimProfile(key);
    for (size_t i = 1; i < lines->size(); ++i) {
        const Line& l = (*lines)[i];
        if (l.kind == Line::Entry && EqualsNoCase(l.name, key)) return &l;
    }
    return nullptr;
}

ProfileText::Line* ProfileText::FindKey(Part& part, std::string_view key) {
    for (size_t i = 1; i < part.lines.size(); ++i) {
        Line& l = part.lines[i];
        if (l.kind == Line::Entry && EqualsNoCase(l.name, key)) return &l;
    }
    return nullptr;
}

bool ProfileText::Edit(std::string_view section, const char* key, const char* value) {
    const std::string_view nl = NewLineText();
    auto found = firstPart_.find(AsciiLowerCase(TrimProfile(section)));
    Part* part = found == firstPart_.end() ? nullptr : &parts_[found->second];
    // A value is stored without its leading blanks.
    std::string_view v = value ? std::string_view(value) : std::string_view();
    while (!v.empty() && IsProfileBlank(v.front())) v.remove_prefix(1);
    const std::string_view keyText = key ? TrimProfile(key) : std::string_view();

    if (!key) {
        if (!part) return false;
        parts_.erase(parts_.begin() + long(found->second));
        IndexSections();
        return true;
    }
    if (part) {
        if (Line* l = FindKey(*part, keyText)) {
            if (!value) {
                part->lines.erase(part->lines.begin() + (l - part->lines.data()));
                return true;
            }
            std::string text = std::string(l->name) + "=" + std::string(v);
            if (text == l->text) return false;
            *l = Parse(Keep(std::move(text)), l->ending);
            return true;
        }
        if (!value) return false;
        size_t last = 0;
        for (size_t i = 1; i < part->lines.size(); ++i)
            if (part->lines[i].kind != Line::Blank) last = i;
        if (part->lines[last].ending.empty()) SetEnding(part->lines[last], nl);
        const std::string_view added = Keep(std::string(keyText) + "=" + std::string(v));
        part->lines.insert(part->lines.begin() + long(last) + 1, Parse(added, nl));
        return true;
    }
    if (!value) return false;
    // A new section at the end of the file; the last line gets its ending.
    for (auto p = parts_.rbegin(); p != parts_.rend(); ++p) {
        if (p->lines.empty()) continue;
        if (p->lines.back().ending.empty()) SetEnding(p->lines.back(), nl);
        break;
    }
    Part added;
    added.lines.push_back(Parse(Keep("[" + std::string(TrimProfile(section)) + "]"), nl));
    added.lines.push_back(Parse(Keep(std::string(keyText) + "=" + std::string(v)), nl));
    parts_.push_back(std::move(added));
    IndexSections();
    return true;
}

size_t ProfileText::Bytes() const {
    size_t n = 0;
    for (const Part& p : parts_)
        for (const Line& l : p.lines) n += l.text.size() + l.ending.size();
    return n;
}

std::string ProfileText::Serialize() const {
    std::string out;
    out.reserve(Bytes());
    for (const Part& p : parts_)
        for (const Line& l : p.lines) {
            out += l.text;
            out += l.ending;
        }
    return out;
}

}  // namespace tarnel::platform::machine
