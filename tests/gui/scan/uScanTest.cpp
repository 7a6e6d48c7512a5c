// The FOURCC scan from the codec window on the demo machine and on driver
// files the tests write: the progress window, the found dialog, what is
// saved and counted after it, the messages, and scans that end by an error.
#include "gui/scan/uScan.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/shell/uConst.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/scan/uFound.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/splash.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "platform/api/Backend.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

constexpr const char* kDrivers32 = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr const char* kInactive = "SOFTWARE\\Halvorin\\Drivers.Inactive";

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Cell(const QAbstractItemModel* m, int row, int column) {
    return FromQ(m->data(m->index(row, column)).toString());
}

// What every progress window showed when it appeared and when it went.
class ProgressWatch : public QObject {
public:
    struct Seen {
        std::string task;
        int maximum = -1;
        int value = -1;
        std::string percent;
        bool closed = false;
    };
    std::vector<Seen> seen;

    ProgressWatch() { qApp->installEventFilter(this); }
    ~ProgressWatch() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* p = qobject_cast<TfProgress*>(watched);
        if (p && event->type() == QEvent::Show) {
            seen.emplace_back();
            seen.back().task = FromQ(p->Label2->text());
            seen.back().maximum = p->ProgressBar->maximum();
        }
        if (p && event->type() == QEvent::Hide && !seen.empty())
            seen.back() = {seen.back().task, p->ProgressBar->maximum(), p->ProgressBar->value(),
                           FromQ(p->PercentLabel->text()), true};
        return false;
    }
};

class ScanCommand : public ::testing::Test {
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
    void Open() {
        main = std::make_unique<TfMain>(log);
        auto* splash = new TSplashScreen(nullptr, &log);
        splash->show();
        codecs = std::make_unique<TfNTCodecs>(*main, splash);
        FlushDeletes();
    }
    void SetDriver(const std::string& name, const std::string& file) {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(kDrivers32, true));
        reg.WriteString(name, file);
    }
    // Selects the active row `fourcc` as a click would.
    void Select(const std::string& fourcc) {
        const QAbstractItemModel* m = codecs->CodecListModel;
        for (int r = 0; r < m->rowCount(); ++r)
            if (Cell(m, r, 0) == fourcc) {
                codecs->CodecList->selectionModel()->select(
                    m->index(r, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                return;
            }
        ADD_FAILURE() << fourcc << " is not listed";
    }
    // Log texts without their time stamps, from line `from` on.
    Strings Logged(size_t from = 0) const {
        Strings out;
        for (size_t i = from; i < log.Lines().size(); ++i) out.push_back(log.Lines()[i].substr(4));
        return out;
    }
    // "fourcc=driver number" of the inactive rows as shown, and as stored.
    static Strings InactiveRows(const TCodecList& l) {
        Strings out;
        for (const TCodecRow& r : l.Rows()) out.push_back(r.Caption + "=" + r.Cell(icDriver) + " " + r.Cell(icNumber));
        return out;
    }
    Strings StoredInactive() {
        TCodecCatalogue stored(main->Settings, log);
        stored.LoadInactiveCodecList();
        return InactiveRows(stored.InactiveCodecList);
    }
    Strings InactiveValueNames() {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        Strings names;
        if (reg.OpenKey(kInactive, false)) reg.GetValueNames(names);
        return names;
    }
    // The scan, with `act` run on the message it shows.
    std::string ScanForMessage() {
        std::string message;
        test::WhenModal<TfMessage>([&](TfMessage* m) {
            message = FromQ(m->MessageLabel->text());
            QTest::mouseClick(m->OkButton, Qt::LeftButton);
        });
        codecs->ScanCodecsformoreFOURCCs1->trigger();
        return message;
    }

    test::ArtDirScope art;
    test::TempMachine machine{MachineFamily::NT, /*demo=*/true};
    test::FixedLog log;
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfNTCodecs> codecs;
    ProgressWatch progress;
};

// A row of the found dialog: Fourcc, Status, then the other columns.
Strings FoundRows(const TfFound* d) {
    Strings out;
    const QAbstractItemModel* m = d->FoundListModel;
    for (int r = 0; r < m->rowCount(); ++r) {
        std::string line = Cell(m, r, flFourcc) + "|" + Cell(m, r, flStatus);
        for (int c : {flDescription, flDriver, flShortname, flVersion, flType}) line += "|" + Cell(m, r, c);
        out.push_back(line);
    }
    return out;
}

}  // namespace

