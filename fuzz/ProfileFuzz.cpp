// The profile calls on a SYSTEM.INI made of the fuzzer's bytes: every copy
// stays inside the buffer given, and a write followed by a read gives back
// what a simple model of the calls says, leaving other sections alone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/api/Profile.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {
// What reading a value gives: leading blanks gone, one pair of matching
// quotes stripped, trailing blanks gone.
std::string Expected(std::string v) {
    auto blank = [](char c) { return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == ' '; };
    while (!v.empty() && blank(v.front())) v.erase(v.begin());
    while (!v.empty() && blank(v.back())) v.pop_back();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    return v;
}
bool Plain(const std::string& s) {
    for (char c : s)
        if (c == '\n' || c == '\r' || c == '\0' || c == '=' || c == '[' || c == ';') return false;
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Machine();
    fuzz::Bytes in(data, size);
    const uint32_t bufferSize = in.Number(300);
    const std::string section = in.Text(12), key = in.Text(12), value = in.Text(40);
    const std::string file(in.Rest());
    WriteFileAtomically(SystemIniPath(), file);
    ForgetLoadedHives();

    // A buffer exactly as large as asked for: the sanitizer sees any overrun.
    std::unique_ptr<char[]> buffer(new char[bufferSize ? bufferSize : 1]);
    uint32_t n = GetPrivateProfileSectionA(section.c_str(), buffer.get(), bufferSize, "system.ini");
    if (bufferSize >= 2 && n > bufferSize - 1) std::abort();  // size-1: everything fitted exactly
    // The list ends in a zero byte after the last line (or the cut one).
    if (bufferSize >= 2 && buffer[n] != 0) std::abort();
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "d", buffer.get(), bufferSize, "system.ini");

    if (section.empty() || key.empty() || !Plain(section) || !Plain(key) || !Plain(value)) return 0;
    if (key.find_first_not_of(" \t") == std::string::npos || section.find_first_not_of(" \t") == std::string::npos)
        return 0;
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), "system.ini")) std::abort();
    char back[128];
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "(default)", back, sizeof back, "system.ini");
    const std::string want = Expected(value);
    if (!want.empty() && std::string(back) != want) std::abort();
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, "system.ini")) std::abort();
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "(default)", back, sizeof back, "system.ini");
    // Gone, unless the file held the key twice.
    (void)back;
    return 0;
}
