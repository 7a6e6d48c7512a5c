// The preferences dialog, opened from the main window's menu and answered
// by the test: its opening, the preview, OK, Cancel and Escape.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <algorithm>
#include <QRegularExpression>
#include <QFontInfo>
#include <QCollator>
#include <QHeaderView>
#include <QPointer>
#include <QTest>
#include <functional>
#include <memory>
#include <tuple>

#include "gui/catalogue/uNTCodecs.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uPrefs.h"
#include "gui/shell/uQuestion.h"
#include "platform/api/Registry.h"
#include "platform/api/OsVersion.h"
#include "support/TempMachine.h"

using namespace tarnel;
using tarnel::test::Setting;

namespace {

auto Fields(const TPreferences& p) {
    return std::tie(p.SizeEqually, p.StayOnTop, p.AutoSwap, p.SavePositions, p.DisableDoubleClick, p.ProgramFont,
                    p.FontSize);
}

// An installed family the font box lists besides "Default".
QString InstalledFamily() {
    for (const QString& f : InstalledFontFamilies())
        if (f != "Default") return f;
    return {};
}

class PreferencesDialog : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetProgramFile(test::PeFixture("version32.dll").string());
        main = std::make_unique<TfMain>(log);
    }
    void TearDown() override { main.reset(); }

    // Opens the dialog from the menu and hands it to `act`, which closes it.
    void WithDialog(const std::function<void(TfPreferences*)>& act) {
        QPointer<TfPreferences> seen;
        test::WhenModal<TfPreferences>([&](TfPreferences* d) {
            seen = d;
            act(d);
        });
        main->Preferences->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(seen.isNull()) << "the dialog frees itself when it closes";
    }

    test::ArtDirScope art;
    test::TempMachine machine;
    test::FixedLog log;
    std::unique_ptr<TfMain> main;
};

}  // namespace

TEST_F(PreferencesDialog, OpensWithTheFlagsAndTheDesignedTabOrder) {
    main->Settings.SizeEqually = false;
    main->Settings.DisableDoubleClick = true;
    WithDialog([&](TfPreferences* d) {
        EXPECT_EQ(std::make_tuple(d->SizeEqualBox->isChecked(), d->StayOnTopBox->isChecked(),
                                  d->AutoSwapBox->isChecked(), d->SavePositionBox->isChecked(),
                                  d->DisableDblClickBox->isChecked()),
                  std::make_tuple(false, true, true, true, true));
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        d->SizeEqualBox->setFocus();
        // The sample text takes no focus; the spin's own edit stands for it.
        for (QWidget* next : {(QWidget*)d->StayOnTopBox, (QWidget*)d->AutoSwapBox, (QWidget*)d->SavePositionBox,
                              (QWidget*)d->OkButton, (QWidget*)d->CancelButton, (QWidget*)d->FontBox,
                              (QWidget*)d->DisableDblClickBox, (QWidget*)d->FontSizeSpin}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            EXPECT_TRUE(focus == next || next->isAncestorOf(focus)) << next->objectName().toStdString();
        }
        d->CancelButton->click();
    });
}

TEST_F(PreferencesDialog, OpeningSelectsTheStoredFontIgnoringCaseButLeavesTheSample) {
    const QString installed = InstalledFamily();
    const std::pair<std::string, QString> cases[] = {
        {"dEFAULT", "Default"}, {FromQ(installed.toUpper()), installed}, {"No Such Font 123", ""}};
    for (const auto& c : cases) {
        const std::string& stored = c.first;
        const QString& selected = c.second;
        main->Settings.ProgramFont = stored;
        WithDialog([&](TfPreferences* d) {
            EXPECT_EQ(d->FontBox->currentText(), selected) << stored;
            EXPECT_EQ(d->PreviewFont->font().family(), "MS Sans Serif") << stored;
            EXPECT_LT(d->FontBox->itemText(0).compare(d->FontBox->itemText(1), Qt::CaseInsensitive), 0);
            d->OkButton->click();
        });
        EXPECT_EQ(ToQ(main->Settings.ProgramFont), selected) << "not installed: stored empty";
    }
}

