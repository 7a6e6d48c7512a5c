// The preferences dialog, opened from the main window's menu and answered
// by the test: its opening, the preview, OK, Cancel and Escape.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCollator>
#include <QFontDatabase>
#include <QHeaderView>
#include <QPointer>
#include <QTest>
#include <functional>
#include <memory>
#include <tuple>

#include "core/shell/uConst.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/directshow/uDirectShow.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uPrefs.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using tarnel::test::FixedLog;
using tarnel::test::Setting;

namespace {

auto Fields(const TPreferences& p) {
    return std::make_tuple(p.SizeEqually, p.StayOnTop, p.AutoSwap, p.SavePositions, p.DisableDoubleClick, p.MainTop,
                           p.MainLeft, p.MainHeight, p.MainWidth, p.ActiveCodecHeight, p.CodecStoreMode,
                           p.ProgramFont, p.FontSize);
}

// An installed family other than `besides`, as the font box lists it.
QString InstalledFamily(const QString& besides = {}) {
    for (const QString& f : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(f) && f != besides && f != "Default") return f;
    return {};
}

class PreferencesDialog : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFile(test::PeFixture("version32.dll").string());
        main = std::make_unique<TfMain>(log);
    }
    void TearDown() override { main.reset(); }

    // Opens the dialog from the menu and hands it to `act`, which must
    // close it; returns when the dialog is gone.
    void WithDialog(const std::function<void(TfPreferences*)>& act) {
        QPointer<TfPreferences> seen;
        bool shown = false;
        test::WhenModal<TfPreferences>([&](TfPreferences* d) {
            shown = true;
            seen = d;
            act(d);
        });
        main->Preferences->trigger();
        EXPECT_TRUE(shown);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(seen.isNull()) << "the dialog frees itself when it closes";
    }

    test::ArtDirScope art;
    test::TempMachine machine;
    FixedLog log;
    std::unique_ptr<TfMain> main;
};

}  // namespace

TEST_F(PreferencesDialog, OpensWithTheFlagsCaptionsAndTabOrderOfItsDesign) {
    main->Settings.SizeEqually = false;
    main->Settings.StayOnTop = true;
    main->Settings.AutoSwap = false;
    main->Settings.SavePositions = true;
    main->Settings.DisableDoubleClick = true;
    WithDialog([&](TfPreferences* d) {
        EXPECT_FALSE(d->SizeEqualBox->isChecked());
        EXPECT_TRUE(d->StayOnTopBox->isChecked());
        EXPECT_FALSE(d->AutoSwapBox->isChecked());
        EXPECT_TRUE(d->SavePositionBox->isChecked());
        EXPECT_TRUE(d->DisableDblClickBox->isChecked());

        EXPECT_EQ(d->size(), QSize(460, 220));
        EXPECT_EQ(d->Label1->text(), "Tarnel");
        EXPECT_EQ(d->HelpLabel->text(), "Program Preferences");
        EXPECT_EQ(d->Panel5->height(), 49);
        const std::pair<QAbstractButton*, const char*> captions[] = {
            {d->SizeEqualBox, "Size Windows &Equally"}, {d->StayOnTopBox, "Stay on &Top"},
            {d->SavePositionBox, "Save Window &Position"}, {d->AutoSwapBox, "&AutoSwap"},
            {d->DisableDblClickBox, "&Disable Double Click"}, {d->OkButton, "&Ok"}, {d->CancelButton, "&Cancel"}};
        for (const auto& [control, caption] : captions) EXPECT_EQ(control->text(), caption);
        EXPECT_EQ(d->Label2->text(), "Change &Font");
        EXPECT_EQ(d->Label2->buddy(), d->FontBox);
        EXPECT_EQ(d->FontSize->text(), "Fontsize");
        EXPECT_EQ(d->PreviewFont->text(), "abcdefghijklmnopqrstuvwxyz");
        EXPECT_EQ(d->OkButton->mapTo(d, QPoint(0, 0)), QPoint(296, 54 + 136));
        EXPECT_EQ(d->CancelButton->mapTo(d, QPoint(0, 0)), QPoint(380, 54 + 136));
        EXPECT_EQ(d->FontSizeSpin->minimum(), 6);
        EXPECT_EQ(d->FontSizeSpin->maximum(), 100);
        EXPECT_FALSE(d->FontBox->isEditable());

        // Tab from the first box visits the controls in the designed order;
        // the sample text takes no focus.
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        d->SizeEqualBox->setFocus();
        QWidget* const expected[] = {d->StayOnTopBox, d->AutoSwapBox,        d->SavePositionBox, d->OkButton,
                                     d->CancelButton, d->FontBox,            d->DisableDblClickBox,
                                     d->FontSizeSpin, d->SizeEqualBox};
        for (QWidget* next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            EXPECT_TRUE(focus == next || next->isAncestorOf(focus))
                << "expected " << next->objectName().toStdString() << ", got "
                << (focus ? focus->objectName().toStdString() : "none");
        }
        d->CancelButton->click();
    });
}

