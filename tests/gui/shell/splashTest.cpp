#include "gui/shell/splash.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "gui/shell/GuiTestSupport.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uConst.h"
#include "support/TempMachine.h"

namespace tarnel {
namespace {

// A click where the user would make it: on the window, so that whatever
// lies on top of the picture at that point gets the first chance.
void ClickAt(TSplashScreen* splash, const QWidget* over) {
    const QPoint at = over->mapTo(splash, over->rect().center());
    QTest::mouseClick(splash->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(Splash, ClickClosesUnlessTheLoadBarShows) {
    test::TempMachine machine;
    test::ArtDirScope art;
    TLog log;
    QPointer<TSplashScreen> splash = new TSplashScreen(nullptr, &log);
    EXPECT_FALSE(splash->Image1->pixmap().isNull());
    EXPECT_EQ(log.Count(), 0u);
    splash->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(splash));
    EXPECT_FALSE(splash->LoadBar->isVisible());
    EXPECT_FALSE(splash->SplashLoadingLabel->isVisible());

    // While the active list loads the picture ignores clicks...
    splash->SplashLoadingLabel->show();
    splash->LoadBar->setMaximum(12);
    splash->LoadBar->show();
    ClickAt(splash, splash->Image1);
    ClickAt(splash, splash->Label1);
    FlushDeletes();
    ASSERT_FALSE(splash.isNull());
    EXPECT_TRUE(splash->isVisible());

    // ...and once the bar is gone a click closes and frees the window, also
    // when it lands on one of the lines drawn over the picture.
    splash->LoadBar->hide();
    ClickAt(splash, splash->Label1);
    FlushDeletes();
    EXPECT_TRUE(splash.isNull());
}

TEST(Splash, AboutBoxShowsItsTextsAndClosesOnAClick) {
    test::TempMachine machine;
    test::ArtDirScope art;
    TLog log;
    auto* about = new TSplashScreen(nullptr, &log);
    QPointer<TSplashScreen> guard(about);
    about->ConfigureAsAbout();

    EXPECT_EQ(about->TestedOn->text().toStdString(), cAboutTestedOn);
    EXPECT_EQ(about->SplashLoadingLabel->text(), "This program is made using 97% recycled bits.");
    EXPECT_TRUE(about->Freeware->text().isEmpty());
    EXPECT_FALSE(about->Build->text().isEmpty());
    EXPECT_FALSE(about->mailAddress->text().isEmpty());
    for (const QWidget* w : std::initializer_list<const QWidget*>{
             about->Build, about->TestedOn, about->Freeware, about->SplashLoadingLabel, about->mailAddress,
             about->RecycledImage, about->Label1, about->Label2})
        EXPECT_TRUE(w->isVisibleTo(about)) << w->objectName().toStdString();
    EXPECT_FALSE(about->LoadBar->isVisibleTo(about));
    // The icon's background is keyed out, its arrows are not.
    const QImage icon = about->RecycledImage->pixmap().toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(icon.pixel(0, 31)), 0);
    int opaque = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) opaque += qAlpha(icon.pixel(x, y)) == 255;
    EXPECT_GT(opaque, 100);
    EXPECT_LT(opaque, 32 * 32 - 100);
    // The reused line is not cut to the width of "Loading :".
    const QLabel* bits = about->SplashLoadingLabel;
    EXPECT_GE(bits->width(), bits->fontMetrics().horizontalAdvance(bits->text()));

    bool wasVisible = false;
    test::WhenModal<TSplashScreen>([&](TSplashScreen* shown) {
        wasVisible = shown->TestedOn->isVisible() && !shown->LoadBar->isVisible();
        ClickAt(shown, shown->Image1);
    });
    about->exec();
    EXPECT_TRUE(wasVisible);
    EXPECT_TRUE(guard.isNull());
}

// Where the about box's last line ends, as drawn.
int TextEnd(const QLabel* line) {
    return line->x() + line->contentsRect().left() + line->fontMetrics().horizontalAdvance(line->text());
}

TEST(Splash, AboutBoxsLastLineEndsBeforeItsIconOnEveryScreen) {
    test::TempMachine machine;
    test::ArtDirScope art;
    TLog log;
    for (QScreen* screen : QGuiApplication::screens()) {
        const std::string at = screen->name().toStdString();
        TSplashScreen about(nullptr, &log);
        about.setAttribute(Qt::WA_DeleteOnClose, false);
        about.ConfigureAsAbout();
        about.move(screen->availableGeometry().center() - about.rect().center());
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        ASSERT_EQ(about.screen(), screen);
        const QRect icon = about.RecycledImage->geometry();
        EXPECT_GE(icon.left(), TextEnd(about.SplashLoadingLabel) + 4) << at;
        EXPECT_LT(icon.right() + 4, about.Label1->x()) << at << ": clear of the copyright line";
        EXPECT_EQ(about.SplashLoadingLabel->text(), "This program is made using 97% recycled bits.") << at;
    }
    // A font that sets the line wider than there is room for: it is cut
    // short, says the rest in its tooltip, and the icon stays clear of both.
    TSplashScreen about(nullptr, &log);
    about.setAttribute(Qt::WA_DeleteOnClose, false);
    QFont wide = about.SplashLoadingLabel->font();
    wide.setPixelSize(22);
    about.SplashLoadingLabel->setFont(wide);
    about.ConfigureAsAbout();
    const QRect icon = about.RecycledImage->geometry();
    EXPECT_TRUE(about.SplashLoadingLabel->text().endsWith(QChar(0x2026))) << about.SplashLoadingLabel->text().toStdString();
    EXPECT_EQ(about.SplashLoadingLabel->toolTip(), "This program is made using 97% recycled bits.");
    EXPECT_GE(icon.left(), TextEnd(about.SplashLoadingLabel) + 4);
    EXPECT_LT(icon.right() + 4, about.Label1->x());
}

TEST(Splash, EachUnreadablePictureLogsOneLine) {
    test::TempMachine machine;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::ArtDirScope art(dir.path());
    {
        TLog log;
        TSplashScreen splash(nullptr, &log);
        splash.setAttribute(Qt::WA_DeleteOnClose, false);
        EXPECT_TRUE(splash.Image1->pixmap().isNull());
        EXPECT_TRUE(splash.RecycledImage->pixmap().isNull());
        ASSERT_EQ(log.Count(), 2u);
        EXPECT_NE(log.Lines()[0].find("splash.jpg"), std::string::npos) << log.Lines()[0];
        EXPECT_NE(log.Lines()[1].find("recycled.jpg"), std::string::npos) << log.Lines()[1];
    }
    // A good splash picture beside a broken icon: only the icon is missing.
    ASSERT_TRUE(QFile::copy(QString(TARNEL_ART_DIR) + "/splash.jpg", dir.filePath("splash.jpg")));
    QFile broken(dir.filePath("recycled.jpg"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(64, '\0'));
    broken.close();
    TLog log;
    TSplashScreen splash(nullptr, &log);
    splash.setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_FALSE(splash.Image1->pixmap().isNull());
    EXPECT_TRUE(splash.RecycledImage->pixmap().isNull());
    ASSERT_EQ(log.Count(), 1u);
    EXPECT_NE(log.Lines()[0].find("recycled.jpg"), std::string::npos) << log.Lines()[0];
}

}  // namespace
}  // namespace tarnel