TEST_F(ScanCommand, FindsTheDriversFourccsUnderAProgressWindowAndSavesAfterTheDialog) {
    // A gap in the store's numbers shows whether the list is renumbered.
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(kInactive, true));
        Strings texts{"zzz9", "z.dll", "Z", "Zed", "1", "32"};
        WriteBinaryStrings(reg, "#009#", texts);
    }
    Open();
    Select("i420");
    codecs->DriverConfigPopup();
    ASSERT_TRUE(codecs->ScanCodecsformoreFOURCCs1->isEnabled());
    const std::string type = codecs->Catalogue().CodecList.Row(codecs->Catalogue().CodecList.FindCaption("i420").value()).Cell(acType);
    const size_t before = log.Lines().size();
    main->SetStatusText(2, "stale");

    Strings rows;
    bool addEnabled = true, progressGone = false;
    std::vector<QVariant> colours;
    test::WhenModal<TfFound>([&](TfFound* d) {
        rows = FoundRows(d);
        for (int r = 0; r < d->FoundListModel->rowCount(); ++r)
            colours.push_back(d->FoundListModel->data(d->FoundListModel->index(r, 0), Qt::ForegroundRole));
        addEnabled = d->AddFourccButton->isEnabled();
        progressGone = progress.seen.size() == 1 && progress.seen[0].closed;
        QTest::mouseClick(d->ExitButton, Qt::LeftButton);
    });
    codecs->ScanCodecsformoreFOURCCs1->trigger();

    const std::string tail = "Tessaly Planar YUV 4:2:0|tsplanar.dll|Tessaly Planar|3.1.0.2|" + type;
    EXPECT_EQ(rows, (Strings{"i420|Used (Active)|" + tail, "iyuv|Used (Inactive)|" + tail,
                             "yv12|Used (Active)|" + tail}));
    for (const QVariant& c : colours) EXPECT_EQ(c.value<QColor>(), QColor(0, 0, 255));
    EXPECT_FALSE(addEnabled) << "no row is selected when the dialog opens";
    EXPECT_TRUE(progressGone) << "the progress window went before the dialog came";

    // The bar counted the file's bytes and ended at its last marker byte,
    // painted exactly however often the throttle held it back.
    const std::string file = Slurp(machine.System32() / "tsplanar.dll");
    const size_t lastMarker = file.rfind('=');
    ASSERT_EQ(progress.seen.size(), 1u);
    EXPECT_EQ(progress.seen[0].task, "Scanning Codec...");
    EXPECT_EQ(progress.seen[0].maximum, int(file.size()));
    EXPECT_EQ(progress.seen[0].value, int(lastMarker + 1));
    EXPECT_EQ(progress.seen[0].percent, std::to_string((lastMarker + 1) * 100 / file.size()) + "%");

    const Strings lines = Logged(before);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Start Scanning Codec for other FOURCCs");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Found possible FOURCC : iyuv <- Valid"), lines.end());
    EXPECT_EQ(Strings(lines.end() - 2, lines.end()),
              (Strings{"Freeing up Memory", "End Scanning Codec for other FOURCCs"}));

    // Closed without adding: renumbered and written back all the same.
    const Strings inactive{"mjpg=kwmjpeg.dll 001", "ptx8=pbtex.dll 002", "iyuv=tsplanar.dll 003",
                           "vrh1=vrnold.dll 004", "zzz9=z.dll 005"};
    EXPECT_EQ(InactiveRows(codecs->Catalogue().InactiveCodecList), inactive);
    EXPECT_EQ(StoredInactive(), inactive);
    EXPECT_EQ(InactiveValueNames(), (Strings{"#001#", "#002#", "#003#", "#004#", "#005#"}));
    EXPECT_EQ(main->StatusText(2), "Inactive : 5");
}

