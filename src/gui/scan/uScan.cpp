#include "gui/scan/uScan.h"

#include "core/shell/uConst.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/scan/uFound.h"
#include "gui/shell/uMain.h"

namespace tarnel {

// --- TScanProgressWindow -----------------------------------------------------------

TScanProgressWindow::~TScanProgressWindow() {
    if (window_) window_->close();
}

void TScanProgressWindow::OpenBar(int maximum) {
    window_ = new TfProgress(nullptr);
    window_->Label2->setText(ToQ(cProgressScanning));
    window_->ProgressBar->setMaximum(maximum);
    window_->show();
    PaintNow(window_);
}

void TScanProgressWindow::ShowBar(int value, int percent) {
    if (window_) window_->SetProgress(value, percent);
}

void TScanProgressWindow::CloseBar() {
    if (window_) window_->close();
    window_ = nullptr;
}

// --- The scan command ------------------------------------------------------------------

void TfNTCodecs::ScanCodecsformoreFOURCCs1Click() {
    // The first selected row from the top is the codec scanned.
    const std::vector<size_t> rows = catalogue_.CodecList.SelectedRows();
    if (rows.empty()) return;
    TScanOutcome outcome;
    try {
        TScanProgressWindow progress;
        outcome = operations_.Scan(rows.front(), &progress);
    } catch (const std::exception& e) {
        // A driver file that cannot be read, or a probe that cannot write
        // its entry, ends the scan where it stands. Shown here rather than
        // left to the event loop: an exception may not cross Qt's signals.
        TApplication::ShowException(e);
        return;
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
            QPointer<TfFound> dialog = new TfFound(main_, catalogue_.InactiveCodecList);
            dialog->SetRows(std::move(outcome.Found));
            dialog->exec();
            if (dialog) delete dialog.data();
            ShowResult(operations_.SaveAfterScan(outcome));
            break;
        }
    }
    operations_.EndScan();
}

}  // namespace tarnel
