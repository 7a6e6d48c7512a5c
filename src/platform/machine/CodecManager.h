// The video compression manager of the emulated machine: finds a codec
// through the live "vidc.<FOURCC>" driver entry of the machine's store (the
// registry on the NT family, SYSTEM.INI on the 95/98/ME family) and answers
// from what the driver file says of itself.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/api/CodecManager.h"
#include "platform/machine/CodecInfo.h"

namespace tarnel::platform::machine {

class TMachineBackend;

class CodecManager {
public:
    explicit CodecManager(TMachineBackend& machine) : machine_(machine) {}

    HIC Open(uint32_t fccType, uint32_t fccHandler, uint32_t mode);
    intptr_t GetInfo(HIC hic, ICINFO* info, uint32_t cb);
    intptr_t SendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2);
    intptr_t Close(HIC hic);

private:
    struct OpenCodec {
        CodecSelfDescription self;
        uint32_t fccType = 0, fccHandler = 0, mode = 0;
        std::u16string driverName;  // the file's name without its folder, for szDriver
    };
    std::string LookUpDriver(const std::string& entry);
    std::vector<uint32_t> EntriesOfType(const std::string& type);

    TMachineBackend& machine_;
    std::map<HIC, OpenCodec> handles_;
    HIC next_ = 0x1000;
};

}  // namespace tarnel::platform::machine
