#include "platform/machine/WinePrefix.h"

#include <cstdio>
#include <string>

namespace fs = std::filesystem;

namespace tarnel::platform::machine {

bool IsWinePrefixFolder(const fs::path& folder) {
    std::error_code ec;
    return fs::is_directory(folder / "dosdevices", ec) && fs::exists(folder / "system.reg", ec);
}

int WinePrefixBits(const fs::path& prefix) {
    // Wine notes the architecture among the first lines of system.reg. The
    // file is the prefix's, so untrusted: only its head is read.
    char head[4096];
    size_t got = 0;
    if (FILE* f = std::fopen((prefix / "system.reg").c_str(), "rb")) {
        got = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    }
    const std::string text(head, got);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "#arch=win64") return 64;
        if (line == "#arch=win32") return 32;
        at = end + 1;
    }
    std::error_code ec;
    return fs::is_directory(prefix / "drive_c" / "windows" / "syswow64", ec) ? 64 : 32;
}

}  // namespace tarnel::platform::machine