TEST_F(PreferencesDialog, TheSampleFollowsTheSpinAndTheUsersFontAndCancelOrEscapeChangeNothing) {
    main->Settings.FontSize = 14;  // the opening changes the spin: the sample follows
    auto before = std::make_tuple(true, true, true, true, false, std::string("Arial"), 14);
    WithDialog([&](TfPreferences* d) {
        EXPECT_EQ(d->PreviewFont->font().pointSize(), 14);
        QTest::keyClick(d->FontSizeSpin, Qt::Key_Up);
        QTest::keyClicks(d->FontSizeSpin, "42");  // no typing
        EXPECT_EQ(d->PreviewFont->font().pointSize(), 15);
        EXPECT_EQ(d->FontSizeSpin->value(), 15);
        QTest::keyClick(d->FontBox, Qt::Key_Down);
        EXPECT_EQ(d->PreviewFont->font().family(), d->FontBox->currentText());
        d->AutoSwapBox->click();
        d->CancelButton->click();
    });
    EXPECT_EQ(Fields(main->Settings), before);
    main->Settings.FontSize = 6;  // the spin's own start: no change, the design size stays
    WithDialog([&](TfPreferences* d) {
        EXPECT_EQ(d->PreviewFont->font().pixelSize(), 13);
        d->AutoSwapBox->click();
        QTest::keyClick(d->FontSizeSpin, Qt::Key_Up);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    std::get<6>(before) = 6;
    EXPECT_EQ(Fields(main->Settings), before);
    EXPECT_EQ(main->font().pointSize(), 10) << "nothing applied";
}

TEST_F(PreferencesDialog, OkStoresTheClampedSizeAndAppliesTheFontWhereItBelongs) {
    auto codecs = std::make_unique<TfNTCodecs>(*main, nullptr);
    main->Settings.FontSize = 200;
    const QString family = InstalledFamily();
    WithDialog([&](TfPreferences* d) {
        EXPECT_EQ(d->FontSizeSpin->value(), 100);
        for (QCheckBox* box : {d->SizeEqualBox, d->StayOnTopBox, d->AutoSwapBox, d->SavePositionBox,
                               d->DisableDblClickBox})
            box->click();
        d->FontBox->setCurrentIndex(d->FontBox->findText(family));
        QTest::mouseClick(d->OkButton, Qt::LeftButton);
    });
    EXPECT_EQ(Fields(main->Settings), std::make_tuple(false, false, false, false, true, FromQ(family), 100));
    EXPECT_EQ(main->font().family(), family);
    EXPECT_EQ(main->font().pointSize(), 100);
    EXPECT_EQ(main->PageControl->tabBar()->font().family(), family) << "the tabs follow the window";
    EXPECT_EQ(main->StatusBar->font().family(), family);
    EXPECT_EQ(main->StatusBar->font().pointSize(), 8) << "the status bar takes the name only";
    for (QTreeView* list : {codecs->CodecList, codecs->InactiveCodecList}) {
        EXPECT_EQ(list->font().pointSize(), 100);
        EXPECT_EQ(list->header()->font().family(), family) << "a list's header follows its list";
    }
    EXPECT_EQ(Setting("AutoSwap"), 1) << "nothing is written before the quit";
    EXPECT_EQ(Setting("FontSize"), 10);
    codecs.reset();
}

TEST_F(PreferencesDialog, OkWithoutAFontStoresAnEmptyNameAndKeepsTheLook) {
    auto codecs = std::make_unique<TfNTCodecs>(*main, nullptr);
    main->show();
    // The face each part of the window is drawn in.
    auto faces = [&] {
        return QStringList{QFontInfo(main->font()).family(), QFontInfo(main->PageControl->tabBar()->font()).family(),
                           QFontInfo(main->StatusBar->font()).family(), QFontInfo(codecs->CodecList->font()).family(),
                           QFontInfo(codecs->InactiveCodecList->font()).family()};
    };
    const QString platformDefault = QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family();
    // The default "Arial" where it is missing, as on a plain machine, and a name nobody has.
    std::vector<std::string> missing{"No Such Font 123"};
    if (!InstalledFontFamilies().contains("Arial", Qt::CaseInsensitive)) missing.push_back("Arial");
    for (const std::string& name : missing) {
        main->Settings.ProgramFont = name;
        main->ApplyProgramFont();
        const QStringList before = faces();
        EXPECT_EQ(before, QStringList(5, platformDefault)) << name << ": a missing font shows as the platform's default";
        WithDialog([&](TfPreferences* d) {
            EXPECT_EQ(d->FontBox->currentIndex(), -1) << name;
            d->AutoSwapBox->click();  // the OK of a user who came for something else
            d->OkButton->click();
        });
        EXPECT_EQ(main->Settings.ProgramFont, "") << name;
        EXPECT_EQ(faces(), before) << name << ": OK changes nothing the user sees";
    }
    // "Default" names the same face.
    main->Settings.ProgramFont = "Default";
    main->ApplyProgramFont();
    EXPECT_EQ(faces(), QStringList(5, platformDefault));
    // The empty name is what the quit stores.
    main->Settings.ProgramFont.clear();
    test::WhenModal<TfQuestion>([](TfQuestion* q) { q->Button1->click(); });
    EXPECT_TRUE(main->close());
    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyCurrentUser);
    ASSERT_TRUE(reg.OpenKey(cPreferencesKey, false));
    EXPECT_TRUE(reg.ValueExists("ProgramFont"));
    EXPECT_EQ(reg.ReadString("ProgramFont"), "");
    codecs.reset();
}

TEST_F(PreferencesDialog, TheFontBoxListsEachFamilyOnceAsAUserKnowsIt) {
    EXPECT_EQ(FontFamilyName("C059 [UKWN]"), "C059");
    EXPECT_EQ(FontFamilyName("Nimbus Sans [URW ]"), "Nimbus Sans");
    EXPECT_EQ(FontFamilyName("DejaVu Sans"), "DejaVu Sans");
    EXPECT_EQ(FontFamilyName("[odd]"), "[odd]") << "a name that is only brackets stays";
    EXPECT_EQ(FontFamilyName("A [b] [c]"), "A [b]") << "only the last bracket is the foundry";
    EXPECT_EQ(FontFamilyName("A [b]c]"), "A [b]c]");
    EXPECT_EQ(FontFamilyName(" [c]"), " [c]");
    WithDialog([&](TfPreferences* d) {
        QStringList listed;
        for (int i = 0; i < d->FontBox->count(); ++i) listed << d->FontBox->itemText(i);
        EXPECT_EQ(listed.count("Default"), 1);
        QStringList folded;
        for (const QString& f : listed) {
            EXPECT_FALSE(f.contains(QRegularExpression(" \\[.*\\]$"))) << f.toStdString() << ": no foundry";
            folded << f.toLower();
        }
        EXPECT_EQ(folded.removeDuplicates(), 0) << "each family once";
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end(),
                                   [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; }));
        // Every installed family is there, by its name.
        for (const QString& family : QFontDatabase::families()) {
            if (!QFontDatabase::isPrivateFamily(family)) {
                EXPECT_TRUE(listed.contains(FontFamilyName(family))) << family.toStdString();
            }
        }
        d->CancelButton->click();
    });
}

TEST(ProgramFont, IsTheListedFamilyOfThatNameWhateverItsCaseElseTheSystemFont) {
    EXPECT_EQ(ProgramFontFamily("dejavu SERIF"), "DejaVu Serif");
    const QString system = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    EXPECT_EQ(ProgramFontFamily("No Such Family"), system);
    EXPECT_EQ(ProgramFontFamily("Default"), system);
}
