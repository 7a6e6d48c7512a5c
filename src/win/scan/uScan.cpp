#include "win/scan/uScan.h"

#include "core/shell/uConst.h"
#include "win/catalogue/uNTCodecs.h"
#include "win/scan/uFound.h"
#include "win/shell/uMain.h"

namespace tarnel::win {

// --- TScanProgressWindow ---------------------------------------------------------------

void TScanProgressWindow::OpenBar(int maximum) {
    window_ = std::make_unique<TfProgress>();
    window_->SetTask(cProgressScanning);
    window_->SetMaximum(maximum);
    window_->Show();
}

void TScanProgressWindow::ShowBar(int value, int percent) {
    if (window_) window_->SetProgress(value, percent);
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
