// The DirectShow window: never shown by itself; its panel, the header band
// above the list of registered filters, moves into the main window's second
// tab. Filled once at start-up; a click on a column header sorts by it, a
// second click on the same header reverses.
#pragma once

#include <vector>

#include "core/catalogue/FileVersionInfo.h"
#include "core/directshow/FilterList.h"
#include "win/shell/WinCommon.h"

namespace tarnel::win {

class TfMain;

class TfDirectShow : public TWindowHandler {
public:
    explicit TfDirectShow(TfMain& main);
    ~TfDirectShow() override;
    TfDirectShow(const TfDirectShow&) = delete;
    TfDirectShow& operator=(const TfDirectShow&) = delete;

    HWND Form = nullptr;
    HWND DirectShowPanel = nullptr;
    HWND Panel5 = nullptr;
    HWND DirectShowFilterList = nullptr;
    TFileVersionInfo DS_FileVersionInfo;

    void FormCreate();
    void FillFilterListView();
    void DirectShowFilterListColumnClick(int column);
    void DirectShowFilterListResize();

    // The rows in the order shown.
    const std::vector<TFilterRow>& Rows() const { return rows_; }
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }

    LRESULT HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Layout();
    int WidestFilterText() const;
    TfMain& main_;
    std::vector<TFilterRow> rows_;
    int sortColumn_ = -1;
    bool ascending_ = true;
    int filterColumnWidth_ = -1;
    TFont font_;
};

extern TfDirectShow* fDirectShow;

}  // namespace tarnel::win
