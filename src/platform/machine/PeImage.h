// Bounded, defensive reading of PE32/PE32+ images: headers, sections and the
// resource tree. Every offset is checked against the file; loops in the
// resource tree and absurd sizes are refused, never followed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarnel::platform {

class EPeFormat : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A resource type or name: numeric id, or a name (matched without regard to case).
struct ResId {
    std::optional<uint16_t> id;
    std::string name;
    static ResId Id(uint16_t v) { return ResId{v, {}}; }
    static ResId Name(std::string n) { return ResId{std::nullopt, std::move(n)}; }
};

inline constexpr uint16_t kRtVersion = 16;

class PeImage {
public:
    // Parses the headers; throws EPeFormat (naming `origin`) when `bytes` is not a PE image.
    PeImage(std::string bytes, std::string origin);
    static PeImage Load(const std::filesystem::path& file);  // EFileError / EPeFormat

    bool Is64() const { return is64_; }
    uint16_t Machine() const { return machine_; }

    // The data of the first resource of this type and name (any language);
    // nullopt when absent. Throws EPeFormat when the tree is malformed.
    std::optional<std::string> FindResource(const ResId& type, const ResId& name) const;
    // The first resource of this type, whatever its name.
    std::optional<std::string> FindFirstResource(const ResId& type) const;

    const std::string& Bytes() const { return bytes_; }

private:
    std::optional<uint32_t> RvaToOffset(uint32_t rva, uint32_t size) const;
    std::string bytes_;
    std::string origin_;
    bool is64_ = false;
    uint16_t machine_ = 0;
    uint32_t resourceRva_ = 0, resourceSize_ = 0;
    uint32_t sectionTable_ = 0;
    uint16_t sectionCount_ = 0;
};

// True when the file starts like a PE image (MZ header with a PE signature).
bool LooksLikePe(std::string_view bytes);

// The raw VS_VERSIONINFO block of a file: the kRtVersion resource of a PE
// image, or the ".tarnel_version" section of an ELF executable. nullopt when
// the file has none or is malformed (malformed files never throw from here).
std::optional<std::string> ReadVersionBlock(const std::filesystem::path& file);

}  // namespace tarnel::platform
