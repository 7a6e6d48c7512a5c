#include "core/catalogue/CodecSelection.h"

#include <iterator>

#include "core/catalogue/uCodecs.h"
#include "platform/api/Ansi.h"
#include "platform/api/CodecManager.h"
#include "core/shell/uConst.h"

namespace tarnel {

bool HasInactiveTwin(const TCodecList& inactive, const std::string& caption) {
    return inactive.FindCaption(caption).has_value();
}

TActiveSelection SelectActiveCodec(TCodecList& active, TCodecList& inactive) {
    TActiveSelection s;
    size_t r = 0;
    while (r < active.Count() && !active.Row(r).Selected) ++r;
    if (r == active.Count()) return s;
    s.Handled = true;
    s.Row = r;
    const std::string caption = active.Row(r).Caption;

    const std::string upper = platform::AsciiUpperCase(caption);
    platform::HIC hic =
        platform::ICOpen(FourccToCode(cVidcTypeCode), FourccToCode(upper), platform::kIcModeFastCompress);
    if (hic) {
        s.CanConfigure = platform::ICSendMessage(hic, platform::kIcmConfigure, -1, 0) != -1;
        s.CanAbout = platform::ICSendMessage(hic, platform::kIcmAbout, -1, 0) != -1;
        platform::ICClose(hic);
    }

    if (inactive.Empty()) return s;
    s.TwinsChecked = true;
    inactive.SelectAll(false);
    for (size_t i = 0; i < inactive.Count(); ++i) {
        TCodecRow& row = inactive.Row(i);
        if (platform::AsciiUpperCase(row.Caption) != upper) continue;
        row.Selected = true;
        ++s.TwinCount;
        s.ScrollTo = i;
    }
    s.StatusText = platform::AsciiLowerCase(caption) + " (" + std::to_string(s.TwinCount) + ")";
    return s;
}

std::string PadRight(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string VersionTooltipText(const TCodecVersionInfo& v) {
    const struct {
        const std::string* value;
        const char* label;
        size_t width;
    } fields[] = {
        {&v.CompanyName, "Company", 20},          {&v.FileDescription, "FileDescription", 20},
        {&v.FileVersion, "FileVersion", 22},      {&v.InternalName, "InternalName", 18},
        {&v.LegalCopyright, "LegalCopyright", 18}, {&v.LegalTradeMarks, "LegalTrademarks", 16},
        {&v.OriginalFilename, "OriginalFilename", 18}, {&v.ProductName, "ProductName", 18},
        {&v.ProductVersion, "ProductVersion", 18}, {&v.Comments, "Comments", 19},
        {&v.CountryCode, "CountryCode", 18},
    };
    std::string text;
    const size_t last = std::size(fields) - 1;
    for (size_t i = 0; i < std::size(fields); ++i) {
        if (fields[i].value->empty()) continue;
        text += PadRight(fields[i].label, fields[i].width) + ": " + *fields[i].value;
        if (i != last) text += "\n\r";
    }
    return text.empty() ? cNoVersionInformation : text;
}

}  // namespace tarnel
