#include "platform/api/Profile.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/Ansi.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"

namespace fs = std::filesystem;

namespace tarnel::platform {

namespace {

// One physical line of the file, with its own ending so that an edit
// leaves every untouched byte where it was.
struct Line {
    std::string text;
    std::string ending;  // "\r\n", "\n", "\r" or "" for a last line without one
};

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

std::vector<Line> SplitLines(const std::string& data) {
    std::vector<Line> lines;
    size_t i = 0;
    while (i < data.size()) {
        size_t j = i;
        while (j < data.size() && data[j] != '\n' && data[j] != '\r') ++j;
        Line l{data.substr(i, j - i), {}};
        if (j < data.size()) {
            if (data[j] == '\r' && j + 1 < data.size() && data[j + 1] == '\n') {
                l.ending = "\r\n";
                j += 2;
            } else {
                l.ending = std::string(1, data[j]);
                ++j;
            }
        }
        lines.push_back(std::move(l));
        i = j;
    }
    return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
    std::string out;
    for (const auto& l : lines) out += l.text + l.ending;
    return out;
}

// The section name of a header line, or nullopt for other lines.
std::optional<std::string_view> SectionName(std::string_view text) {
    std::string_view t = Trim(text);
    if (t.empty() || t[0] != '[') return std::nullopt;
    size_t close = t.find(']');
    std::string_view name = t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1);
    return Trim(name);
}

bool IsEntry(std::string_view text) {
    std::string_view t = Trim(text);
    return !t.empty() && t[0] != ';';
}

std::string_view EntryKey(std::string_view text) {
    std::string_view t = Trim(text);
    size_t eq = t.find('=');
    return eq == std::string_view::npos ? t : Trim(t.substr(0, eq));
}

// [first, last) line indexes of the section's body (after its header); first
// is the header index. nullopt when the section is absent.
struct SectionSpan {
    size_t header, end;
};
std::optional<SectionSpan> FindSection(const std::vector<Line>& lines, std::string_view section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        auto name = SectionName(lines[i].text);
        if (!name || !EqualsNoCase(*name, section)) continue;
        size_t end = i + 1;
        while (end < lines.size() && !SectionName(lines[end].text)) ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

std::optional<fs::path> ProfilePath(const char* file) {
    if (!file || !*file) return std::nullopt;
    std::string name(file);
    if (name.find_first_of("\\/") == std::string::npos) {
        fs::path win = WindowsDirPath();
        auto found = FindFileNoCase(win, name);
        // A new profile file gets the lower-case name the machine layout uses.
        return found ? *found : win / AsciiLowerCase(name);
    }
    if (name.size() >= 3 && name[1] == ':') return MapWindowsPath(name);
    return fs::path(name);
}

std::string ReadProfile(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return {};
    return ReadWholeFile(path);
}

std::string DominantEnding(const std::vector<Line>& lines) {
    for (const auto& l : lines)
        if (!l.ending.empty()) return l.ending;
    return "\r\n";
}

}  // namespace

uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size, const char* file) {
    if (!buffer || size == 0) return 0;
    buffer[0] = '\0';
    if (size > 1) buffer[1] = '\0';
    if (!section) return 0;
    auto path = ProfilePath(file);
    if (!path) return 0;
    std::vector<Line> lines = SplitLines(ReadProfile(*path));
    auto span = FindSection(lines, section);
    if (!span || size < 2) return 0;

    uint32_t pos = 0;
    for (size_t i = span->header + 1; i < span->end; ++i) {
        if (!IsEntry(lines[i].text)) continue;
        std::string_view t = Trim(lines[i].text);
        std::string entry;
        size_t eq = t.find('=');
        if (eq == std::string_view::npos) {
            entry = std::string(t);
        } else {
            entry = std::string(Trim(t.substr(0, eq))) + "=" + std::string(Trim(t.substr(eq + 1)));
        }
        if (static_cast<uint64_t>(pos) + entry.size() + 2 > size) {
            // Too small: the last line is cut and closed by two zero bytes.
            uint32_t room = size - 2 - pos;
            std::memcpy(buffer + pos, entry.data(), room);
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
    std::string result = def ? std::string(Trim(def)) : std::string();
    if (section && key) {
        if (auto path = ProfilePath(file)) {
            std::vector<Line> lines = SplitLines(ReadProfile(*path));
            if (auto span = FindSection(lines, section)) {
                for (size_t i = span->header + 1; i < span->end; ++i) {
                    if (!IsEntry(lines[i].text) || !EqualsNoCase(EntryKey(lines[i].text), key)) continue;
                    std::string_view t = Trim(lines[i].text);
                    size_t eq = t.find('=');
                    result = eq == std::string_view::npos ? std::string() : std::string(Trim(t.substr(eq + 1)));
                    break;
                }
            }
        }
    }
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(result.size(), size - 1));
    std::memcpy(buffer, result.data(), n);
    buffer[n] = '\0';
    return n;
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
    if (!section) return true;  // only a request to flush, and nothing is cached
    auto path = ProfilePath(file);
    if (!path) return false;
    std::string before;
    try {
        before = ReadProfile(*path);
    } catch (const EFileError&) {
        return false;
    }
    std::vector<Line> lines = SplitLines(before);
    const std::string nl = DominantEnding(lines);
    auto span = FindSection(lines, section);

    if (!key) {
        if (span) lines.erase(lines.begin() + span->header, lines.begin() + span->end);
    } else if (span) {
        size_t found = span->end, lastEntry = span->header;
        for (size_t i = span->header + 1; i < span->end; ++i) {
            if (Trim(lines[i].text).empty()) continue;
            lastEntry = i;
            if (found == span->end && IsEntry(lines[i].text) && EqualsNoCase(EntryKey(lines[i].text), key))
                found = i;
        }
        if (found != span->end) {
            if (value)
                lines[found].text = std::string(EntryKey(lines[found].text)) + "=" + value;
            else
                lines.erase(lines.begin() + found);
        } else if (value) {
            if (lines[lastEntry].ending.empty()) lines[lastEntry].ending = nl;
            lines.insert(lines.begin() + lastEntry + 1, Line{std::string(key) + "=" + value, nl});
        }
    } else if (value) {
        if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = nl;
        lines.push_back(Line{"[" + std::string(section) + "]", nl});
        lines.push_back(Line{std::string(key) + "=" + value, nl});
    }

    std::string after = JoinLines(lines);
    if (after == before) return true;
    try {
        WriteFileAtomically(*path, after);
    } catch (const EFileError&) {
        return false;
    }
    return true;
}

}  // namespace tarnel::platform
