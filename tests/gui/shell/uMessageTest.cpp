#include "gui/shell/uMessage.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
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

TEST(uMessage, ShortMessageKeepsTheDesignAndALongOneWrapsWithinTheScreen) {
    test::TempMachine machine;
    TfMessage dlg;
    dlg.SetMessage("Nothing selected, please choose something!");
    EXPECT_EQ(dlg.size(), QSize(525, 146));
    EXPECT_EQ(dlg.DeviceServicePanel->geometry(), QRect(104, 64, 409, 33));

    // A path without blanks is longer than the screen is wide.
    const std::string path = "C:\\WINDOWS\\system32\\" + std::string(400, 'x') + ".dll";
    const std::string text = "Cannot read file " + path + ". The file is locked by another program.";
    dlg.SetMessage(text, TMessageKind::Error);
    dlg.show();
    QCoreApplication::processEvents();
    const QRect screen = dlg.screen()->availableGeometry();
    EXPECT_GT(dlg.width(), 525) << "the dialog grows";
    EXPECT_LE(dlg.frameGeometry().width(), screen.width());
    EXPECT_TRUE(screen.contains(dlg.frameGeometry())) << "whole on the screen";
    const TMessageText* label = dlg.MessageLabel;
    EXPECT_EQ(label->text().toStdString(), text) << "nothing cut off";
    EXPECT_GT(label->document()->size().height(), 2 * label->fontMetrics().lineSpacing()) << "wrapped";
    EXPECT_LE(label->document()->size().height(), label->viewport()->height() + 1) << "every line shows";
    EXPECT_LT(dlg.DeviceServicePanel->height(), label->document()->size().height() + label->fontMetrics().lineSpacing())
        << "and no more room than that";
    EXPECT_LE(label->geometry().bottom(), dlg.DeviceServicePanel->contentsRect().bottom());
    EXPECT_GT(dlg.OkButton->geometry().top(), dlg.DeviceServicePanel->geometry().bottom()) << "below the text";
    EXPECT_LE(dlg.OkButton->geometry().bottom(), dlg.height());
}

TEST(uMessage, IconSaysTheKindAndTheTextIsSelectableButNotEditable) {
    test::TempMachine machine;
    TfMessage dlg;
    auto iconOf = [&](QStyle::StandardPixmap which) {
        return dlg.style()->standardIcon(which, nullptr, &dlg).pixmap(32, 32).toImage();
    };
    dlg.SetMessage("Failed to set data for 'x'", TMessageKind::Error);
    EXPECT_EQ(dlg.QuestionImage->pixmap().toImage(), iconOf(QStyle::SP_MessageBoxCritical));
    EXPECT_EQ(dlg.QuestionImage->accessibleName(), "Error");
    dlg.SetMessage("No FOURCC's found in codec.");
    EXPECT_EQ(dlg.QuestionImage->pixmap().toImage(), iconOf(QStyle::SP_MessageBoxInformation));
    EXPECT_NE(iconOf(QStyle::SP_MessageBoxCritical), iconOf(QStyle::SP_MessageBoxInformation));

    dlg.SetMessage("Invalid data type for 'FriendlyName' (key HKEY_CLASSES_ROOT\\CLSID)", TMessageKind::Error);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    TMessageText* label = dlg.MessageLabel;
    EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    QGuiApplication::clipboard()->clear();
    // Ctrl+C away from the text takes the whole message.
    dlg.OkButton->setFocus();
    QTest::keyClick(dlg.OkButton, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), label->text());
    // In the text, the selection.
    label->setFocus();
    QTextCursor cursor = label->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(12, QTextCursor::KeepAnchor);
    label->setTextCursor(cursor);
    QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Invalid data");
    QTest::keyClicks(label, "typed");
    QTest::keyClick(label, Qt::Key_Delete);
    EXPECT_EQ(label->text(), "Invalid data type for 'FriendlyName' (key HKEY_CLASSES_ROOT\\CLSID)");
}

}  // namespace
}  // namespace tarnel
