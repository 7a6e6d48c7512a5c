// check [--json]: the active codecs whose driver the codec manager could not
// load; exit status 1 when there are any.
#include <iostream>

#include "app/tarnelctl/Command.h"
#include "core/catalogue/DriverCheck.h"
#include "core/operations/CodecSession.h"

namespace tarnel::ctl {

int RunCheck(const TCommandLine& cl) {
    const TCodecReading reading(/*withInactive=*/false);
    const TCodecList& active = reading.Catalogue().CodecList;
    const std::vector<const TCodecEntry*> broken = BrokenEntries(active.Entries());
    if (cl.Json) {
        JsonWriter w(std::cout);
        w.BeginObject();
        w.Key("checked").Number(static_cast<int64_t>(active.Count()));
        w.Key("broken").BeginArray();
        for (const TCodecEntry* e : broken) {
            w.BeginObject();
            w.Key("fourcc").Ansi(e->Fourcc);
            w.Key("driver").Ansi(e->Driver);
            w.Key("problem").String(ProblemKind(e->Problem.State));
            w.Key("path").Ansi(e->Problem.Path);
            w.Key("message").Ansi(e->Problem.Text);
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        std::cout << "\n";
    } else {
        for (const TCodecEntry* e : broken) std::cout << Shown("vidc." + e->Fourcc + "  " + e->Problem.Text) << "\n";
        std::cout << active.Count() << " active codecs checked, " << broken.size() << " cannot be loaded\n";
    }
    return broken.empty() ? 0 : 1;
}

}  // namespace tarnel::ctl
