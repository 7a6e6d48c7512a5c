#include "platform/api/Profile.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/Ansi.h"
#include "platform/api/WinError.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "platform/machine/MachineBackend.h"
#include "platform/machine/StoreFiles.h"

namespace fs = std::filesystem;

namespace tarnel::platform::machine {

namespace {

// One physical line of a text held elsewhere, with its own ending, so that
// an edit copies the untouched bytes as they are, without taking the text
// apart line by line.
struct Line {
    size_t start = 0;         // where the line begins in the text
    std::string_view text;
    std::string_view ending;  // "\r\n", "\n", "\r" or "" for a last line without one
    size_t End() const { return start + text.size() + ending.size(); }
};

// The blanks the profile functions trim: tab, line feed, vertical tab, form
// feed, carriage return, ^Z (a DOS end of file found on old disks) and space.
bool IsBlank(char c) { return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == ' '; }

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// A name or value ends at its first zero byte, as a C string held by the
// profile code does; the line itself runs on to its line break.
std::string_view UpToNul(std::string_view s) {
    size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

std::string WithoutQuotes(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return std::string(v.substr(1, v.size() - 2));
    return std::string(v);
}

// What one line of the file says.
struct Parsed {
    enum Kind { Blank, Header, Entry } kind = Blank;
    std::string_view name;                // section name or key, up to any zero byte
    std::optional<std::string_view> value;  // after '=', up to any zero byte; none without '='
};

Parsed Parse(std::string_view text) {
    Parsed p;
    std::string_view t = Trim(text);
    if (t.empty()) return p;
    // A '[' line is a header only when a ']' closes it; else it is an entry.
    if (t.front() == '[') {
        size_t close = t.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            p.kind = Parsed::Header;
            p.name = UpToNul(Trim(t.substr(1, close - 1)));
            return p;
        }
    }
    p.kind = Parsed::Entry;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        p.name = UpToNul(t);
    } else {
        p.name = UpToNul(Trim(t.substr(0, eq)));
        std::string_view v = t.substr(eq + 1);
        while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
        p.value = UpToNul(v);
    }
    return p;
}

// The lines of `data`, which must outlive them.
std::vector<Line> SplitLines(std::string_view data) {
    std::vector<Line> lines;
    size_t i = 0;
    while (i < data.size()) {
        size_t j = i;
        while (j < data.size() && data[j] != '\n' && data[j] != '\r') ++j;
        Line l{i, data.substr(i, j - i), {}};
        if (j < data.size()) {
            const size_t width = data[j] == '\r' && j + 1 < data.size() && data[j + 1] == '\n' ? 2 : 1;
            l.ending = data.substr(j, width);
            j += width;
        }
        lines.push_back(l);
        i = j;
    }
    return lines;
}

// [first, last) line indexes of the section's body (after its header); first
// is the header index. nullopt when the section is absent. The first section
// of that name is the one read and written.
struct SectionSpan {
    size_t header, end;
};
std::optional<SectionSpan> FindSection(const std::vector<Line>& lines, std::string_view section) {
    section = Trim(section);
    for (size_t i = 0; i < lines.size(); ++i) {
        Parsed p = Parse(lines[i].text);
        if (p.kind != Parsed::Header || !EqualsNoCase(p.name, section)) continue;
        size_t end = i + 1;
        while (end < lines.size() && Parse(lines[end].text).kind != Parsed::Header) ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

// The first entry of the section whose key matches, without regard to case.
std::optional<size_t> FindKey(const std::vector<Line>& lines, const SectionSpan& span, std::string_view key) {
    key = Trim(key);
    for (size_t i = span.header + 1; i < span.end; ++i) {
        Parsed p = Parse(lines[i].text);
        if (p.kind == Parsed::Entry && EqualsNoCase(p.name, key)) return i;
    }
    return std::nullopt;
}

std::optional<fs::path> ProfilePath(const char* file) {
    if (!file || !*file) return std::nullopt;
    std::string name(file);
    if (name.find_first_of("\\/:") == std::string::npos) {
        fs::path win = WindowsDirPath();
        auto found = FindFileNoCase(win, name);
        // A new profile file gets the lower-case name the machine layout uses.
        return found ? *found : win / AsciiLowerCase(name);
    }
    return MapWindowsPath(name);
}

// The file's bytes as the machine holds them (a transaction sees its own
// writes); empty when it does not exist, or when a link leads outside the
// machine. Throws EFileError when it cannot be read.
std::string ReadProfile(const fs::path& path) {
    if (LeadsOutsideMachine(path)) return {};
    StoreFile& f = CurrentMachine().Files().Access(path, FileKind::Text);
    if (!f.error.empty()) throw EFileError(path, "Cannot read", f.errorNumber);
    return f.text;
}

std::string DominantEnding(const std::vector<Line>& lines) {
    for (const auto& l : lines)
        if (!l.ending.empty()) return std::string(l.ending);
    return "\r\n";
}

}  // namespace

uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size, const char* file) {
    if (!buffer || !section) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    if (size == 0) return 0;
    buffer[0] = '\0';
    if (size < 2) return 0;
    buffer[1] = '\0';
    auto path = ProfilePath(file);
    if (!path) return 0;
    const std::string text = ReadProfile(*path);
    const std::vector<Line> lines = SplitLines(text);
    auto span = FindSection(lines, section);
    if (!span) return 0;

    // Invariant: pos <= size - 1, so the closing zero always has its byte.
    uint32_t pos = 0;
    for (size_t i = span->header + 1; i < span->end; ++i) {
        Parsed p = Parse(lines[i].text);
        if (p.kind != Parsed::Entry || p.name.empty() || p.name.front() == ';') continue;
        std::string entry(p.name);
        if (p.value) entry += "=" + std::string(*p.value);
        if (uint64_t(pos) + entry.size() + 2 > size) {
            // Too small: the last line is cut and the buffer closed by two zero bytes.
            const uint32_t room = pos < size - 2 ? size - 2 - pos : 0;
            std::memcpy(buffer + pos, entry.data(), std::min<size_t>(room, entry.size()));
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + pos, entry.data(), entry.size());
        pos += static_cast<uint32_t>(entry.size());
        buffer[pos++] = '\0';
    }
    buffer[pos] = '\0';
    return pos;
}

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* buffer,
                                  uint32_t size, const char* file) {
    if (!buffer || size == 0) return 0;
    buffer[0] = '\0';
    // Empty key: nothing, not even the default (as the 95 family answers).
    if (key && !*key) return 0;
    // Trailing blanks of the default are dropped, leading ones kept.
    std::string_view d = def ? std::string_view(def) : std::string_view();
    while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
    std::string result = WithoutQuotes(d);
    if (section && key) {
        if (auto path = ProfilePath(file)) {
            const std::string text = ReadProfile(*path);
            const std::vector<Line> lines = SplitLines(text);
            if (auto span = FindSection(lines, section)) {
                // A line without '=' has no value: the default answers.
                if (auto at = FindKey(lines, *span, key)) {
                    Parsed p = Parse(lines[*at].text);
                    if (p.value) result = WithoutQuotes(*p.value);
                }
            }
        }
    }
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(result.size(), size - 1));
    std::memcpy(buffer, result.data(), n);
    buffer[n] = '\0';
    return n;
}

