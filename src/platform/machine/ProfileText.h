// A profile file (SYSTEM.INI) held in memory, read once into lines grouped
// by section, so that a look-up costs a section, not the file, and an edit
// touches one section. Writing it back gives the file's bytes as they were,
// with only the edited lines changed.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarnel::platform::machine {

class ProfileText {
public:
    ProfileText() = default;
    explicit ProfileText(std::string text);
    ProfileText(const ProfileText&) = delete;
    ProfileText& operator=(const ProfileText&) = delete;
    ProfileText(ProfileText&&) = default;
    ProfileText& operator=(ProfileText&&) = default;

    // What one line says.
    struct Line {
        enum Kind : unsigned char { Blank, Header, Entry };
        std::string_view text;    // without its ending
        std::string_view ending;  // "\r\n", "\n", "\r" or "" for a last line without one
        Kind kind = Blank;
        bool hasValue = false;    // an entry with '='
        std::string_view name;    // section name or key, up to any zero byte
        std::string_view value;   // after '=' and its leading blanks, up to any zero byte
    };

    // The entries of the first section of that name (ASCII case ignored),
    // in file order; null when there is none.
    const std::vector<Line>* Section(std::string_view section) const;
    // The first entry of that key in the first section of that name.
    const Line* Entry(std::string_view section, std::string_view key) const;

    // One profile write: the key's line replaced, added after the section's
    // last entry or removed (no value); no key removes the section. False
    // when the text stays as it was.
    bool Edit(std::string_view section, const char* key, const char* value);

    std::string Serialize() const;
    size_t Bytes() const;

private:
    // Lines before the first header make a section without a header.
    struct Part {
        std::vector<Line> lines;  // lines[0] is the header, unless this is the lead
        bool lead = false;
    };
    std::string_view Keep(std::string text);
    void SetEnding(Line& line, std::string_view ending);
    std::string_view NewLineText() const;
    void IndexSections();
    Line* FindKey(Part& part, std::string_view key);

    std::unique_ptr<const std::string> source_;  // on the heap: lines point into it
    std::deque<std::string> owned_;              // a deque's elements never move  // texts of edited and added lines
    std::vector<Part> parts_;
    std::unordered_map<std::string, size_t> firstPart_;  // lower-case name -> first part of that name
};

// The blanks the profile functions trim: tab, line feed, vertical tab, form
// feed, carriage return, ^Z (a DOS end of file found on old disks) and space.
bool IsProfileBlank(char c);
std::string_view TrimProfile(std::string_view s);

}  // namespace tarnel::platform::machine
