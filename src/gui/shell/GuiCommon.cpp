#include "gui/shell/GuiCommon.h"

#include <QAbstractScrollArea>
#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "core/shell/ShellView.h"
#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"

namespace tarnel {

void PaintNow(QWidget* window) {
    if (window) PaintNow(window, window->rect());
}

void PaintNow(QWidget* window, const QRegion& part) {
    if (!window) return;
    QWidget* top = window->window();
    const auto exposed = [top] { return top->windowHandle() && top->windowHandle()->isExposed(); };
    if (top->isVisible() && !exposed()) {
        QElapsedTimer waited;
        waited.start();
        while (!exposed() && waited.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        // The exposure has just painted the whole window: painting it again
        // would only cost a second frame no one sees.
        if (exposed()) return;
    }
    window->repaint(part);
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

QString FontFamilyName(const QString& listed) {
    // "Family [Foundry]": the last " [" opens the foundry when nothing
    // but its closing bracket ends the name after it.
    if (!listed.endsWith(u']')) return listed;
    const qsizetype open = listed.lastIndexOf(u" [");
    if (open < 1 || listed.indexOf(u']', open + 2) != listed.size() - 1) return listed;
    return listed.left(open);
}

QStringList InstalledFontFamilies() {
    QStringList families;
    for (const QString& family : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(family)) families << FontFamilyName(family);
    families.removeDuplicates();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(families.begin(), families.end(), [&](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
    return families;
}

QString ProgramFontFamily(const std::string& programFont) {
    if (!NamesDefaultFont(programFont)) {
        // The family the preferences would list first among those of that
        // name, found without sorting them all: start-up asks this for
        // every window.
        QString found;
        for (const QString& listed : QFontDatabase::families()) {
            if (QFontDatabase::isPrivateFamily(listed)) continue;
            const QString family = FontFamilyName(listed);
            if (platform::EqualsNoCase(FromQ(family), programFont) && (found.isEmpty() || family < found)) found = family;
        }
        if (!found.isEmpty()) return found;
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
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
    // The window it is centred on may stand partly off the screen.
    KeepOnScreen(window);
}

namespace {
// Some window managers draw minimise and maximise on every dialog, whatever
// the Motif hints say, and drop them only for a tool bar's type; named
// before the dialog's own type, it is the type they go by. The X platform
// takes the type from the native window's property when it applies the
// window's flags, so each time the dialog is shown (its native window made,
// not yet mapped) the flags are applied once more with the type set.
class TDialogTypeFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && QGuiApplication::platformName() == QLatin1String("xcb")) {
            if (QWindow* handle = static_cast<QWidget*>(watched)->windowHandle()) {
                constexpr int kToolbarWindowType = 0x8;
                handle->setProperty("_q_xcb_wm_window_type", kToolbarWindowType);
                const Qt::WindowFlags flags = handle->flags();
                handle->setFlags(flags ^ Qt::WindowContextHelpButtonHint);
                handle->setFlags(flags);
            }
        }
        return false;
    }
};
}  // namespace

void SetDialogFrame(QWidget* dialog, TTitleButtons buttons) {
    Qt::WindowFlags flags = dialog->windowFlags() & (Qt::WindowType_Mask | Qt::WindowStaysOnTopHint);
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (buttons == TTitleButtons::Close) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    dialog->setWindowFlags(flags);
    if (!dialog->findChild<TDialogTypeFilter*>(QString(), Qt::FindDirectChildrenOnly))
        dialog->installEventFilter(new TDialogTypeFilter(dialog));
}

void NameScrollBars(QAbstractScrollArea* area) {
    area->verticalScrollBar()->setAccessibleName(QStringLiteral("Vertical scroll bar"));
    area->horizontalScrollBar()->setAccessibleName(QStringLiteral("Horizontal scroll bar"));
}

QRect FitToArea(const QRect& frame, const QList<QRect>& areas) {
    const QRect* best = nullptr;
    qint64 bestShare = 0;
    for (const QRect& area : areas) {
        const QRect common = area.intersected(frame);
        const qint64 share = qint64(common.width()) * common.height();
        if (!common.isEmpty() && share > bestShare) {
            best = &area;
            bestShare = share;
        }
    }
    if (!best) {
        qint64 nearest = -1;
        for (const QRect& area : areas) {
            const QPoint c = frame.center();
            const qint64 dx = c.x() < area.left() ? area.left() - c.x() : std::max(0, c.x() - area.right());
            const qint64 dy = c.y() < area.top() ? area.top() - c.y() : std::max(0, c.y() - area.bottom());
            if (nearest < 0 || dx * dx + dy * dy < nearest) {
                nearest = dx * dx + dy * dy;
                best = &area;
            }
        }
    }
    if (!best) return frame;
    QRect fitted = frame;
    fitted.setSize(frame.size().boundedTo(best->size()));
    fitted.moveLeft(std::clamp(fitted.left(), best->left(), best->right() + 1 - fitted.width()));
    fitted.moveTop(std::clamp(fitted.top(), best->top(), best->bottom() + 1 - fitted.height()));
    return fitted;
}

namespace {
// The frame the window system puts around a window: known once the window
// is framed, estimated from the style before.
QMargins FrameMargins(const QWidget* window) {
    if (window->isVisible()) {
        const QRect outer = window->frameGeometry(), inner = window->geometry();
        const QMargins known(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                             outer.bottom() - inner.bottom());
        if (!known.isNull()) return known;
    }
    const int border = 4;
    const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window) + border;
    return {border, title, border, border};
}
}  // namespace

namespace {
// Puts a window's frame at `at`. Until the window system has framed a
// window that is already made, Qt would put the window's inside there and
// its title bar above it; asking for the frame's position lets the window
// manager place the frame itself.
void MoveFrameTo(QWidget* window, QPoint at) {
    QWindow* handle = window->windowHandle();
    const bool framed = window->frameGeometry() != window->geometry();
    if (handle && window->testAttribute(Qt::WA_WState_Created) && !framed)
        handle->setFramePosition(at);
    else
        window->move(at);
}
}  // namespace

void KeepOnScreen(QWidget* window) {
    if (!window || !window->isWindow()) return;
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) areas.append(screen->availableGeometry());
    if (areas.isEmpty()) return;
    const QMargins frame = FrameMargins(window);
    // A window's position is that of its frame, as it is saved and restored.
    const QRect outer(window->pos(), window->size().grownBy(frame));
    const QRect fitted = FitToArea(outer, areas);
    if (fitted == outer) return;
    if (fitted.size() != outer.size()) window->resize(fitted.size().shrunkBy(frame));
    MoveFrameTo(window, fitted.topLeft());
}

void KeepOnScreenOnceFramed(QWidget* window) {
    // The window manager frames a window a moment after it is shown; until
    // then the frame is only estimated. Without one it never comes, and the
    // estimate stands after a second.
    auto* wait = new QTimer(window);
    wait->setInterval(25);
    QObject::connect(wait, &QTimer::timeout, window, [window, wait, tries = 0]() mutable {
        if (window->frameGeometry() == window->geometry() && ++tries < 40) return;
        wait->stop();
        wait->deleteLater();
        KeepOnScreen(window);
    });
    wait->start();
}

double FontGrowth(const QFont& font, const QPaintDevice* device, const QFont& design) {
    // A few words of the program's own texts stand for the texts in general.
    static const QString sample = QStringLiteral("Running On : Windows XP Professional mjpg lcmjpeg.dll 2.4.0.118");
    static const QImage designDevice = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780);  // 96 dots per inch
        image.setDotsPerMeterY(3780);
        return image;
    }();
    const qreal designWidth = QFontMetricsF(design, &designDevice).horizontalAdvance(sample);
    const qreal width = QFontMetricsF(font, device).horizontalAdvance(sample);
    return designWidth > 0 ? std::max<qreal>(1.0, width / designWidth) : 1.0;
}

}  // namespace tarnel