// The text after one profile write: the key's line replaced, added after
// the section's last entry or removed (no value); no key removes the section.
std::string EditProfile(const std::string& before, const char* section, const char* key, const char* value) {
    const std::vector<Line> lines = SplitLines(before);
    const std::string nl = DominantEnding(lines);
    auto span = FindSection(lines, section);
    // A value is stored without its leading blanks.
    std::string_view v = value ? std::string_view(value) : std::string_view();
    while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
    const std::string keyText = key ? std::string(Trim(key)) : std::string();
    // The text with its bytes [from, to) replaced by `insert`.
    auto splice = [&](size_t from, size_t to, const std::string& insert) {
        std::string out;
        out.reserve(before.size() - (to - from) + insert.size());
        out.append(before, 0, from);
        out += insert;
        out.append(before, to, std::string::npos);
        return out;
    };

    if (!key) {
        if (!span) return before;
        const size_t to = span->end < lines.size() ? lines[span->end].start : before.size();
        return splice(lines[span->header].start, to, {});
    }
    if (span) {
        if (auto found = FindKey(lines, *span, keyText)) {
            const Line& l = lines[*found];
            if (!value) return splice(l.start, l.End(), {});
            return splice(l.start, l.start + l.text.size(), std::string(Parse(l.text).name) + "=" + std::string(v));
        }
        if (!value) return before;
        size_t lastEntry = span->header;
        for (size_t i = span->header + 1; i < span->end; ++i)
            if (!Trim(lines[i].text).empty()) lastEntry = i;
        const Line& l = lines[lastEntry];
        return splice(l.End(), l.End(), (l.ending.empty() ? nl : std::string()) + keyText + "=" + std::string(v) + nl);
    }
    if (!value) return before;
    const bool closeLast = !lines.empty() && lines.back().ending.empty();
    return splice(before.size(), before.size(),
                  (closeLast ? nl : std::string()) + "[" + std::string(Trim(section)) + "]" + nl + keyText + "=" +
                      std::string(v) + nl);
}

std::string EditProfileText(const std::string& text, const StoreOp& op) {
    return EditProfile(text, op.section.c_str(), op.hasKey ? op.name.c_str() : nullptr,
                       op.hasValue ? op.value.c_str() : nullptr);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
    if (!section) return true;  // only a request to flush; the store writes at each commit
    auto path = ProfilePath(file);
    if (!path) {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    StoreFiles& files = CurrentMachine().Files();
    try {
        // One write of its own outside a transaction, under the machine's lock.
        TStoreWriteScope scope(files);
        StoreFile& f = files.Access(*path, FileKind::Text);
        if (!f.error.empty()) {
            SetLastError(WinErrorFromErrno(f.errorNumber));
            return false;
        }
        const std::string before = LeadsOutsideMachine(*path) ? std::string() : f.text;
        std::string after = EditProfile(before, section, key, value);
        if (after != before) {
            f.text = std::move(after);
            StoreOp op{};
            op.kind = StoreOp::ProfileWrite;
            op.section = section;
            op.hasKey = key != nullptr;
            if (key) op.name = key;
            op.hasValue = value != nullptr;
            if (value) op.value = value;
            files.Changed(f, std::move(op));
        }
        scope.Commit();
    } catch (const EStoreWrite&) {
        SetLastError(kErrorAccessDenied);
        return false;
    } catch (const EFileError& e) {
        SetLastError(WinErrorFromErrno(e.ErrorNumber()));
        return false;
    }
    return true;
}

}  // namespace tarnel::platform::machine
