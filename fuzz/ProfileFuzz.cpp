// The profile calls on a SYSTEM.INI made of the fuzzer's bytes. Every copy
// stays inside the buffer given, a short buffer holds the start of what a
// large one holds, cut as Windows cuts it; and a write, a deletion and the
// removal of a section change the section's listing exactly as a simple
// model of the calls says, leaving every other section alone. The writes
// run in a scratch transaction: the same code, without the disk.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/api/Ansi.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/machine/Machine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

bool Blank(char c) { return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == ' '; }

std::string Trim(std::string v) {
    while (!v.empty() && Blank(v.front())) v.erase(v.begin());
    while (!v.empty() && Blank(v.back())) v.pop_back();
    return v;
}

std::string WithoutQuotes(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// Texts the model can reason about: one line, no structure of the file.
bool Plain(const std::string& s) {
    for (char c : s)
        if (c == '\n' || c == '\r' || c == '\0' || c == '=' || c == '[' || c == ']' || c == ';') return false;
    return true;
}

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The section's listing as the bytes a large enough buffer receives: every
// entry with its zero byte, without the final extra zero.
std::string ListingBytes(const std::string& section, size_t room) {
    std::vector<char> buf(room + 2);
    const uint32_t n = GetPrivateProfileSectionA(section.c_str(), buf.data(), uint32_t(buf.size()), "system.ini");
    if (n + 2 > buf.size()) std::abort();  // the buffer was meant to be large enough
    return std::string(buf.data(), n);
}

std::vector<std::string> Entries(const std::string& bytes) {
    std::vector<std::string> out;
    for (size_t at = 0; at < bytes.size();) {
        size_t nul = bytes.find('\0', at);
        out.push_back(bytes.substr(at, nul - at));
        at = nul + 1;
    }
    return out;
}

std::string Value(const std::string& section, const std::string& key, size_t room) {
    std::vector<char> buf(room + 1);
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "(default)", buf.data(), uint32_t(buf.size()), "system.ini");
    return buf.data();
}

// What GetPrivateProfileString answers, read off the listing: the first entry
// of the key, its value without one pair of quotes, or the default for an
// entry without '=' or no entry at all.
std::string ValueInListing(const std::vector<std::string>& entries, const std::string& key) {
    for (const std::string& e : entries)
        if (EqualsNoCase(NameOf(e), Trim(key)))
            return e.find('=') == std::string::npos ? "(default)" : WithoutQuotes(e.substr(e.find('=') + 1));
    return "(default)";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Machine();
    fuzz::Bytes in(data, size);
    const uint32_t bufferSize = in.Number(300);
    const std::string section = in.Text(12), key = in.Text(12), value = in.Text(40), other = in.Text(12);
    const std::string file(in.Rest());
    fuzz::PutFile(SystemIniPath(), file);
    ForgetLoadedHives();
    // A listing is never longer than the file with a zero byte per line.
    const size_t room = 2 * file.size() + 64;
    TTransaction scratch(TTransaction::Scratch);

    const std::string full = ListingBytes(section, room);
    // A buffer exactly as large as asked for: the sanitizer sees any overrun.
    std::unique_ptr<char[]> buffer(new char[bufferSize ? bufferSize : 1]);
    std::memset(buffer.get(), 'X', bufferSize ? bufferSize : 1);
    const uint32_t n = GetPrivateProfileSectionA(section.c_str(), buffer.get(), bufferSize, "system.ini");
    if (bufferSize < 2) {
        if (n != 0 || (bufferSize == 1 && buffer[0] != 0)) std::abort();
    } else if (full.size() + 1 <= bufferSize) {
        // Everything fits: the listing and its closing zero.
        if (n != full.size() || std::memcmp(buffer.get(), full.data(), n) != 0 || buffer[n] != 0) std::abort();
    } else {
        // Cut: as much as fits, then two zero bytes, and size - 2 returned.
        if (n != bufferSize - 2 || buffer[n] != 0 || buffer[n + 1] != 0) std::abort();
        if (std::memcmp(buffer.get(), full.data(), n) != 0) std::abort();
    }
    const std::string whole = Value(section, key, room);
    if (bufferSize > 0) {
        const uint32_t got = GetPrivateProfileStringA(section.c_str(), key.c_str(), "(default)", buffer.get(),
                                                      bufferSize, "system.ini");
        const std::string cut = whole.substr(0, bufferSize - 1);
        if (got != cut.size() || std::string(buffer.get()) != cut) std::abort();
    }

    if (section.empty() || key.empty() || !Plain(section) || !Plain(key) || !Plain(value)) return 0;
    if (Trim(key).empty() || Trim(section).empty()) return 0;
    std::vector<std::string> entries = Entries(full);
    if (ValueInListing(entries, key) != whole) std::abort();
    // Another section, which no call below may change (unless it is the same).
    const bool watchOther = !EqualsNoCase(Trim(other), Trim(section));
    const std::string otherBefore = watchOther ? ListingBytes(other, room) : std::string();

    // A write replaces the key's first entry (keeping the key as the file
    // spells it) or adds one at the end of the section.
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), "system.ini")) std::abort();
    bool found = false;
    for (std::string& e : entries)
        if (EqualsNoCase(NameOf(e), Trim(key))) {
            e = NameOf(e) + "=" + Trim(value);
            found = true;
            break;
        }
    if (!found) entries.push_back(Trim(key) + "=" + Trim(value));
    if (Entries(ListingBytes(section, room + 64)) != entries) std::abort();
    if (Value(section, key, room + 64) != WithoutQuotes(Trim(value))) std::abort();

    // A deletion removes that first entry alone; a second one of the key answers then.
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, "system.ini")) std::abort();
    for (size_t i = 0; i < entries.size(); ++i)
        if (EqualsNoCase(NameOf(entries[i]), Trim(key))) {
            entries.erase(entries.begin() + long(i));
            break;
        }
    if (Entries(ListingBytes(section, room + 64)) != entries) std::abort();
    if (Value(section, key, room + 64) != ValueInListing(entries, key)) std::abort();

    // The section goes whole.
    if (!WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, "system.ini")) std::abort();
    if (watchOther && ListingBytes(other, room + 64) != otherBefore) std::abort();
    return 0;
}
