// The DirectShow window driven offscreen: its panel in the second tab, the
// rows, the header sort, the column widths and a filling that fails.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <filesystem>
#include <memory>

#include "core/shell/uConst.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/directshow/uDirectShow.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "gui/shell/uStartup.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using tarnel::test::FixedLog;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

const std::string kInstance = "\\CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\";

// A filter registration under instance key `key`, its class named after it.
void Filter(const std::string& key, const std::string& name, const std::string& file) {
    const std::string clsid = "{C1A55" + key + "}";
    TRegistry reg;
    reg.SetRootKey(kHkeyClassesRoot);
    ASSERT_TRUE(reg.OpenKey(kInstance + key, true));
    reg.WriteString("FriendlyName", name);
    reg.WriteString("CLSID", clsid);
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\" + clsid + "\\InprocServer32", true));
    reg.WriteString("", file);
}

Strings Column(const QAbstractItemModel* model, int column) {
    Strings out;
    for (int r = 0; r < model->rowCount(); ++r)
        out.push_back(FromQ(model->data(model->index(r, column)).toString()));
    return out;
}

class DirectShowWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFile(test::PeFixture("version32.dll").string());
        fs::copy_file(test::PeFixture("version32.dll"), machine.System32() / "bwlt.ax");
    }
    void TearDown() override {
        directShow.reset();
        main.reset();
    }
    void Open() {
        main = std::make_unique<TfMain>(log);
        directShow = std::make_unique<TfDirectShow>(*main);
    }
    void Show(int width = 900) {
        main->resize(width, 600);
        main->show();
        main->PageControl->setCurrentIndex(1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
        QApplication::processEvents();
    }
    QTreeView* List() const { return directShow->DirectShowFilterList; }
    QHeaderView* Header() const { return List()->header(); }
    // What the list shows, top to bottom, of one column.
    Strings Shown(int column) const { return Column(List()->model(), column); }
    void ClickHeader(int section) {
        const int x = Header()->sectionViewportPosition(section) + Header()->sectionSize(section) / 2;
        QTest::mouseClick(Header()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, Header()->height() / 2));
    }
    int SharedWidth(int column) const { return List()->columnWidth(column); }

    test::ArtDirScope art;
    test::TempMachine machine;
    FixedLog log;
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfDirectShow> directShow;
};

}  // namespace

