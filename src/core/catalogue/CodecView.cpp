#include "core/catalogue/CodecView.h"

#include <algorithm>
#include <iterator>

#include "core/catalogue/uCodecs.h"
#include "core/shell/uConst.h"
#include "core/shell/uPrefs.h"
#include "platform/api/Ansi.h"

namespace tarnel {

namespace {

constexpr TColumnLayout kActiveColumns[acCount] = {
    {cColFourcc, 50}, {cColDriver, 90}, {cColShortname, 90}, {cColDescription, 270}, {cColVersion, 90}, {cColType, 0}};
constexpr TColumnLayout kInactiveColumns[icCount] = {
    {cColFourcc, 50}, {cColDriver, 90},  {cColShortname, 90}, {cColDescription, 270},
    {cColVersion, 90}, {cColNumber, 0}, {cColType, 0}};

constexpr TColumnLayout kActiveColumnsWithStore[acCount + 1] = {
    {cColFourcc, 50}, {cColDriver, 90}, {cColShortname, 90}, {cColDescription, 270}, {cColVersion, 90}, {cColType, 0},
    {cColStore, 120}};
constexpr TColumnLayout kInactiveColumnsWithStore[icCount + 1] = {
    {cColFourcc, 50}, {cColDriver, 90},  {cColShortname, 90}, {cColDescription, 270},
    {cColVersion, 90}, {cColNumber, 0}, {cColType, 0}, {cColStore, 120}};

}  // namespace

std::span<const TColumnLayout> ColumnsOf(TListKind kind) {
    if (kind == TListKind::Active) return kActiveColumns;
    return kInactiveColumns;
}

std::span<const TColumnLayout> ColumnsOf(TListKind kind, bool withStore) {
    if (!withStore) return ColumnsOf(kind);
    if (kind == TListKind::Active) return kActiveColumnsWithStore;
    return kInactiveColumnsWithStore;
}

const char* OneStoreKey(int32_t codecStoreMode) {
    if (UsesProfileStore(codecStoreMode)) return "system.ini";
    return UsesRegistryStore(codecStoreMode) ? "registry" : "";
}

const char* StoreKey(const TCodecEntry& e, TListKind kind) {
    const TCodecStore where = kind == TListKind::Active && e.Store != TCodecStore::None ? e.Store : e.Home;
    return where == TCodecStore::SystemIni ? "system.ini" : "registry";
}

std::string StoreCellText(const TCodecEntry& e, TListKind kind) {
    std::string text = std::string(StoreKey(e, kind)) == "system.ini" ? cStoreSystemIni : cStoreRegistry;
    if (kind == TListKind::Active && !e.ShadowedBy.empty()) text += cShadowedSuffix;
    return text;
}

std::string NumberText(const TCodecEntry& entry) {
    if (entry.NumberAssigned || entry.StoredName.empty()) return entry.Number;
    return entry.StoredName.substr(1, 3);
}

std::string CellText(const TCodecEntry& e, TListKind kind, int column) {
    // Driver .. Version stand at the same places in both lists.
    switch (column) {
    case acFourcc: return e.Fourcc;
    case acDriver: return e.Driver;
    case acShortname: return e.Shortname;
    case acDescription: return e.Description;
    case acVersion: return e.Version;
    default: break;
    }
    if (kind == TListKind::Active) return column == acType ? e.Type : std::string();
    if (column == icNumber) return NumberText(e);
    return column == icType ? e.Type : std::string();
}

std::string ActiveCountText(const TCodecList& active) { return cActiveCount + std::to_string(active.Count()); }

std::string InactiveCountText(const TCodecList& inactive) {
    return cInactiveCount + std::to_string(inactive.Count());
}

bool HasInactiveTwin(const TCodecList& inactive, const std::string& fourcc) {
    return inactive.FindCaption(fourcc).has_value();
}

std::string ActiveRowRemark(const TCodecList& inactive, const TCodecEntry& entry) {
    std::string said;
    if (HasInactiveTwin(inactive, entry.Fourcc)) said = cHasInactiveTwin;
    if (!entry.Problem.Text.empty()) said += (said.empty() ? "" : "; ") + entry.Problem.Text;
    if (!entry.ShadowedBy.empty()) said += (said.empty() ? "" : "; ") + (cShadowedBy + entry.ShadowedBy);
    return said;
}

std::string InactiveRowRemark(const TCodecEntry& entry) {
    if (entry.Malformed.empty()) return {};
    return entry.Malformed + ". Remove it: the lists are not written back while it is there.";
}

TActiveSelection SelectActiveCodec(const TCodecList& active, TCodecList& inactive) {
    TActiveSelection s;
    size_t r = 0;
    while (r < active.Count() && !active.Selected(r)) ++r;
    if (r == active.Count()) return s;
    s.Handled = true;
    s.Row = r;
    const std::string& fourcc = active.Entry(r).Fourcc;
    const TCodecDialogs dialogs = AskCodecDialogs(fourcc);
    s.CanConfigure = dialogs.Configure;
    s.CanAbout = dialogs.About;

    if (inactive.Empty()) return s;
    s.TwinsChecked = true;
    inactive.SelectAll(false);
    const std::string upper = platform::AsciiUpperCase(fourcc);
    for (size_t i = 0; i < inactive.Count(); ++i) {
        if (platform::AsciiUpperCase(inactive.Entry(i).Fourcc) != upper) continue;
        inactive.Select(i);
        ++s.TwinCount;
        s.ScrollTo = i;
    }
    s.StatusText = platform::AsciiLowerCase(fourcc) + " (" + std::to_string(s.TwinCount) + ")";
    return s;
}

TDriverConfigEnabling DriverConfigPopup(const TCodecList& active, bool configure, bool about) {
    TDriverConfigEnabling e{configure, about, true, true};
    // Without a row, or without a selected one, the codec commands have
    // nothing to act on; this never turns Configure or About on.
    if (active.Empty() || active.SelectedCount() == 0) e = TDriverConfigEnabling{};
    return e;
}

bool AcceptsDrag(TListKind target, std::optional<TListKind> source) { return source && *source != target; }

TDropMeaning DropMeaning(TListKind target, std::optional<TListKind> source) {
    if (!AcceptsDrag(target, source)) return TDropMeaning::SaveOnly;
    return target == TListKind::Inactive ? TDropMeaning::Deactivate : TDropMeaning::Activate;
}

int SizeEquallyHeight(int panelHeight, int headerBandHeight) {
    return std::max(0, panelHeight / 2 - headerBandHeight - 14);
}

int SplitterHeight(int wanted, int room) {
    return std::clamp(wanted, cLeastListHeight, std::max(cLeastListHeight, room - cLeastListHeight));
}

void SortByColumn(TCodecList& list, TListKind kind, int column,
                  const std::function<int(const std::string&, const std::string&)>& compare) {
    const int store = kind == TListKind::Active ? acStore : icStore;
    auto text = [&](const TCodecEntry& e) { return column == store ? StoreCellText(e, kind) : CellText(e, kind, column); };
    list.Sort([&](const TCodecEntry& a, const TCodecEntry& b) { return compare(text(a), text(b)) < 0; });
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

TActiveRowTip ActiveRowTip(const TCodecEntry& entry, bool showVersion) {
    TActiveRowTip tip;
    tip.Problem = entry.Problem.Text;
    if (showVersion) tip.Version = VersionTooltipText(entry.VersionInfo ? *entry.VersionInfo : TCodecVersionInfo{});
    return tip;
}

}  // namespace tarnel
