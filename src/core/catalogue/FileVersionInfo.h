// Reads the standard string values of one file's version resource. Set
// ExecutableFile, then read the properties; nothing of a previous file
// survives a reload.
#pragma once

#include <cstdint>
#include <string>

#include "core/catalogue/uCodecs.h"
#include "core/shell/uGlobal.h"
#include "core/shell/uPrefs.h"

namespace tarnel {

class TFileVersionInfo {
public:
    // Which table key is used depends on the store mode: the settings'
    // CodecStoreMode is read at every reload, so it may be set later.
    explicit TFileVersionInfo(const TPreferences& prefs);
    // A fixed store mode, for users without a settings record.
    explicit TFileVersionInfo(int32_t codecStoreMode);
    TFileVersionInfo(const TFileVersionInfo&) = delete;
    TFileVersionInfo& operator=(const TFileVersionInfo&) = delete;

    const std::string& CompanyName() const { return companyName_; }
    const std::string& FileDescription() const { return fileDescription_; }
    const std::string& FileVersion() const { return fileVersion_; }
    const std::string& InternalName() const { return internalName_; }
    const std::string& LegalCopyright() const { return legalCopyright_; }
    const std::string& LegalTradeMarks() const { return legalTradeMarks_; }
    const std::string& OriginalFilename() const { return originalFilename_; }
    const std::string& ProductName() const { return productName_; }
    const std::string& ProductVersion() const { return productVersion_; }
    const std::string& Comments() const { return comments_; }
    const std::string& CountryCode() const { return countryCode_; }
    const std::string& ExecutableFile() const { return executableFile_; }

    // Stores the name and reads the file again (also when the name is unchanged).
    void SetExecutableFile(const std::string& file);
    void ReloadVersionInfo();

    // The eleven texts as the record attached to an active row.
    TCodecVersionInfo ToCodecVersionInfo() const;

private:
    int32_t StoreMode() const { return prefs_ ? prefs_->CodecStoreMode : fixedMode_; }

    const TPreferences* prefs_ = nullptr;
    int32_t fixedMode_ = 0;

    std::string companyName_, fileDescription_, fileVersion_, internalName_;
    std::string legalCopyright_, legalTradeMarks_, originalFilename_, productName_;
    std::string productVersion_, comments_, countryCode_, executableFile_;
};

// The version texts of `file` as a user names it: a file of this computer,
// or, when there is no such file, a driver name or Windows path found on
// the machine as the codec list finds it. Read the NT family's way unless
// the machine is of the 95/98/ME family. Throws EFileError naming the file
// when there is none (or it is a folder).
TCodecVersionInfo VersionTextsOf(const std::string& file, const TMachineFacts& machine);

}  // namespace tarnel
