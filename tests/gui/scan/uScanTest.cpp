// The FOURCC scan from the codec window, on the demo machine and on driver
// files the tests write: the progress window, the found dialog, the save
// and counters after it, the messages, and scans that end by an error.
#include "gui/scan/uScan.h"

#include <gtest/gtest.h>

#include <QTest>
#include <climits>
#include <fstream>
#include <sstream>

#include "gui/catalogue/uNTCodecs.h"
#include "gui/scan/uFound.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/splash.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "platform/api/Backend.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using Strings = std::vector<std::string>;

namespace {

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::string Cell(const QAbstractItemModel* m, int row, int column) {
    return FromQ(m->data(m->index(row, column), Qt::DisplayRole).toString());
}

// What each progress window showed as it went: task, maximum, position, percentage.
class ProgressWatch : public QObject {
public:
    Strings closed;
    int shown = 0;
    ProgressWatch() { qApp->installEventFilter(this); }
    ~ProgressWatch() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* p = qobject_cast<TfProgress*>(watched);
        if (p && event->type() == QEvent::Show) ++shown;
        if (p && event->type() == QEvent::Hide)
            closed.push_back(FromQ(p->Label2->text()) + " " + std::to_string(p->ProgressBar->maximum()) + " " +
                             std::to_string(p->ProgressBar->value()) + " " + FromQ(p->PercentLabel->text()));
        return false;
    }
};

