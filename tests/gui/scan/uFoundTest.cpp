// The found-FOURCC dialog on rows the tests make: its layout, the blue used
// rows, the add button's enabling, adding to the inactive list by button
// and by double-click, and closing.
#include "gui/scan/uFound.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include "core/shell/uConst.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "platform/api/Backend.h"
#include "support/TempMachine.h"

using namespace tarnel;
using Strings = std::vector<std::string>;

namespace {

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TFoundRow Found(const std::string& fourcc, const std::string& status) {
    return TFoundRow{fourcc, "Desc " + fourcc, status, "scan.dll", "Short " + fourcc, "1.2.3.4", "vidc"};
}

class FoundDialog : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetProgramFile(test::PeFixture("version32.dll").string());
        main = std::make_unique<TfMain>(log);
        main->setGeometry(100, 80, 700, 500);
        inactive.Add().Caption = "old1";
        inactive.SetChangeListener([this] { ++refreshes; });
    }
    void TearDown() override {
        if (dialog) delete dialog.data();
        main.reset();
        FlushDeletes();
    }
    void Open(std::vector<TFoundRow> rows, bool show = true) {
        dialog = new TfFound(*main, inactive);
        dialog->SetRows(std::move(rows));
        if (show) {
            dialog->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        }
    }
    void Select(int row, QItemSelectionModel::SelectionFlags how = QItemSelectionModel::Select) {
        dialog->FoundList->selectionModel()->select(dialog->FoundListModel->index(row, 0),
                                                    how | QItemSelectionModel::Rows);
    }
    QVariant Colour(int row, int column = 0) const {
        return dialog->FoundListModel->data(dialog->FoundListModel->index(row, column), Qt::ForegroundRole);
    }
    std::string Text(int row, int column) const {
        return FromQ(dialog->FoundListModel->data(dialog->FoundListModel->index(row, column), Qt::DisplayRole).toString());
    }
    Strings Inactive() const {
        Strings out;
        for (const TCodecRow& r : inactive.Rows()) {
            std::string line = r.Caption;
            for (size_t c = 0; c < icCount; ++c) line += "|" + r.Cell(c);
            out.push_back(line);
        }
        return out;
    }
    QPoint RowCentre(int row) const {
        return dialog->FoundList->visualRect(dialog->FoundListModel->index(row, 0)).center();
    }

    test::ArtDirScope art;
    test::TempMachine machine;
    test::FixedLog log;
    std::unique_ptr<TfMain> main;
    TCodecList inactive;
    int refreshes = 0;
    QPointer<TfFound> dialog;
};

const QColor kBlue(0, 0, 255);

}  // namespace

