#include "support/VersionFixtures.h"

#include <algorithm>

namespace tarnel::test {

platform::VersionResourceSpec ScriptFields(const std::string& script) {
    platform::VersionResourceSpec s;
    if (script == "version.rc") {
        const uint16_t fv[4] = {2, 7, 0, 113}, pv[4] = {2, 7, 0, 0};
        std::copy(fv, fv + 4, s.fileVersion);
        std::copy(pv, pv + 4, s.productVersion);
        s.tables = {{"040904E4",
                     {{"CompanyName", "Brennic Labs"},
                      {"FileDescription", "Brennic Wavelet Codec"},
                      {"FileVersion", "2.7.0.113"},
                      {"InternalName", "bwlt"},
                      {"LegalCopyright", "\xA9 2026 Brennic Labs"},
                      {"LegalTradeMarks", "Wavelet\xAE"},
                      {"OriginalFilename", "bwlt32.dll"},
                      {"ProductName", "Brennic Wavelet"},
                      {"ProductVersion", "2.7"},
                      {"Comments", ""}}}};
        s.translations = {{0x409, 1252}};
    } else if (script == "secondtable.rc") {
        const uint16_t v[4] = {1, 0, 0, 5};
        std::copy(v, v + 4, s.fileVersion);
        std::copy(v, v + 4, s.productVersion);
        s.tables = {{"040704B0", {}},
                    {"040904E4",
                     {{"CompanyName", "Quellmark"},
                      {"FileDescription", "Quellmark Lossless"},
                      {"FileVersion", "1.0.0.5"}}}};
        s.translations = {{0x409, 1252}};
    } else if (script == "badtranslation.rc") {
        const uint16_t v[4] = {4, 0, 2, 0};
        std::copy(v, v + 4, s.fileVersion);
        std::copy(v, v + 4, s.productVersion);
        s.tables = {{"040904E4", {{"CompanyName", "Feldwick"}, {"FileVersion", "4.0.2.0"}}}};
        s.translations = {{0x407, 0x4B0}, {0x409, 1252}};
    }
    return s;
}

}  // namespace tarnel::test
