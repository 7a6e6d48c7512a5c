#include "core/catalogue/CodecLists.h"

#include "core/catalogue/DriverCheck.h"

#include <algorithm>

#include "core/catalogue/DriverStore.h"
#include "platform/api/Ansi.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "core/shell/uConst.h"

namespace tarnel {

const TColumnLayout cActiveColumns[6] = {
    {cColFourcc, 50}, {cColDriver, 90}, {cColShortname, 90},
    {cColDescription, 270}, {cColVersion, 90}, {cColType, 0}};
const TColumnLayout cInactiveColumns[7] = {
    {cColFourcc, 50}, {cColDriver, 90}, {cColShortname, 90}, {cColDescription, 270},
    {cColVersion, 90}, {cColNumber, 0}, {cColType, 0}};

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

// --- TCodecRow / TCodecList ---------------------------------------------------

const std::string& TCodecRow::Cell(size_t column) const {
    static const std::string empty;
    return column < SubItems.size() ? SubItems[column] : empty;
}

TCodecRow& TCodecList::Add() {
    rows_.emplace_back();
    return rows_.back();
}

void TCodecList::Delete(size_t i) {
    if (i < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(i));
}

void TCodecList::Clear() { rows_.clear(); }

std::optional<size_t> TCodecList::FindCaption(const std::string& text, size_t start) const {
    for (size_t i = start; i < rows_.size(); ++i)
        if (platform::StartsWithNoCase(rows_[i].Caption, text)) return i;
    return std::nullopt;
}

size_t TCodecList::SelectedCount() const {
    size_t n = 0;
    for (const TCodecRow& r : rows_) n += r.Selected ? 1 : 0;
    return n;
}

void TCodecList::SelectAll(bool selected) {
    for (TCodecRow& r : rows_) r.Selected = selected;
}

void TCodecList::EndUpdate() {
    if (updateDepth_ == 0) return;
    if (--updateDepth_ == 0 && onChange_) onChange_();
}

// --- TCodecCatalogue ----------------------------------------------------------

TCodecCatalogue::TCodecCatalogue(TPreferences& prefs, TLog& log)
    : CodecVersionInfo(prefs), prefs_(prefs), log_(log) {}

void TCodecCatalogue::AddActiveRow(const std::string& fourcc, const std::string& driver) {
    TCodecRow row;
    row.Caption = fourcc;
    row.SubItems.resize(acCount);
    row.SubItems[acDriver] = driver;
    // The driver text as the store holds it: the version resource is looked
    // up wherever the system finds a file of that name. Codecs of one driver
    // share its texts: within a load the file is read once.
    auto known = loadVersions_.find(driver);
    if (known == loadVersions_.end()) {
        CodecVersionInfo.SetExecutableFile(driver);
        known = loadVersions_.emplace(driver, CodecVersionInfo.ToCodecVersionInfo()).first;
    }
    lastLoadedDriver_ = driver;
    platform::ICINFO info = QueryCodecInfo(fourcc);
    row.SubItems[acShortname] = IcInfoName(info);
    row.SubItems[acDescription] = IcInfoDescription(info);
    row.SubItems[acVersion] = known->second.FileVersion;
    row.SubItems[acType] = cType32;
    row.VersionInfo = known->second;
    auto problem = loadProblems_.find(driver);
    if (problem == loadProblems_.end()) problem = loadProblems_.emplace(driver, DriverProblemOf(driver).Text).first;
    row.Problem = problem->second;
    CodecList.Rows().push_back(std::move(row));
}

void TCodecCatalogue::BeginActiveLoad() {
    CodecList.Clear();
    if (!prefs_.SizeEqually && prefs_.ActiveCodecHeight != 0 && progress_)
        progress_->SetActiveListHeight(prefs_.ActiveCodecHeight);
}

void TCodecCatalogue::LoadActive(int32_t storeMode, const char* startLine, const char* endLine) {
    log_.WriteLog(startLine);
    TUpdateGuard repaint(CodecList);
    BeginActiveLoad();
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(storeMode);
    std::optional<TProgressGuard> progress;
    Loaded.Active.clear();
    loadVersions_.clear();
    loadProblems_.clear();
    lastLoadedDriver_.reset();
    store->VisitActiveEntries(
        [&](size_t count) { progress.emplace(progress_, static_cast<int>(count)); },
        [&](size_t i, const TActiveStoreEntry& entry) {
            progress->Advance(static_cast<int>(i));
            if (entry.Info.Kind.empty()) return;
            if (!entry.IsText) {
                log_.WriteLog(WithName(cLogSkipDriverEntry, entry.Name));
                return;
            }
            Loaded.Active.push_back(SnapshotLine(entry.Name, entry.Driver));
            AddActiveRow(entry.Info.Fourcc, entry.Driver);
        });
    // The version reader ends pointed at the last row's driver, as reading
    // each row's file in turn leaves it.
    if (lastLoadedDriver_ && CodecVersionInfo.ExecutableFile() != *lastLoadedDriver_)
        CodecVersionInfo.SetExecutableFile(*lastLoadedDriver_);
    loadVersions_.clear();
    loadProblems_.clear();
    if (progress) progress->End();
    repaint.End();
    log_.WriteLog(endLine);
}

void TCodecCatalogue::LoadCodecListFromRegistry() { LoadActive(3, cLogStartRegistry, cLogEndRegistry); }

void TCodecCatalogue::LoadCodecListFromSystemIni() { LoadActive(1, cLogStartSystemIni, cLogEndSystemIni); }

void TCodecCatalogue::LoadInactiveCodecList() {
    log_.WriteLog(cLogStartInactive);
    TUpdateGuard repaint(InactiveCodecList);
    InactiveCodecList.Clear();
    inactiveComplete_ = false;
    Loaded.Inactive.clear();
    bool any = false;
    TDriverStore::InactiveOnly()->VisitInactiveEntries([&](const TInactiveStoreEntry& e) {
        any = true;
        if (e.Kind == TInactiveStoreEntry::NotBinary) {
            log_.WriteLog(WithName(cLogSkipInactiveEntry, e.Name));
            return;
        }
        if (e.Kind != TInactiveStoreEntry::Entry) return;
        Loaded.Inactive.push_back(SnapshotLine(e.Name, e.Data));
        const TInactiveCodecInfo& rec = e.Record;
        TCodecRow& row = InactiveCodecList.Add();
        row.Caption = rec.Fourcc;
        row.SubItems.resize(icCount);
        row.SubItems[icDriver] = rec.Driver;
        row.SubItems[icShortname] = rec.Shortname;
        row.SubItems[icDescription] = rec.Description;
        row.SubItems[icVersion] = rec.Version;
        row.SubItems[icNumber] = rec.Number;
        row.SubItems[icType] = rec.Type;
    });
    inactiveComplete_ = true;
    // Nothing ever deactivated: no closing log line.
    if (!any) return;
    repaint.End();
    log_.WriteLog(cLogEndInactive);
}

void TCodecCatalogue::RefreshClick() {
    if (UsesProfileStore(prefs_.CodecStoreMode))
        LoadCodecListFromSystemIni();
    else if (UsesRegistryStore(prefs_.CodecStoreMode))
        LoadCodecListFromRegistry();
}

std::string TCodecCatalogue::ActiveCountText() const {
    return cActiveCount + std::to_string(CodecList.Count());
}

std::string TCodecCatalogue::InactiveCountText() const {
    return cInactiveCount + std::to_string(InactiveCodecList.Count());
}

}  // namespace tarnel
