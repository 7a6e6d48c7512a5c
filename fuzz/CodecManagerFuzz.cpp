// The codec manager over random machines: a machine with the demo drivers,
// a driver entry and a driver file made of the fuzzer's bytes, opened and
// asked as the program asks them. The entry is registered for the moment of the
// questions only, as the scan's probes register theirs.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/api/CodecManager.h"
#include "platform/api/Registry.h"
#include "platform/machine/Machine.h"

using namespace tarnel;
using namespace tarnel::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& root = fuzz::Machine(/*driverFiles=*/true);
    fuzz::Bytes in(data, size);
    const std::string fourcc = in.Text(5);
    const std::string driver = in.Text(40);
    const std::string file(in.Rest());
    fuzz::PutFile(root / "drive_c/windows/system32/fuzzed.dll", file);
    TTransaction moment(TTransaction::Scratch);
    if (!fourcc.empty()) {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        if (reg.OpenKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", true))
            reg.WriteString("vidc." + fourcc, driver);
    }
    uint32_t handler = 0;
    for (size_t i = 0; i < 4 && i < fourcc.size(); ++i) handler |= uint32_t(uint8_t(fourcc[i] & ~0x20)) << (8 * i);
    for (uint32_t mode : {kIcModeQuery, kIcModeFastCompress}) {
        HIC h = ICOpen('V' | 'I' << 8 | 'D' << 16 | 'C' << 24, handler, mode);
        ICINFO info;
        std::memset(&info, 0, sizeof info);
        const intptr_t got = ICGetInfo(h, &info, sizeof info);
        if (h && (got != intptr_t(sizeof info) || info.dwSize != sizeof info)) std::abort();
        if (!h && (got != kIcErrBadHandle || info.dwSize != 0)) std::abort();
        if (info.szName[15] != 0 || info.szDescription[127] != 0 || info.szDriver[127] != 0) std::abort();
        ICSendMessage(h, kIcmConfigure, -1, 0);
        ICSendMessage(h, kIcmAbout, -1, 0);
        if (ICClose(h) != (h ? kIcErrOk : kIcErrBadHandle)) std::abort();
    }
    return 0;
}
