// Bounded, defensive reading of PE32/PE32+ images: headers, sections and the
// resource tree. Every offset is checked against the file; loops in the
// resource tree and absurd sizes are refused, never followed. As the loader
// does, the resource tree is read within the file data of the section that
// holds it, whatever size the data directory claims.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

// Why a resource lookup found nothing, as the loader tells it apart.
enum class ResourceMiss {
    None,
    NoResources,  // the image has no resource directory at all
    NoType,
    NoName,       // the type is there, not that name (or no language under it)
};

class PeImage {
public:
    // Parses the headers; throws EPeFormat (naming `origin`) when `bytes` is not a PE image.
    PeImage(std::string bytes, std::string origin);
    // Reads the headers and section table only; resources are read from the
    // file when looked up, so a large file costs no more than a small one.
    static PeImage Load(const std::filesystem::path& file);  // EFileError / EPeFormat

    bool Is64() const { return is64_; }
    uint16_t Machine() const { return machine_; }

    // The data of the first resource of this type and name (any language);
    // nullopt when absent. Throws EPeFormat when the tree is malformed.
    std::optional<std::string> FindResource(const ResId& type, const ResId& name) const;
    // The first resource of this type, whatever its name.
    std::optional<std::string> FindFirstResource(const ResId& type) const;
    // FindResource that also tells why nothing was found.
    std::optional<std::string> FindResource(const ResId& type, const ResId& name, ResourceMiss& miss) const;

    // True when the export table names `name` (exactly, as the loader
    // matches it); a driver without "DriverProc" cannot be opened.
    bool ExportsName(std::string_view name) const;

    class Source;  // where the bytes come from: memory or a file

private:
    PeImage(std::shared_ptr<const Source> source, std::string origin);
    struct Section {
        uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
        uint32_t Span() const;  // bytes backed by file data
    };
    std::optional<uint64_t> RvaToOffset(uint32_t rva, uint32_t size) const;
    [[noreturn]] void Fail(const std::string& why) const;

    std::shared_ptr<const Source> source_;
    std::string origin_;
    bool is64_ = false;
    uint16_t machine_ = 0;
    uint32_t resourceRva_ = 0, resourceSize_ = 0;
    uint32_t exportRva_ = 0, exportSize_ = 0;
    std::vector<Section> sections_;
};

// True when the file starts like a PE image (MZ header with a PE signature).
bool LooksLikePe(std::string_view bytes);

// The raw VS_VERSIONINFO block of a file: the kRtVersion resource of a PE
// image, or the ".tarnel_version" section of an ELF executable. nullopt when
// the file has none or is malformed (malformed files never throw from here).
// Only the headers and the pieces of the file the lookup visits are read.
std::optional<std::string> ReadVersionBlock(const std::filesystem::path& file);

// ReadVersionBlock with the system error code Windows gives when there is no
// block: the file's own error (kErrorFileNotFound, kErrorAccessDenied, ...),
// kErrorResourceDataNotFound for a file without resources (or no image at
// all), kErrorResourceTypeNotFound when it has resources but none of the
// version type, kErrorResourceNameNotFound when the version type lacks id 1.
struct VersionBlockRead {
    std::optional<std::string> block;
    uint32_t error = 0;
};
VersionBlockRead ReadVersionBlockOf(const std::filesystem::path& file);

}  // namespace tarnel::platform
