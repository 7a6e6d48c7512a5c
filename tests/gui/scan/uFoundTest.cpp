// The found-FOURCC dialog on rows the tests make: layout, blue used rows,
// the add button's enabling, adding by button and double-click, closing.
#include "gui/scan/uFound.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "platform/api/Backend.h"
#include "support/TempMachine.h"

using namespace tarnel;
using Strings = std::vector<std::string>;

namespace {

TFoundRow Found(const std::string& fourcc, const std::string& status = "Not Used") {
    return TFoundRow{fourcc, "Desc " + fourcc, status, "scan.dll", "Short " + fourcc, "1.2.3.4", "vidc"};
}

class FoundDialog : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetProgramFile(test::PeFixture("version32.dll").string());
        main = std::make_unique<TfMain>(log);
        main->setGeometry(100, 80, 700, 500);
        inactive.Add().Fourcc = "old1";
        inactive.SetChangeListener([this] { ++refreshes; });
    }
    void TearDown() override {
        if (dialog) delete dialog.data();
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void Open(std::vector<TFoundRow> rows, bool show = true) {
        dialog = new TfFound(*main, inactive);
        dialog->SetRows(std::move(rows));
        if (show) dialog->show();
    }
    void Select(int row, QItemSelectionModel::SelectionFlags how = QItemSelectionModel::Select) {
        dialog->FoundList->selectionModel()->select(dialog->FoundListModel->index(row, 0),
                                                    how | QItemSelectionModel::Rows);
    }
    QVariant Data(int row, int column, int role = Qt::DisplayRole) const {
        return dialog->FoundListModel->data(dialog->FoundListModel->index(row, column), role);
    }
    QPoint RowCentre(int row) const {
        return dialog->FoundList->visualRect(dialog->FoundListModel->index(row, 0)).center();
    }
    Strings Inactive() const {
        Strings out;
        for (const TCodecEntry& e : inactive.Entries()) {
            std::string line = e.Fourcc;
            for (int c = 1; c < icCount; ++c) line += "|" + CellText(e, TListKind::Inactive, c);
            out.push_back(line);
        }
        return out;
    }

    test::ArtDirScope art;
    test::TempMachine machine;
    test::FixedLog log;
    std::unique_ptr<TfMain> main;
    TCodecList inactive;
    int refreshes = 0;
    QPointer<TfFound> dialog;
};

}  // namespace

