#include "core/scan/FourccScan.h"

#include <algorithm>
#include <cstring>

#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"
#include "platform/api/FileApi.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

constexpr unsigned char kMarker = '=';

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAlnum(unsigned char c) { return IsLetter(c) || (c >= '0' && c <= '9'); }

// The percentage of every progress display, for sizes beyond an int.
int Percent(uint64_t done, uint64_t total) { return total == 0 ? 0 : int(done * 100 / total); }

// The first selected active row, top to bottom.
const TCodecRow* FirstSelected(const TCodecList& list) {
    for (const TCodecRow& r : list.Rows())
        if (r.Selected) return &r;
    return nullptr;
}

// A driver text with a folder is a path already; a bare name lives in the
// system folder.
std::string DriverPath(const std::string& driver) {
    if (driver.find_first_of("\\/:") != std::string::npos) return driver;
    return platform::GetSystemDirectoryA() + "\\" + driver;
}

}  // namespace

bool IsFourccCandidate(const unsigned char* c) {
    return IsLetter(c[0]) && IsAlnum(c[1]) && IsAlnum(c[2]) && (IsAlnum(c[3]) || c[3] == ' ');
}

std::string StatusOf(const TCodecCatalogue& catalogue, const std::string& candidate, const std::string& driver) {
    std::string status = cStatusNotUsed;
    if (auto a = catalogue.CodecList.FindCaption(candidate))
        if (platform::EqualsNoCase(catalogue.CodecList.Row(*a).Cell(acDriver), driver))
            status = std::string(cStatusUsed) + " (" + cStatusActive + ")";
    for (const TCodecRow& r : catalogue.InactiveCodecList.Rows())
        if (platform::EqualsNoCase(r.Caption, candidate) && platform::EqualsNoCase(r.Cell(icDriver), driver))
            status = std::string(cStatusUsed) + " (" + cStatusInactive + ")";
    return status;
}

platform::ICINFO ProbeFourcc(const TCodecCatalogue& catalogue, const std::string& candidate,
                             const std::string& driver) {
    platform::ICINFO none{};
    none.dwSize = sizeof none;
    const int32_t mode = catalogue.Prefs().CodecStoreMode;
    if (!UsesProfileStore(mode) && !UsesRegistryStore(mode)) return none;
    const std::optional<size_t> owner = catalogue.CodecList.FindCaption(platform::AsciiLowerCase(candidate));
    // Everything below is undone when the probe ends.
    platform::TSavepoint probe;
    if (UsesRegistryStore(mode)) {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.OpenKey(cDrivers32Key, false);
        if (owner)
            reg.DeleteValue(std::string(cVidcPrefix) + "." +
                            platform::AsciiLowerCase(catalogue.CodecList.Row(*owner).Caption));
        reg.WriteString(std::string(cVidcPrefix) + "." + platform::AsciiLowerCase(candidate), driver);
    } else {
        const std::string key = std::string(cVidcPrefix) + "." +
                                (owner ? catalogue.CodecList.Row(*owner).Caption : candidate);
        if (owner) platform::WritePrivateProfileStringA(cDrivers32Section, key.c_str(), nullptr, cSystemIni);
        platform::WritePrivateProfileStringA(cDrivers32Section, key.c_str(), driver.c_str(), cSystemIni);
    }
    return QueryCodecInfo(candidate);
}

TScanOutcome ScanSelectedCodec(TCodecCatalogue& catalogue, TScanProgress* progress) {
    TScanOutcome out;
    const TCodecRow* row = FirstSelected(catalogue.CodecList);
    if (!row) return out;
    TLog& log = catalogue.Log();
    log.WriteLog(cLogScanStart);
    out.Driver = row->Cell(acDriver);
    const std::string type = row->Cell(acType);
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

bool AddFoundToInactive(std::vector<TFoundRow>& rows, TCodecList& inactive) {
    bool any = false;
    for (const TFoundRow& r : rows) any = any || r.Selected;
    if (!any) return false;
    for (TFoundRow& r : rows) {
        if (!r.Selected || r.Used()) continue;
        TCodecRow row;
        row.Caption = platform::AsciiLowerCase(r.Fourcc);
        row.SubItems.resize(icCount);
        row.SubItems[icDriver] = r.Driver;
        row.SubItems[icShortname] = r.Shortname;
        row.SubItems[icDescription] = r.Description;
        row.SubItems[icVersion] = r.Version;
        row.SubItems[icType] = r.Type;
        inactive.Rows().push_back(std::move(row));
        r.Status = std::string(cStatusUsed) + " (" + cStatusInactive + ")";
    }
    return true;
}

}  // namespace tarnel
