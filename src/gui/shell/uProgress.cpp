#include "gui/shell/uProgress.h"

#include "core/shell/uConst.h"
#include "core/shell/uGlobal.h"

namespace tarnel {

TfProgress::TfProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("fProgress");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(ToQ(cProgramTitle));
    setFixedSize(457, 79);
    setFont(DesignFont("MS Sans Serif", 11));

    Panel5 = new THeaderBand(QString(), QString(), {40, 8}, {80, 24}, this);
    Panel5->setObjectName("Panel5");
    Panel5->setGeometry(0, 0, width(), 49);
    Label2 = Panel5->Label2;
    HelpLabel = Panel5->HelpLabel;
    // The texts arrive after creation: give the labels a line's height.
    for (QLabel* l : {Label2, HelpLabel}) l->resize(l->width(), l->fontMetrics().height());
    FitBandLabels(Panel5);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, 49, width(), height() - 49);

    ProgressBar = new QProgressBar(Panel1);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setAccessibleName(QStringLiteral("Progress"));
    ProgressBar->setGeometry(12, 10, 405, 10);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);

    PercentLabel = new QLabel(ToQ(cPercentSign), Panel1);
    PercentLabel->setObjectName("PercentLabel");
    PercentLabel->move(432, 9);
    PercentLabel->resize(width() - 432, PercentLabel->fontMetrics().height());

    // Centred on the desktop, whoever the parent is.
    CentreWindow(this, nullptr);
}

void TfProgress::SetProgress(int position) { SetProgress(position, CalcPercentage(position, ProgressBar->maximum())); }

void TfProgress::SetProgress(int position, int percent) {
    ProgressBar->setValue(position);
    PercentLabel->setText(QString::number(percent) + ToQ(cPercentSign));
    // The label sits at 432 as designed; where the machine's substitute font
    // makes "100%" wider than the 25 pixels left there, it moves left into
    // the gap after the bar rather than being cut at the window's edge.
    const int textWidth = PercentLabel->fontMetrics().horizontalAdvance(PercentLabel->text());
    const int left = qMax(ProgressBar->geometry().right() + 2, qMin(432, Panel1->width() - 1 - textWidth));
    PercentLabel->setGeometry(left, 9, Panel1->width() - left, PercentLabel->height());
    PaintNow(this);
}

}  // namespace tarnel