TEST_F(PreferencesDialog, FontBoxListsTheInstalledFamiliesAndDefaultInAlphabeticalOrder) {
    WithDialog([&](TfPreferences* d) {
        QStringList items;
        for (int i = 0; i < d->FontBox->count(); ++i) items << d->FontBox->itemText(i);
        EXPECT_TRUE(items.contains("Default"));
        const QString installed = InstalledFamily();
        ASSERT_FALSE(installed.isEmpty());
        EXPECT_TRUE(items.contains(installed));
        for (int i = 1; i < items.size(); ++i)
            EXPECT_LE(items[i - 1].compare(items[i], Qt::CaseInsensitive), 0) << items[i - 1].toStdString();
        EXPECT_EQ(items.removeDuplicates(), 0);
        d->CancelButton->click();
    });
}

TEST_F(PreferencesDialog, TheStoredFontIsSelectedIgnoringCaseOrNothingIs) {
    const QString installed = InstalledFamily();
    const struct {
        std::string stored;
        QString selected;
    } cases[] = {
        {"dEFAULT", "Default"},
        {FromQ(installed.toUpper()), installed},
        {"No Such Font 123", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        main->Settings.ProgramFont = c.stored;
        WithDialog([&](TfPreferences* d) {
            EXPECT_EQ(d->FontBox->currentText(), c.selected) << c.stored;
            EXPECT_EQ(d->FontBox->currentIndex() < 0, c.selected.isEmpty()) << c.stored;
            // The opening's selection leaves the sample in its design font.
            EXPECT_EQ(d->PreviewFont->font().family(), "MS Sans Serif") << c.stored;
            d->CancelButton->click();
        });
    }
}

TEST_F(PreferencesDialog, AFontThatIsNotInstalledIsStoredEmptyAfterOk) {
    main->Settings.ProgramFont = "No Such Font 123";
    WithDialog([&](TfPreferences* d) { d->OkButton->click(); });
    EXPECT_EQ(main->Settings.ProgramFont, "");
    TRegistry reg;
    reg.SetRootKey(kHkeyCurrentUser);
    ASSERT_TRUE(reg.OpenKey(cPreferencesKey, false));
    EXPECT_EQ(reg.ReadString("ProgramFont"), "Arial") << "nothing is written before the quit";
}

TEST_F(PreferencesDialog, TheSizeIsClampedToTheSpinsRange) {
    const struct {
        int32_t stored, shown;
    } cases[] = {{200, 100}, {2, 6}, {-5, 6}, {100, 100}, {6, 6}};
    for (const auto& c : cases) {
        main->Settings.FontSize = c.stored;
        WithDialog([&](TfPreferences* d) {
            EXPECT_EQ(d->FontSizeSpin->value(), c.shown) << c.stored;
            d->OkButton->click();
        });
        EXPECT_EQ(main->Settings.FontSize, c.shown) << c.stored;
        EXPECT_EQ(main->font().pointSize(), c.shown) << c.stored;
    }
    EXPECT_EQ(Setting("FontSize"), 10) << "nothing is written before the quit";
}

TEST_F(PreferencesDialog, ThePreviewFollowsTheSpinAndTheUsersFontChoice) {
    // An opening that changes the spin sizes the sample at once.
    main->Settings.FontSize = 14;
    main->Settings.ProgramFont = "Default";
    WithDialog([&](TfPreferences* d) {
        EXPECT_EQ(d->PreviewFont->font().pointSize(), 14);
        EXPECT_EQ(d->PreviewFont->font().family(), "MS Sans Serif");
        QTest::keyClick(d->FontSizeSpin, Qt::Key_Up);
        EXPECT_EQ(d->FontSizeSpin->value(), 15);
        EXPECT_EQ(d->PreviewFont->font().pointSize(), 15);
        // Typing is refused: only the arrows change the size.
        QTest::keyClicks(d->FontSizeSpin, "42");
        EXPECT_EQ(d->FontSizeSpin->value(), 15);

        // The user's choice of font reaches the sample.
        QTest::keyClick(d->FontBox, Qt::Key_Down);
        const QString chosen = d->FontBox->currentText();
        EXPECT_NE(chosen, "Default");
        EXPECT_EQ(d->PreviewFont->font().family(), chosen);
        EXPECT_EQ(d->PreviewFont->font().pointSize(), 15) << "the size stays";
        d->CancelButton->click();
    });
    // An opening that leaves the spin as it was leaves the sample at its design size.
    main->Settings.FontSize = 6;
    WithDialog([&](TfPreferences* d) {
        EXPECT_EQ(d->PreviewFont->font().pixelSize(), 13);
        QTest::keyClick(d->FontSizeSpin, Qt::Key_Down);
        EXPECT_EQ(d->FontSizeSpin->value(), 6) << "the range ends at 6";
        EXPECT_EQ(d->PreviewFont->font().pixelSize(), 13);
        d->CancelButton->click();
    });
}

TEST_F(PreferencesDialog, OkCopiesTheControlsAndAppliesTheFontToEveryWindowThatFollowsIt) {
    auto codecs = std::make_unique<TfNTCodecs>(*main, nullptr);
    auto directShow = std::make_unique<TfDirectShow>(*main);
    TfLogging logging(log);
    main->HostPanel(2, logging.LogViewerPanel);
    const QFont listFont = directShow->DirectShowFilterList->font();
    const QFont logFont = logging.LogMemo->font();
    const QString family = InstalledFamily(QString::fromStdString(main->Settings.ProgramFont));
    main->show();
    WithDialog([&](TfPreferences* d) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        for (QCheckBox* box : {d->SizeEqualBox, d->StayOnTopBox, d->AutoSwapBox, d->SavePositionBox,
                               d->DisableDblClickBox})
            QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(5, box->height() / 2));
        d->FontBox->setCurrentIndex(d->FontBox->findText(family));
        QTest::keyClick(d->FontSizeSpin, Qt::Key_Up);
        QTest::keyClick(d->FontSizeSpin, Qt::Key_Up);
        QTest::mouseClick(d->OkButton, Qt::LeftButton);
    });
    const TPreferences& s = main->Settings;
    EXPECT_FALSE(s.SizeEqually);
    EXPECT_FALSE(s.StayOnTop);
    EXPECT_FALSE(s.AutoSwap);
    EXPECT_FALSE(s.SavePositions);
    EXPECT_TRUE(s.DisableDoubleClick);
    EXPECT_EQ(ToQ(s.ProgramFont), family);
    EXPECT_EQ(s.FontSize, 12);

    EXPECT_EQ(main->font().family(), family);
    EXPECT_EQ(main->font().pointSize(), 12);
    EXPECT_EQ(main->PageControl->tabBar()->font().family(), family) << "the tabs follow the window";
    EXPECT_EQ(main->StatusBar->font().family(), family);
    EXPECT_EQ(main->StatusBar->font().pointSize(), 8) << "the status bar keeps its size";
    for (QTreeView* list : {codecs->CodecList, codecs->InactiveCodecList}) {
        EXPECT_EQ(list->font().family(), family);
        EXPECT_EQ(list->font().pointSize(), 12);
        EXPECT_EQ(list->header()->font().family(), family) << "the headers follow their list";
    }
    EXPECT_EQ(directShow->DirectShowFilterList->font(), listFont);
    EXPECT_EQ(logging.LogMemo->font(), logFont);
    EXPECT_EQ(Setting("AutoSwap"), 1) << "nothing is written before the quit";
    EXPECT_EQ(Setting("FontSize"), 10);
    EXPECT_TRUE(main->windowFlags() & Qt::WindowStaysOnTopHint) << "stay-on-top waits for the next start";
    logging.LogViewerPanel->setParent(nullptr);
    directShow.reset();
    codecs.reset();
}

TEST_F(PreferencesDialog, CancelAndEscapeChangeNothing) {
    main->Settings.ProgramFont = "Default";
    const auto before = Fields(main->Settings);
    const QFont font = main->font();
    const std::function<void(TfPreferences*)> closers[] = {
        [](TfPreferences* d) { d->CancelButton->click(); },
        [](TfPreferences* d) { QTest::keyClick(d, Qt::Key_Escape); },
    };
    for (const auto& close : closers) {
        WithDialog([&](TfPreferences* d) {
            for (QCheckBox* box : {d->SizeEqualBox, d->StayOnTopBox, d->AutoSwapBox, d->SavePositionBox,
                                   d->DisableDblClickBox})
                box->toggle();
            QTest::keyClick(d->FontBox, Qt::Key_Down);
            QTest::keyClick(d->FontSizeSpin, Qt::Key_Up);
            close(d);
        });
        EXPECT_EQ(Fields(main->Settings), before);
        EXPECT_EQ(main->font(), font);
    }
}