TEST_F(FoundDialog, LaidOutAsDesignedOverItsOwner) {
    Open({Found("i420", cStatusNotUsed)});
    EXPECT_EQ(dialog->size(), QSize(382, 304));
    EXPECT_TRUE(dialog->windowFlags() & Qt::Tool);
    EXPECT_TRUE(dialog->windowTitle().isEmpty());
    EXPECT_GT(dialog->maximumWidth(), 382) << "sizeable";
    EXPECT_LE((dialog->frameGeometry().center() - main->frameGeometry().center()).manhattanLength(), 6);
    EXPECT_EQ(dialog->Panel1->height(), 49);
    EXPECT_EQ(dialog->Panel1->Label2->text(), "Found FOURCC's");
    EXPECT_EQ(dialog->Panel1->HelpLabel->text(), "Valid Additional FOURCC's");
    EXPECT_EQ(dialog->Panel3->height(), 34);

    const Strings heads{"Fourcc", "Description", "Status", "Driver", "Shortname", "Version", "Type"};
    const std::vector<int> widths{50, 200, 100, 0, 0, 0, 0};
    ASSERT_EQ(dialog->FoundListModel->columnCount(), 7);
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(FromQ(dialog->FoundListModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()), heads[c]);
        EXPECT_EQ(dialog->FoundList->header()->sectionSize(c), widths[c]) << c;
    }
    EXPECT_EQ(Text(0, flDriver), "scan.dll") << "hidden columns still hold their texts";
    EXPECT_EQ(dialog->FoundList->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(dialog->FoundList->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(dialog->FoundList->editTriggers(), QAbstractItemView::NoEditTriggers);

    EXPECT_EQ(dialog->AddFourccButton->text(), "&Add selected to system");
    EXPECT_EQ(dialog->AddFourccButton->geometry(), QRect(10, 0, 127, 25));
    EXPECT_EQ(dialog->ExitButton->text(), "E&xit");
    EXPECT_EQ(dialog->ExitButton->geometry(), QRect(144, 0, 75, 25));
}

TEST_F(FoundDialog, EveryStatusButExactlyNotUsedIsBlue) {
    Open({Found("aaaa", "Not Used"), Found("bbbb", "Used (Active)"), Found("cccc", "Used (Inactive)"),
          Found("dddd", "Not used"), Found("eeee", "Not Used "), Found("ffff", "")},
         /*show=*/false);
    EXPECT_FALSE(Colour(0).isValid()) << "a free row keeps the list's colour";
    for (int row = 1; row < 6; ++row) {
        EXPECT_EQ(Colour(row).value<QColor>(), kBlue) << row;
        EXPECT_EQ(Colour(row, flStatus).value<QColor>(), kBlue) << "the whole row, " << row;
    }
}

TEST_F(FoundDialog, AddButtonIsEnabledExactlyWhileARowIsSelected) {
    Open({Found("aaaa", cStatusNotUsed), Found("bbbb", "Used (Active)")});
    EXPECT_FALSE(dialog->AddFourccButton->isEnabled()) << "nothing is selected after filling";
    Select(1);
    EXPECT_TRUE(dialog->AddFourccButton->isEnabled()) << "a used row counts as selected too";
    Select(0);
    dialog->FoundList->selectionModel()->select(dialog->FoundListModel->index(1, 0),
                                                QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    EXPECT_TRUE(dialog->AddFourccButton->isEnabled());
    dialog->FoundList->clearSelection();
    EXPECT_FALSE(dialog->AddFourccButton->isEnabled());

    Select(0);
    dialog->SetRows({Found("cccc", cStatusNotUsed)});
    EXPECT_FALSE(dialog->AddFourccButton->isEnabled()) << "new rows come unselected";
    EXPECT_FALSE(dialog->Rows()[0].Selected);
}

TEST_F(FoundDialog, AddTakesSelectedFreeRowsOnceAndTurnsThemBlue) {
    Open({Found("XVID", cStatusNotUsed), Found("abcd", "Used (Active)"), Found("wxyz", cStatusNotUsed),
          Found("qrst", cStatusNotUsed)});
    Select(0);
    Select(1);
    Select(2);
    QTest::mouseClick(dialog->AddFourccButton, Qt::LeftButton);
    const Strings expected{"old1||||||",
                           "xvid|scan.dll|Short XVID|Desc XVID|1.2.3.4||vidc",
                           "wxyz|scan.dll|Short wxyz|Desc wxyz|1.2.3.4||vidc"};
    EXPECT_EQ(Inactive(), expected) << "lower-case FOURCC, no Number yet; the used row stays out";
    EXPECT_EQ(refreshes, 1) << "the codec window's view is told once";
    EXPECT_EQ(Text(0, flStatus), "Used (Inactive)");
    EXPECT_EQ(Text(1, flStatus), "Used (Active)");
    EXPECT_EQ(Text(2, flStatus), "Used (Inactive)");
    EXPECT_EQ(Text(3, flStatus), "Not Used") << "not selected";
    EXPECT_EQ(Colour(0).value<QColor>(), kBlue) << "blue at once";
    EXPECT_FALSE(Colour(3).isValid());
    EXPECT_EQ(dialog->FoundList->selectionModel()->selectedRows().size(), 3) << "the selection stays";
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open";

    const size_t logged = log.Lines().size();
    QTest::mouseClick(dialog->AddFourccButton, Qt::LeftButton);
    EXPECT_EQ(Inactive(), expected) << "a second press adds nothing";
    EXPECT_EQ(log.Lines().size(), logged) << "and says nothing";
}

TEST_F(FoundDialog, DoubleClickAddsAsTheButtonDoes) {
    Open({Found("aaaa", cStatusNotUsed), Found("bbbb", cStatusNotUsed)});
    QWidget* viewport = dialog->FoundList->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, RowCentre(1));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, RowCentre(1));
    ASSERT_EQ(inactive.Count(), 2u);
    EXPECT_EQ(inactive.Row(1).Caption, "bbbb");
    EXPECT_EQ(Text(1, flStatus), "Used (Inactive)");
    EXPECT_EQ(Text(0, flStatus), "Not Used");
}

TEST_F(FoundDialog, AddingWithNothingSelectedSaysSo) {
    Open({Found("aaaa", cStatusNotUsed)});
    // A double-click below the rows reaches the add without a selection.
    const QPoint below(10, RowCentre(0).y() + 60);
    ASSERT_FALSE(dialog->FoundList->indexAt(below).isValid());
    std::string message;
    test::WhenModal<TfMessage>([&](TfMessage* m) {
        message = FromQ(m->MessageLabel->text());
        QTest::mouseClick(m->OkButton, Qt::LeftButton);
    });
    QTest::mouseDClick(dialog->FoundList->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(message, "Nothing selected, please choose something!");
    EXPECT_EQ(log.Lines().back(), "T : Displaying Message : Nothing selected, please choose something!");
    EXPECT_EQ(inactive.Count(), 1u);
    EXPECT_EQ(Text(0, flStatus), "Not Used");
}

TEST_F(FoundDialog, EscapeAndExitCancelAndFreeTheDialog) {
    for (const bool escape : {true, false}) {
        Open({Found("aaaa", cStatusNotUsed)}, /*show=*/false);
        test::WhenModal<TfFound>([escape](TfFound* d) {
            if (escape)
                QTest::keyClick(d->FoundList, Qt::Key_Escape);
            else
                QTest::mouseClick(d->ExitButton, Qt::LeftButton);
        });
        EXPECT_EQ(dialog->exec(), QDialog::Rejected) << escape;
        FlushDeletes();
        EXPECT_TRUE(dialog.isNull()) << "freed when closed, " << escape;
    }
    EXPECT_EQ(inactive.Count(), 1u);
}

TEST_F(FoundDialog, ShowingAppliesTheProgramFontButTheListKeepsItsOwn) {
    main->Settings.ProgramFont = "Courier New";
    Open({Found("aaaa", cStatusNotUsed)}, /*show=*/false);
    main->setFont(QFont("Arial"));
    dialog->show();
    EXPECT_EQ(main->font().family(), "Courier New");
    EXPECT_EQ(dialog->FoundList->font().family(), "Lucida Sans Unicode");
}
