#include "win/scan/uScan.h"

#include <climits>

#include "core/shell/uConst.h"
#include "win/catalogue/uNTCodecs.h"
#include "win/scan/uFound.h"
#include "win/shell/uMain.h"

namespace tarnel::win {

// --- TScanProgressWindow ---------------------------------------------------------------

int TScanProgressWindow::BarShift(uint64_t size) {
    int shift = 0;
    while ((size >> shift) > uint64_t(INT_MAX)) ++shift;
    return shift;
}

void TScanProgressWindow::Start(uint64_t size) {
    size_ = size;
    shift_ = BarShift(size);
    pending_ = false;
    throttle_ = TRepaintThrottle();
    window_ = std::make_unique<TfProgress>();
    window_->SetTask(cProgressScanning);
    window_->SetMaximum(int(size >> shift_));
    window_->Show();
}

// Marker bytes can come by the hundred thousand: the window is painted at
// once, but not more than about 30 times a second, and always with the
// position just reached.
void TScanProgressWindow::Advance(uint64_t position, int percent) {
    position_ = position;
    percent_ = percent;
    pending_ = true;
    if (throttle_.Due(position >= size_)) Show();
}

void TScanProgressWindow::End() {
    // The last position is shown even when the throttle held it back.
    if (pending_) Show();
    window_.reset();
}

void TScanProgressWindow::Show() {
    pending_ = false;
    if (window_) window_->SetProgress(int(position_ >> shift_), percent_);
}

// --- The scan command ----------------------------------------------------------------------

void TfNTCodecs::ScanCodecsformoreFOURCCs1Click() {
    // The first selected row from the top is the codec scanned.
    const std::vector<size_t> rows = catalogue_.CodecList.SelectedRows();
    if (rows.empty()) return;
    TScanOutcome outcome;
    {
        // A driver file that cannot be read, or a probe that cannot write its
        // entry, ends the scan where it stands; the error is shown as any
        // command's is, after the progress window went.
        TScanProgressWindow progress;
        outcome = operations_.Scan(rows.front(), &progress);
    }
    switch (outcome.Kind) {
        case TScanOutcome::NothingSelected: return;
        case TScanOutcome::EmptyFile:
            // Nothing was loaded, so nothing is freed.
            main_.ShowSystemMessage(cMsgMemoryError, TMessageKind::Error);
            return;
        case TScanOutcome::NothingFound:
            main_.ShowSystemMessage(cMsgNoFourccs);
            break;
        case TScanOutcome::FoundSome: {
            TfFound dialog(main_, catalogue_.InactiveCodecList);
            dialog.SetRows(std::move(outcome.Found));
            dialog.ShowModal();
            ShowResult(operations_.SaveAfterScan(outcome));
            break;
        }
    }
    operations_.EndScan();
}

}  // namespace tarnel::win
