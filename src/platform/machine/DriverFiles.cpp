#include "platform/machine/DriverFiles.h"

#include "platform/api/WinError.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/MachineBackend.h"

namespace fs = std::filesystem;

namespace tarnel::platform::machine {

namespace {
// Driver files up to this size are read in one go; bigger ones piece by piece.
constexpr uint64_t kReadWhole = 4u << 20;
}  // namespace

DriverFile ReadDriverFile(const fs::path& path) {
    DriverFile d;
    try {
        RegularFile f(path);
        const auto magic = f.ReadAt(0, std::min<uint64_t>(2, f.Size()));
        if (!magic || *magic != "MZ" || f.Size() > kReadWhole) {
            // The program's own ELF file, a big image or something else: the
            // version reader tells which, reading only what it needs.
            d.version = ReadVersionBlockOf(path);
            if (magic && *magic == "MZ") {
                PeImage image = PeImage::Load(path);
                d.image = true;
                d.driverProc = image.ExportsName("DriverProc");
                d.codecInfo = image.FindResource(ResId::Name("CODECINFO"), ResId::Id(1));
            }
            return d;
        }
        PeImage image(*f.ReadAt(0, f.Size()), path.string());
        d.image = true;
        d.driverProc = image.ExportsName("DriverProc");
        try {
            d.codecInfo = image.FindResource(ResId::Name("CODECINFO"), ResId::Id(1));
        } catch (const EPeFormat&) {
            d.codecInfo.reset();
        }
        ResourceMiss miss = ResourceMiss::None;
        // The system reads the version resource by its fixed id, VS_VERSION_INFO (1).
        auto block = image.FindResource(ResId::Id(kRtVersion), ResId::Id(1), miss);
        if (block) {
            d.version = {std::move(block), kErrorSuccess};
        } else {
            switch (miss) {
                case ResourceMiss::NoType: d.version = {std::nullopt, kErrorResourceTypeNotFound}; break;
                case ResourceMiss::NoName: d.version = {std::nullopt, kErrorResourceNameNotFound}; break;
                default: d.version = {std::nullopt, kErrorResourceDataNotFound};
            }
        }
    } catch (const EFileError& e) {
        d = DriverFile{};
        d.version = {std::nullopt, WinErrorFromErrno(e.ErrorNumber())};
    } catch (const std::exception&) {
        // Not an image the loader could use.
        d.image = false;
        d.driverProc = false;
        if (!d.version.block && d.version.error == 0) d.version = {std::nullopt, kErrorResourceDataNotFound};
    }
    return d;
}

const DriverFile& DriverFileFacts(const fs::path& path, DriverFile& scratch) {
    TransactionCache* cache = ActiveCache();
    if (!cache) {
        scratch = ReadDriverFile(path);
        return scratch;
    }
    auto key = path.string();
    auto it = cache->drivers.find(key);
    if (it == cache->drivers.end()) it = cache->drivers.emplace(std::move(key), ReadDriverFile(path)).first;
    return it->second;
}

}  // namespace tarnel::platform::machine
