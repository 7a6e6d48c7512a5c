// The driver's self-description text: any bytes give a description within
// its documented limits.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/machine/CodecInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnel::platform::machine;
    CodecSelfDescription d = ParseCodecInfoText(std::string(reinterpret_cast<const char*>(data), size));
    if (d.name.size() > 15 || d.description.size() > 127) std::abort();
    if (d.configureText.size() > 1023 || d.aboutText.size() > 1023) std::abort();
    for (char c : d.fourccs)
        if (c >= 'A' && c <= 'Z') std::abort();  // the list is lower case
    return 0;
}
