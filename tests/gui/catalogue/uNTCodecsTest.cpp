// The codec window driven offscreen: loads under the splash screen and the
// progress window, the counters, row colours, the twin selection, menu
// enabling, sorting, tooltips and the active list's height; the codec
// operations reached by dragging, double-clicks, menus and keys, with their
// questions, errors and the codecs' own dialogs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolTip>
#include <filesystem>
#include <memory>
#include <set>

#include "gui/catalogue/uNTCodecs.h"
#include "gui/shell/GuiAccessible.h"
#include "gui/directshow/uDirectShow.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/splash.h"
#include "core/shell/uConst.h"
#include "gui/operations/uDriverDialog.h"
#include "gui/scan/uFourcc.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "platform/api/Backend.h"
#include "gui/shell/uStartup.h"
#include "gui/shell/uProgress.h"
#include "gui/shell/uQuestion.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using tarnel::test::FixedLog;
using tarnel::test::SetSetting;
using tarnel::test::Setting;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

constexpr const char* kDrivers32 = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr const char* kInactive = "SOFTWARE\\Halvorin\\Drivers.Inactive";


void SetDriver(const std::string& name, const std::string& file) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kDrivers32, true));
    reg.WriteString(name, file);
}

void SetInactive(const std::string& name, Strings texts) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kInactive, true));
    WriteBinaryStrings(reg, name, texts);
}

template <class T>
std::vector<T*> TopLevel() {
    std::vector<T*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w)) out.push_back(t);
    return out;
}

// A hidden action always reads as disabled; the state the window gave it
// shows once it is made visible.
bool HiddenItemEnabled(QAction* a) {
    EXPECT_FALSE(a->isVisible());
    a->setVisible(true);
    const bool enabled = a->isEnabled();
    a->setVisible(false);
    return enabled;
}

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::string Cell(const QAbstractItemModel* model, int row, int column, int role = Qt::DisplayRole) {
    return FromQ(model->data(model->index(row, column), role).toString());
}

Strings Column(const QAbstractItemModel* model, int column) {
    Strings out;
    for (int r = 0; r < model->rowCount(); ++r) out.push_back(Cell(model, r, column));
    return out;
}

std::vector<int> SelectedRows(QTreeView* view) {
    std::vector<int> out;
    for (const QModelIndex& i : view->selectionModel()->selectedRows()) out.push_back(i.row());
    std::sort(out.begin(), out.end());
    return out;
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class CodecWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFile(test::PeFixture("version32.dll").string());
        FlushDeletes();
    }
    void TearDown() override {
        codecs.reset();
        main.reset();
        FlushDeletes();
    }

    // Creates the windows as start-up does; `splash` false loads under a
    // progress window instead.
    void Open(bool splash = true) {
        main = std::make_unique<TfMain>(log);
        if (splash) {
            splashScreen = new TSplashScreen(nullptr, &log);
            splashScreen->show();
        }
        codecs = std::make_unique<TfNTCodecs>(*main, splashScreen.data());
    }
    void Show() {
        main->resize(900, 800);
        main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
        QApplication::processEvents();
    }
    void SelectActive(int row, QItemSelectionModel::SelectionFlags how = QItemSelectionModel::ClearAndSelect) {
        codecs->CodecList->selectionModel()->select(codecs->CodecListModel->index(row, 0),
                                                    how | QItemSelectionModel::Rows);
    }
    int ActiveRow(const std::string& caption) const {
        Strings captions = Column(codecs->CodecListModel, 0);
        auto it = std::find(captions.begin(), captions.end(), caption);
        EXPECT_NE(it, captions.end()) << caption;
        return int(it - captions.begin());
    }
    void SelectInactive(int row, QItemSelectionModel::SelectionFlags how = QItemSelectionModel::ClearAndSelect) {
        codecs->InactiveCodecList->selectionModel()->select(codecs->InactiveCodecListModel->index(row, 0),
                                                            how | QItemSelectionModel::Rows);
    }
    int InactiveRow(const std::string& caption) const {
        Strings captions = Column(codecs->InactiveCodecListModel, 0);
        auto it = std::find(captions.begin(), captions.end(), caption);
        EXPECT_NE(it, captions.end()) << caption;
        return int(it - captions.begin());
    }
    // "fourcc=driver" of each row as the views show them, and as the store holds them.
    static Strings Rows(const QAbstractItemModel* m) {
        Strings out;
        for (int r = 0; r < m->rowCount(); ++r) out.push_back(Cell(m, r, 0) + "=" + Cell(m, r, 1));
        return out;
    }
    std::pair<Strings, Strings> Stored() {
        TCodecCatalogue stored(main->Settings, log);
        stored.LoadActiveList();
        stored.LoadInactiveCodecList();
        auto rows = [](const TCodecList& l) {
            Strings out;
            for (const TCodecEntry& e : l.Entries()) out.push_back(e.Fourcc + "=" + e.Driver);
            return out;
        };
        return {rows(stored.CodecList), rows(stored.InactiveCodecList)};
    }
    std::pair<Strings, Strings> Shown() const {
        return {Rows(codecs->CodecListModel), Rows(codecs->InactiveCodecListModel)};
    }

    test::ArtDirScope art;
    FixedLog log;
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfNTCodecs> codecs;
    QPointer<TSplashScreen> splashScreen;
};

// The demo machine: twelve video entries among others, four inactive ones
// of which mjpg is the twin of an active codec.
class DemoCodecWindow : public CodecWindow {
protected:
    test::TempMachine machine{TMachineFamily::NT, /*demo=*/true};
};

// Bare machines whose stores the test fills.
class BareCodecWindow : public CodecWindow {
protected:
    test::TempMachine machine;
};
class Win9xCodecWindow : public CodecWindow {
protected:
    test::TempMachine machine{TMachineFamily::Win9x};
};

const Strings kXvidRow{"xvid", "xv32.dll", "bwlt", "Brennic Wavelet Codec", "2.7.0.113", "32"};

}  // namespace

