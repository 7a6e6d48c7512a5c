#include "core/catalogue/FileVersionInfo.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/api/FileApi.h"
#include "platform/api/FileError.h"
#include "platform/api/OsVersion.h"
#include "platform/api/VersionApi.h"
#include "platform/api/VersionBlock.h"
#include "core/shell/uConst.h"

namespace tarnel {

namespace {

// The text at `p` up to its first zero, never reading past the block.
std::string TextAt(const char* p, const std::vector<char>& block, uint32_t len) {
    const char* begin = block.data();
    const char* end = begin + block.size();
    size_t limit = (p >= begin && p < end) ? static_cast<size_t>(end - p) : len;
    size_t n = 0;
    while (n < limit && p[n] != 0) ++n;
    return std::string(p, n);
}

}  // namespace

TFileVersionInfo::TFileVersionInfo(const TPreferences& prefs) : prefs_(&prefs) {
    SetExecutableFile(platform::ProgramFile());
}

TFileVersionInfo::TFileVersionInfo(int32_t codecStoreMode) : fixedMode_(codecStoreMode) {
    SetExecutableFile(platform::ProgramFile());
}

void TFileVersionInfo::SetExecutableFile(const std::string& file) {
    executableFile_ = file;
    ReloadVersionInfo();
}

void TFileVersionInfo::ReloadVersionInfo() {
    std::string* strings[] = {&companyName_,      &fileDescription_, &fileVersion_,
                              &internalName_,     &legalCopyright_,  &legalTradeMarks_,
                              &originalFilename_, &productName_,     &productVersion_,
                              &comments_};
    static const char* const names[] = {
        cVerCompanyName,      cVerFileDescription, cVerFileVersion, cVerInternalName,
        cVerLegalCopyright,   cVerLegalTradeMarks, cVerOriginalFilename, cVerProductName,
        cVerProductVersion,   cVerComments};
    for (std::string* s : strings) s->clear();
    countryCode_.clear();

    uint32_t handle = 0;
    uint32_t size = platform::GetFileVersionInfoSizeA(executableFile_, &handle);
    if (size == 0) {
        companyName_ = cNotDefined;
        return;
    }
    std::vector<char> block(size, 0);
    // A block that cannot be read shows as empty properties through the failed queries.
    platform::GetFileVersionInfoA(executableFile_, handle, size, block.data());

    int32_t mode = StoreMode();
    if (UsesProfileStore(mode)) {
        void* p = nullptr;
        uint32_t len = 0;
        if (platform::VerQueryValueA(block.data(), cTranslationQuery, &p, &len) && p && len >= 4) {
            const unsigned char* b = static_cast<const unsigned char*>(p);
            char code[9];
            std::snprintf(code, sizeof code, "%02X%02X%02X%02X", b[1], b[0], b[3], b[2]);
            countryCode_ = code;
        }
    } else if (UsesRegistryStore(mode)) {
        // The key of the first string table, whatever the block's layout; a
        // first table without the strings leaves them empty.
        countryCode_ = platform::FirstStringTableKey(block.data(), block.size());
    }

    for (size_t i = 0; i < std::size(names); ++i) {
        void* p = nullptr;
        uint32_t len = 0;
        std::string query = std::string(cStringFileInfoQuery) + countryCode_ + "\\" + names[i];
        if (platform::VerQueryValueA(block.data(), query, &p, &len) && p)
            *strings[i] = TextAt(static_cast<const char*>(p), block, len);
    }
}

TCodecVersionInfo TFileVersionInfo::ToCodecVersionInfo() const {
    TCodecVersionInfo v;
    v.CompanyName = companyName_;
    v.FileDescription = fileDescription_;
    v.FileVersion = fileVersion_;
    v.InternalName = internalName_;
    v.LegalCopyright = legalCopyright_;
    v.LegalTradeMarks = legalTradeMarks_;
    v.OriginalFilename = originalFilename_;
    v.ProductName = productName_;
    v.ProductVersion = productVersion_;
    v.Comments = comments_;
    v.CountryCode = countryCode_;
    return v;
}

TCodecVersionInfo VersionTextsOf(const std::string& file, const TMachineFacts& machine) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string name;
    if (fs::exists(file, ec)) {
        if (fs::is_directory(file, ec))
            throw platform::EFileError("Cannot read '" + file + "': it is a folder, not a file");
        if (!fs::is_regular_file(file, ec))
            throw platform::EFileError("Cannot read '" + file + "': not a regular file");
        // Read as a file of this computer, not as a name in the machine's search path.
        name = fs::absolute(file, ec).string();
        platform::AdmitHostFile(name);
    } else if (file.find('/') == std::string::npos) {
        // A driver name ("pbyuv.dll") or a Windows path: where the machine finds it.
        const platform::TDriverFileCheck found = platform::CheckDriverFile(file);
        if (found.State == platform::TDriverFileState::NotFound)
            throw platform::EFileError("Cannot find '" + file + "' on the machine" +
                                       (found.Path.empty() ? "" : " (looked for " + found.Path + ")") +
                                       " nor as a file of this computer");
        name = file;
    } else {
        throw platform::EFileError("Cannot read '" + file + "': no such file");
    }
    TFileVersionInfo info(machine.Family == platform::TMachineFamily::Win9x ? 1 : 3);
    info.SetExecutableFile(name);
    return info.ToCodecVersionInfo();
}

}  // namespace tarnel
