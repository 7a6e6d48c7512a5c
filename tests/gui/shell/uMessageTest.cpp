#include "gui/shell/uMessage.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>

#include "gui/shell/GuiTestSupport.h"
#include "support/TempMachine.h"

namespace tarnel {
namespace {

TEST(uMessage, ShowsTheTextAndFreesItselfOnOk) {
    test::TempMachine machine;
    QWidget mainWindow;
    mainWindow.setGeometry(200, 150, 900, 700);
    mainWindow.show();

    // Program texts are Windows-1252: 0xE9 is an e with an acute accent.
    const std::string text = "Caf\xE9 codec <b>not</b> found";
    QPointer<TfMessage> seen;
    QString shown;
    QPoint centre;
    test::WhenModal<TfMessage>([&](TfMessage* dlg) {
        seen = dlg;
        shown = dlg->MessageLabel->text();
        centre = dlg->frameGeometry().center();
        QTest::mouseClick(dlg->OkButton, Qt::LeftButton);
    });
    ShowMessageDialog(text, &mainWindow);

    EXPECT_EQ(shown, QString::fromUtf8("Caf\u00e9 codec <b>not</b> found"));
    EXPECT_TRUE(seen.isNull()) << "the dialog outlived its closing";
    // Within a few pixels: the dialog's frame is not known before it shows.
    EXPECT_LE((centre - mainWindow.frameGeometry().center()).manhattanLength(), 6);
}

TEST(uMessage, LongMessageStaysOnOneClippedLine) {
    test::TempMachine machine;
    TfMessage dlg;
    const std::string text(300, 'W');
    dlg.SetMessage(text);
    dlg.show();
    QCoreApplication::processEvents();

    const QLabel* label = dlg.MessageLabel;
    const QRect panel = dlg.DeviceServicePanel->contentsRect();
    ASSERT_GT(label->fontMetrics().horizontalAdvance(label->text()), panel.width()) << "text not long enough";
    // The label keeps the panel's size: nothing grows, nothing wraps, and
    // one line's height is all it has room for.
    EXPECT_EQ(label->geometry(), panel);
    EXPECT_FALSE(label->wordWrap());
    EXPECT_LT(label->height(), 2 * label->fontMetrics().height());
    EXPECT_EQ(label->text().toStdString(), text);
    EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(label->alignment() & Qt::AlignVCenter);
}

}  // namespace
}  // namespace tarnel
