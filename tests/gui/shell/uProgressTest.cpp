#include "gui/shell/uProgress.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "gui/shell/GuiCommon.h"

#include "support/TempMachine.h"

namespace tarnel {
namespace {

TEST(uProgress, PercentLabelFollowsThePosition) {
    test::TempMachine machine;
    TfProgress progress;
    progress.setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_EQ(progress.PercentLabel->text(), "%");

    progress.ProgressBar->setMaximum(3);
    const char* expected[] = {"0%", "33%", "66%", "100%"};
    for (int position = 0; position <= 3; ++position) {
        progress.SetProgress(position);
        EXPECT_EQ(progress.PercentLabel->text(), expected[position]) << position;
        EXPECT_EQ(progress.ProgressBar->value(), position);
    }
    // Nothing to do at all is 0%, not a division by zero.
    progress.ProgressBar->setMaximum(0);
    progress.SetProgress(0);
    EXPECT_EQ(progress.PercentLabel->text(), "0%");
    // The widest text shows whole, inside the window and clear of the bar.
    progress.ProgressBar->setMaximum(250);
    progress.SetProgress(250);
    EXPECT_EQ(progress.PercentLabel->text(), "100%");
    const QLabel* percent = progress.PercentLabel;
    EXPECT_GE(percent->width(), percent->fontMetrics().horizontalAdvance("100%"));
    EXPECT_LE(percent->geometry().right(), progress.Panel1->width() - 1);
    EXPECT_GT(percent->x(), progress.ProgressBar->geometry().right());
}

TEST(uProgress, ShowsItsTaskCentredAndFreesItselfWhenClosed) {
    test::TempMachine machine;
    QWidget mainWindow;
    mainWindow.setGeometry(0, 0, 300, 200);
    QPointer<TfProgress> progress = new TfProgress(&mainWindow);
    progress->Label2->setText("Loading and Querying Registry Codec List");
    progress->ProgressBar->setMaximum(40);
    progress->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(progress));

    // The task text is set after creation and must show whole.
    const QLabel* task = progress->Label2;
    EXPECT_GE(task->width(), task->fontMetrics().horizontalAdvance(task->text()));
    // Centred on the desktop, not on the (off-centre) parent; within a few
    // pixels, as the frame is not known before the window shows.
    const QPoint screenCentre = progress->screen()->availableGeometry().center();
    EXPECT_LE((progress->frameGeometry().center() - screenCentre).manhattanLength(), 6);

    progress->SetProgress(10);
    progress->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(progress.isNull());
}

// The progress windows and the splash screen are painted at once: a window
// just shown is painted by its exposure alone, one already shown when asked.
TEST(PaintNow, PaintsAWindowJustShownOnceAndAShownOneWhenAsked) {
    struct TCountsPaints : QWidget {
        int Paints = 0;
        void paintEvent(QPaintEvent*) override { ++Paints; }
    } window;
    window.resize(200, 100);
    window.show();
    PaintNow(&window);
    ASSERT_TRUE(window.windowHandle() && window.windowHandle()->isExposed());
    EXPECT_EQ(window.Paints, 1);
    PaintNow(&window, QRect(0, 0, 10, 10));
    EXPECT_EQ(window.Paints, 2);
    // A hidden window is neither waited for nor painted.
    window.hide();
    PaintNow(&window);
    EXPECT_EQ(window.Paints, 2);
}

}  // namespace
}  // namespace tarnel
