// The found-FOURCC dialog: the FOURCCs a scan proved for a driver file, from
// which the user adds chosen ones to the codec window's inactive list. It
// never writes the store; the scan saves both lists once it has closed.
#pragma once

#include <vector>

#include "core/catalogue/CodecLists.h"
#include "core/scan/FourccScan.h"
#include "win/shell/WinCommon.h"

namespace tarnel::win {

class TfMain;

class TfFound : public TDialogHandler {
public:
    // `inactive` is the codec window's inactive list, which the add button
    // appends to. Centred on the main window.
    TfFound(TfMain& main, TCodecList& inactive) : main_(main), inactive_(inactive) {}

    // The rows to show, none selected.
    void SetRows(std::vector<TFoundRow> rows);
    const std::vector<TFoundRow>& Rows() const { return rows_; }
    INT_PTR ShowModal();

    // Handlers.
    COLORREF FoundListCustomDrawItem(size_t row) const;
    void FoundListSelectItem();
    void AddFourccButtonClick();
    void ExitButtonClick();

    INT_PTR HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Layout();
    TfMain& main_;
    TCodecList& inactive_;
    std::vector<TFoundRow> rows_;
    TFont listFont_;
};

}  // namespace tarnel::win