TEST_F(DirectShowWindow, PanelSitsInTheSecondTabWithTheRowsInRegistryOrder) {
    Filter("{2}", "Zeta Splitter", "C:\\WINDOWS\\system32\\bwlt.ax");
    Filter("{1}", "alpha Source", "gone.ax");
    Open();
    Show();
    EXPECT_TRUE(main->DirectShowSheet->isAncestorOf(directShow->DirectShowPanel));
    EXPECT_FALSE(directShow->isVisible()) << "the window itself never shows";
    EXPECT_EQ(directShow->Panel5->Label2->text(), "Tarnel");
    EXPECT_EQ(directShow->Panel5->HelpLabel->text(), "Installed DirectShow Filters");
    Strings captions;
    for (int c = 0; c < 5; ++c)
        captions.push_back(FromQ(List()->model()->headerData(c, Qt::Horizontal).toString()));
    EXPECT_EQ(captions, (Strings{"Filter", "File", "Description", "Version", "Company"}));
    EXPECT_EQ(Shown(0), (Strings{"Zeta Splitter", "alpha Source"})) << "unsorted until a header is clicked";
    EXPECT_EQ(Shown(1), (Strings{"C:\\WINDOWS\\system32\\bwlt.ax", "gone.ax"}));
    EXPECT_EQ(Shown(2), (Strings{"Brennic Wavelet Codec", ""}));
    EXPECT_EQ(Shown(3), (Strings{"2.7.0.113", ""}));
    EXPECT_EQ(Shown(4), (Strings{"Brennic Labs", "[Not Defined]"}));
    EXPECT_EQ(directShow->DS_FileVersionInfo.ExecutableFile(), "gone.ax") << "set to each row's file in turn";

    // The 10-pixel border around the band and list, the 5-pixel spacer below.
    const QRect list = List()->geometry();
    EXPECT_EQ(directShow->Panel5->geometry(), QRect(10, 10, list.width(), 49));
    EXPECT_EQ(list.left(), 10);
    EXPECT_EQ(list.top(), 10 + 49);
    EXPECT_EQ(directShow->DirectShowPanel->height() - list.bottom() - 1, 5 + 10);

    // Read-only, whole rows, the selection visible when the list loses the focus.
    EXPECT_EQ(List()->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(List()->selectionBehavior(), QAbstractItemView::SelectRows);
    const QPalette& pal = List()->palette();
    EXPECT_EQ(pal.color(QPalette::Inactive, QPalette::Highlight), pal.color(QPalette::Active, QPalette::Highlight));
}

TEST_F(DirectShowWindow, TheProgramFontDoesNotReachTheList) {
    Open();
    const QFont before = List()->font();
    EXPECT_EQ(before.pixelSize(), 11);
    main->Settings.ProgramFont = "DejaVu Serif";
    main->Settings.FontSize = 16;
    main->ApplyProgramFont();
    EXPECT_EQ(main->font().pointSize(), 16);
    EXPECT_EQ(List()->font(), before);
}

TEST_F(DirectShowWindow, AHeaderClickSortsAndASecondClickOnItReverses) {
    Filter("{1}", "beta", "b.ax");
    Filter("{2}", "Delta", "a.ax");
    Filter("{3}", "alpha", "d.ax");
    Filter("{4}", "Gamma", "c.ax");
    Open();
    Show();
    EXPECT_EQ(Header()->sortIndicatorSection(), -1) << "no arrow before the first click";
    ClickHeader(0);
    EXPECT_EQ(Shown(0), (Strings{"alpha", "beta", "Delta", "Gamma"})) << "letter case does not count";
    EXPECT_EQ(Header()->sortIndicatorSection(), 0);
    EXPECT_EQ(Header()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_TRUE(Header()->isSortIndicatorShown());
    ClickHeader(0);
    EXPECT_EQ(Shown(0), (Strings{"Gamma", "Delta", "beta", "alpha"}));
    EXPECT_EQ(Header()->sortIndicatorOrder(), Qt::DescendingOrder);
    // Another header starts ascending again, whatever the last direction was.
    ClickHeader(1);
    EXPECT_EQ(Shown(1), (Strings{"a.ax", "b.ax", "c.ax", "d.ax"}));
    EXPECT_EQ(Shown(0), (Strings{"Delta", "beta", "Gamma", "alpha"})) << "whole rows move";
    EXPECT_EQ(Header()->sortIndicatorSection(), 1);
    EXPECT_EQ(Header()->sortIndicatorOrder(), Qt::AscendingOrder);
    ClickHeader(1);
    EXPECT_EQ(Shown(1), (Strings{"d.ax", "c.ax", "b.ax", "a.ax"}));
}

TEST_F(DirectShowWindow, FilterColumnFitsItsWidestTextAndTheOthersShareTheRest) {
    // Two names of nearly one width, the wider one second: a width rounded
    // down by a pixel would cut it.
    Filter("{1}", "Short", "a.ax");
    Filter("{2}", "Kestrelwood Colour Converter", "b.ax");
    Filter("{3}", "LC Motion JPEG Decompressor", "c.ax");
    Open();
    Show(900);
    auto checkShares = [&](const char* when) {
        const int rest = List()->viewport()->width() - List()->columnWidth(0);
        int sum = 0;
        for (int c = 1; c < 5; ++c) {
            sum += SharedWidth(c);
            EXPECT_LE(std::abs(SharedWidth(c) - rest / 4), 3) << when << " column " << c;
        }
        EXPECT_EQ(sum, rest) << when << ": the four columns fill the list exactly";
    };
    checkShares("at first");
    const int filterWidth = List()->columnWidth(0);
    // The widest name is shown whole, without room to spare: the width the
    // view itself gives a column fitted to its contents.
    List()->resizeColumnToContents(0);
    const int fit = List()->columnWidth(0);
    EXPECT_GE(filterWidth, fit);
    EXPECT_LE(filterWidth, fit + 2);
    EXPECT_GT(fit, Header()->sectionSizeHint(0)) << "the names decide, not the caption";

    main->resize(1200, 600);
    QApplication::processEvents();
    EXPECT_EQ(List()->columnWidth(0), filterWidth) << "the filter column keeps its width";
    checkShares("after a resize");
    main->resize(700, 600);
    QApplication::processEvents();
    checkShares("after a smaller resize");
}

TEST_F(DirectShowWindow, ShortNamesLeaveTheHeaderCaptionWhole) {
    Filter("{1}", "A", "a.ax");
    Open();
    Show();
    const int width = List()->columnWidth(0);
    EXPECT_GE(width, Header()->sectionSizeHint(0));
    List()->resizeColumnToContents(0);
    EXPECT_EQ(width, List()->columnWidth(0)) << "the caption decides";
}

TEST_F(DirectShowWindow, AnEmptyListIsNoError) {
    Open();
    EXPECT_EQ(List()->model()->rowCount(), 0);
    EXPECT_EQ(log.Lines().back(), "T : Setting Statusbar Info - Running On : Windows XP Professional")
        << "no message";
}

TEST_F(DirectShowWindow, ARegistryErrorIsShownAndTheRowsBeforeItStay) {
    Filter("{1}", "First", "bwlt.ax");
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyClassesRoot);
        ASSERT_TRUE(reg.OpenKey(kInstance + "{2}", true));
        reg.WriteInteger("FriendlyName", 3);
    }
    Filter("{3}", "Never Read", "bwlt.ax");
    std::string shown;
    int rowsWhenShown = -1;
    test::WhenModal<TfMessage>([&](TfMessage* m) {
        shown = FromQ(m->MessageLabel->text());
        rowsWhenShown = fDirectShow ? fDirectShow->DirectShowFilterList->model()->rowCount() : -1;
        m->OkButton->click();
    });
    Open();
    EXPECT_EQ(shown, "Invalid data type for 'FriendlyName'");
    EXPECT_EQ(rowsWhenShown, 1) << "the rows read so far show behind the message";
    EXPECT_EQ(Shown(0), (Strings{"First"}));
    EXPECT_EQ(log.Lines().back(), "T : Displaying Message : Invalid data type for 'FriendlyName'");
}

