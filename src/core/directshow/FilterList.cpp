#include "core/directshow/FilterList.h"

#include <algorithm>
#include <unordered_map>

#include "core/shell/uConst.h"
#include "platform/api/Registry.h"
#include "platform/api/WinPaths.h"

namespace tarnel {

const char* const cFilterColumns[fcCount] = {cColFilter, cColFile, cColDescription, cColVersion, cColCompany};

const std::string& TFilterRow::Text(size_t column) const {
    static const std::string empty;
    switch (column) {
        case fcFilter: return Filter;
        case fcFile: return File;
        case fcDescription: return Description;
        case fcVersion: return Version;
        case fcCompany: return Company;
        default: return empty;
    }
}

namespace {
// The three version texts a row shows of its file.
struct TFileTexts {
    std::string Description, Version, Company;
};
}  // namespace

void FillFilterList(TFileVersionInfo& versionInfo, std::vector<TFilterRow>& rows) {
    // One look at the store for the whole list, not one per call.
    platform::TTransaction transaction(platform::TTransaction::Read);
    // Paths start with a backslash: always from the root, whatever key is open.
    const std::string category =
        std::string("\\") + cClsidKey + "\\" + platform::kFilterCategoryClsid + "\\" + cInstanceKey;
    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyClassesRoot);
    std::vector<std::string> names;
    // Without the category (no DirectShow) the list stays empty.
    if (reg.OpenKeyReadOnly(category)) reg.GetKeyNames(names);
    reg.CloseKey();

    std::unordered_map<std::string, TFileTexts> read;  // by the exact server text
    for (const std::string& name : names) {
        reg.OpenKeyReadOnly(category + "\\" + name);
        if (!reg.ValueExists(cFriendlyNameValue)) {
            reg.CloseKey();
            continue;
        }
        rows.push_back(TFilterRow{reg.ReadString(cFriendlyNameValue), {}, {}, {}, {}});
        const size_t at = rows.size() - 1;
        const std::string clsid = reg.ReadString(cClsidValue);
        reg.CloseKey();

        // No class id names no class: the file stays empty rather than
        // opening "CLSID\\InprocServer32".
        std::string file;
        if (!clsid.empty() &&
            reg.OpenKeyReadOnly(std::string("\\") + cClsidKey + "\\" + clsid + "\\" + cInprocServer32Key))
            file = reg.ReadString("");
        reg.CloseKey();

        // Exactly as stored: an expandable path keeps its variables, so its
        // file is not found. Many filters share one server file; within the
        // transaction a file reads the same every time, so each text is
        // read once.
        auto texts = read.find(file);
        if (texts == read.end()) {
            versionInfo.SetExecutableFile(file);
            texts = read.emplace(file, TFileTexts{versionInfo.FileDescription(), versionInfo.FileVersion(),
                                                  versionInfo.CompanyName()})
                        .first;
        }
        TFilterRow& row = rows[at];
        row.File = file;
        row.Description = texts->second.Description;
        row.Version = texts->second.Version;
        row.Company = texts->second.Company;
    }
    transaction.Commit();
}

std::array<int, fcCount> FilterColumnWidths(int filterWidth, int room, int leastShared) {
    std::array<int, fcCount> widths{};
    widths[fcFilter] = filterWidth;
    const int rest = std::max(0, room - filterWidth);
    const int shared = int(fcCount) - 1, share = rest / shared;
    for (size_t c = fcFile; c < fcCount; ++c) {
        const int width = c == fcCount - 1 ? rest - share * (shared - 1) : share;
        widths[c] = std::max(width, leastShared);
    }
    return widths;
}

}  // namespace tarnel
