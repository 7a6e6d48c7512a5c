#include "gui/shell/uQuestion.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "gui/shell/GuiTestSupport.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uConst.h"
#include "support/TempMachine.h"

namespace tarnel {
namespace {

// Opens a question, lets `answer` respond to it and returns the result
// together with whether the dialog freed itself.
int Ask(const std::function<void(TfQuestion*)>& answer, bool* freed = nullptr) {
    TLog log;
    auto* dlg = new TfQuestion(nullptr, &log);
    dlg->questionLabel->setText("Quit, Leave, Exit, Shutdown Program?");
    QPointer<TfQuestion> guard(dlg);
    test::WhenModal<TfQuestion>(answer);
    const int result = dlg->ShowModal();
    if (freed) *freed = guard.isNull();
    return result;
}

TEST(uQuestion, EachWayOfClosingGivesItsAnswer) {
    test::TempMachine machine;
    test::ArtDirScope art;
    struct Case {
        const char* name;
        std::function<void(TfQuestion*)> act;
        int want;
    };
    const Case cases[] = {
        {"Yes button", [](TfQuestion* d) { QTest::mouseClick(d->Button1, Qt::LeftButton); }, QMessageBox::Yes},
        {"No button", [](TfQuestion* d) { QTest::mouseClick(d->Button2, Qt::LeftButton); }, QMessageBox::No},
        {"Cancel button", [](TfQuestion* d) { QTest::mouseClick(d->Button3, Qt::LeftButton); },
         QMessageBox::Cancel},
        {"Escape", [](TfQuestion* d) { QTest::keyClick(d, Qt::Key_Escape); }, QMessageBox::Cancel},
        // Escape while a button has the focus still reaches the dialog.
        {"Escape on No",
         [](TfQuestion* d) {
             d->Button2->setFocus();
             QTest::keyClick(d->Button2, Qt::Key_Escape);
         },
         QMessageBox::Cancel},
        {"window closed", [](TfQuestion* d) { d->close(); }, QMessageBox::Cancel},
        {"Alt+N",
         [](TfQuestion* d) {
             d->activateWindow();
             EXPECT_TRUE(QTest::qWaitForWindowActive(d));
             QTest::keyClick(d, Qt::Key_N, Qt::AltModifier);
         },
         QMessageBox::No},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool freed = false;
        EXPECT_EQ(Ask(c.act, &freed), c.want);
        EXPECT_TRUE(freed);
    }
}

TEST(uQuestion, AnswerIsTheStoredOneEvenWhenClosingSaysOtherwise) {
    test::TempMachine machine;
    test::ArtDirScope art;
    // The button's answer wins over a plain accept or reject afterwards.
    EXPECT_EQ(Ask([](TfQuestion* d) {
                  d->Button2Click();
              }),
              QMessageBox::No);
    EXPECT_EQ(Ask([](TfQuestion* d) { d->accept(); }), QMessageBox::Cancel);
}

TEST(uQuestion, CallerTitleAndQuestionFitTheirLabels) {
    test::TempMachine machine;
    test::ArtDirScope art;
    TLog log;
    TfQuestion dlg(nullptr, &log);
    dlg.setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_EQ(dlg.Label2->text(), "Tarnel");
    EXPECT_EQ(dlg.HelpLabel->text(), "Question");
    EXPECT_EQ(dlg.questionLabel->text(), "Type your question here!!");
    EXPECT_FALSE(dlg.Image1->pixmap().isNull());
    EXPECT_EQ(log.Count(), 0u);

    // Texts set after creation must not be cut to the design texts' width.
    dlg.Label2->setText("Codec Swapping Assistant");
    dlg.HelpLabel->setText("Two codecs share one FOURCC");
    for (const QLabel* l : {dlg.Label2, dlg.HelpLabel})
        EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text())) << l->text().toStdString();
    EXPECT_TRUE(dlg.rect().contains(dlg.Button3->mapTo(&dlg, dlg.Button3->rect().bottomRight())));
}

TEST(uQuestion, MissingOrBrokenPictureLeavesAnEmptyAreaAndOneLogLine) {
    test::TempMachine machine;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::ArtDirScope art(dir.path());
    for (bool broken : {false, true}) {
        SCOPED_TRACE(broken ? "broken" : "missing");
        if (broken) {
            QFile f(dir.filePath("question.jpg"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("\xFF\xD8\xFF garbage");
        }
        TLog log;
        TfQuestion dlg(nullptr, &log);
        dlg.setAttribute(Qt::WA_DeleteOnClose, false);
        EXPECT_TRUE(dlg.Image1->pixmap().isNull());
        ASSERT_EQ(log.Count(), 1u);
        EXPECT_NE(log.Lines()[0].find(cLogPictureNotLoaded), std::string::npos);
        EXPECT_NE(log.Lines()[0].find("question.jpg"), std::string::npos) << log.Lines()[0];
    }
}

}  // namespace
}  // namespace tarnel
