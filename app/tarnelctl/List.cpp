// list [--json|--csv]: the active and inactive lists, as the loaders build
// them and the codec window shows them.
#include <algorithm>
#include <initializer_list>
#include <iostream>
#include <optional>

#include "app/tarnelctl/Command.h"
#include "core/catalogue/CodecView.h"
#include "core/operations/CodecSession.h"
#include "platform/api/Backend.h"

namespace tarnel::ctl {

namespace {

std::string StoreName(int32_t mode) {
    if (UsesProfileStore(mode)) return "profile";
    if (UsesRegistryStore(mode)) return "registry";
    return "none";
}

// A machine Wine runs keeps codecs in two stores: each row says which.
bool TwoStores() { return platform::CurrentBackend().WineMachine(); }

// One row per line: an inactive one leads with its whole Number (what
// the commands take; the window shows three characters of it); the hidden
// Number column is not repeated among the others. An entry that could not
// be read whole says so after its texts.
void PrintRowsText(const TCodecList& list, TListKind kind) {
    const bool inactive = kind == TListKind::Inactive;
    const int columns = int(ColumnsOf(kind, TwoStores()).size());
    for (const TCodecEntry& e : list.Entries()) {
        std::string line;
        if (inactive) line += e.Number + "  ";
        line += e.Fourcc;
        line.resize(std::max<size_t>(line.size(), inactive ? 13 : 8), ' ');
        for (int c = 1; c < columns; ++c) {
            if (inactive && c == icNumber) continue;
            const bool store = c == (inactive ? icStore : acStore);
            line += " | " + (store ? StoreCellText(e, kind) : CellText(e, kind, c));
        }
        if (!e.Malformed.empty()) line += "  <- cannot be read whole";
        std::cout << Shown(line) << "\n";
    }
}

// One entry as a JSON object; an inactive one leads with its Number.
void WriteRow(JsonWriter& w, const TCodecEntry& e, TListKind kind) {
    w.BeginObject();
    if (kind == TListKind::Inactive) w.Key("number").Ansi(e.Number);
    w.Key("fourcc").Ansi(CellText(e, kind, acFourcc));
    w.Key("driver").Ansi(CellText(e, kind, acDriver));
    w.Key("shortname").Ansi(CellText(e, kind, acShortname));
    w.Key("description").Ansi(CellText(e, kind, acDescription));
    w.Key("version").Ansi(CellText(e, kind, acVersion));
    w.Key("type").Ansi(e.Type);
    if (!e.Malformed.empty()) w.Key("problem").Ansi(e.Malformed);
    if (TwoStores()) {
        w.Key("store").String(StoreKey(e, kind));
        if (kind == TListKind::Active && !e.ShadowedBy.empty()) w.Key("shadowed_by").Ansi(e.ShadowedBy);
    }
    w.EndObject();
}

// One CSV field as RFC 4180 wants it: quoted when it holds a comma, a
// quote or a line break, quotes doubled.
std::string CsvQuoted(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// With a machine name, each row leads with it, so that the tables of many
// machines, each but the first without its header line, make one table: its
// columns are then the same on every machine, the stores' included (on a
// machine with one store, an inactive row's is the one it would go back to).
void WriteCsv(const TCodecCatalogue& catalogue, const std::optional<std::string>& machine, int32_t mode) {
    const bool stores = machine || TwoStores();
    const std::string oneStore = OneStoreKey(mode);
    std::string lead = machine ? "machine," : "";
    auto line = [&](std::vector<std::string> fields, const TCodecEntry* e, TListKind kind) {
        if (stores) {
            fields.push_back(!e ? "store" : TwoStores() || kind == TListKind::Active ? StoreKey(*e, kind) : oneStore);
            fields.push_back(!e ? "shadowed_by" : kind == TListKind::Active ? e->ShadowedBy : "");
        }
        std::string out;
        for (const std::string& f : fields) out += (out.empty() ? "" : ",") + CsvQuoted(Shown(f));
        std::cout << lead << out << "\r\n";
    };
    line({"list", "number", "fourcc", "driver", "shortname", "description", "version", "type"}, nullptr,
         TListKind::Active);
    if (machine) lead = CsvQuoted(*machine) + ",";
    for (const TCodecEntry& e : catalogue.CodecList.Entries())
        line({"active", "", e.Fourcc, e.Driver, e.Shortname, e.Description, e.Version, e.Type}, &e,
             TListKind::Active);
    for (const TCodecEntry& e : catalogue.InactiveCodecList.Entries())
        line({"inactive", e.Number, e.Fourcc, e.Driver, e.Shortname, e.Description, e.Version, e.Type}, &e,
             TListKind::Inactive);
}

// Every inactive entry that could not be read whole, named on standard
// error: the lists are printed as far as they could be read, and the exit
// status says that they are not whole.
int ReportMalformed(const TCodecCatalogue& catalogue) {
    int status = 0;
    for (const TCodecEntry& e : catalogue.InactiveCodecList.Entries()) {
        if (e.Malformed.empty()) continue;
        std::cerr << "tarnelctl: " << Shown(e.Malformed) << "\n";
        status = 1;
    }
    return status;
}

}  // namespace

int RunList(const TCommandLine& cl) {
    const TCodecReading reading;
    const TCodecCatalogue& catalogue = reading.Catalogue();
    const TWinVersionInfo& os = reading.Facts().Os;
    const int32_t mode = reading.Facts().CodecStoreMode;
    if (cl.Csv) {
        WriteCsv(catalogue, cl.MachineName, mode);
        return ReportMalformed(catalogue);
    }
    if (!cl.Json) {
        const std::string view = platform::ViewText(platform::CurrentBackend().View());
        std::cout << "Machine : " << platform::CurrentBackend().Describe() << (view.empty() ? "" : ", " + view) << "\n"
                  << "System  : " << Shown(os.Description) << " (" << os.MajorVersion << "." << os.MinorVersion
                  << "." << os.BuildNumber << ", platform " << os.PlatformId << ")\n"
                  << "Store   : " << StoreName(mode) << "\n\n"
                  << Shown(ActiveCountText(catalogue.CodecList)) << "\n";
        PrintRowsText(catalogue.CodecList, TListKind::Active);
        std::cout << "\n" << Shown(InactiveCountText(catalogue.InactiveCodecList)) << "\n";
        PrintRowsText(catalogue.InactiveCodecList, TListKind::Inactive);
        return ReportMalformed(catalogue);
    }

    JsonWriter w(std::cout);
    w.BeginObject();
    if (cl.MachineName) w.Key("machine").String(*cl.MachineName);
    w.Key("store").String(StoreName(mode));
    w.Key("os").BeginObject();
    w.Key("description").Ansi(os.Description);
    w.Key("platform_id").Number(os.PlatformId);
    w.Key("major").Number(os.MajorVersion);
    w.Key("minor").Number(os.MinorVersion);
    w.Key("build").Number(os.BuildNumber);
    w.Key("csd").Ansi(os.CSDVersion);
    w.EndObject();
    w.Key("active").BeginArray();
    for (const TCodecEntry& e : catalogue.CodecList.Entries()) WriteRow(w, e, TListKind::Active);
    w.EndArray();
    w.Key("inactive").BeginArray();
    for (const TCodecEntry& e : catalogue.InactiveCodecList.Entries()) WriteRow(w, e, TListKind::Inactive);
    w.EndArray();
    w.EndObject();
    w.Flush();
    std::cout << "\n";
    return ReportMalformed(catalogue);
}

}  // namespace tarnel::ctl
