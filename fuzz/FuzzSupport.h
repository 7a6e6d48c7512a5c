// Shared by the fuzz targets: a machine of their own on a memory-backed
// folder, made once per process, and a reader of the fuzzer's bytes.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/catalogue/DemoCatalogue.h"
#include "platform/machine/DemoMachine.h"
#include "platform/machine/Machine.h"

namespace tarnel::fuzz {

// A bare machine (or the demo machine) made once, selected for every call.
inline const std::filesystem::path& Machine(bool demo = false) {
    static const std::filesystem::path root = [demo] {
        const char* base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/tarnel-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        std::filesystem::path p(pattern);
        if (demo)
            tarnel::CreateDemoMachine(p / "m", platform::MachineFamily::NT);
        else
            platform::CreateBareMachine(p / "m", platform::MachineFamily::NT);
        return p / "m";
    }();
    if (!platform::MachineSelected() || platform::MachineRoot() != root) platform::SelectMachine(root);
    return root;
}

// Takes the fuzzer's bytes piece by piece.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Number(uint32_t max) {
        uint32_t v = uint32_t(Byte()) | uint32_t(Byte()) << 8 | uint32_t(Byte()) << 16;
        return max ? v % (max + 1) : 0;
    }
    // A text up to `max` bytes, ended at a zero byte of the input.
    std::string Text(size_t max) {
        std::string s;
        while (at_ < size_ && s.size() < max) {
            char c = char(data_[at_++]);
            if (c == 0) break;
            s += c;
        }
        return s;
    }
    std::string_view Rest() {
        std::string_view r(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
        at_ = size_;
        return r;
    }
    bool Empty() const { return at_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace tarnel::fuzz
