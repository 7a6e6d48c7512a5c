// The reader of a driver's CODECINFO resource. The demo driver
// (demo/drivers/codec.c) reads the same text with the same rules; the format
// is described in the README (section "The codec driver resource").
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/api/Ansi.h"
#include "platform/machine/CodecInfo.h"

namespace tarnel::platform::machine {

namespace {

constexpr size_t kNameMax = 15;
constexpr size_t kDescriptionMax = 127;
constexpr size_t kDialogTextMax = 1023;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
char Lower(char c) { return AsciiLower(c); }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string LowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Lower(c);
    return out;
}

bool IsYes(std::string_view value) { return LowerCase(value) == "yes"; }

// Decimal or 0x hexadecimal; anything else reads 0. Past 32 bits the low
// bits stay, as the driver's own unsigned arithmetic gives.
uint32_t Number(std::string_view value) {
    bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    if (hex) value.remove_prefix(2);
    if (value.empty()) return 0;
    uint32_t v = 0;
    for (char ch : value) {
        char c = Lower(ch);
        if (c >= '0' && c <= '9')
            v = v * (hex ? 16u : 10u) + static_cast<uint32_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            v = v * 16u + static_cast<uint32_t>(c - 'a' + 10);
        else
            return 0;
    }
    return v;
}

// "\n" (backslash, n) stands for a line break.
std::string DialogText(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size() && out.size() < kDialogTextMax;) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
            out += '\n';
            i += 2;
        } else {
            out += value[i++];
        }
    }
    return out;
}

}  // namespace

CodecSelfDescription ParseCodecInfoText(const std::string& text) {
    CodecSelfDescription d;
    d.described = true;

    std::string_view all(text);
    if (size_t nul = all.find('\0'); nul != std::string_view::npos) all = all.substr(0, nul);

    std::string fourccs;
    bool every = false;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find('\n', pos);
        if (end == std::string_view::npos) end = all.size();
        std::string_view line = Trim(all.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';') continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string key = LowerCase(Trim(line.substr(0, eq)));
        std::string_view value = Trim(line.substr(eq + 1));

        if (key == "name") {
            d.name = std::string(value.substr(0, kNameMax));
        } else if (key == "description") {
            d.description = std::string(value.substr(0, kDescriptionMax));
        } else if (key == "fourccs") {
            // Unlike the other keys, Fourccs lines add up.
            size_t start = 0;
            while (start <= value.size()) {
                size_t comma = value.find(',', start);
                if (comma == std::string_view::npos) comma = value.size();
                std::string_view item = Trim(value.substr(start, comma - start));
                start = comma + 1;
                if (item == "*") {
                    every = true;
                } else if (!item.empty() && item.size() <= 4) {
                    if (!fourccs.empty()) fourccs += ',';
                    fourccs += LowerCase(item);
                }
            }
        } else if (key == "configure") {
            d.configure = IsYes(value);
        } else if (key == "about") {
            d.about = IsYes(value);
        } else if (key == "configuretext") {
            d.configureText = DialogText(value);
        } else if (key == "abouttext") {
            d.aboutText = DialogText(value);
        } else if (key == "flags") {
            d.flags = Number(value);
        } else if (key == "version") {
            d.version = Number(value);
        }
    }
    d.fourccs = every ? std::string() : fourccs;
    return d;
}

}  // namespace tarnel::platform::machine
