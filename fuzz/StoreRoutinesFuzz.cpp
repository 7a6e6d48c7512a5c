// The store routines of the codec records: splitting driver names and
// profile lines, the inactive entries' layout both ways.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/catalogue/uCodecs.h"
#include "fuzz/FuzzSupport.h"

using namespace tarnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Bytes in(data, size);
    const std::string name = in.Text(300);
    TCodecInfo a = SplitDriverName(name);
    TCodecInfo b = SplitProfileLine(name);
    if (!a.Kind.empty() && a.Kind != "Video") std::abort();
    if (b.Fourcc.size() > 4) std::abort();
    const std::string value = ValueOfLine(name);
    if (value.size() > name.size()) std::abort();

    const std::string raw(in.Rest());
    std::vector<std::string> pieces;
    SplitSectionBuffer(raw.data(), raw.size(), pieces);
    for (const std::string& p : pieces)
        if (p.empty() || p.find('\0') != std::string::npos) std::abort();

    TInactiveCodecInfo record;
    try {
        ReadInactiveEntryData("#001#", raw, "key", record);
        // Six texts written and read again give the same six texts.
        std::vector<std::string> texts{record.Fourcc, record.Driver, record.Shortname, record.Description,
                                       record.Version, record.Type};
        std::string stored;
        for (std::string t : texts) stored += (t.empty() ? std::string(" ") : t) + '\0';
        TInactiveCodecInfo again;
        ReadInactiveEntryData("#001#", stored, "key", again);
        if (again.Fourcc != (record.Fourcc.empty() ? " " : record.Fourcc)) std::abort();
        if (again.Type != (record.Type.empty() ? " " : record.Type)) std::abort();
    } catch (const EStoreFormatError&) {
        if (pieces.size() >= 6) std::abort();  // refused only with too few texts
    }
    return 0;
}
