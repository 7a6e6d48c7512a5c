// The files of the demo machine, built from demo/drivers and carried inside
// the program so a new machine can be made anywhere.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace tarnel::demo {

struct DemoFile {
    const char* name;                // file name as installed on the machine
    const unsigned char* data;
    std::size_t size;
    const char* codecInfo;           // text of the CODECINFO resource; nullptr when absent
    const char* fileVersion;         // "FileVersion" of the version resource; nullptr when absent
};

// Every demo file, in the order of the table in demo/CMakeLists.txt.
std::span<const DemoFile> DemoFiles();

// The file of that name (ASCII case ignored); nullptr when there is none.
const DemoFile* FindDemoFile(std::string_view name);

}  // namespace tarnel::demo
