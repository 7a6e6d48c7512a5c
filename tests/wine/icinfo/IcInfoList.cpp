// The video codecs a Windows program finds through the codec manager, as
// such a program asks for them: ICInfo for index 0, 1, ... until it answers
// no more, and for each codec the names its driver gives (ICOpen in query
// mode with the handler in upper case, as the codec list asks, ICGetInfo).
// One line per codec, UTF-8: fourcc, driver, name, description, separated
// by tabs. Built for 32-bit and 64-bit Windows: each sees its own view.
#include <windows.h>
#include <vfw.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const WCHAR* text, size_t room) {
    size_t n = 0;
    while (n < room && text[n]) ++n;
    if (n == 0) return {};
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, int(n), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, int(n), s.data(), bytes, nullptr, nullptr);
    return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

}  // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    for (DWORD i = 0;; ++i) {
        ICINFO info{};
        info.dwSize = sizeof info;
        if (!ICInfo(ICTYPE_VIDEO, i, &info)) break;
        char fourcc[5] = {};
        DWORD upper = 0;
        for (int b = 0; b < 4; ++b) {
            const char c = char((info.fccHandler >> (8 * b)) & 0xFF);
            fourcc[b] = Lower(c);
            upper |= DWORD(static_cast<unsigned char>(Upper(c))) << (8 * b);
        }
        ICINFO named{};
        named.dwSize = sizeof named;
        if (HIC hic = ICOpen(ICTYPE_VIDEO, upper, ICMODE_QUERY)) {
            ICGetInfo(hic, &named, sizeof named);
            ICClose(hic);
        }
        std::printf("%s\t%s\t%s\t%s\n", fourcc, Utf8(info.szDriver, 128).c_str(), Utf8(named.szName, 16).c_str(),
                    Utf8(named.szDescription, 128).c_str());
    }
    return 0;
}
