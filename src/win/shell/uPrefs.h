// The preferences dialog: the five flags and the program font of the
// settings record. OK copies the controls into the record in memory and
// applies the font at once; nothing reaches the registry before quitting.
#pragma once

#include <string>
#include <vector>

#include "win/shell/WinCommon.h"

namespace tarnel::win {

class TfMain;

class TfPreferences : public TDialogHandler {
public:
    explicit TfPreferences(TfMain& main) : main_(main) {}
    // IDOK or IDCANCEL.
    INT_PTR ShowModal();

    // Handlers.
    void FormCreate();
    void FontSizeSpinChange();
    void FontBoxChange();
    void OkButtonClick();
    void CancelButtonClick();

    // What the sample shows: its font's family and size in points.
    std::wstring PreviewFamily() const { return previewFamily_; }
    int PreviewSize() const { return previewSize_; }
    int SpinValue() const;
    const std::vector<std::string>& FontEntries() const { return entries_; }

    INT_PTR HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void ShowPreview();
    TfMain& main_;
    std::vector<std::string> entries_;
    std::wstring previewFamily_ = L"MS Sans Serif";
    int previewSize_ = 10;  // -13 pixels at 96 dots per inch
    bool opening_ = false;
    TFont previewFont_;
};

}  // namespace tarnel::win