TEST(DirectShowStartUp, StartUpHostsTheDemoMachinesFiltersInTheSecondTab) {
    test::ArtDirScope art;
    test::TempMachine machine(MachineFamily::NT, true);
    SetProgramFile(test::PeFixture("version32.dll").string());
    FixedLog log;
    TStartup s = StartProgram(log);
    std::unique_ptr<TfMain> main(s.Main);
    std::unique_ptr<TfNTCodecs> codecs(s.Codecs);
    std::unique_ptr<TfDirectShow> directShow(s.DirectShow);
    std::unique_ptr<TfLogging> logging(s.Logging);
    ASSERT_NE(directShow, nullptr);
    EXPECT_EQ(fDirectShow, directShow.get());
    EXPECT_TRUE(main->DirectShowSheet->isAncestorOf(directShow->DirectShowPanel));
    EXPECT_EQ(main->PageControl->tabText(1), "DirectShow Filters");
    EXPECT_EQ(main->PageControl->currentIndex(), 0) << "the codecs' tab stays in front";
    const Strings names = Column(directShow->DirectShowFilterList->model(), 0);
    EXPECT_EQ(names.size(), 23u);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Tessaly Video Decoder"), 2);
    const Strings companies = Column(directShow->DirectShowFilterList->model(), 4);
    EXPECT_GE(std::count(companies.begin(), companies.end(), "[Not Defined]"), 4);
    directShow.reset();
    EXPECT_EQ(fDirectShow, nullptr);
}
