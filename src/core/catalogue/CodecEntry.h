// One codec entry as the program knows it: what its store holds (the FOURCC,
// the driver text, where the entry lives, under which name and as which value
// type) and what was read from its driver. The two lists hold these entries;
// the windows and the command line make their texts from them (CodecView.h),
// the driver store reads and writes them (DriverStore.h).
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "core/catalogue/uCodecs.h"
#include "platform/api/Backend.h"

namespace tarnel {

// Where an entry lives. A place a machine may hold codecs in besides these
// (another file, another view of the registry) is one more value here, known
// to the driver store alone; what such a place adds to an entry (the view it
// belongs to, another entry of its FOURCC shadowing it) is one more field of
// the entry, set by the store that reads it.
enum class TCodecStore : uint8_t {
    None,       // in no store yet: made in memory, placed by the next save
    Drivers32,  // the registry key Drivers32 (NT family)
    Drivers,    // the registry key of 16-bit drivers, which nothing reads back
    SystemIni,  // the [drivers32] section of SYSTEM.INI (95/98/ME family)
    Inactive,   // the program's own key of codecs out of service
};

// A text most entries leave empty, in a pointer's room rather than a
// string's: a large machine holds tens of thousands of entries. It reads
// as a const std::string (empty when unset) and takes any string.
class TRareText {
public:
    TRareText() = default;
    TRareText(std::string text) { Assign(std::move(text)); }
    TRareText(const char* text) { Assign(std::string(text)); }
    TRareText(const TRareText& other) { *this = other; }
    TRareText(TRareText&&) noexcept = default;
    TRareText& operator=(const TRareText& other) {
        if (this != &other) text_ = other.text_ ? std::make_unique<std::string>(*other.text_) : nullptr;
        return *this;
    }
    TRareText& operator=(TRareText&&) noexcept = default;
    TRareText& operator=(std::string text) {
        Assign(std::move(text));
        return *this;
    }
    TRareText& operator=(const char* text) { return *this = std::string(text); }

    const std::string& str() const { return text_ ? *text_ : Empty(); }
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }
    bool empty() const { return !text_; }
    size_t size() const { return str().size(); }
    const char* c_str() const { return str().c_str(); }
    size_t find(std::string_view what, size_t from = 0) const { return str().find(what, from); }
    void clear() { text_.reset(); }

    friend bool operator==(const TRareText& a, std::string_view b) { return std::string_view(a.str()) == b; }
    friend std::string operator+(const TRareText& a, std::string_view b) { return a.str() + std::string(b); }
    friend std::string operator+(const TRareText& a, const char* b) { return a.str() + b; }
    friend std::string operator+(const TRareText& a, const std::string& b) { return a.str() + b; }
    friend std::string operator+(const char* a, const TRareText& b) { return a + b.str(); }
    friend std::string operator+(const std::string& a, const TRareText& b) { return a + b.str(); }
    friend std::string operator+(std::string&& a, const TRareText& b) { return std::move(a) + b.str(); }
    friend std::ostream& operator<<(std::ostream& out, const TRareText& t) { return out << t.str(); }

private:
    static const std::string& Empty() {
        static const std::string empty;
        return empty;
    }
    void Assign(std::string text) {
        if (text.empty()) text_.reset();
        else if (text_) *text_ = std::move(text);
        else text_ = std::make_unique<std::string>(std::move(text));
    }
    std::unique_ptr<std::string> text_;  // null while empty
};

// Why the codec manager cannot load an entry's driver; State Unknown (and an
// empty Text) when nothing is wrong or the platform cannot tell.
struct TDriverProblem {
    platform::TDriverFileState State = platform::TDriverFileState::Unknown;
    TRareText Path;  // the file as Windows names it
    TRareText Text;  // "Driver file not found: <path>"; empty when nothing is wrong
};

struct TCodecEntry {
    // --- What the store holds ---
    // (The one-byte fields and ValueType sit together: 25,000 entries of a
    // large machine would otherwise carry a padded word for each.)
    std::string Fourcc;      // as the lists show it: lower case for an entry read from an active store
    std::string Driver;      // the driver text exactly as the store holds it
    std::string StoredName;  // its name there ("VIDC.MJPG", a SYSTEM.INI key, "#1000#"); empty when not stored
    TCodecStore Store = TCodecStore::None;
    // The driver text is an expandable string (REG_EXPAND_SZ): it is written
    // back as one wherever the entry goes (backup, inactive store, Drivers32).
    bool ExpandableDriver = false;
    // Number is a position a renumbering assigned (see Number).
    bool NumberAssigned = false;
    // Where an inactive entry goes back to (see HomeName).
    TCodecStore Home = TCodecStore::None;
    uint32_t ValueType = 0;  // the registry value's type; 0 for a profile line or an entry not stored
    // Inactive entries: the whole Number ("1000" for #1000#). After a load it
    // is the stored name's; after a renumbering the position assigned, and
    // NumberAssigned says so.
    std::string Number;
    std::string Type;  // "32" or "16": which key an activated entry goes back to
    // On a machine Wine runs, whose codec manager reads the registry and
    // then SYSTEM.INI: the SYSTEM.INI line an inactive entry came from and
    // goes back to (Home SystemIni, HomeName its key as it stood there);
    // None for the usual place. Kept beside the inactive store, whose entry
    // format has no room for it.
    TRareText HomeName;
    // An active entry whose FOURCC an entry before it (the registry's, or an
    // earlier SYSTEM.INI line) already gives the codec manager: that one's
    // driver answers, this entry is kept but never loaded. Its store name.
    TRareText ShadowedBy;

    // --- What the codec and its driver said (kept with an inactive entry) ---
    std::string Shortname;
    std::string Description;
    std::string Version;
    // Active entries only: the driver file's version texts (shared by the
    // entries of one driver file; null for an inactive entry) and what keeps
    // the codec manager from loading it.
    std::shared_ptr<const TCodecVersionInfo> VersionInfo;
    TDriverProblem Problem;
    // An inactive entry the store holds in a form the program cannot read
    // whole (too few texts): what is wrong with it. Its texts are those that
    // could be read; it can be removed, not activated or written back.
    TRareText Malformed;
};

}  // namespace tarnel
