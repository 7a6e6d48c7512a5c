// PE images and the version calls: the size, the read, and the three kinds
// of query (the fixed information, the translation, strings of the tables
// the program finds both ways), in buffers from the raw block up: every
// size where the spare room's marker starts to fit, every size where one
// string's ANSI copy starts to fit, the whole size asked for, and one more
// picked by the last two bytes of the image. Each buffer is exactly as large
// as its size, so the sanitizer sees any access outside, and every answer
// must lie inside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"
#include "platform/api/VersionApi.h"
#include "platform/api/VersionBlock.h"
#include "platform/machine/Machine.h"
#include "platform/machine/PeImage.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

std::vector<std::string> QueriesFor(const uint8_t* whole, uint32_t need) {
    std::vector<std::string> q{"\\", "\\VarFileInfo\\Translation"};
    std::set<std::string> tables;
    // The NT family's way: the key of the first string table.
    if (std::string first = FirstStringTableKey(whole, need); !first.empty()) tables.insert(first);
    // The 95/98/ME family's way: the first translation.
    void* p = nullptr;
    uint32_t n = 0;
    if (VerQueryValueA(const_cast<uint8_t*>(whole), "\\VarFileInfo\\Translation", &p, &n) && n >= 4) {
        const auto* t = static_cast<const uint8_t*>(p);
        char key[16];
        std::snprintf(key, sizeof key, "%02X%02X%02X%02X", t[1], t[0], t[3], t[2]);
        tables.insert(key);
    }
    for (const std::string& table : tables)
        for (const char* name : {"CompanyName", "FileDescription", "FileVersion"})
            q.push_back("\\StringFileInfo\\" + table + "\\" + name);
    return q;
}

// Every answer lies inside the caller's buffer: binary values and UTF-16
// text inside the raw block, ANSI copies with their zero in the spare room.
// Whatever the query asked for, the node found decides how its length
// counts: bytes for a binary value, characters for text.
void Ask(uint8_t* buffer, uint32_t len, uint32_t raw, const std::vector<std::string>& queries,
         std::vector<uint32_t>* copyEnds) {
    for (const std::string& q : queries) {
        void* p = nullptr;
        uint32_t n = 0;
        // Asked before the call, which may write an ANSI copy into the buffer.
        const auto node = VersionBlock(buffer, len).Find(AnsiToUtf16(q));
        if (!VerQueryValueA(buffer, q, &p, &n)) continue;
        if (!node) std::abort();
        const auto* at = static_cast<const uint8_t*>(p);
        if (at < buffer || at > buffer + len) std::abort();
        const size_t off = size_t(at - buffer);
        if (!node->IsText() || off < raw) {
            const size_t bytes = node->IsText() ? 2 * size_t(n) : n;
            if (off + bytes > std::min(len, raw)) std::abort();
        } else {
            if (off + n + 1 > len || at[n] != 0) std::abort();
            if (copyEnds) copyEnds->push_back(uint32_t(off + n + 1));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& root = fuzz::Machine();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        PeImage image(bytes, "fuzz.dll");
        (void)image.FindResource(ResId::Name("CODECINFO"), ResId::Id(1));
        (void)image.ExportsName("DriverProc");
    } catch (const EPeFormat&) {
    }
    fuzz::PutFile(root / "drive_c/windows/system32/fuzz.dll", bytes);
    ForgetLoadedHives();
    // The file is found and read once for all the calls below.
    TTransaction reading(TTransaction::Read);
    const uint32_t need = GetFileVersionInfoSizeA("fuzz.dll", nullptr);
    if (need == 0) return 0;
    std::unique_ptr<uint8_t[]> whole(new uint8_t[need]);
    if (!GetFileVersionInfoA("fuzz.dll", 0, need, whole.get())) std::abort();
    const uint32_t raw = uint32_t(whole[0]) | uint32_t(whole[1]) << 8;
    if (raw < 6 || raw > need) std::abort();
    const std::vector<std::string> queries = QueriesFor(whole.get(), need);
    std::vector<uint32_t> copyEnds;
    Ask(whole.get(), need, raw, queries, &copyEnds);

    std::set<uint32_t> lengths{need, need - 1};
    for (uint32_t len = raw > 4 ? raw - 4 : 1; len <= raw + 8; ++len) lengths.insert(len);
    for (uint32_t end : copyEnds) lengths.insert({end - 1, end});
    const uint32_t pick = size >= 2 ? (uint32_t(data[size - 2]) | uint32_t(data[size - 1]) << 8) : 0;
    lengths.insert(raw + pick % (need - raw + 1));
    for (uint32_t len : lengths) {
        if (len == 0 || len > need) continue;
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[len]);
        if (!GetFileVersionInfoA("fuzz.dll", 0, len, buffer.get())) {
            if (len >= need) std::abort();
            continue;
        }
        Ask(buffer.get(), len, raw, queries, nullptr);
    }
    return 0;
}
