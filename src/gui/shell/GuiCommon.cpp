#include "gui/shell/GuiCommon.h"

#include <QFileInfo>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QPalette>

#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"

namespace tarnel {

void PaintNow(QWidget* window) {
    if (!window) return;
    QWidget* top = window->window();
    if (top->isVisible()) {
        QElapsedTimer waited;
        waited.start();
        while ((!top->windowHandle() || !top->windowHandle()->isExposed()) && waited.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    window->repaint();
}

bool TRepaintThrottle::Due(bool final) {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    const qint64 now = clock.elapsed();
    if (final || last_ < 0 || now - last_ >= 33) {
        last_ = now;
        return true;
    }
    return false;
}


QString ToQ(const std::string& ansi) { return QString::fromStdString(platform::AnsiToUtf8(ansi)); }

std::string FromQ(const QString& text) { return platform::Utf8ToAnsi(text.toStdString()); }

QFont DesignFont(const QString& family, int pixelHeight, bool bold) {
    // Where the designs' Windows fonts are missing, prefer fonts of about
    // their width, so that texts placed by pixel do not run into their
    // neighbours; a machine that has the fonts is unaffected.
    static const bool substitutes = [] {
        QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Nimbus Sans", "Arial"});
        return true;
    }();
    (void)substitutes;
    QFont f(family);
    f.setPixelSize(pixelHeight);
    f.setBold(bold);
    return f;
}

THeaderBand::THeaderBand(const QString& title, const QString& subtitle, QPoint titleAt, QPoint subtitleAt,
                         QWidget* parent)
    : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
    setFixedHeight(49);
    setAutoFillBackground(true);
    QPalette pal = palette();
    const QColor band = pal.color(QPalette::WindowText);
    const QColor text = pal.color(QPalette::Window);
    pal.setColor(QPalette::Window, band);
    pal.setColor(QPalette::WindowText, text);
    setPalette(pal);

    Label2 = new QLabel(title, this);
    Label2->setObjectName("Label2");
    Label2->setFont(DesignFont("Lucida Sans Unicode", 11, true));
    Label2->move(titleAt);
    HelpLabel = new QLabel(subtitle, this);
    HelpLabel->setObjectName("HelpLabel");
    HelpLabel->setFont(DesignFont("Lucida Sans Unicode", 11));
    HelpLabel->move(subtitleAt);
    for (QLabel* l : {Label2, HelpLabel}) {
        l->setPalette(pal);
        l->adjustSize();
    }
}

QString ProgramDir() {
    QString dir = QCoreApplication::applicationDirPath();
    return dir.isEmpty() ? QDir::currentPath() : dir;
}

QString DataDir() {
    const QString beside = ProgramDir();
    if (QFileInfo::exists(beside + "/" + cHelpFile)) return beside;
    const QString installed = QDir::cleanPath(beside + "/../share/tarnel");
    return QFileInfo::exists(installed + "/" + cHelpFile) ? installed : beside;
}

namespace {
QString& ArtDirOverride() {
    static QString dir;
    return dir;
}
}  // namespace

void SetArtDir(const QString& dir) { ArtDirOverride() = dir; }

QString ArtDir() { return ArtDirOverride().isEmpty() ? DataDir() + "/art" : ArtDirOverride(); }

QString ArtFile(const QString& name) { return ArtDir() + "/" + name; }

void FitBandLabels(THeaderBand* band) {
    for (QLabel* l : {band->Label2, band->HelpLabel})
        l->resize(qMax(l->width(), band->width() - l->x() - 8), l->height());
}

void CentreWindow(QWidget* window, const QWidget* over) {
    QRect area;
    if (over) {
        area = over->window()->frameGeometry();
    } else {
        const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
        if (!screen) return;
        area = screen->availableGeometry();
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    window->move(frame.topLeft());
}

}  // namespace tarnel
