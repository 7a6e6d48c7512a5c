// PE images and the version calls: the size, the read with buffers of every
// size from the raw block up, and the three kinds of query, all inside the
// buffer given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/api/VersionApi.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "platform/machine/PeImage.h"

using namespace tarnel;
using namespace tarnel::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& root = fuzz::Machine();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        PeImage image(bytes, "fuzz.dll");
        (void)image.FindResource(ResId::Name("CODECINFO"), ResId::Id(1));
        (void)image.ExportsName("DriverProc");
    } catch (const EPeFormat&) {
    }
    WriteFileAtomically(root / "drive_c/windows/system32/fuzz.dll", bytes);
    ForgetLoadedHives();
    const uint32_t need = GetFileVersionInfoSizeA("fuzz.dll", nullptr);
    if (need == 0) return 0;
    // The raw block's own length, then buffers of every size around it and
    // the whole size asked for.
    std::unique_ptr<uint8_t[]> whole(new uint8_t[need]);
    if (!GetFileVersionInfoA("fuzz.dll", 0, need, whole.get())) std::abort();
    const uint32_t raw = uint32_t(whole[0]) | uint32_t(whole[1]) << 8;
    std::vector<uint32_t> lengths{need, need - 1};
    for (uint32_t len = raw > 4 ? raw - 4 : 1; len <= raw + 8; ++len) lengths.push_back(len);
    for (uint32_t len : lengths) {
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[len ? len : 1]);
        if (!GetFileVersionInfoA("fuzz.dll", 0, len, buffer.get())) continue;
        void* p = nullptr;
        uint32_t n = 0;
        for (const char* q : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\CompanyName",
                              "\\StringFileInfo\\040904B0\\FileVersion"}) {
            if (!VerQueryValueA(buffer.get(), q, &p, &n)) continue;
            auto* at = static_cast<uint8_t*>(p);
            if (at < buffer.get() || at > buffer.get() + len) std::abort();
        }
    }
    return 0;
}
