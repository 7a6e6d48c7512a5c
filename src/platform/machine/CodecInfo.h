// What a driver file of the emulated machine says of itself: its CODECINFO
// resource (see the README, "The codec driver resource"), or the plain
// answer of a PE file without it.
#pragma once

#include <cstdint>
#include <string>

namespace tarnel::platform::machine {

struct CodecSelfDescription {
    bool described = false;       // the file carries the resource
    std::string name;             // ANSI, at most 15 characters
    std::string description;      // ANSI, at most 127 characters
    std::string fourccs;          // comma-separated, lower case; empty = every FOURCC
    bool configure = false, about = false;
    std::string configureText, aboutText;
    uint32_t flags = 0, version = 0;
};

// Parses the text of a CODECINFO resource.
CodecSelfDescription ParseCodecInfoText(const std::string& text);

}  // namespace tarnel::platform::machine
