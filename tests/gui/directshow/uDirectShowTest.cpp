// The DirectShow window driven offscreen: its panel in the second tab, the
// header sort, the column widths and a filling that fails.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <memory>

#include "gui/directshow/uDirectShow.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using Strings = std::vector<std::string>;

namespace {

// A filter registration whose server is `file`; `name` "" writes a number.
void Filter(const std::string& key, const std::string& name, const std::string& file) {
    TRegistry reg;
    reg.SetRootKey(kHkeyClassesRoot);
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\" + key, true));
    if (name.empty()) return reg.WriteInteger("FriendlyName", 3);
    reg.WriteString("FriendlyName", name);
    reg.WriteString("CLSID", "{C" + key + "}");
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\{C" + key + "}\\InprocServer32", true));
    reg.WriteString("", file);
}

class DirectShowWindow : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFile(test::PeFixture("version32.dll").string()); }
    void TearDown() override {
        directShow.reset();
        main.reset();
    }
    void Open(bool show = true) {
        main = std::make_unique<TfMain>(log);
        directShow = std::make_unique<TfDirectShow>(*main);
        if (!show) return;
        main->resize(900, 600);
        main->show();
        main->PageControl->setCurrentIndex(1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
        QApplication::processEvents();
    }
    QTreeView* List() const { return directShow->DirectShowFilterList; }
    QHeaderView* Header() const { return List()->header(); }
    Strings Shown(int column) const {
        Strings out;
        for (int r = 0; r < List()->model()->rowCount(); ++r)
            out.push_back(FromQ(List()->model()->index(r, column).data().toString()));
        return out;
    }
    void ClickHeader(int section) {
        const int x = Header()->sectionViewportPosition(section) + Header()->sectionSize(section) / 2;
        QTest::mouseClick(Header()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, Header()->height() / 2));
    }

    test::ArtDirScope art;
    test::TempMachine machine;
    test::FixedLog log;
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfDirectShow> directShow;
};

}  // namespace

TEST_F(DirectShowWindow, AHeaderClickSortsTheWholeRowsAndASecondClickReverses) {
    Filter("{1}", "beta", "b.ax");
    Filter("{2}", "Delta", "a.ax");
    Filter("{3}", "alpha", "d.ax");
    Open();
    EXPECT_TRUE(main->DirectShowSheet->isAncestorOf(directShow->DirectShowPanel));
    EXPECT_EQ(Shown(0), (Strings{"beta", "Delta", "alpha"})) << "the registry's order until a click";
    EXPECT_EQ(Header()->sortIndicatorSection(), -1) << "and no arrow";
    const struct {
        int header;
        Strings filters;
        Qt::SortOrder arrow;
    } clicks[] = {
        {0, {"alpha", "beta", "Delta"}, Qt::AscendingOrder},  // letter case does not count
        {0, {"Delta", "beta", "alpha"}, Qt::DescendingOrder},
        {1, {"Delta", "beta", "alpha"}, Qt::AscendingOrder},  // another header starts ascending
        {1, {"alpha", "beta", "Delta"}, Qt::DescendingOrder},
    };
    for (const auto& c : clicks) {
        ClickHeader(c.header);
        EXPECT_EQ(Shown(0), c.filters) << c.header;
        EXPECT_EQ(Header()->sortIndicatorSection(), c.header);
        EXPECT_EQ(Header()->sortIndicatorOrder(), c.arrow);
    }
    const QFont font = List()->font();
    main->Settings.ProgramFont = "DejaVu Serif";
    main->ApplyProgramFont();
    EXPECT_EQ(List()->font(), font) << "the program font does not reach the list";
}

TEST_F(DirectShowWindow, FilterColumnFitsItsWidestNameAndTheOthersShareTheRest) {
    // Two names of nearly one width, the wider one second: a width rounded
    // down by a pixel would cut it.
    Filter("{1}", "Kestrelwood Colour Converter", "b.ax");
    Filter("{2}", "LC Motion JPEG Decompressor", "c.ax");
    Open();
    for (int width : {900, 1200, 700}) {
        main->resize(width, 600);
        QApplication::processEvents();
        const int rest = List()->viewport()->width() - List()->columnWidth(0);
        int sum = 0;
        for (int c = 1; c < 5; ++c) {
            sum += List()->columnWidth(c);
            EXPECT_LE(std::abs(List()->columnWidth(c) - rest / 4), 3) << width << " column " << c;
        }
        EXPECT_EQ(sum, rest) << width << ": the four fill the list exactly";
    }
    // The width the view itself gives a column fitted to its contents.
    const int filter = List()->columnWidth(0);
    List()->resizeColumnToContents(0);
    EXPECT_GE(filter, List()->columnWidth(0));
    EXPECT_LE(filter, List()->columnWidth(0) + 2);
    EXPECT_GT(filter, Header()->sectionSizeHint(0)) << "the names decide, not the caption";
}

TEST_F(DirectShowWindow, ARegistryErrorIsShownAndTheRowsBeforeItStay) {
    Filter("{1}", "First", "a.ax");
    Filter("{2}", "", "");
    Filter("{3}", "Never Read", "a.ax");
    std::string shown;
    TMessageKind kind = TMessageKind::Information;
    test::WhenModal<TfMessage>([&](TfMessage* m) {
        shown = FromQ(m->MessageLabel->text());
        kind = m->Kind();
        m->OkButton->click();
    });
    Open(false);
    // The value's name alone would not tell which of the filters is broken.
    const std::string expected = "Invalid data type for 'FriendlyName' (key HKEY_CLASSES_ROOT\\CLSID\\"
                                 "{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\{2})";
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(kind, TMessageKind::Error);
    EXPECT_EQ(Shown(0), (Strings{"First"}));
    EXPECT_EQ(log.Lines().back(), "T : Displaying Message : " + expected);
}