TEST_F(BareCodecWindow, RegistryLoadFillsTheViewUnderTheSplashScreen) {
    fs::copy_file(test::PeFixture("version32.dll"), machine.System32() / "xv32.dll");
    SetDriver("VIDC.XVID", "xv32.dll");
    SetDriver("acm.abcd", "abcd.acm");
    Open();

    const QAbstractItemModel* m = codecs->CodecListModel;
    ASSERT_EQ(m->rowCount(), 1);
    Strings row;
    for (int c = 0; c < m->columnCount(); ++c) row.push_back(Cell(m, 0, c));
    EXPECT_EQ(row, kXvidRow);

    const Strings activeHeads{"Fourcc", "Driver", "Shortname", "Description", "Version", "Type"};
    const std::vector<int> activeWidths{50, 90, 90, 270, 90, 0};
    ASSERT_EQ(m->columnCount(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(FromQ(m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()), activeHeads[c]);
        EXPECT_EQ(codecs->CodecList->header()->sectionSize(c), activeWidths[c]) << c;
    }
    const QAbstractItemModel* im = codecs->InactiveCodecListModel;
    ASSERT_EQ(im->columnCount(), 7);
    EXPECT_EQ(FromQ(im->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString()), "Number");
    EXPECT_EQ(codecs->InactiveCodecList->header()->sectionSize(5), 0);
    EXPECT_EQ(codecs->InactiveCodecList->header()->sectionSize(6), 0);

    // The splash showed the load; acm.abcd made no row but moved the bar.
    ASSERT_TRUE(splashScreen) << "closed, its deletion still pending";
    EXPECT_EQ(splashScreen->LoadBar->maximum(), 2);
    EXPECT_EQ(splashScreen->LoadBar->value(), 1);
    EXPECT_FALSE(splashScreen->LoadBar->isHidden());
    EXPECT_EQ(splashScreen->SplashLoadingLabel->text(), "Loading :");
    EXPECT_FALSE(splashScreen->isVisible());
    EXPECT_TRUE(TopLevel<TfProgress>().empty());
    FlushDeletes();
    EXPECT_FALSE(splashScreen) << "the splash screen is disposed of";

    EXPECT_EQ(main->StatusText(1), "Active : 1");
    EXPECT_EQ(main->StatusText(2), "Inactive : 0");
    EXPECT_TRUE(main->VideoCodecsSheet->isAncestorOf(codecs->WindowsNTCodecsPanel));
}

TEST_F(Win9xCodecWindow, ProfileLoadKeepsDuplicatesAndSkipsOtherEntries) {
    fs::copy_file(test::PeFixture("version32.dll"), machine.System32() / "xv32.dll");
    SetInactive("#001#", {"abcd", "old.dll", "", "Old", "1.0", "16"});
    machine.WriteFile("drive_c/windows/system.ini",
                      "[drivers32]\r\nVIDC.XVID=xv32.dll\r\nmsacm.abcd=abcd.acm\r\nvidc.xvid=xv32.dll\r\n");
    Open(/*splash=*/false);
    EXPECT_EQ(main->Settings.CodecStoreMode, 1);
    EXPECT_EQ(Column(codecs->CodecListModel, 0), (Strings{"xvid", "xvid"}));
    EXPECT_EQ(Cell(codecs->CodecListModel, 1, 3), "Brennic Wavelet Codec");

    // Without a splash screen a progress window shows the load.
    auto windows = TopLevel<TfProgress>();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_FALSE(windows[0]->isVisible());
    EXPECT_EQ(windows[0]->ProgressBar->maximum(), 3);
    EXPECT_EQ(windows[0]->ProgressBar->value(), 2);

    // The inactive store is the registry on this family too.
    EXPECT_EQ(Column(codecs->InactiveCodecListModel, 0), (Strings{"abcd"}));
    EXPECT_EQ(Cell(codecs->InactiveCodecListModel, 0, 2), " ") << "a stored blank stays a blank";
    EXPECT_EQ(Cell(codecs->InactiveCodecListModel, 0, 6), "16") << "Type";
    EXPECT_EQ(main->StatusText(1), "Active : 2");
    EXPECT_EQ(main->StatusText(2), "Inactive : 1");
}

TEST_F(DemoCodecWindow, StartUpUsesTheSplashAndRefreshAProgressWindow) {
    StartProgram(log);
    main.reset(fMain);
    codecs.reset(fNTCodecs);
    std::unique_ptr<TfDirectShow> directShow(fDirectShow);
    std::unique_ptr<TfLogging> logging(fLogging);
    std::unique_ptr<TfFourcc> fourcc(fFourcc);
    EXPECT_TRUE(TopLevel<TfProgress>().empty()) << "start-up loads under the splash screen";
    ASSERT_NE(fourcc, nullptr) << "the FOURCC list is made at start-up";
    EXPECT_FALSE(fourcc->isVisible()) << "and stays hidden until asked for";
    FlushDeletes();
    const int rows = codecs->CodecListModel->rowCount();
    EXPECT_EQ(rows, 12);
    EXPECT_EQ(main->StatusText(1), "Active : 12");
    EXPECT_EQ(main->StatusText(2), "Inactive : 4");

    // The refresh sees the new entry, and the counters count the rows shown.
    SetDriver("vidc.new1", "rawview.dll");
    SetInactive("#005#", {"zzz1", "z.dll", "Z", "Zed", "1", "32"});
    main->Refresh->trigger();
    EXPECT_EQ(log.Lines().back(), "T : End Loading Codec List from Registry");
    EXPECT_EQ(codecs->CodecListModel->rowCount(), rows + 1);
    EXPECT_EQ(Column(codecs->CodecListModel, 0).back(), "new1");
    EXPECT_EQ(codecs->InactiveCodecListModel->rowCount(), 4) << "a refresh reloads the active list only";
    EXPECT_EQ(main->StatusText(1), "Active : 13");
    EXPECT_EQ(main->StatusText(2), "Inactive : 4");

    EXPECT_TRUE(TopLevel<TSplashScreen>().empty()) << "the splash screen never comes back";
    auto windows = TopLevel<TfProgress>();
    ASSERT_EQ(windows.size(), 1u);
    TfProgress* p = windows[0];
    EXPECT_FALSE(p->isVisible()) << "closed at the end";
    EXPECT_EQ(p->Label2->text(), "Loading and Querying Registry Codec List");
    const int entries = 19;  // the demo's eighteen store entries and the new one
    EXPECT_EQ(p->ProgressBar->maximum(), entries);
    EXPECT_EQ(p->ProgressBar->value(), entries - 1);
    EXPECT_EQ(FromQ(p->PercentLabel->text()), std::to_string(CalcPercentage(entries - 1, entries)) + "%");
    FlushDeletes();
    EXPECT_TRUE(TopLevel<TfProgress>().empty()) << "the progress window disposes of itself";

    main->Refresh->trigger();
    EXPECT_EQ(TopLevel<TfProgress>().size(), 1u) << "every refresh makes its own window";
}

TEST_F(DemoCodecWindow, RowsWithAnInactiveTwinAreRed) {
    Open();
    TCodecCatalogue& cat = codecs->Catalogue();
    auto colour = [&](int row) { return codecs->CodecListModel->data(codecs->CodecListModel->index(row, 0), Qt::ForegroundRole); };
    const int mjpg = ActiveRow("mjpg");
    const int yuy2 = ActiveRow("yuy2");
    EXPECT_EQ(colour(mjpg).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(codecs->CodecListModel->data(codecs->CodecListModel->index(mjpg, 3), Qt::ForegroundRole)
                  .value<QColor>(),
              QColor(255, 0, 0))
        << "the whole row";
    EXPECT_FALSE(colour(yuy2).isValid());

    cat.InactiveCodecList.Entry(0).Fourcc = "MJPG";
    EXPECT_EQ(colour(mjpg).value<QColor>(), QColor(255, 0, 0));
    cat.InactiveCodecList.Delete(0);
    codecs->ShowRows();
    EXPECT_FALSE(colour(mjpg).isValid()) << "the twin is gone";

    cat.InactiveCodecList.Add().Fourcc = "yuy2x";
    codecs->ShowRows();
    EXPECT_EQ(colour(yuy2).value<QColor>(), QColor(255, 0, 0)) << "yuy2 begins yuy2x";
    cat.CodecList.Entry(yuy2).Fourcc = "yuy2xy";
    EXPECT_FALSE(colour(yuy2).isValid());
    EXPECT_FALSE(codecs->InactiveCodecListModel->data(codecs->InactiveCodecListModel->index(0, 0),
                                                      Qt::ForegroundRole)
                     .isValid())
        << "the inactive list has no colouring";
}

TEST_F(DemoCodecWindow, SelectingAnActiveRowSelectsAndShowsItsTwins) {
    // Enough inactive rows to need scrolling, with a second mjpg twin last.
    for (int i = 5; i <= 44; ++i) {
        char name[8], fourcc[8];
        std::snprintf(name, sizeof name, "#%03d#", i);
        std::snprintf(fourcc, sizeof fourcc, "zz%02d", i);
        SetInactive(name, {fourcc, "z.dll", "Z", "Zed", "1", "32"});
    }
    SetInactive("#045#", {"MJPG", "kwmjpeg.dll", "KW MJPEG", "Kestrelwood", "1.2.0.7", "32"});
    Open();
    Show();
    QTreeView* inactive = codecs->InactiveCodecList;
    const int last = codecs->InactiveCodecListModel->rowCount() - 1;
    ASSERT_EQ(last, 44);
    inactive->selectionModel()->select(codecs->InactiveCodecListModel->index(7, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);

    QTreeView* list = codecs->CodecList;
    const QRect r = list->visualRect(codecs->CodecListModel->index(ActiveRow("mjpg"), 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(SelectedRows(inactive), (std::vector<int>{0, last}));
    EXPECT_EQ(main->StatusText(3), "mjpg (2)");
    const QRect twin = inactive->visualRect(codecs->InactiveCodecListModel->index(last, 0));
    EXPECT_TRUE(inactive->viewport()->rect().contains(twin)) << "the later twin is wholly visible";
    EXPECT_GT(inactive->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(codecs->Catalogue().InactiveCodecList.Selected(last)) << "the core rows follow";

    SelectActive(ActiveRow("yuy2"));
    EXPECT_TRUE(SelectedRows(inactive).empty());
    EXPECT_EQ(main->StatusText(3), "yuy2 (0)");
    EXPECT_EQ(inactive->verticalScrollBar()->value(), 0) << "back to the first row";
}

TEST_F(DemoCodecWindow, LowestSelectedRowDecidesWhateverWasClickedLast) {
    Open();
    const int yuy2 = ActiveRow("yuy2"), vrh2 = ActiveRow("vrh2"), ovt6 = ActiveRow("ovt6");
    ASSERT_LT(yuy2, vrh2);
    SelectActive(vrh2);
    EXPECT_EQ(main->StatusText(3), "vrh2 (0)");
    EXPECT_TRUE(codecs->Configure1->isEnabled());
    EXPECT_FALSE(codecs->About1->isEnabled());

    SelectActive(yuy2, QItemSelectionModel::Select);
    EXPECT_EQ(main->StatusText(3), "yuy2 (0)");
    EXPECT_FALSE(codecs->Configure1->isEnabled());
    EXPECT_TRUE(codecs->About1->isEnabled());

    SelectActive(ovt6, QItemSelectionModel::Select);
    EXPECT_EQ(main->StatusText(3), "yuy2 (0)");
    EXPECT_FALSE(codecs->Configure1->isEnabled()) << "still yuy2's answers, not ovt6's";
    EXPECT_EQ(codecs->Catalogue().CodecList.SelectedCount(), 3u);
}

TEST_F(DemoCodecWindow, DeselectingTheLastRowChangesNothing) {
    Open();
    const int vrh2 = ActiveRow("vrh2");
    SelectActive(vrh2);
    ASSERT_EQ(main->StatusText(3), "vrh2 (0)");
    codecs->CodecList->selectionModel()->clearSelection();
    EXPECT_EQ(codecs->Catalogue().CodecList.SelectedCount(), 0u);
    EXPECT_EQ(main->StatusText(3), "vrh2 (0)");
    EXPECT_TRUE(codecs->Configure1->isEnabled());
    EXPECT_FALSE(codecs->About1->isEnabled());
}

TEST_F(DemoCodecWindow, ConfigureAndAboutFollowTheSelectedCodec) {
    SetDriver("vidc.junk", "junk.dll");
    machine.WriteFile("drive_c/windows/system32/junk.dll", "MZ but nothing more");
    Open();
    struct Case {
        const char* fourcc;
        bool configure, about;
    };
    // Ordered so that every step changes at least one item.
    for (const Case& c : {Case{"mjpg", true, true}, Case{"i420", false, false}, Case{"yuy2", false, true},
                          Case{"vrh2", true, false}, Case{"ovt6", true, true}, Case{"xmv7", false, false},
                          Case{"kwd3", true, true}, Case{"junk", false, false}}) {
        SelectActive(ActiveRow(c.fourcc));
        EXPECT_EQ(codecs->Configure1->isEnabled(), c.configure) << c.fourcc;
        EXPECT_EQ(codecs->About1->isEnabled(), c.about) << c.fourcc;
    }
}

TEST_F(BareCodecWindow, PopupOnAnEmptyListDisablesTheCodecCommands) {
    Open();
    ASSERT_EQ(codecs->CodecListModel->rowCount(), 0);
    codecs->Configure1->setEnabled(true);
    codecs->About1->setEnabled(true);
    emit codecs->CodecList->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(codecs->DriverConfig->isVisible());
    codecs->DriverConfig->close();
    EXPECT_FALSE(codecs->Configure1->isEnabled());
    EXPECT_FALSE(codecs->About1->isEnabled());
    EXPECT_FALSE(codecs->ScanCodecsformoreFOURCCs1->isEnabled());
    EXPECT_FALSE(HiddenItemEnabled(codecs->EditFOURCCscanlist1));
    EXPECT_TRUE(codecs->DeActivate1->isEnabled());
    EXPECT_TRUE(codecs->ShowVersionTooltips1->isEnabled());
    EXPECT_TRUE(codecs->N2->isEnabled());
}

TEST_F(DemoCodecWindow, PopupNeverEnablesConfigureOrAbout) {
    Open();
    SelectActive(ActiveRow("mjpg"));
    codecs->DriverConfigPopup();
    EXPECT_TRUE(codecs->Configure1->isEnabled()) << "a selection keeps what the codec answered";
    EXPECT_TRUE(codecs->About1->isEnabled());
    EXPECT_TRUE(codecs->ScanCodecsformoreFOURCCs1->isEnabled());

    codecs->CodecList->selectionModel()->clearSelection();
    codecs->DriverConfigPopup();
    EXPECT_FALSE(codecs->Configure1->isEnabled());
    EXPECT_FALSE(codecs->About1->isEnabled());
    EXPECT_FALSE(codecs->ScanCodecsformoreFOURCCs1->isEnabled());
    EXPECT_FALSE(HiddenItemEnabled(codecs->EditFOURCCscanlist1));
    EXPECT_TRUE(codecs->DeActivate1->isEnabled());

    // A row selected without the selection handler running: the menu
    // offers the scan again but leaves the codec's commands off.
    codecs->Catalogue().CodecList.Select(0);
    codecs->DriverConfigPopup();
    EXPECT_TRUE(codecs->ScanCodecsformoreFOURCCs1->isEnabled());
    EXPECT_TRUE(HiddenItemEnabled(codecs->EditFOURCCscanlist1));
    EXPECT_FALSE(codecs->Configure1->isEnabled());
    EXPECT_FALSE(codecs->About1->isEnabled());

    SelectActive(ActiveRow("mjpg"));
    EXPECT_TRUE(codecs->Configure1->isEnabled()) << "back with the next selection";
}

TEST_F(DemoCodecWindow, SelectAllRunsTheSelectionHandlerOnceForTheFirstRow) {
    Open();
    codecs->N2->trigger();
    const int rows = codecs->CodecListModel->rowCount();
    EXPECT_EQ(int(SelectedRows(codecs->CodecList).size()), rows);
    EXPECT_EQ(int(codecs->Catalogue().CodecList.SelectedCount()), rows);
    const std::string first = Column(codecs->CodecListModel, 0).front();
    EXPECT_EQ(main->StatusText(3), first + " (1)");
    EXPECT_EQ(SelectedRows(codecs->InactiveCodecList), (std::vector<int>{0})) << "the twin of the first row";

    codecs->SelectAll1->trigger();
    EXPECT_EQ(SelectedRows(codecs->InactiveCodecList), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(int(SelectedRows(codecs->CodecList).size()), rows) << "the other list keeps its selection";
    EXPECT_EQ(codecs->Catalogue().InactiveCodecList.SelectedCount(), 4u);
}

TEST_F(BareCodecWindow, SelectAllOnEmptyListsDoesNothing) {
    Open();
    main->SetStatusText(3, "before");
    codecs->N2->trigger();
    codecs->SelectAll1->trigger();
    EXPECT_EQ(main->StatusText(3), "before");
    EXPECT_TRUE(SelectedRows(codecs->CodecList).empty());
    EXPECT_TRUE(SelectedRows(codecs->InactiveCodecList).empty());
}

TEST_F(BareCodecWindow, InactiveHeaderSortsAscendingOnEveryClick) {
    SetInactive("#001#", {"pb01", "c.dll", "x", "x", "1", "32"});
    SetInactive("#002#", {"mjpg", "b.dll", "x", "x", "1", "32"});
    SetInactive("#003#", {"MJPG", "a.dll", "x", "x", "1", "32"});
    SetInactive("#004#", {"ab12", "d.dll", "x", "x", "1", "32"});
    Open();
    Show();
    QHeaderView* header = codecs->InactiveCodecList->header();
    auto clickHeader = [&](int section) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
    };
    const QAbstractItemModel* m = codecs->InactiveCodecListModel;

    clickHeader(1);  // Driver
    EXPECT_EQ(Column(m, 1), (Strings{"a.dll", "b.dll", "c.dll", "d.dll"}));
    EXPECT_EQ(Column(m, 0), (Strings{"MJPG", "mjpg", "pb01", "ab12"}));
    EXPECT_EQ(Column(m, 5), (Strings{"003", "002", "001", "004"})) << "whole rows move";

    clickHeader(0);
    const Strings once = Column(m, 0);
    // The locale decides where MJPG goes; the lower-case captions keep their order in any.
    Strings lower;
    for (const std::string& c : once)
        if (c != "MJPG") lower.push_back(c);
    EXPECT_EQ(lower, (Strings{"ab12", "mjpg", "pb01"}));
    clickHeader(0);
    EXPECT_EQ(Column(m, 0), once) << "ascending again, never reversed";

    // Case counts: mjpg and MJPG end in the same order whichever came first.
    clickHeader(2);  // all equal: the current order stays
    std::span<TCodecEntry> rows = codecs->Catalogue().InactiveCodecList.Entries();
    auto at = [&](const char* caption) {
        return std::find_if(rows.begin(), rows.end(), [&](const TCodecEntry& e) { return e.Fourcc == caption; });
    };
    std::iter_swap(at("mjpg"), at("MJPG"));
    codecs->ShowRows();
    ASSERT_NE(Column(m, 0), once);
    clickHeader(0);
    EXPECT_EQ(Column(m, 0), once);
    EXPECT_FALSE(codecs->CodecList->header()->sectionsClickable()) << "the active list is never sorted";
}

TEST_F(DemoCodecWindow, VersionTooltipsFollowThePointer) {
    Open();
    Show();
    QTreeView* list = codecs->CodecList;
    list->setFixedHeight(400);  // room below the rows
    QApplication::processEvents();
    auto move = [&](QPoint p) { SendMouse(list->viewport(), QEvent::MouseMove, p, Qt::NoButton); };
    auto rowPoint = [&](const char* fourcc) {
        return list->visualRect(codecs->CodecListModel->index(ActiveRow(fourcc), 1)).center();
    };

    list->setToolTip("stale");
    move(rowPoint("mjpg"));
    EXPECT_EQ(list->toolTip(), "") << "unchecked: the tooltip is cleared";

    const QModelIndex mjpg = codecs->CodecListModel->index(ActiveRow("mjpg"), 2);
    EXPECT_FALSE(codecs->CodecListModel->data(mjpg, Qt::ToolTipRole).isValid()) << "no hover text unchecked";

    codecs->ShowVersionTooltips1Click();
    EXPECT_TRUE(codecs->ShowVersionTooltips1->isChecked());
    const QString hover = codecs->CodecListModel->data(mjpg, Qt::ToolTipRole).toString();
    EXPECT_TRUE(hover.contains("Lumacraft Software")) << FromQ(hover);
    EXPECT_FALSE(hover.contains('\r')) << "no stray carriage returns on screen";
    move(rowPoint("mjpg"));
    const std::string text = FromQ(list->toolTip());
    EXPECT_EQ(text.rfind("Company" + std::string(13, ' ') + ": Lumacraft Software\n\r", 0), 0u) << text;
    EXPECT_NE(text.find("FileVersion" + std::string(11, ' ') + ": 2.4.0.118\n\r"), std::string::npos) << text;

    move(rowPoint("xmv7"));
    EXPECT_EQ(FromQ(list->toolTip()).rfind("Company" + std::string(13, ' ') + ": [Not Defined]", 0), 0u)
        << "a driver without version resource";
    const QString last = list->toolTip();

    const QModelIndex lastRow = codecs->CodecListModel->index(codecs->CodecListModel->rowCount() - 1, 0);
    const QPoint below(10, list->visualRect(lastRow).bottom() + 30);
    ASSERT_LT(below.y(), list->viewport()->height());
    ASSERT_FALSE(list->indexAt(below).isValid());
    move(below);
    EXPECT_EQ(list->toolTip(), last) << "empty space keeps the last text";

    codecs->ShowVersionTooltips1Click();
    move(below);
    EXPECT_EQ(list->toolTip(), "");
}

TEST_F(DemoCodecWindow, SizeEquallyHalvesThePanel) {
    Open();
    ASSERT_TRUE(main->Settings.SizeEqually);
    for (auto [panel, expected] : {std::pair{440, 157}, {441, 157}, {500, 187}}) {
        codecs->WindowsNTCodecsPanel->setFixedHeight(panel);
        codecs->CodecsPanelResize();
        EXPECT_EQ(codecs->CodecList->minimumHeight(), expected) << panel;
        EXPECT_EQ(codecs->CodecList->maximumHeight(), expected) << panel;
    }

    // The panel's own resizes run the rule when the window is laid out.
    codecs->WindowsNTCodecsPanel->setFixedHeight(440);
    codecs->CodecList->setFixedHeight(80);
    Show();
    EXPECT_EQ(codecs->CodecsPanel->height(), 440);
    EXPECT_EQ(codecs->CodecList->height(), 157);
}

TEST_F(DemoCodecWindow, WithoutSizeEquallyTheSavedHeightIsUsedAtEachLoad) {
    SetSetting(cSizeEqually, 0);
    SetSetting(cActiveCodecHeight, 0);
    Open();
    EXPECT_EQ(codecs->CodecList->minimumHeight(), 158) << "0: the design height stays";
    codecs.reset();
    main.reset();

    SetSetting(cActiveCodecHeight, 213);
    Open();
    EXPECT_EQ(codecs->CodecList->minimumHeight(), 213);
    codecs->WindowsNTCodecsPanel->setFixedHeight(440);
    codecs->CodecsPanelResize();
    EXPECT_EQ(codecs->CodecList->minimumHeight(), 213) << "resizing leaves it alone";
    codecs->CodecList->setFixedHeight(90);
    main->Refresh->trigger();
    EXPECT_EQ(codecs->CodecList->minimumHeight(), 213) << "each load sets it again";
}

TEST_F(DemoCodecWindow, SizeEquallyIgnoresTheSavedHeight) {
    SetSetting(cActiveCodecHeight, 213);
    Open();
    EXPECT_EQ(codecs->CodecList->minimumHeight(), 158);
}

TEST_F(DemoCodecWindow, QuitSavesTheHeightTheSplitterGave) {
    SetSetting(cSizeEqually, 0);
    Open();
    Show();
    const int before = codecs->CodecList->height();
    ASSERT_EQ(before, 158);
    // The pointer's screen position is what counts while the bar itself moves.
    TSplitterBar* bar = codecs->Splitter1;
    const QPoint origin = bar->mapToGlobal(QPoint(5, 1));
    auto send = [&](QEvent::Type type, int dy, Qt::MouseButtons buttons) {
        const QPoint global = origin + QPoint(0, dy);
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, QPointF(bar->mapFromGlobal(global)), QPointF(global), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(bar, &e);
        QApplication::processEvents();
    };
    send(QEvent::MouseButtonPress, 0, Qt::LeftButton);
    send(QEvent::MouseMove, 30, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, 30, Qt::NoButton);
    EXPECT_EQ(codecs->CodecList->height(), 188);

    send(QEvent::MouseButtonPress, 30, Qt::LeftButton);
    send(QEvent::MouseMove, -500, Qt::LeftButton);
    EXPECT_EQ(codecs->CodecList->height(), 50) << "never below 50 pixels";
    send(QEvent::MouseMove, 40, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, 40, Qt::NoButton);
    EXPECT_EQ(codecs->CodecList->height(), 198);
    send(QEvent::MouseMove, 300, Qt::NoButton);
    EXPECT_EQ(codecs->CodecList->height(), 198) << "no button, no drag";

    test::WhenModal<TfQuestion>([](TfQuestion* q) {
        auto* yes = q->findChild<QPushButton*>("Button1");
        ASSERT_NE(yes, nullptr);
        QTest::mouseClick(yes, Qt::LeftButton);
    });
    EXPECT_TRUE(main->close());
    EXPECT_EQ(Setting(cActiveCodecHeight), 198);
}

// --- Codec operations -------------------------------------------------------------

TEST_F(DemoCodecWindow, EachListTakesDragsFromTheOtherListOnly) {
    Open();
    QObject* active = codecs->CodecList;
    QObject* inactive = codecs->InactiveCodecList;
    EXPECT_TRUE(codecs->InactiveCodecListDragOver(active));
    EXPECT_FALSE(codecs->InactiveCodecListDragOver(inactive)) << "its own rows";
    EXPECT_FALSE(codecs->InactiveCodecListDragOver(nullptr)) << "a drag from another program";
    EXPECT_TRUE(codecs->CodecListDragOver(inactive));
    EXPECT_FALSE(codecs->CodecListDragOver(active)) << "its own rows";
    EXPECT_FALSE(codecs->CodecListDragOver(codecs->CodecsPanel));

    // The views ask the handlers: a drag without a source list is refused.
    for (QTreeView* view : {codecs->CodecList, codecs->InactiveCodecList}) {
        QMimeData data;
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.accept();
        QApplication::sendEvent(view->viewport(), &enter);
        EXPECT_FALSE(enter.isAccepted()) << view->objectName().toStdString();
    }
}

TEST_F(DemoCodecWindow, DropsMoveTheSourceListsSelection) {
    Open();
    const auto [active0, inactive0] = Shown();
    SelectActive(ActiveRow("yuy2"));
    SelectActive(ActiveRow("vrh2"), QItemSelectionModel::Select);
    main->SetStatusText(1, "stale");
    codecs->InactiveCodecListDragDrop(codecs->CodecList);
    Strings expectActive = active0, expectInactive = inactive0;
    std::erase(expectActive, "yuy2=pbyuv.dll");
    std::erase(expectActive, "vrh2=vrnhd.dll");
    expectInactive.insert(expectInactive.end(), {"yuy2=pbyuv.dll", "vrh2=vrnhd.dll"});
    EXPECT_EQ(Shown(), std::pair(expectActive, expectInactive));
    EXPECT_EQ(Stored(), Shown());
    EXPECT_EQ(main->StatusText(1), "Active : 10");
    EXPECT_EQ(main->StatusText(2), "Inactive : 6");
    EXPECT_TRUE(SelectedRows(codecs->CodecList).empty());

    // A drop from anywhere else moves nothing but still saves and counts.
    SelectActive(ActiveRow("mjpg"));
    main->SetStatusText(1, "stale");
    const auto before = Shown();
    codecs->InactiveCodecListDragDrop(codecs->InactiveCodecList);
    EXPECT_EQ(Shown(), before);
    EXPECT_EQ(main->StatusText(1), "Active : 10");
}

TEST_F(DemoCodecWindow, DoubleClicksMoveCodecsUnlessSwitchedOff) {
    Open();
    Show();
    // The first click of a double-click selects the row.
    auto doubleClick = [&](QTreeView* view, int row) {
        const QRect r = view->visualRect(view->model()->index(row, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, r.center());
    };
    const auto start = Shown();

    main->Settings.DisableDoubleClick = true;
    doubleClick(codecs->CodecList, ActiveRow("yuy2"));
    doubleClick(codecs->InactiveCodecList, InactiveRow("ptx8"));
    EXPECT_EQ(Shown(), start);
    EXPECT_EQ(Stored(), start);

    main->Settings.DisableDoubleClick = false;
    doubleClick(codecs->CodecList, ActiveRow("yuy2"));
    EXPECT_EQ(Shown().second.back(), "yuy2=pbyuv.dll");
    EXPECT_EQ(Shown().first.size(), start.first.size() - 1);
    doubleClick(codecs->InactiveCodecList, InactiveRow("ptx8"));
    EXPECT_EQ(Shown().first.back(), "ptx8=pbtex.dll");
    EXPECT_EQ(Stored(), Shown());
    EXPECT_EQ(main->StatusText(2), "Inactive : 4");
}

TEST_F(DemoCodecWindow, ListKeysActOnTheFocusedListOnly) {
    Open();
    Show();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    std::vector<std::string> dialogs;
    platform::SetDriverDialogHost([&](bool configure, const std::string& title, const std::string&) {
        dialogs.push_back((configure ? "configure " : "about ") + title);
    });
    QTreeView* active = codecs->CodecList;
    QTreeView* inactive = codecs->InactiveCodecList;
    auto key = [](QWidget* w, Qt::Key k) {
        w->setFocus();
        QTest::keyClick(w, k, Qt::ControlModifier);
    };

    SelectActive(ActiveRow("mjpg"));
    key(active, Qt::Key_C);
    key(active, Qt::Key_B);
    EXPECT_EQ(dialogs, (std::vector<std::string>{"configure LC Motion JPEG", "about LC Motion JPEG"}));
    key(inactive, Qt::Key_C);
    key(inactive, Qt::Key_B);
    EXPECT_EQ(dialogs.size(), 2u) << "the inactive list's menu has no such items";

    key(inactive, Qt::Key_A);
    EXPECT_EQ(SelectedRows(inactive), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(SelectedRows(active), (std::vector<int>{ActiveRow("mjpg")}));
    key(active, Qt::Key_A);
    EXPECT_EQ(int(SelectedRows(active).size()), codecs->CodecListModel->rowCount());

    // i420 offers neither dialog: its greyed items' keys do nothing, not even a copy.
    SelectActive(ActiveRow("i420"));
    ASSERT_FALSE(codecs->Configure1->isEnabled());
    QGuiApplication::clipboard()->setText("before");
    key(active, Qt::Key_C);
    key(active, Qt::Key_B);
    EXPECT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
}

TEST_F(DemoCodecWindow, SwapIsAskedWithTheQuestionDialog) {
    Open();
    main->Settings.AutoSwap = false;
    auto answer = [](QPushButton* TfQuestion::*button, std::string* asked = nullptr) {
        test::WhenModal<TfQuestion>([button, asked](TfQuestion* q) {
            if (asked)
                *asked = FromQ(q->questionLabel->text() + "|" + q->Label2->text() + "|" + q->HelpLabel->text());
            QTest::mouseClick(q->*button, Qt::LeftButton);
        });
    };
    const auto start = Shown();

    std::string asked;
    SelectInactive(InactiveRow("mjpg"));
    answer(&TfQuestion::Button3, &asked);  // Cancel
    codecs->Activate1->trigger();
    EXPECT_EQ(asked, "Codec with same FOURCC already exists, swap them?|Tarnel|Question");
    EXPECT_EQ(Shown(), start);

    SelectInactive(InactiveRow("mjpg"));
    answer(&TfQuestion::Button1);  // Yes
    codecs->Activate1->trigger();
    EXPECT_EQ(Shown().first.back(), "mjpg=kwmjpeg.dll");
    EXPECT_EQ(Shown().second.back(), "mjpg=lcmjpeg.dll");
    EXPECT_EQ(Stored(), Shown());
    EXPECT_EQ(main->StatusText(1), "Active : 12");
    EXPECT_EQ(main->StatusText(2), "Inactive : 4");
}

TEST_F(DemoCodecWindow, RemovalHappensOnlyAfterYes) {
    Open();
    const auto start = Shown();
    SelectInactive(InactiveRow("ptx8"));
    main->SetStatusText(2, "untouched");
    test::WhenModal<TfQuestion>([](TfQuestion* q) {
        EXPECT_EQ(FromQ(q->questionLabel->text()), "Are you sure you want to remove selected FOURCC's");
        QTest::mouseClick(q->Button2, Qt::LeftButton);  // No
    });
    codecs->RemoveSelectedInactiveDrivers1->trigger();
    EXPECT_EQ(Shown(), start);
    EXPECT_EQ(Stored(), start);
    EXPECT_EQ(main->StatusText(2), "untouched") << "No changes nothing, not even the counters";

    test::WhenModal<TfQuestion>([](TfQuestion* q) { QTest::mouseClick(q->Button1, Qt::LeftButton); });
    codecs->RemoveSelectedInactiveDrivers1->trigger();
    Strings inactive = start.second;
    std::erase(inactive, "ptx8=pbtex.dll");
    EXPECT_EQ(Shown(), std::pair(start.first, inactive));
    EXPECT_EQ(Stored(), Shown());
    EXPECT_EQ(main->StatusText(2), "Inactive : 3");
}

TEST_F(DemoCodecWindow, AFailedSaveShowsWhyOverTheStoredLists) {
    Open();
    const auto start = Shown();
    const fs::path hive = machine.Root() / "system.reg";
    ::chmod(hive.c_str(), 0444);
    SelectActive(ActiveRow("yuy2"));
    main->SetStatusText(1, "stale");
    std::string message;
    std::pair<Strings, Strings> shownMeanwhile;
    std::string counterMeanwhile;
    test::WhenModal<TfMessage>([&](TfMessage* m) {
        message = FromQ(m->MessageLabel->text());
        shownMeanwhile = Shown();
        counterMeanwhile = main->StatusText(1);
        QTest::mouseClick(m->OkButton, Qt::LeftButton);
    });
    codecs->DeActivate1->trigger();
    ::chmod(hive.c_str(), 0644);
    EXPECT_EQ(log.Lines().back(), "T : Displaying Message : " + message);
    EXPECT_NE(message.find("system.reg"), std::string::npos) << message;
    EXPECT_EQ(shownMeanwhile, start) << "the lists show what is stored before the message";
    EXPECT_EQ(counterMeanwhile, "Active : 12");
    EXPECT_EQ(Shown(), start);
    EXPECT_EQ(Stored(), start);
}

TEST_F(DemoCodecWindow, CodecDialogsShowTheDriversTextUnderItsName) {
    Open();
    struct Seen {
        std::string title, band, subtitle, text;
    };
    auto open = [&](QAction* item) {
        Seen seen;
        test::WhenModal<TfDriverDialog>([&seen](TfDriverDialog* d) {
            seen = {FromQ(d->windowTitle()), FromQ(d->Panel5->Label2->text()), FromQ(d->Panel5->HelpLabel->text()),
                    FromQ(d->TextLabel->text())};
            QTest::mouseClick(d->OkButton, Qt::LeftButton);
        });
        item->trigger();
        return seen;
    };
    SelectActive(ActiveRow("mjpg"));
    Seen about = open(codecs->About1);
    EXPECT_EQ(about.title, "LC Motion JPEG");
    EXPECT_EQ(about.band, "LC Motion JPEG");
    EXPECT_EQ(about.subtitle, "About the Codec");
    EXPECT_EQ(about.text, "Lumacraft Motion JPEG 2.4.0.118\nCopyright (C) 2004 Lumacraft Software");

    SelectActive(ActiveRow("kwd3"));
    Seen configure = open(codecs->Configure1);
    EXPECT_EQ(configure.title, "KW Delta");
    EXPECT_EQ(configure.subtitle, "Codec Configuration");
    EXPECT_EQ(configure.text,
              "Kestrelwood Delta settings\n\nQuality: 85\nKey frame every 250 frames\n"
              "These settings are fixed in this build.");

    EXPECT_TRUE(bool(DriverDialogHost()));
    codecs.reset();
    EXPECT_FALSE(bool(DriverDialogHost())) << "the host goes with the window";
}

TEST_F(DemoCodecWindow, FourccListIsShownWithoutWaiting) {
    Open();
    TfFourcc list(main.get());
    EXPECT_FALSE(list.isVisible());
    QTableWidget* table = list.dfsExtListView1;
    ASSERT_EQ(table->rowCount(), 1);
    ASSERT_EQ(table->columnCount(), 4);
    Strings heads, row;
    for (int c = 0; c < 4; ++c) {
        heads.push_back(FromQ(table->horizontalHeaderItem(c)->text()));
        row.push_back(FromQ(table->item(0, c)->text()));
    }
    EXPECT_EQ(heads, (Strings{"Fourcc", "Name", "Owner", "Notes"}));
    EXPECT_EQ(row, (Strings{"AEMI", "Array VideoONE MPEG1-I Capture", "Array Microsystems",
                            "Array's codec used for I frame only MPEG1 AVI files"}));

    codecs->EditFOURCCscanlist1Click();
    EXPECT_TRUE(list.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "not modal";
    EXPECT_FALSE(list.isModal());
}

namespace {
// Each component of a window with its name, what a screen reader calls it
// and its kind, in the order the focus goes through them.
Strings Components(QWidget* window) {
    // Qt's own parts of a scroll area are made in an order of their own.
    const auto own = [](QWidget* w) { return !w->objectName().isEmpty() && !w->objectName().startsWith("qt_"); };
    Strings out;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (own(w))
            out.push_back(w->objectName().toStdString() + "|" + w->accessibleName().toStdString() + "|" +
                      w->metaObject()->className());
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain())
        if (own(w)) out.push_back("focus " + w->objectName().toStdString());
    return out;
}
}  // namespace

// Start-up makes the FOURCC list without its contents; shown for the first
// time, it has every component an eagerly made one has, named and in focus
// order alike.
TEST_F(DemoCodecWindow, FourccListOfStartUpIsMadeWholeWhenFirstShown) {
    StartProgram(log);
    main.reset(fMain);
    codecs.reset(fNTCodecs);
    std::unique_ptr<TfDirectShow> directShow(fDirectShow);
    std::unique_ptr<TfLogging> logging(fLogging);
    std::unique_ptr<TfFourcc> lazy(fFourcc);
    ASSERT_NE(lazy, nullptr);
    FlushDeletes();
    EXPECT_TRUE(lazy->findChildren<QWidget*>().isEmpty()) << "nothing made before it is asked for";

    codecs->EditFOURCCscanlist1Click();
    ASSERT_TRUE(lazy->isVisible());
    ASSERT_NE(lazy->dfsExtListView1, nullptr);
    TfFourcc eager(main.get());
    const Strings expected = Components(&eager);
    ASSERT_GT(expected.size(), 25u);
    EXPECT_EQ(Components(lazy.get()), expected);
    EXPECT_EQ(lazy->dfsExtListView1->item(0, 0)->text(), "AEMI");
    EXPECT_EQ(lazy->size(), eager.size());
    lazy->hide();
    QTableWidget* table = lazy->dfsExtListView1;
    lazy->ShowNonModal();
    EXPECT_EQ(lazy->dfsExtListView1, table) << "made once";
}


// --- Readable at any size, and by a screen reader ---------------------------------

TEST_F(DemoCodecWindow, ColumnsGrowWithALargerFontSoFourccsAreNotCut) {
    SetSetting(cFontSize, 24);
    Open();
    QTreeView* list = codecs->CodecList;
    const QFontMetrics metrics(list->font());
    const int margin = 2 * list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 2;
    for (const char* fourcc : {"mjpg", "xmv7", "rawv"})
        EXPECT_GE(list->header()->sectionSize(0), metrics.horizontalAdvance(fourcc) + margin) << fourcc;
    for (int c = 1; c < 5; ++c) EXPECT_GT(list->header()->sectionSize(c), ColumnsOf(TListKind::Active)[size_t(c)].Width) << c;
    EXPECT_EQ(list->header()->sectionSize(5), 0) << "a hidden column stays hidden";
    // Back to the design font, back to the design widths.
    main->Settings.FontSize = cDefaultFontSize;
    main->ApplyProgramFont();
    for (int c = 0; c < 6; ++c) EXPECT_EQ(list->header()->sectionSize(c), ColumnsOf(TListKind::Active)[size_t(c)].Width) << c;
}

TEST_F(DemoCodecWindow, TheInactiveBandNeverCoversTheActiveList) {
    auto check = [&](const char* when) {
        QApplication::processEvents();
        const QRect active = codecs->CodecList->geometry();
        EXPECT_GT(codecs->Panel1->geometry().top(), active.bottom()) << when;
        EXPECT_GE(codecs->InactiveCodecList->height(), 50) << when;
        EXPECT_LE(codecs->Panel2->geometry().bottom(), codecs->CodecsPanel->height()) << when;
    };
    // A height saved in a larger window, now at 900 x 650.
    SetSetting(cSizeEqually, 0);
    SetSetting(cActiveCodecHeight, 420);
    Open();
    Show();
    main->resize(900, 650);
    check("saved height");
    main->resize(1200, 900);
    QApplication::processEvents();
    EXPECT_EQ(codecs->CodecList->height(), 420) << "with room again, the saved height returns";
    // The smallest window still shows both bands and both lists.
    main->resize(100, 100);
    check("smallest window");
    EXPECT_GE(codecs->CodecList->height(), 50);

    main->Settings.SizeEqually = true;
    for (QSize size : {QSize(900, 650), QSize(619, 414), QSize(400, 200)}) {
        main->resize(size);
        check("size equally");
    }
}

TEST_F(DemoCodecWindow, TheSplitterBetweenTheListsCanBeSeen) {
    Open();
    Show();
    const QImage bar = codecs->Splitter1->grab().toImage();
    ASSERT_FALSE(bar.isNull());
    const QColor around = codecs->CodecsPanel->palette().color(QPalette::Window);
    int unlike = 0;
    for (int y = 0; y < bar.height(); ++y) unlike += bar.pixelColor(bar.width() / 2, y) != around;
    EXPECT_GE(unlike, 2) << "drawn in colours of its own";
}

TEST_F(DemoCodecWindow, BrokenDriversAreMarkedAndSayWhy) {
    Open();
    const QAbstractItemModel* m = codecs->CodecListModel;
    const int xmv7 = ActiveRow("xmv7"), mjpg = ActiveRow("mjpg");
    const std::string why = "Driver file not found: C:\\WINDOWS\\system32\\xmvdec.dll";
    EXPECT_FALSE(m->data(m->index(xmv7, 1), Qt::DecorationRole).value<QIcon>().isNull()) << "beside the driver";
    EXPECT_FALSE(m->data(m->index(mjpg, 1), Qt::DecorationRole).isValid());
    EXPECT_FALSE(m->data(m->index(xmv7, 0), Qt::DecorationRole).isValid());

    auto tip = [&](int row) { return FromQ(m->data(m->index(row, 2), Qt::ToolTipRole).toString()); };
    EXPECT_NE(tip(xmv7).find(why), std::string::npos) << "shown without the version tooltips: " << tip(xmv7);
    EXPECT_EQ(tip(mjpg), "");
    codecs->ShowVersionTooltips1Click();
    EXPECT_NE(tip(xmv7).find(why), std::string::npos);
    EXPECT_NE(tip(xmv7).find("[Not Defined]"), std::string::npos) << "beside the version texts";
    EXPECT_LT(tip(xmv7).find(why), tip(xmv7).find("[Not Defined]")) << "the problem first";
}

TEST_F(DemoCodecWindow, VersionTooltipColonsLineUpInTheTooltipFont) {
    Open();
    codecs->ShowVersionTooltips1Click();
    const QAbstractItemModel* m = codecs->CodecListModel;
    QTextDocument shown;
    shown.setDefaultFont(QToolTip::font());
    shown.setHtml(m->data(m->index(ActiveRow("mjpg"), 0), Qt::ToolTipRole).toString());
    std::set<int> colonAt;
    int lines = 0;
    for (QTextBlock b = shown.begin(); b.isValid(); b = b.next()) {
        if (!b.text().startsWith(QLatin1Char(':'))) continue;
        ++lines;
        colonAt.insert(int(shown.documentLayout()->blockBoundingRect(b).left()));
    }
    EXPECT_GE(lines, 5) << "mjpg's driver has many version texts";
    EXPECT_EQ(colonAt.size(), 1u) << "every colon at one position";
}

TEST_F(DemoCodecWindow, ShiftF10OpensAListsPopupMenuAsTheMenuKeyDoes) {
    Open();
    Show();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    for (auto [list, menu] : {std::pair<QTreeView*, QMenu*>{codecs->CodecList, codecs->DriverConfig},
                              {codecs->InactiveCodecList, codecs->InactiveDrivers}}) {
        list->setFocus();
        list->setCurrentIndex(list->model()->index(1, 0));
        // What the window system sends for the Menu key.
        const QPoint at = list->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, at, list->mapToGlobal(at));
        QApplication::sendEvent(list, &menuKey);
        ASSERT_TRUE(menu->isVisible());
        const QPoint byMenuKey = menu->pos();
        menu->close();
        QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_TRUE(menu->isVisible()) << list->objectName().toStdString();
        EXPECT_EQ(menu->pos(), byMenuKey);
        menu->close();
        QTest::keyClick(list, Qt::Key_F10);
        EXPECT_FALSE(menu->isVisible()) << "F10 alone is not the menu's key";
    }
}

TEST_F(DemoCodecWindow, ScreenReadersGetTheShownColumnsAndTheRowsInWords) {
    Open();
    Show();
    QAccessibleInterface* active = QAccessible::queryAccessibleInterface(codecs->CodecList);
    QAccessibleInterface* inactive = QAccessible::queryAccessibleInterface(codecs->InactiveCodecList);
    ASSERT_TRUE(active && inactive && active->tableInterface() && inactive->tableInterface());
    EXPECT_EQ(active->text(QAccessible::Name), "Active Codecs");
    EXPECT_EQ(inactive->text(QAccessible::Name), "Inactive Codecs");
    EXPECT_EQ(active->role(), QAccessible::Table);
    QStringList heads;
    for (int c = 0; c < inactive->tableInterface()->columnCount(); ++c)
        heads << inactive->tableInterface()->columnDescription(c);
    EXPECT_EQ(heads, (QStringList{"Fourcc", "Driver", "Shortname", "Description", "Version"}))
        << "Number and Type are not offered";
    EXPECT_EQ(active->tableInterface()->columnCount(), 5) << "nor is Type";
    EXPECT_EQ(active->childCount(), 5 * (codecs->CodecListModel->rowCount() + 1));

    auto cell = [&](const char* fourcc, int column) {
        return active->tableInterface()->cellAt(ActiveRow(fourcc), column);
    };
    ASSERT_NE(cell("mjpg", 1), nullptr);
    EXPECT_EQ(cell("mjpg", 1)->text(QAccessible::Name), "lcmjpeg.dll");
    EXPECT_EQ(cell("mjpg", 1)->role(), QAccessible::Cell);
    EXPECT_EQ(cell("mjpg", 0)->text(QAccessible::Description), "has an inactive twin");
    EXPECT_EQ(cell("xmv7", 3)->text(QAccessible::Description),
              "Driver file not found: C:\\WINDOWS\\system32\\xmvdec.dll");
    EXPECT_EQ(cell("yuy2", 0)->text(QAccessible::Description), "");
    // Children and cells are the same objects, found both ways.
    QAccessibleInterface* byIndex = active->child(active->indexOfChild(cell("yuy2", 2)));
    EXPECT_EQ(byIndex, cell("yuy2", 2));
    // Selection is told by the columns offered.
    SelectActive(ActiveRow("yuy2"));
    EXPECT_EQ(active->tableInterface()->selectedRows(), QList<int>{ActiveRow("yuy2")});
    EXPECT_TRUE(cell("yuy2", 4)->state().selected);

    // The index the view's focus and selection events carry names the row's
    // cell among the columns offered (the platform follows it to the cell).
    const QModelIndex xmv7 = codecs->CodecListModel->index(ActiveRow("xmv7"), 0);
    EXPECT_EQ(active->child(TTableAccessible::ChildIndex(codecs->CodecList, xmv7)), cell("xmv7", 0));
    EXPECT_EQ(TTableAccessible::ChildIndex(codecs->CodecList, xmv7.siblingAtColumn(5)), -1) << "Type";

    QAccessibleInterface* splitter = QAccessible::queryAccessibleInterface(codecs->Splitter1);
    EXPECT_EQ(splitter->role(), QAccessible::Splitter);
    EXPECT_FALSE(splitter->text(QAccessible::Name).isEmpty());
}

// On a system the program does not support, the inactive list is still
// read, but activating from it changes nothing: the rows, the counters and
// the store stay, and the user is told why (and the log says so).
TEST_F(DemoCodecWindow, AnUnsupportedSystemShowsNoChangeItDidNotMake) {
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cNTCurrentVersionKey, false));
        reg.WriteInteger("PlatformId", 0);
    }
    test::WhenModal<TfMessage>([](TfMessage* m) { m->done(0); });
    Open(/*splash=*/false);
    // The quit the main window asks for on such a system is not this test's.
    QCoreApplication::processEvents();
    ASSERT_EQ(main->Settings.CodecStoreMode, 0);
    const auto start = Shown();
    ASSERT_TRUE(start.first.empty());
    ASSERT_EQ(start.second.size(), 4u);
    const std::string counters = main->StatusText(1) + "|" + main->StatusText(2);

    std::string said;
    test::WhenModal<TfMessage>([&](TfMessage* m) {
        said = FromQ(m->MessageLabel->text());
        m->done(0);
    });
    SelectInactive(InactiveRow("ptx8"));
    codecs->Activate1->trigger();
    EXPECT_EQ(said, cMsgNotChangedUnsupported);
    EXPECT_EQ(Shown(), start);
    EXPECT_EQ(main->StatusText(1) + "|" + main->StatusText(2), counters);
    main->Settings.CodecStoreMode = 3;  // to read the store as it stands
    EXPECT_EQ(Stored().second, start.second);
    const auto& lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::string("T : ") + cMsgNotChangedUnsupported), lines.end());
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
                  return l.find("Adding to Active Codec List") != std::string::npos;
              }),
              0);
}

