// The two codec lists: entries with their selection, and the catalogue that
// loads them from the driver store. The windows draw these lists (their
// texts come from CodecView.h); every operation edits them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/catalogue/CodecEntry.h"
#include "core/catalogue/DriverStore.h"
#include "core/catalogue/FileVersionInfo.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uPrefs.h"

namespace tarnel {

// One list's entries in list order, and which of them are selected.
// BeginUpdate/EndUpdate bracket a batch of changes during which the view
// does not repaint; the change listener runs when the outermost batch ends.
class TCodecList {
public:
    size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    const TCodecEntry& Entry(size_t i) const { return entries_.at(i); }
    TCodecEntry& Entry(size_t i) { return entries_.at(i); }
    const std::vector<TCodecEntry>& Entries() const { return entries_; }
    // The entries to change in place; the list keeps its length and order.
    std::span<TCodecEntry> Entries() { return entries_; }

    // Appends an entry, not selected.
    TCodecEntry& Add(TCodecEntry entry = {});
    void Delete(size_t i);
    // Removes the rows at the given positions (ascending, no repeats).
    void Delete(const std::vector<size_t>& rows);
    void Clear();
    void Reserve(size_t count);
    // Reorders the entries by `less`, keeping the order of equal ones; the
    // selection moves with its entries.
    void Sort(const std::function<bool(const TCodecEntry&, const TCodecEntry&)>& less);

    // The list's caption search: the first row from `start`, without
    // wrapping, whose FOURCC begins with `text` (ASCII case ignored).
    std::optional<size_t> FindCaption(const std::string& text, size_t start = 0) const;

    bool Selected(size_t i) const { return selected_.at(i) != 0; }
    void Select(size_t i, bool selected = true) { selected_.at(i) = selected ? 1 : 0; }
    void SelectAll(bool selected);
    // Exactly these rows are selected.
    void SelectOnly(const std::vector<size_t>& rows);
    size_t SelectedCount() const;
    // The selected rows' positions, top to bottom.
    std::vector<size_t> SelectedRows() const;

    void BeginUpdate() { ++updateDepth_; }
    void EndUpdate();
    bool Updating() const { return updateDepth_ > 0; }
    void SetChangeListener(std::function<void()> listener) { onChange_ = std::move(listener); }

private:
    std::vector<TCodecEntry> entries_;
    std::vector<char> selected_;
    int updateDepth_ = 0;
    std::function<void()> onChange_;
};

// What a load shows of itself. The window decides where: the splash
// screen during start-up, a progress window afterwards.
class TLoadProgress {
public:
    virtual ~TLoadProgress() = default;
    virtual void Start(int max) = 0;
    // Called for every store entry, skipped ones included: i entries done.
    virtual void Advance(int i) = 0;
    virtual void End() = 0;
    // Called before the store is read, when the settings ask for the saved
    // height of the active list (SizeEqually clear, ActiveCodecHeight set).
    virtual void SetActiveListHeight(int height) {}
};

// The catalogue of the codec window: both lists, the version reader they
// share, and the loaders.
class TCodecCatalogue {
public:
    TCodecCatalogue(TPreferences& prefs, TLog& log);

    TCodecList CodecList;          // active codecs
    TCodecList InactiveCodecList;  // inactive codecs
    // The store's entries behind the two lists, as the loads read them: a
    // save writes nothing when the store no longer holds these.
    TStoreSnapshot Loaded;
    TFileVersionInfo CodecVersionInfo;

    // Where loads report progress; none when null.
    void SetProgress(TLoadProgress* progress) { progress_ = progress; }

    // The driver store CodecStoreMode selects; null on a system the program
    // does not support, whose lists are not from a store.
    std::unique_ptr<TDriverStore> Store() const { return TDriverStore::ForMode(prefs_.CodecStoreMode); }

    void LoadCodecListFromRegistry();
    void LoadCodecListFromSystemIni();
    // A numbered entry with fewer than six texts becomes a row too, with
    // what could be read of it and, in Malformed, what is wrong (logged).
    void LoadInactiveCodecList();
    // Reloads the active list from the store CodecStoreMode selects; nothing
    // (not even a log line) on a system the program does not support.
    void LoadActiveList();

    // False after an inactive load that stopped at an error: the list then
    // misses stored entries, and writing it back would drop them.
    bool InactiveListComplete() const { return inactiveComplete_; }
    // The first inactive row the store holds in a form that cannot be read
    // whole; none when there is none. Such a list is not written back.
    std::optional<size_t> FirstMalformedInactive() const;

    TPreferences& Prefs() { return prefs_; }
    const TPreferences& Prefs() const { return prefs_; }
    TLog& Log() { return log_; }

    // Replaces the active list by `entries`, each completed as the loaders
    // complete one from its FOURCC and driver: the codec is asked for its
    // names through the live store, the driver file for its version and
    // whether it loads.
    void FillActiveList(std::vector<TCodecEntry> entries);

private:
    void LoadActive(TDriverStore& store);
    // `ask`: the codec is asked for its names through the live store.
    void AddActiveEntry(TCodecEntry entry, bool ask = true);
    // The names of these rows, asked of each row's own driver: the codec
    // manager would answer for them through another line of the store.
    void AskOwnDrivers(TDriverStore& store, const std::vector<size_t>& rows,
                       const std::map<std::string, size_t>& foundRows);

    TPreferences& prefs_;
    TLog& log_;
    TLoadProgress* progress_ = nullptr;
    // What each driver text read during the load under way gave.
    std::map<std::string, std::shared_ptr<const TCodecVersionInfo>> loadVersions_;
    std::map<std::string, TDriverProblem> loadProblems_;
    std::optional<std::string> lastLoadedDriver_;
    bool inactiveComplete_ = true;
};

}  // namespace tarnel
