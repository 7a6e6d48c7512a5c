// Codec records and the store routines shared by the loaders, the write-back
// and the operations: splitting driver-entry names and profile lines, the
// binary format of the inactive store, FOURCC codes and codec queries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/CodecManager.h"
#include "platform/api/Registry.h"

namespace tarnel {

// A driver-entry name split at its first ".".
struct TCodecInfo {
    std::string Kind;    // "Video" for a "vidc" entry, else empty
    std::string Fourcc;  // lower case
};

// One entry of the inactive store.
struct TInactiveCodecInfo {
    std::string Number;
    std::string Fourcc;
    std::string Driver;
    std::string Shortname;
    std::string Description;
    std::string Version;
    std::string Type;
};

// The version texts of one driver file, attached to each active row.
struct TCodecVersionInfo {
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string LegalTradeMarks;
    std::string OriginalFilename;
    std::string ProductName;
    std::string ProductVersion;
    std::string Comments;
    std::string CountryCode;
    bool operator==(const TCodecVersionInfo&) const = default;
};

// A store entry that does not have the form the program needs; the message
// names the key and the value.
class EStoreFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that is not a version number; the message names the text.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Registry form: the whole remainder after the first "." is the FOURCC.
TCodecInfo SplitDriverName(std::string_view name);
// Profile-line form: at most four characters after the first "." are the FOURCC.
TCodecInfo SplitProfileLine(std::string_view line);
// The text after the first "=" of a profile line; empty when there is none.
std::string ValueOfLine(std::string_view line);

// Appends the zero-terminated, non-empty texts of `length` bytes to `list`;
// a text that no zero byte closes is dropped.
void SplitSectionBuffer(const char* buffer, size_t length, std::vector<std::string>& list);

// Appends the pieces of binary value `name` of the open key (cut as above);
// nothing when the value is missing. Another data type fails in the registry.
void ReadBinaryStrings(platform::TRegistry& reg, const std::string& name,
                       std::vector<std::string>& list);

// Bytes WriteBinaryStrings stores for `list`: each text (a blank for an
// empty one) plus its zero byte.
size_t BinaryStringsSize(const std::vector<std::string>& list);

// Replaces empty items by " " (in `list` itself) and writes the texts, each
// followed by one zero byte, as binary value `name` of the open key. Refuses
// (EStoreFormatError naming the value, nothing written) data longer than
// the 2047 bytes an inactive entry may take.
void WriteBinaryStrings(platform::TRegistry& reg, const std::string& name,
                        std::vector<std::string>& list);

// Fills `record` from value `name` of the open inactive-store key. Leaves it
// as passed when the name does not begin with "#". Throws EStoreFormatError
// when a value with a Number yields fewer than six texts (a numbered entry
// that the write-back would replace must not be lost unseen), and the
// registry's error when the value is not binary.
void ReadInactiveEntry(const std::string& name, platform::TRegistry& reg,
                       TInactiveCodecInfo& record);
// The same from the value's data as read already; `keyPath` names the key
// in an error.
void ReadInactiveEntryData(const std::string& name, std::string_view data, const std::string& keyPath,
                           TInactiveCodecInfo& record);
// The same without throwing: the texts there are fill the record (missing
// ones stay empty), `pieces` (when given) receives all of them, seventh and
// later included, and the result says what is wrong with the entry (the
// text ReadInactiveEntryData throws); empty when nothing is.
std::string ReadInactiveEntryParts(const std::string& name, std::string_view data, const std::string& keyPath,
                                   TInactiveCodecInfo& record, std::vector<std::string>* pieces = nullptr);

// Opens the codec of `fourcc` in query mode and returns its information
// record; a zeroed record (dwSize set) when it cannot be opened.
platform::ICINFO QueryCodecInfo(const std::string& fourcc);
// Which of its own dialogs the codec of `fourcc` offers: it is opened in
// fast-compress mode and asked for configure and about with the first
// parameter -1, and an answer of -1 ("unsupported") means not offered. A
// codec that cannot be opened offers neither.
struct TCodecDialogs {
    bool Opened = false;
    bool Configure = false;
    bool About = false;
};
TCodecDialogs AskCodecDialogs(const std::string& fourcc);
// szName / szDescription as ANSI text, up to the first zero (16 / 128 at most).
std::string IcInfoName(const platform::ICINFO& info);
std::string IcInfoDescription(const platform::ICINFO& info);

// First character in the low byte; missing characters count as 0.
uint32_t FourccToCode(std::string_view text);

struct TFileVersionNumbers {
    int32_t Major = 0;
    int32_t Minor = 0;
    int32_t Release = 0;
    int32_t Build = 0;
    bool operator==(const TFileVersionNumbers&) const = default;
};

// Splits "2.0.1.7" into 2, 0, 1, 7. Parts that are missing ("2.0") count as
// 0; a text of at most one character gives four zeros. A part that is not a
// decimal number (including an empty one, as in "2..1") throws
// EConvertError naming the text.
TFileVersionNumbers ParseFileVersion(std::string_view text);

}  // namespace tarnel