class ScanCommand : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFile(test::PeFixture("version32.dll").string()); }
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
    void Registry(const char* key, const std::function<void(TRegistry&)>& act) {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(key, true));
        act(reg);
    }
    void Select(const std::string& fourcc) {
        const QAbstractItemModel* m = codecs->CodecListModel;
        for (int r = 0; r < m->rowCount(); ++r)
            if (Cell(m, r, 0) == fourcc)
                codecs->CodecList->selectionModel()->select(
                    m->index(r, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    // Runs the scan from the menu; `act` gets the found dialog.
    void Scan(const std::string& fourcc, std::function<void(TfFound*)> act) {
        Select(fourcc);
        codecs->DriverConfigPopup();
        ASSERT_TRUE(codecs->ScanCodecsformoreFOURCCs1->isEnabled());
        test::WhenModal<TfFound>(std::move(act));
        codecs->ScanCodecsformoreFOURCCs1->trigger();
    }
    std::string ScanForMessage(const std::string& fourcc) {
        std::string message;
        Select(fourcc);
        test::WhenModal<TfMessage>([&](TfMessage* m) {
            message = FromQ(m->MessageLabel->text());
            QTest::mouseClick(m->OkButton, Qt::LeftButton);
        });
        codecs->ScanCodecsformoreFOURCCs1Click();
        return message;
    }
    Strings Logged(size_t from) const {
        Strings out;
        for (size_t i = from; i < log.Lines().size(); ++i) out.push_back(log.Lines()[i].substr(4));
        return out;
    }
    // The inactive rows as "fourcc=driver number".
    static Strings Inactive(const TCodecList& l) {
        Strings out;
        for (const TCodecEntry& e : l.Entries()) out.push_back(e.Fourcc + "=" + e.Driver + " " + NumberText(e));
        return out;
    }
    Strings StoredInactive() {
        TCodecCatalogue stored(main->Settings, log);
        stored.LoadInactiveCodecList();
        return Inactive(stored.InactiveCodecList);
    }

    test::ArtDirScope art;
    test::TempMachine machine{TMachineFamily::NT, /*demo=*/true};
    test::FixedLog log;
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfNTCodecs> codecs;
    ProgressWatch progress;
};

Strings FoundRows(const TfFound* d, std::initializer_list<int> columns) {
    Strings out;
    for (int r = 0; r < d->FoundListModel->rowCount(); ++r) {
        std::string line;
        for (int c : columns) line += (line.empty() ? "" : "|") + Cell(d->FoundListModel, r, c);
        out.push_back(line);
    }
    return out;
}

const char* const kDemoInactive[] = {"mjpg=kwmjpeg.dll 00", "ptx8=pbtex.dll 00", "iyuv=tsplanar.dll 00",
                                     "vrh1=vrnold.dll 00"};

}  // namespace

TEST_F(ScanCommand, FoundDialogAfterTheProgressThenRenumberSaveAndCount) {
    // A gap in the store's numbers shows the renumbering.
    Registry("SOFTWARE\\Halvorin\\Drivers.Inactive", [](TRegistry& reg) {
        Strings texts{"zzz9", "z.dll", "Z", "Zed", "1", "32"};
        WriteBinaryStrings(reg, "#009#", texts);
    });
    Open();
    const size_t before = log.Lines().size();
    Strings rows;
    bool addEnabled = true;
    Scan("i420", [&](TfFound* d) {
        rows = FoundRows(d, {flFourcc, flStatus, flDescription, flDriver, flShortname, flVersion, flType});
        addEnabled = d->AddFourccButton->isEnabled();
        EXPECT_EQ(progress.closed.size(), 1u) << "the progress window went before the dialog came";
        QTest::mouseClick(d->ExitButton, Qt::LeftButton);
    });
    const std::string tail = "|Tessaly Planar YUV 4:2:0|tsplanar.dll|Tessaly Planar|3.1.0.2|32";
    EXPECT_EQ(rows, (Strings{"i420|Used (Active)" + tail, "iyuv|Used (Inactive)" + tail, "yv12|Used (Active)" + tail}));
    EXPECT_FALSE(addEnabled);

    // The bar counted bytes and ended exactly at the last marker byte, however
    // often the throttle held a repaint back.
    std::ifstream in(machine.System32() / "tsplanar.dll", std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t last = file.rfind('=') + 1;
    EXPECT_EQ(progress.closed, (Strings{"Scanning Codec... " + std::to_string(file.size()) + " " +
                                        std::to_string(last) + " " + std::to_string(last * 100 / file.size()) + "%"}));
    const Strings lines = Logged(before);
    EXPECT_EQ(lines.front(), "Start Scanning Codec for other FOURCCs");
    EXPECT_EQ(Strings(lines.end() - 2, lines.end()), (Strings{"Freeing up Memory", "End Scanning Codec for other FOURCCs"}));

    // Nothing added: renumbered and saved all the same.
    Strings inactive;
    for (int i = 0; i < 4; ++i) inactive.push_back(kDemoInactive[i] + std::to_string(i + 1));
    inactive.push_back("zzz9=z.dll 005");
    EXPECT_EQ(StoredInactive(), inactive);

    // Adding the free FOURCCs of yuy2's driver; the view shows them at once.
    main->SetStatusText(1, "stale");
    Strings shownMeanwhile;
    Scan("yuy2", [&](TfFound* d) {
        EXPECT_EQ(FoundRows(d, {flFourcc, flStatus}), (Strings{"yuy2|Used (Active)", "uyvy|Not Used", "yvyu|Not Used"}));
        d->FoundList->selectAll();
        QTest::mouseClick(d->AddFourccButton, Qt::LeftButton);
        shownMeanwhile = Inactive(codecs->Catalogue().InactiveCodecList);
        EXPECT_EQ(codecs->InactiveCodecListModel->rowCount(), 7);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(Strings(shownMeanwhile.end() - 2, shownMeanwhile.end()), (Strings{"uyvy=pbyuv.dll ", "yvyu=pbyuv.dll "}));
    inactive.insert(inactive.end(), {"uyvy=pbyuv.dll 006", "yvyu=pbyuv.dll 007"});
    EXPECT_EQ(Inactive(codecs->Catalogue().InactiveCodecList), inactive);
    EXPECT_EQ(StoredInactive(), inactive);
    EXPECT_EQ(main->StatusText(1), "Active : 12");
    EXPECT_EQ(main->StatusText(2), "Inactive : 7");
}

TEST_F(ScanCommand, MessagesEndTheScansThatFindNothing) {
    Registry("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", [](TRegistry& reg) {
        reg.WriteString("vidc.junk", "junk.dll");
        reg.WriteString("vidc.none", "empty.dll");
    });
    // Candidates in a file that is no codec: every probe fails. The last
    // byte is a marker, which takes the bar to 100%.
    machine.WriteFile("drive_c/windows/system32/junk.dll", "MZ x=abcd y=Wxy1 z=");
    machine.WriteFile("drive_c/windows/system32/empty.dll", "");
    Open();
    std::ifstream hive(machine.Root() / "system.reg");
    const std::string stored((std::istreambuf_iterator<char>(hive)), std::istreambuf_iterator<char>());

    size_t before = log.Lines().size();
    EXPECT_EQ(ScanForMessage("junk"), "No FOURCC's found in codec.");
    EXPECT_EQ(Logged(before), (Strings{"Start Scanning Codec for other FOURCCs", "Loading File into Memory",
                                       "Found possible FOURCC : abcd <- Failed", "Found possible FOURCC : Wxy1 <- Failed",
                                       "Displaying Message : No FOURCC's found in codec.", "Freeing up Memory",
                                       "End Scanning Codec for other FOURCCs"}));
    EXPECT_EQ(progress.closed, (Strings{"Scanning Codec... 19 19 100%"}));
    EXPECT_EQ(machine.ReadFile("system.reg"), stored) << "nothing is written";

    // An empty file ends the command at once: no progress, no end lines.
    before = log.Lines().size();
    EXPECT_EQ(ScanForMessage("none"), "Memory allocation error");
    EXPECT_EQ(Logged(before),
              (Strings{"Start Scanning Codec for other FOURCCs", "Displaying Message : Memory allocation error"}));
    EXPECT_EQ(progress.shown, 1);

    before = log.Lines().size();
    codecs->CodecList->clearSelection();
    codecs->ScanCodecsformoreFOURCCs1Click();
    EXPECT_EQ(log.Lines().size(), before) << "without a selection nothing happens";
}

TEST_F(ScanCommand, ErrorsEndTheScanWithoutDialogOrEndLinesAndCloseTheProgress) {
    Open();
    // The demo's xmv7 names a driver file that is not there.
    size_t before = log.Lines().size();
    std::string message = ScanForMessage("xmv7");
    EXPECT_NE(message.find("xmvdec.dll"), std::string::npos) << message;
    EXPECT_EQ(Logged(before), (Strings{"Start Scanning Codec for other FOURCCs", "Displaying Message : " + message}));
    EXPECT_EQ(progress.shown, 0);

    // Without the driver key the first probe cannot write, mid-scan.
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.DeleteKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32"));
    before = log.Lines().size();
    message = ScanForMessage("i420");
    EXPECT_EQ(message.rfind("Failed to set data for 'vidc.", 0), 0u) << message;
    EXPECT_EQ(Logged(before).back(), "Displaying Message : " + message);
    EXPECT_EQ(progress.shown, 1);
    EXPECT_EQ(progress.closed.size(), 1u);
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
        ASSERT_TRUE(shown && shown->isVisible());
        const int max = shown->ProgressBar->maximum();
        EXPECT_GT(max, INT_MAX / 2) << "as fine as the bar allows";
        p.Advance(4'000'000'001ull, 80);
        p.Advance(size - 1, 99);  // right after the other: the throttle may hold it back
        p.End();
        EXPECT_FALSE(shown->isVisible());
        EXPECT_EQ(shown->PercentLabel->text(), "99%") << "the last position is shown whatever the throttle";
        EXPECT_NEAR(double(shown->ProgressBar->value()) / max, double(size - 1) / size, 1e-6);
    }
    {
        // An error between Start and End: the window goes with the object.
        TScanProgressWindow p;
        p.Start(100);
        shown = p.Window();
    }
    ASSERT_TRUE(shown);
    EXPECT_FALSE(shown->isVisible());
    FlushDeletes();
    EXPECT_TRUE(shown.isNull()) << "and frees itself";
}
