#include "core/catalogue/uCodecs.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/api/Ansi.h"
#include "core/shell/uConst.h"

namespace tarnel {

namespace {

TCodecInfo SplitName(std::string_view name, size_t maxFourcc) {
    TCodecInfo info;
    size_t dot = name.find('.');
    if (dot == std::string_view::npos) return info;
    if (platform::EqualsNoCase(name.substr(0, dot), cVidcPrefix)) info.Kind = cKindVideo;
    info.Fourcc = platform::AsciiLowerCase(name.substr(dot + 1, maxFourcc));
    return info;
}

std::string WideField(const char16_t* field, size_t capacity) {
    size_t n = 0;
    while (n < capacity && field[n] != 0) ++n;
    return platform::Utf16ToAnsi(std::u16string_view(field, n));
}

int32_t VersionPart(std::string_view part, std::string_view whole) {
    int32_t value = 0;
    auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    bool digitsOnly = !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    if (!digitsOnly || ec != std::errc() || end != part.data() + part.size())
        throw EConvertError("'" + std::string(whole) + "' is not a valid version number: '" +
                            std::string(part) + "' is not a decimal number");
    return value;
}

}  // namespace

TCodecInfo SplitDriverName(std::string_view name) { return SplitName(name, std::string_view::npos); }

TCodecInfo SplitProfileLine(std::string_view line) { return SplitName(line, 4); }

std::string ValueOfLine(std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return {};
    return std::string(line.substr(eq + 1));
}

void SplitSectionBuffer(const char* buffer, size_t length, std::vector<std::string>& list) {
    // Each text up to its zero; a text the buffer ends in, without one, is
    // not taken.
    const char* end = buffer + length;
    for (const char* p = buffer; p < end;) {
        const char* zero = static_cast<const char*>(std::memchr(p, 0, size_t(end - p)));
        if (!zero) break;
        if (zero > p) list.emplace_back(p, size_t(zero - p));
        p = zero + 1;
    }
}

void ReadBinaryStrings(platform::TRegistry& reg, const std::string& name,
                       std::vector<std::string>& list) {
    if (!reg.ValueExists(name)) return;
    int size = reg.GetDataSize(name);
    if (size <= 0) {
        // Still let the registry judge the type of an empty value.
        char dummy = 0;
        reg.ReadBinaryData(name, &dummy, 0);
        return;
    }
    std::vector<char> data(static_cast<size_t>(size));
    int got = reg.ReadBinaryData(name, data.data(), size);
    SplitSectionBuffer(data.data(), static_cast<size_t>(got), list);
}

size_t BinaryStringsSize(const std::vector<std::string>& list) {
    size_t total = 0;
    for (const std::string& text : list) total += (text.empty() ? 1 : text.size()) + 1;
    return total;
}

void WriteBinaryStrings(platform::TRegistry& reg, const std::string& name,
                        std::vector<std::string>& list) {
    std::string out;
    for (std::string& text : list) {
        // A blank keeps the piece countable: empty pieces vanish when read.
        if (text.empty()) text = " ";
        out += text;
        out += '\0';
    }
    if (out.size() > cMaxInactiveEntryBytes)
        throw EStoreFormatError("Inactive codec entry '" + name + "' would take " +
                                std::to_string(out.size()) + " bytes; at most " +
                                std::to_string(cMaxInactiveEntryBytes) + " are allowed");
    reg.WriteBinaryData(name, out.data(), static_cast<int>(out.size()));
}

std::string ReadInactiveEntryParts(const std::string& name, std::string_view data, const std::string& keyPath,
                                   TInactiveCodecInfo& record, std::vector<std::string>* piecesOut) {
    if (name.empty() || name[0] != cInactiveMark[0]) return {};
    std::string number = name.substr(1, 3);
    std::vector<std::string> pieces;
    SplitSectionBuffer(data.data(), data.size(), pieces);
    std::string problem;
    // A name of "#" alone is no entry of ours to judge; the loader skips it.
    if (!number.empty() && pieces.size() < 6)
        problem = "Inactive codec entry '" + name + "' in HKEY_LOCAL_MACHINE\\" + keyPath + " holds " +
                  std::to_string(pieces.size()) +
                  " texts; 6 are needed (FOURCC, driver, short name, description, version, type)";
    const size_t had = pieces.size();
    pieces.resize(std::max<size_t>(pieces.size(), 6));
    record.Number = std::move(number);
    // The texts are moved out unless the caller wants the pieces too.
    auto take = [&](size_t i) -> std::string {
        if (piecesOut) return pieces[i];
        return std::move(pieces[i]);
    };
    record.Fourcc = take(0);
    record.Driver = take(1);
    record.Shortname = take(2);
    record.Description = take(3);
    record.Version = take(4);
    record.Type = take(5);
    if (piecesOut) {
        pieces.resize(had);
        *piecesOut = std::move(pieces);
    }
    return problem;
}

void ReadInactiveEntryData(const std::string& name, std::string_view data, const std::string& keyPath,
                           TInactiveCodecInfo& record) {
    TInactiveCodecInfo read = record;
    const std::string problem = ReadInactiveEntryParts(name, data, keyPath, read);
    // A numbered entry that the write-back would replace must not be lost unseen.
    if (!problem.empty()) throw EStoreFormatError(problem);
    record = std::move(read);
}

void ReadInactiveEntry(const std::string& name, platform::TRegistry& reg,
                       TInactiveCodecInfo& record) {
    if (name.empty() || name[0] != cInactiveMark[0]) return;
    std::vector<std::string> pieces;
    std::string data;
    if (reg.ValueExists(name)) {
        int size = reg.GetDataSize(name);
        data.resize(size_t(std::max(size, 0)));
        // Also for an empty value: the registry judges its type.
        data.resize(size_t(reg.ReadBinaryData(name, data.data(), size)));
    }
    ReadInactiveEntryData(name, data, reg.CurrentPath(), record);
}

platform::ICINFO QueryCodecInfo(const std::string& fourcc) {
    uint32_t type = FourccToCode(cVidcTypeCode);
    uint32_t handler = FourccToCode(platform::AsciiUpperCase(fourcc));
    platform::HIC hic = platform::ICOpen(type, handler, platform::kIcModeQuery);
    platform::ICINFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    platform::ICGetInfo(hic, &info, sizeof info);
    if (hic != 0) platform::ICClose(hic);
    return info;
}

TCodecDialogs AskCodecDialogs(const std::string& fourcc) {
    TCodecDialogs d;
    platform::HIC hic = platform::ICOpen(FourccToCode(cVidcTypeCode), FourccToCode(platform::AsciiUpperCase(fourcc)),
                                         platform::kIcModeFastCompress);
    if (!hic) return d;
    d.Opened = true;
    d.Configure = platform::ICSendMessage(hic, platform::kIcmConfigure, -1, 0) != platform::kIcErrUnsupported;
    d.About = platform::ICSendMessage(hic, platform::kIcmAbout, -1, 0) != platform::kIcErrUnsupported;
    platform::ICClose(hic);
    return d;
}

std::string IcInfoName(const platform::ICINFO& info) {
    return WideField(info.szName, std::size(info.szName));
}

std::string IcInfoDescription(const platform::ICINFO& info) {
    return WideField(info.szDescription, std::size(info.szDescription));
}

uint32_t FourccToCode(std::string_view text) {
    uint32_t code = 0;
    for (size_t i = 0; i < 4 && i < text.size(); ++i)
        code |= static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << (8 * i);
    return code;
}

TFileVersionNumbers ParseFileVersion(std::string_view text) {
    TFileVersionNumbers v;
    if (text.size() <= 1) return v;
    int32_t* parts[4] = {&v.Major, &v.Minor, &v.Release, &v.Build};
    std::string_view rest = text;
    for (int i = 0; i < 4; ++i) {
        // The first three parts end at the next "."; the fourth takes the rest.
        size_t dot = i < 3 ? rest.find('.') : std::string_view::npos;
        *parts[i] = VersionPart(rest.substr(0, dot), text);
        if (dot == std::string_view::npos) break;  // missing parts stay 0
        rest = rest.substr(dot + 1);
    }
    return v;
}

}  // namespace tarnel
