// A profile file (SYSTEM.INI) held in memory, read once into lines grouped
// by section, so that a look-up costs a section, not the file, and an edit
// touches one section. Reading marks only where sections begin; a section's
// lines are taken apart when it is first asked for. Writing it back gives
// the file's bytes as they were, with only the edited lines changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
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
    class Line {
    public:
        enum Kind : uint8_t { Unread, Blank, Header, Entry };
        bool IsEntry() const { return kind_ == Entry; }
        bool HasValue() const { return hasValue_; }
        std::string_view Text() const { return {text_, length_}; }
        // Section name or key, up to any zero byte.
        std::string_view Name() const { return {text_ + nameAt_, nameLength_}; }
        // After '=' and its leading blanks, up to any zero byte.
        std::string_view Value() const { return {text_ + valueAt_, valueLength_}; }

    private:
        friend class ProfileText;
        enum Ending : uint8_t { None, Lf, Cr, CrLf };
        const char* text_ = nullptr;
        uint32_t length_ = 0;
        uint32_t nameAt_ = 0, nameLength_ = 0, valueAt_ = 0, valueLength_ = 0;
        Kind kind_ = Unread;
        Ending ending_ = None;
        bool hasValue_ = false;
    };

    // The lines of the first section of that name (ASCII case ignored), its
    // header first; empty when there is none.
    std::span<const Line> Section(std::string_view section);
    // The first entry of that key in the first section of that name.
    const Line* Entry(std::string_view section, std::string_view key);

    // One profile write: the key's line replaced, added after the section's
    // last entry or removed (no value); no key removes the section. False
    // when the text stays as it was.
    bool Edit(std::string_view section, const char* key, const char* value);

    std::string Serialize() const;

private:
    // Lines before the first header make a part without a header. A part's
    // lines lie in the shared table until the part is edited.
    struct Part {
        uint32_t first = 0, count = 0;
        std::vector<Line> own;
        bool edited = false;
        bool read = false;
    };
    static void Read(Line& line);
    static size_t EndingBytes(Line::Ending e) { return e == Line::CrLf ? 2 : e == Line::None ? 0 : 1; }
    std::span<Line> LinesOf(Part& part);
    std::span<const Line> LinesOf(const Part& part) const;
    std::vector<Line>& Own(Part& part);
    Part* Find(std::string_view section);
    Line Make(std::string text, Line::Ending ending);
    Line::Ending NewLine() const;
    void IndexSections();

    std::unique_ptr<const std::string> source_;  // on the heap: lines point into it
    std::deque<std::string> owned_;              // texts of new lines; a deque's elements never move
    std::vector<Line> table_;                    // every line as read
    std::vector<Part> parts_;
    std::unordered_map<std::string, size_t> firstPart_;  // lower-case name -> first part of that name
};

// The blanks the profile functions trim: tab, line feed, vertical tab, form
// feed, carriage return, ^Z (a DOS end of file found on old disks) and space.
bool IsProfileBlank(char c);
std::string_view TrimProfile(std::string_view s);

}  // namespace tarnel::platform::machine