TEST_F(FoundDialog, LaidOutAsDesignedOverItsOwner) {
    Open({Found("i420")});
    EXPECT_EQ(dialog->size(), QSize(382, 304));
    EXPECT_TRUE(dialog->windowFlags() & Qt::Tool);
    EXPECT_TRUE(dialog->windowTitle().isEmpty());
    EXPECT_GT(dialog->maximumWidth(), 382) << "sizeable";
    EXPECT_LE((dialog->frameGeometry().center() - main->frameGeometry().center()).manhattanLength(), 6);
    EXPECT_EQ(dialog->Panel1->Label2->text() + "|" + dialog->Panel1->HelpLabel->text(),
              "Found FOURCC's|Valid Additional FOURCC's");
    EXPECT_EQ(dialog->AddFourccButton->text() + "|" + dialog->ExitButton->text(), "&Add selected to system|E&xit");
    const Strings heads{"Fourcc", "Description", "Status", "Driver", "Shortname", "Version", "Type"};
    const std::vector<int> widths{50, 200, 100, 0, 0, 0, 0};
    ASSERT_EQ(dialog->FoundListModel->columnCount(), 7);
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(FromQ(dialog->FoundListModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()), heads[c]);
        EXPECT_EQ(dialog->FoundList->header()->sectionSize(c), widths[c]) << c;
    }
    EXPECT_EQ(dialog->FoundList->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(FoundDialog, EveryStatusButExactlyNotUsedIsBlue) {
    Open({Found("aaaa"), Found("bbbb", "Used (Active)"), Found("cccc", "Used (Inactive)"),
          Found("dddd", "Not used"), Found("eeee", "Not Used ")},
         /*show=*/false);
    EXPECT_FALSE(Data(0, flFourcc, Qt::ForegroundRole).isValid()) << "a free row keeps the list's colour";
    for (int row = 1; row < 5; ++row)
        for (int column : {flFourcc, flStatus})
            EXPECT_EQ(Data(row, column, Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255)) << row;
}

TEST_F(FoundDialog, AddButtonIsEnabledExactlyWhileARowIsSelected) {
    Open({Found("aaaa"), Found("bbbb", "Used (Active)")});
    EXPECT_FALSE(dialog->AddFourccButton->isEnabled()) << "nothing is selected after filling";
    Select(1);
    EXPECT_TRUE(dialog->AddFourccButton->isEnabled()) << "a used row counts too";
    dialog->FoundList->clearSelection();
    EXPECT_FALSE(dialog->AddFourccButton->isEnabled());
    Select(0);
    dialog->SetRows({Found("cccc")});
    EXPECT_FALSE(dialog->AddFourccButton->isEnabled()) << "new rows come unselected";
}

TEST_F(FoundDialog, AddTakesSelectedFreeRowsOnceAndTurnsThemBlue) {
    Open({Found("XVID"), Found("abcd", "Used (Active)"), Found("wxyz"), Found("qrst")});
    for (int row : {0, 1, 2}) Select(row);
    QTest::mouseClick(dialog->AddFourccButton, Qt::LeftButton);
    const Strings expected{"old1||||||", "xvid|scan.dll|Short XVID|Desc XVID|1.2.3.4||vidc",
                           "wxyz|scan.dll|Short wxyz|Desc wxyz|1.2.3.4||vidc"};
    EXPECT_EQ(Inactive(), expected) << "lower-case FOURCC, no Number yet; the used row stays out";
    EXPECT_EQ(refreshes, 1) << "the codec window's view is told";
    Strings statuses;
    for (int row = 0; row < 4; ++row) statuses.push_back(FromQ(Data(row, flStatus).toString()));
    EXPECT_EQ(statuses, (Strings{"Used (Inactive)", "Used (Active)", "Used (Inactive)", "Not Used"}));
    EXPECT_EQ(Data(0, flFourcc, Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255)) << "blue at once";
    EXPECT_TRUE(dialog->isVisible());

    const size_t logged = log.Lines().size();
    QTest::mouseClick(dialog->AddFourccButton, Qt::LeftButton);
    EXPECT_EQ(Inactive(), expected) << "a second press adds nothing";
    EXPECT_EQ(log.Lines().size(), logged) << "and says nothing";
}

TEST_F(FoundDialog, DoubleClickAddsAsTheButtonDoes) {
    Open({Found("aaaa"), Found("bbbb")});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    QWidget* viewport = dialog->FoundList->viewport();
    // Below the rows nothing is selected: the add says so.
    std::string message;
    test::WhenModal<TfMessage>([&](TfMessage* m) {
        message = FromQ(m->MessageLabel->text());
        QTest::mouseClick(m->OkButton, Qt::LeftButton);
    });
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(10, RowCentre(1).y() + 60));
    EXPECT_EQ(message, "Nothing selected, please choose something!");
    EXPECT_EQ(inactive.Count(), 1u);

    QTest::mouseClick(viewport, Qt::LeftButton, {}, RowCentre(1));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, RowCentre(1));
    ASSERT_EQ(inactive.Count(), 2u);
    EXPECT_EQ(inactive.Entry(1).Fourcc, "bbbb");
    EXPECT_EQ(FromQ(Data(0, flStatus).toString()), "Not Used");
}

TEST_F(FoundDialog, EscapeAndExitCancelAndFreeTheDialog) {
    for (const bool escape : {true, false}) {
        Open({Found("aaaa")}, /*show=*/false);
        test::WhenModal<TfFound>([escape](TfFound* d) {
            if (escape)
                QTest::keyClick(d->FoundList, Qt::Key_Escape);
            else
                QTest::mouseClick(d->ExitButton, Qt::LeftButton);
        });
        EXPECT_EQ(dialog->exec(), QDialog::Rejected) << escape;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(dialog.isNull()) << "freed when closed, " << escape;
    }
}

TEST_F(FoundDialog, ShowingAppliesTheProgramFontButTheListKeepsItsOwn) {
    // An installed family other than the one the window shows now.
    const QString before = main->font().family();
    QString family;
    for (const QString& f : InstalledFontFamilies())
        if (f != before && f != "Default") family = f;
    ASSERT_FALSE(family.isEmpty());
    main->Settings.ProgramFont = FromQ(family);
    Open({Found("aaaa")}, /*show=*/false);
    dialog->show();
    EXPECT_EQ(main->font().family(), family);
    EXPECT_EQ(dialog->FoundList->font().family(), "Lucida Sans Unicode");
}
