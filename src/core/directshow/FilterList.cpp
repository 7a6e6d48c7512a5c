#include "core/directshow/FilterList.h"

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
        // file is not found.
        versionInfo.SetExecutableFile(file);
        TFilterRow& row = rows[at];
        row.File = file;
        row.Description = versionInfo.FileDescription();
        row.Version = versionInfo.FileVersion();
        row.Company = versionInfo.CompanyName();
    }
    transaction.Commit();
}

}  // namespace tarnel