TEST_F(ScanCommand, AddedCodecsAreRenumberedSavedAndCounted) {
    Open();
    Select("yuy2");
    main->SetStatusText(1, "stale");
    Strings statuses, shownMeanwhile;
    test::WhenModal<TfFound>([&](TfFound* d) {
        for (int r = 0; r < d->FoundListModel->rowCount(); ++r) {
            statuses.push_back(Cell(d->FoundListModel, r, flFourcc) + " " + Cell(d->FoundListModel, r, flStatus));
            if (Cell(d->FoundListModel, r, flStatus) == "Not Used")
                d->FoundList->selectionModel()->select(d->FoundListModel->index(r, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        QTest::mouseClick(d->AddFourccButton, Qt::LeftButton);
        // The codec window shows the new rows while the dialog is open.
        const QAbstractItemModel* m = codecs->InactiveCodecListModel;
        for (int r = 0; r < m->rowCount(); ++r) shownMeanwhile.push_back(Cell(m, r, 0) + " " + Cell(m, r, 5));
        QTest::keyClick(d, Qt::Key_Escape);
    });
    codecs->ScanCodecsformoreFOURCCs1->trigger();

    EXPECT_EQ(statuses, (Strings{"yuy2 Used (Active)", "uyvy Not Used", "yvyu Not Used"}));
    EXPECT_EQ(shownMeanwhile, (Strings{"mjpg 001", "ptx8 002", "iyuv 003", "vrh1 004", "uyvy ", "yvyu "}));
    const Strings inactive{"mjpg=kwmjpeg.dll 001", "ptx8=pbtex.dll 002", "iyuv=tsplanar.dll 003",
                           "vrh1=vrnold.dll 004", "uyvy=pbyuv.dll 005",   "yvyu=pbyuv.dll 006"};
    EXPECT_EQ(InactiveRows(codecs->Catalogue().InactiveCodecList), inactive);
    EXPECT_EQ(Cell(codecs->InactiveCodecListModel, 5, 5), "006") << "the view shows the numbers";
    EXPECT_EQ(StoredInactive(), inactive);
    EXPECT_EQ(main->StatusText(1), "Active : 12");
    EXPECT_EQ(main->StatusText(2), "Inactive : 6");
}

TEST_F(ScanCommand, NothingFoundIsToldAndNothingIsWritten) {
    // Marker bytes with candidates, in a file that is no codec: every probe fails.
    SetDriver("vidc.junk", "junk.dll");
    machine.WriteFile("drive_c/windows/system32/junk.dll", "MZ x=abcd y=Wxy1 z=");
    Open();
    Select("junk");
    const std::string hive = Slurp(machine.Root() / "system.reg");
    const size_t before = log.Lines().size();
    EXPECT_EQ(ScanForMessage(), "No FOURCC's found in codec.");
    EXPECT_EQ(Logged(before), (Strings{"Start Scanning Codec for other FOURCCs", "Loading File into Memory",
                                       "Found possible FOURCC : abcd <- Failed",
                                       "Found possible FOURCC : Wxy1 <- Failed",
                                       "Displaying Message : No FOURCC's found in codec.", "Freeing up Memory",
                                       "End Scanning Codec for other FOURCCs"}));
    ASSERT_EQ(progress.seen.size(), 1u);
    EXPECT_TRUE(progress.seen[0].closed);
    EXPECT_EQ(progress.seen[0].percent, "100%") << "a marker at the last byte moves the bar to the end";
    EXPECT_EQ(Slurp(machine.Root() / "system.reg"), hive) << "the store is untouched";
}

TEST_F(ScanCommand, AnEmptyDriverFileIsAMemoryErrorAndEndsTheCommand) {
    SetDriver("vidc.none", "empty.dll");
    machine.WriteFile("drive_c/windows/system32/empty.dll", "");
    Open();
    Select("none");
    const size_t before = log.Lines().size();
    EXPECT_EQ(ScanForMessage(), "Memory allocation error");
    EXPECT_EQ(Logged(before),
              (Strings{"Start Scanning Codec for other FOURCCs", "Displaying Message : Memory allocation error"}));
    EXPECT_TRUE(progress.seen.empty());
}

TEST_F(ScanCommand, AnUnreadableFileEndsTheScanWithTheErrorAlone) {
    // The demo's xmv7 names a driver file that is not there.
    Open();
    Select("xmv7");
    const size_t before = log.Lines().size();
    const std::string message = ScanForMessage();
    EXPECT_NE(message.find("xmvdec.dll"), std::string::npos) << message;
    EXPECT_EQ(Logged(before), (Strings{"Start Scanning Codec for other FOURCCs", "Displaying Message : " + message}));
    EXPECT_TRUE(progress.seen.empty());
}

TEST_F(ScanCommand, AProbeThatCannotWriteClosesTheProgressWindow) {
    Open();
    Select("i420");
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.DeleteKey(kDrivers32));
    }
    const size_t before = log.Lines().size();
    const std::string message = ScanForMessage();
    EXPECT_EQ(message.rfind("Failed to set data for 'vidc.", 0), 0u) << message;
    ASSERT_EQ(progress.seen.size(), 1u);
    EXPECT_TRUE(progress.seen[0].closed);
    const Strings lines = Logged(before);
    EXPECT_EQ(lines.back(), "Displaying Message : " + message) << "no end-of-scan lines";
}

TEST_F(ScanCommand, WithoutASelectionNothingHappens) {
    Open();
    codecs->CodecList->clearSelection();
    const size_t before = log.Lines().size();
    codecs->ScanCodecsformoreFOURCCs1Click();
    EXPECT_EQ(log.Lines().size(), before);
    EXPECT_TRUE(progress.seen.empty());
}

TEST(ScanProgressWindow, ScalesBigFilesAndClosesOnEveryWayOut) {
    test::TempMachine machine;
    EXPECT_EQ(TScanProgressWindow::BarShift(uint64_t(INT_MAX)), 0);
    EXPECT_EQ(TScanProgressWindow::BarShift(uint64_t(INT_MAX) + 1), 1);

    QPointer<TfProgress> shown;
    {
        TScanProgressWindow p;
        const uint64_t size = 5'000'000'000ull;
        p.Start(size);
        shown = p.Window();
        ASSERT_TRUE(shown);
        EXPECT_TRUE(shown->isVisible());
        const int max = shown->ProgressBar->maximum();
        EXPECT_LE(max, INT_MAX);
        EXPECT_GT(max, INT_MAX / 2) << "as fine as the bar allows";
        p.Advance(4'000'000'001ull, 80);
        p.Advance(size - 1, 99);  // right after the last one: the throttle may hold it back
        p.End();
        EXPECT_FALSE(shown->isVisible());
        EXPECT_EQ(shown->PercentLabel->text(), "99%") << "the last position is shown whatever the throttle";
        EXPECT_NEAR(double(shown->ProgressBar->value()) / max, double(size - 1) / size, 1e-6);
        EXPECT_EQ(p.Window(), nullptr);
    }
    // An error between Start and End: the window goes with the object.
    {
        TScanProgressWindow p;
        p.Start(100);
        shown = p.Window();
        p.Advance(50, 50);
    }
    ASSERT_TRUE(shown) << "deletion pending";
    EXPECT_FALSE(shown->isVisible());
    FlushDeletes();
    EXPECT_TRUE(shown.isNull());
}
