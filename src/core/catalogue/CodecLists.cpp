#include "core/catalogue/CodecLists.h"

#include <algorithm>
#include <numeric>

#include "core/catalogue/DriverCheck.h"
#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

// Keeps a list from repainting for the life of the guard, also when a load
// ends with an error.
class TUpdateGuard {
public:
    explicit TUpdateGuard(TCodecList& list) : list_(list) { list_.BeginUpdate(); }
    ~TUpdateGuard() { End(); }
    void End() {
        if (active_) list_.EndUpdate();
        active_ = false;
    }

private:
    TCodecList& list_;
    bool active_ = true;
};

// Starts the progress display and makes sure it is ended exactly once.
class TProgressGuard {
public:
    TProgressGuard(TLoadProgress* progress, int max) : progress_(progress) {
        if (progress_) progress_->Start(max);
    }
    ~TProgressGuard() { End(); }
    void Advance(int i) {
        if (progress_) progress_->Advance(i);
    }
    void End() {
        if (progress_) progress_->End();
        progress_ = nullptr;
    }

private:
    TLoadProgress* progress_;
};

std::string WithName(const char* format, const std::string& name) {
    std::string text = format;
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, name);
    return text;
}

}  // namespace

// --- TCodecList -----------------------------------------------------------------

TCodecEntry& TCodecList::Add(TCodecEntry entry) {
    entries_.push_back(std::move(entry));
    selected_.push_back(0);
    return entries_.back();
}

void TCodecList::Delete(size_t i) {
    if (i >= entries_.size()) return;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
    selected_.erase(selected_.begin() + static_cast<std::ptrdiff_t>(i));
}

void TCodecList::Delete(const std::vector<size_t>& rows) {
    if (rows.empty()) return;
    // One pass: the rows kept close up in order.
    size_t out = 0, next = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (next < rows.size() && rows[next] == i) {
            ++next;
            continue;
        }
        if (out != i) {
            entries_[out] = std::move(entries_[i]);
            selected_[out] = selected_[i];
        }
        ++out;
    }
    entries_.resize(out);
    selected_.resize(out);
}

void TCodecList::Clear() {
    entries_.clear();
    selected_.clear();
}

void TCodecList::Reserve(size_t count) {
    entries_.reserve(count);
    selected_.reserve(count);
}

void TCodecList::Sort(const std::function<bool(const TCodecEntry&, const TCodecEntry&)>& less) {
    std::vector<size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return less(entries_[a], entries_[b]); });
    std::vector<TCodecEntry> entries;
    std::vector<char> selected;
    entries.reserve(order.size());
    selected.reserve(order.size());
    for (size_t i : order) {
        entries.push_back(std::move(entries_[i]));
        selected.push_back(selected_[i]);
    }
    entries_ = std::move(entries);
    selected_ = std::move(selected);
}

std::optional<size_t> TCodecList::FindCaption(const std::string& text, size_t start) const {
    for (size_t i = start; i < entries_.size(); ++i)
        if (platform::StartsWithNoCase(entries_[i].Fourcc, text)) return i;
    return std::nullopt;
}

void TCodecList::SelectAll(bool selected) { std::fill(selected_.begin(), selected_.end(), selected ? 1 : 0); }

void TCodecList::SelectOnly(const std::vector<size_t>& rows) {
    SelectAll(false);
    for (size_t r : rows) Select(r);
}

size_t TCodecList::SelectedCount() const { return size_t(std::count(selected_.begin(), selected_.end(), 1)); }

std::vector<size_t> TCodecList::SelectedRows() const {
    std::vector<size_t> rows;
    for (size_t i = 0; i < selected_.size(); ++i)
        if (selected_[i]) rows.push_back(i);
    return rows;
}

void TCodecList::EndUpdate() {
    if (updateDepth_ == 0) return;
    if (--updateDepth_ == 0 && onChange_) onChange_();
}

// --- TCodecCatalogue ----------------------------------------------------------

TCodecCatalogue::TCodecCatalogue(TPreferences& prefs, TLog& log)
    : CodecVersionInfo(prefs), prefs_(prefs), log_(log) {}

void TCodecCatalogue::AddActiveEntry(TCodecEntry entry, bool ask) {
    const std::string& driver = entry.Driver;
    // The driver text as the store holds it: the version resource is looked
    // up wherever the system finds a file of that name. Codecs of one driver
    // share its texts: within a load the file is read once.
    auto known = loadVersions_.find(driver);
    if (known == loadVersions_.end()) {
        CodecVersionInfo.SetExecutableFile(driver);
        known = loadVersions_
                    .emplace(driver, std::make_shared<const TCodecVersionInfo>(CodecVersionInfo.ToCodecVersionInfo()))
                    .first;
    }
    lastLoadedDriver_ = driver;
    if (ask) {
        platform::ICINFO info = QueryCodecInfo(entry.Fourcc);
        entry.Shortname = IcInfoName(info);
        entry.Description = IcInfoDescription(info);
    }
    entry.Version = known->second->FileVersion;
    entry.Type = cType32;
    entry.VersionInfo = known->second;
    auto problem = loadProblems_.find(driver);
    if (problem == loadProblems_.end()) problem = loadProblems_.emplace(driver, DriverProblemOf(driver)).first;
    entry.Problem = problem->second;
    CodecList.Add(std::move(entry));
}