// An inactive entry too short to read is a marked row among the others,
// says what is wrong in its tooltip and to a screen reader, and "Remove
// Selected Inactive Drivers" on it frees the lists again.
TEST_F(DemoCodecWindow, AShortInactiveEntryIsAMarkedRowThatCanBeRemoved) {
    SetInactive("#002#", {"ptx8", "pbtex.dll", "PB Texture"});
    ASSERT_TRUE(TopLevel<TfMessage>().empty());
    Open();
    EXPECT_TRUE(TopLevel<TfMessage>().empty()) << "no message at start-up: the row says it";
    const QAbstractItemModel* m = codecs->InactiveCodecListModel;
    EXPECT_EQ(Column(m, 0), (Strings{"mjpg", "ptx8", "iyuv", "vrh1"})) << "every entry, before and after it";
    const int bad = InactiveRow("ptx8"), good = InactiveRow("iyuv");
    EXPECT_FALSE(m->data(m->index(bad, 0), Qt::DecorationRole).value<QIcon>().isNull()) << "marked beside its FOURCC";
    EXPECT_FALSE(m->data(m->index(good, 0), Qt::DecorationRole).isValid());
    const std::string tip = Cell(m, bad, 2, Qt::ToolTipRole);
    EXPECT_NE(tip.find("Inactive codec entry '#002#'"), std::string::npos) << tip;
    EXPECT_NE(tip.find("holds 3 texts; 6 are needed"), std::string::npos) << tip;
    EXPECT_EQ(Cell(m, good, 2, Qt::ToolTipRole), "");
    const std::string said = Cell(m, bad, 1, Qt::AccessibleDescriptionRole);
    EXPECT_NE(said.find("holds 3 texts"), std::string::npos) << said;
    EXPECT_NE(said.find("Remove it"), std::string::npos) << said;

    // Any other change is refused with the way out, and shows nothing done.
    const auto start = Shown();
    SelectActive(ActiveRow("yuy2"));
    std::string message;
    test::WhenModal<TfMessage>([&](TfMessage* d) {
        message = FromQ(d->MessageLabel->text());
        QTest::mouseClick(d->OkButton, Qt::LeftButton);
    });
    codecs->DeActivate1->trigger();
    EXPECT_NE(message.find("\"Remove Selected Inactive Drivers\""), std::string::npos) << message;
    EXPECT_EQ(Shown(), start);

    SelectInactive(bad);
    test::WhenModal<TfQuestion>([](TfQuestion* q) { QTest::mouseClick(q->Button1, Qt::LeftButton); });
    codecs->RemoveSelectedInactiveDrivers1->trigger();
    EXPECT_EQ(Column(m, 0), (Strings{"mjpg", "iyuv", "vrh1"}));
    EXPECT_EQ(Stored(), Shown());
    SelectActive(ActiveRow("yuy2"));
    codecs->DeActivate1->trigger();
    EXPECT_EQ(Stored().second.back(), "yuy2=pbyuv.dll") << "the lists are saved again";
}
