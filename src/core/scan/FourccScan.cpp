#include "core/scan/FourccScan.h"

#include <algorithm>
#include <cstring>

#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"
#include "platform/api/FileApi.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

constexpr unsigned char kMarker = '=';

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAlnum(unsigned char c) { return IsLetter(c) || (c >= '0' && c <= '9'); }

// The percentage of every progress display, for sizes beyond an int.
int Percent(uint64_t done, uint64_t total) { return total == 0 ? 0 : int(done * 100 / total); }

// A driver text with a folder is a path already; a bare name lives in the
// system folder.
std::string DriverPath(const std::string& driver) {
    if (driver.find_first_of("\\/:") != std::string::npos) return driver;
    return platform::GetSystemDirectoryA() + "\\" + driver;
}

}  // namespace

std::span<const TColumnLayout> FoundColumns() {
    static constexpr TColumnLayout kColumns[flCount] = {
        {cColFourcc, 50}, {cColDescription, 200}, {cColStatus, 100}, {cColDriver, 0},
        {cColShortname, 0}, {cColVersion, 0},     {cColType, 0},
    };
    return kColumns;
}

std::string FoundCellText(const TFoundRow& r, int column) {
    switch (column) {
        case flFourcc: return r.Fourcc;
        case flDescription: return r.Description;
        case flStatus: return r.Status;
        case flDriver: return r.Driver;
        case flShortname: return r.Shortname;
        case flVersion: return r.Version;
        case flType: return r.Type;
        default: return {};
    }
}

bool FoundRowInUse(const TFoundRow& row) { return row.Status != cStatusNotUsed; }

bool IsFourccCandidate(const unsigned char* c) {
    return IsLetter(c[0]) && IsAlnum(c[1]) && IsAlnum(c[2]) && (IsAlnum(c[3]) || c[3] == ' ');
}

std::string StatusOf(const TCodecCatalogue& catalogue, const std::string& candidate, const std::string& driver) {
    std::string status = cStatusNotUsed;
    if (auto a = catalogue.CodecList.FindCaption(candidate))
        if (platform::EqualsNoCase(catalogue.CodecList.Entry(*a).Driver, driver))
            status = std::string(cStatusUsed) + " (" + cStatusActive + ")";
    for (const TCodecEntry& e : catalogue.InactiveCodecList.Entries())
        if (platform::EqualsNoCase(e.Fourcc, candidate) && platform::EqualsNoCase(e.Driver, driver))
            status = std::string(cStatusUsed) + " (" + cStatusInactive + ")";
    return status;
}

platform::ICINFO ProbeFourcc(const TCodecCatalogue& catalogue, const std::string& candidate,
                             const std::string& driver) {
    platform::ICINFO none{};
    none.dwSize = sizeof none;
    std::unique_ptr<TDriverStore> store = catalogue.Store();
    if (!store) return none;
    const std::optional<size_t> owner = catalogue.CodecList.FindCaption(platform::AsciiLowerCase(candidate));
    return store->ProbeEntry(candidate, driver, owner ? &catalogue.CodecList.Entry(*owner) : nullptr);
}

TScanOutcome ScanCodec(TCodecCatalogue& catalogue, size_t row, TScanProgress* progress) {
    TScanOutcome out;
    if (row >= catalogue.CodecList.Count()) return out;
    TLog& log = catalogue.Log();
    log.WriteLog(cLogScanStart);
    out.Driver = catalogue.CodecList.Entry(row).Driver;
    const std::string type = catalogue.CodecList.Entry(row).Type;
    out.Path = DriverPath(out.Driver);
    std::unique_ptr<platform::TMappedFile> file = platform::MapFileA(out.Path);
    const uint64_t size = file->Size();
    if (size == 0) {
        out.Kind = TScanOutcome::EmptyFile;
        return out;
    }
    log.WriteLog(cLogScanLoading);

    // The probes' entries live in memory only, seen by the codec manager of
    // this process, and are all dropped at the end: the store never holds
    // them, whatever happens to the scan.
    platform::TTransaction probes(platform::TTransaction::Scratch);
    struct ProgressGuard {
        TScanProgress* p;
        ~ProgressGuard() {
            if (p) p->End();
        }
    } guard{progress};
    if (progress) progress->Start(size);

    const std::string driverLower = platform::AsciiLowerCase(out.Driver);
    // The file is walked through a window of the mapping at a time, so that
    // memory stays small whatever its size (windows much smaller than this
    // cost more in mapping than in walking); each view reaches the four
    // bytes past its window that a marker at the window's edge needs.
    constexpr uint64_t kWindow = uint64_t(16) << 20;
    for (uint64_t start = 0; start < size; start += kWindow) {
        const uint64_t span = std::min(kWindow, size - start);
        const uint64_t reach = std::min(span + 4, size - start);
        const unsigned char* data = file->View(start, size_t(reach));
        const unsigned char* end = data + span;
        const unsigned char* viewEnd = data + reach;
        for (const unsigned char* at = data; at < end;) {
            const auto* marker = static_cast<const unsigned char*>(std::memchr(at, kMarker, size_t(end - at)));
            if (!marker) break;
            at = marker + 1;
            const uint64_t examined = start + uint64_t(marker - data) + 1;
            if (progress) progress->Advance(examined, Percent(examined, size));
            if (viewEnd - marker < 5 || !IsFourccCandidate(marker + 1)) continue;
            const std::string candidate(reinterpret_cast<const char*>(marker + 1), 4);
            bool known = false;
            for (const TFoundRow& f : out.Found)
                if (platform::StartsWithNoCase(f.Fourcc, candidate)) {
                    known = true;
                    break;
                }
            // A candidate found already is skipped silently; one that failed is
            // probed (and logged) again wherever it recurs.
            if (known) continue;
            platform::ICINFO info = ProbeFourcc(catalogue, candidate, out.Driver);
            if (info.fccType == 0) {
                log.WriteLog(cLogScanFound + candidate + cLogScanFailed);
                continue;
            }
            log.WriteLog(cLogScanFound + candidate + cLogScanValid);
            TFoundRow found;
            found.Fourcc = candidate;
            found.Description = IcInfoDescription(info);
            found.Status = StatusOf(catalogue, candidate, out.Driver);
            found.Driver = driverLower;
            found.Shortname = IcInfoName(info);
            catalogue.CodecVersionInfo.SetExecutableFile(out.Path);
            found.Version = catalogue.CodecVersionInfo.FileVersion();
            found.Type = type;
            out.Found.push_back(std::move(found));
        }
    }
    probes.Rollback();
    out.Kind = out.Found.empty() ? TScanOutcome::NothingFound : TScanOutcome::FoundSome;
    return out;
}

bool AddFoundToInactive(std::vector<TFoundRow>& rows, TCodecList& inactive, std::vector<size_t>* added) {
    bool any = false;
    for (const TFoundRow& r : rows) any = any || r.Selected;
    if (!any) return false;
    for (TFoundRow& r : rows) {
        if (!r.Selected || r.Used()) continue;
        TCodecEntry e;
        e.Fourcc = platform::AsciiLowerCase(r.Fourcc);
        e.Driver = r.Driver;
        e.Shortname = r.Shortname;
        e.Description = r.Description;
        e.Version = r.Version;
        e.Type = r.Type;
        inactive.Add(std::move(e));
        if (added) added->push_back(inactive.Count() - 1);
        r.Status = std::string(cStatusUsed) + " (" + cStatusInactive + ")";
    }
    return true;
}

}  // namespace tarnel
