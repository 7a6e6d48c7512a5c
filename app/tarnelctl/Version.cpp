// version FILE [--json]: the eleven version texts of a file.
#include <iostream>
#include <utility>

#include "app/tarnelctl/Command.h"
#include "core/catalogue/FileVersionInfo.h"
#include "core/shell/uGlobal.h"

namespace tarnel::ctl {

int RunVersion(const TCommandLine& cl) {
    const TCodecVersionInfo v = VersionTextsOf(cl.Operands[0], IdentifyMachine());
    const std::pair<const char*, const std::string*> fields[] = {
        {"CompanyName", &v.CompanyName},       {"FileDescription", &v.FileDescription},
        {"FileVersion", &v.FileVersion},       {"InternalName", &v.InternalName},
        {"LegalCopyright", &v.LegalCopyright}, {"LegalTradeMarks", &v.LegalTradeMarks},
        {"OriginalFilename", &v.OriginalFilename}, {"ProductName", &v.ProductName},
        {"ProductVersion", &v.ProductVersion}, {"Comments", &v.Comments},
        {"CountryCode", &v.CountryCode}};
    if (cl.Json) {
        JsonWriter w(std::cout);
        w.BeginObject();
        for (const auto& [name, value] : fields) w.Key(name).Ansi(*value);
        w.EndObject();
        std::cout << "\n";
        return 0;
    }
    for (const auto& [name, value] : fields) {
        std::string label = name;
        label.resize(18, ' ');
        std::cout << label << Shown(*value) << "\n";
    }
    return 0;
}

}  // namespace tarnel::ctl
