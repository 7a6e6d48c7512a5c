// The two codec lists as data: the rows the codec window shows (all cells
// are texts) with their selection, their loaders from the driver stores,
// and the refresh. The window draws these lists; every operation edits them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/catalogue/DriverStore.h"
#include "core/catalogue/FileVersionInfo.h"
#include "core/catalogue/uCodecs.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uPrefs.h"

namespace tarnel {

// Sub-item positions of an active row (the caption is the FOURCC).
enum TActiveColumn : size_t {
    acDriver = 0, acShortname = 1, acDescription = 2, acVersion = 3, acType = 4,
    acCount = 5
};
// Sub-item positions of an inactive row.
enum TInactiveColumn : size_t {
    icDriver = 0, icShortname = 1, icDescription = 2, icVersion = 3, icNumber = 4, icType = 5,
    icCount = 6
};

// Header text and width of one column; width 0 is a hidden column.
struct TColumnLayout {
    const char* Caption;
    int Width;
};
extern const TColumnLayout cActiveColumns[6];
extern const TColumnLayout cInactiveColumns[7];

struct TCodecRow {
    std::string Caption;                           // the FOURCC, as the list shows it
    std::vector<std::string> SubItems;             // the columns after the caption
    bool Selected = false;
    std::optional<TCodecVersionInfo> VersionInfo;  // active rows only
    // Active rows: why the codec manager could not load the driver
    // ("Driver file not found: ..."), empty when it could.
    std::string Problem;

    // A missing sub-item reads as empty.
    const std::string& Cell(size_t column) const;
};

// One list view's rows. BeginUpdate/EndUpdate bracket a batch of changes
// during which the view does not repaint; the change listener runs when
// the outermost batch ends.
class TCodecList {
public:
    size_t Count() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }
    TCodecRow& Row(size_t i) { return rows_.at(i); }
    const TCodecRow& Row(size_t i) const { return rows_.at(i); }
    std::vector<TCodecRow>& Rows() { return rows_; }
    const std::vector<TCodecRow>& Rows() const { return rows_; }

    TCodecRow& Add();
    void Delete(size_t i);
    void Clear();

    // The list's caption search: the first row from `start`, without
    // wrapping, whose caption begins with `text` (ASCII case ignored).
    std::optional<size_t> FindCaption(const std::string& text, size_t start = 0) const;

    size_t SelectedCount() const;
    void SelectAll(bool selected);

    void BeginUpdate() { ++updateDepth_; }
    void EndUpdate();
    bool Updating() const { return updateDepth_ > 0; }
    void SetChangeListener(std::function<void()> listener) { onChange_ = std::move(listener); }

private:
    std::vector<TCodecRow> rows_;
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

    void LoadCodecListFromRegistry();
    void LoadCodecListFromSystemIni();
    // Throws EStoreFormatError for a numbered entry with fewer than six
    // texts; the rows before it stay and InactiveListComplete() turns false.
    void LoadInactiveCodecList();
    // Reloads the active list from the store CodecStoreMode selects.
    void RefreshClick();

    // False after an inactive load that stopped at a bad entry: the list
    // then misses stored entries, and writing it back would drop them.
    bool InactiveListComplete() const { return inactiveComplete_; }

    std::string ActiveCountText() const;
    std::string InactiveCountText() const;

    TPreferences& Prefs() { return prefs_; }
    const TPreferences& Prefs() const { return prefs_; }
    TLog& Log() { return log_; }

    // Appends one active row built as the loaders build it from a driver
    // entry (FOURCC and driver text): the codec is asked for its names
    // through the live store, the driver file for its version.
    void AddActiveRow(const std::string& fourcc, const std::string& driver);

private:
    void BeginActiveLoad();
    void LoadActive(int32_t storeMode, const char* startLine, const char* endLine);

    TPreferences& prefs_;
    TLog& log_;
    TLoadProgress* progress_ = nullptr;
    // The version texts of each driver text read during the load under way.
    std::map<std::string, TCodecVersionInfo> loadVersions_;
    std::map<std::string, std::string> loadProblems_;
    std::optional<std::string> lastLoadedDriver_;
    bool inactiveComplete_ = true;
};

}  // namespace tarnel