void TCodecCatalogue::LoadActive(TDriverStore& store) {
    log_.WriteLog(store.LoadStartLine());
    TUpdateGuard repaint(CodecList);
    CodecList.Clear();
    if (!prefs_.SizeEqually && prefs_.ActiveCodecHeight != 0 && progress_)
        progress_->SetActiveListHeight(prefs_.ActiveCodecHeight);
    std::optional<TProgressGuard> progress;
    Loaded.Active.clear();
    loadVersions_.clear();
    loadProblems_.clear();
    lastLoadedDriver_.reset();
    // The codec manager finds a FOURCC through the first line whose name is
    // the store's key for it; a row of another line (a second line of one
    // name, a line whose name holds more than its FOURCC shows) would be
    // given that line's names, so it asks its own driver.
    std::map<std::string, size_t> foundRows;  // store key -> the row the manager finds
    std::vector<size_t> ownDriver;
    store.VisitActiveLines(
        [&](size_t count) {
            CodecList.Reserve(count);
            progress.emplace(progress_, static_cast<int>(count));
        },
        [&](size_t i, TActiveStoreLine& line) {
            progress->Advance(static_cast<int>(i));
            if (line.Kind == TActiveStoreLine::Other) return;
            if (line.Kind == TActiveStoreLine::NotText) {
                log_.WriteLog(WithName(cLogSkipDriverEntry, line.Entry.StoredName));
                return;
            }
            Loaded.Active.push_back(SnapshotLine(line.Entry.StoredName, line.Entry.Driver));
            const std::string key = store.ActiveKey(line.Entry.Fourcc);
            const bool found = platform::AsciiLowerCase(line.Entry.StoredName) == key &&
                               foundRows.emplace(key, CodecList.Count()).second;
            // A shadowed line's FOURCC opens the winning line's driver; its
            // names are left empty rather than asked through a probe.
            if (!found && line.Entry.ShadowedBy.empty()) ownDriver.push_back(CodecList.Count());
            AddActiveEntry(std::move(line.Entry), found);
        });
    if (!ownDriver.empty()) AskOwnDrivers(store, ownDriver, foundRows);
    // The version reader ends pointed at the last entry's driver, as reading
    // each entry's file in turn leaves it.
    if (lastLoadedDriver_ && CodecVersionInfo.ExecutableFile() != *lastLoadedDriver_)
        CodecVersionInfo.SetExecutableFile(*lastLoadedDriver_);
    loadVersions_.clear();
    loadProblems_.clear();
    if (progress) progress->End();
    repaint.End();
    log_.WriteLog(store.LoadEndLine());
}

void TCodecCatalogue::AskOwnDrivers(TDriverStore& store, const std::vector<size_t>& rows,
                                    const std::map<std::string, size_t>& foundRows) {
    // The probes' registrations stay in memory and are dropped at the end.
    platform::TTransaction probes(platform::TTransaction::Scratch);
    for (size_t row : rows) {
        TCodecEntry& e = CodecList.Entry(row);
        auto owner = foundRows.find(store.ActiveKey(e.Fourcc));
        const platform::ICINFO info =
            store.ProbeEntry(e.Fourcc, e.Driver, owner == foundRows.end() ? nullptr : &CodecList.Entry(owner->second));
        e.Shortname = IcInfoName(info);
        e.Description = IcInfoDescription(info);
    }
    probes.Commit();
}

void TCodecCatalogue::FillActiveList(std::vector<TCodecEntry> entries) {
    TUpdateGuard repaint(CodecList);
    CodecList.Clear();
    loadVersions_.clear();
    loadProblems_.clear();
    for (TCodecEntry& e : entries) AddActiveEntry(std::move(e));
    loadVersions_.clear();
    loadProblems_.clear();
}

void TCodecCatalogue::LoadCodecListFromRegistry() { LoadActive(*TDriverStore::ForMode(3)); }

void TCodecCatalogue::LoadCodecListFromSystemIni() { LoadActive(*TDriverStore::ForMode(1)); }

void TCodecCatalogue::LoadActiveList() {
    if (std::unique_ptr<TDriverStore> store = Store()) LoadActive(*store);
}

void TCodecCatalogue::LoadInactiveCodecList() {
    log_.WriteLog(cLogStartInactive);
    TUpdateGuard repaint(InactiveCodecList);
    InactiveCodecList.Clear();
    inactiveComplete_ = false;
    Loaded.Inactive.clear();
    bool any = false;
    // Room for every value at once: a list grown entry by entry holds twice
    // a large store's entries at its last growth.
    const auto reserve = [&](size_t count) {
        InactiveCodecList.Reserve(count);
        Loaded.Inactive.reserve(count);
    };
    TDriverStore::InactiveOnly()->VisitInactiveLines(reserve, [&](TInactiveStoreLine& line) {
        any = true;
        if (line.Kind == TInactiveStoreLine::NotBinary) {
            log_.WriteLog(WithName(cLogSkipInactiveEntry, line.Entry.StoredName));
            return;
        }
        // Shown with what could be read, marked, so that it can be removed.
        if (line.Kind == TInactiveStoreLine::Malformed) log_.WriteLog(line.Entry.Malformed);
        else if (line.Kind != TInactiveStoreLine::Numbered) return;
        Loaded.Inactive.push_back(SnapshotLine(line.Entry.StoredName, line.Data));
        InactiveCodecList.Add(std::move(line.Entry));
    });
    inactiveComplete_ = true;
    // Nothing ever deactivated: no closing log line.
    if (!any) return;
    repaint.End();
    log_.WriteLog(cLogEndInactive);
}

std::optional<size_t> TCodecCatalogue::FirstMalformedInactive() const {
    for (size_t i = 0; i < InactiveCodecList.Count(); ++i)
        if (!InactiveCodecList.Entry(i).Malformed.empty()) return i;
    return std::nullopt;
}

}  // namespace tarnel
