#include "gui/shell/splash.h"

#include <QMouseEvent>
#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "gui/shell/GuiCommon.h"
#include "gui/shell/GuiJpeg.h"
#include "core/shell/ShellView.h"
#include "core/shell/uConst.h"
#include "platform/api/Backend.h"

namespace tarnel {

namespace {

// Text drawn straight onto the picture: no background of its own, and
// clicks pass through to the picture underneath.
QLabel* PictureLabel(const QString& text, const char* name, QPoint at, QWidget* parent, bool white) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setTextFormat(Qt::PlainText);
    if (white) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(pal);
    }
    label->move(at);
    label->adjustSize();
    return label;
}

// The icon is drawn "transparent" the classic way: its bottom-left pixel
// names the background colour, and pixels close to it (JPEG blurs the
// colour a little) let the picture underneath show through.
QPixmap KeyOutCornerColour(const QPixmap& picture) {
    if (picture.isNull()) return picture;
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    const QColor key = image.pixelColor(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int distance = std::abs(qRed(line[x]) - key.red()) + std::abs(qGreen(line[x]) - key.green()) +
                                 std::abs(qBlue(line[x]) - key.blue());
            if (distance < 48) line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return QPixmap::fromImage(image);
}

}  // namespace

TSplashScreen::TSplashScreen(QWidget* parent, TLog* log)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("SplashScreen");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(ToQ(cProgramTitle));
    setFixedSize(499, 250);
    setFont(DesignFont("MS Sans Serif", 11));

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    Panel1->setGeometry(0, 0, width(), height());

    // Created first so that everything else lies on top of it.
    Image1 = new QLabel(Panel1);
    Image1->setObjectName("Image1");
    Image1->setGeometry((width() - 491) / 2, (height() - 242) / 2, 491, 242);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(LoadArtPicture(ToQ(cArtSplash), log));
    Image1->installEventFilter(this);
    // The picture is the program's name in large letters.
    Image1->setAccessibleName(ToQ(cProgramTitle));

    Label1 = PictureLabel(ToQ(cSplashCopyright), "Label1", {368, 200}, Panel1, false);
    Label1->setEnabled(false);
    Label2 = PictureLabel(ToQ(cSplashAuthor), "Label2", {368, 216}, Panel1, false);
    Label2->setEnabled(false);

    SplashLoadingLabel = PictureLabel(ToQ(cSplashLoading), "SplashLoadingLabel", {24, 208}, Panel1, true);
    LoadBar = new QProgressBar(Panel1);
    LoadBar->setObjectName("LoadBar");
    LoadBar->setGeometry(72, 210, 281, 12);
    LoadBar->setRange(0, 100);
    LoadBar->setValue(0);
    LoadBar->setTextVisible(false);
    Build = PictureLabel(QString(), "Build", {24, 112}, Panel1, true);
    // On the line the (empty) freeware note keeps free, clear of the picture's lettering.
    MachineLabel = PictureLabel(QString(), "MachineLabel", {24, 168}, Panel1, true);
    TestedOn = PictureLabel(QString(), "TestedOn", {24, 126}, Panel1, true);
    TestedOn->setWordWrap(true);
    TestedOn->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TestedOn->setFixedSize(321, 43);
    Freeware = PictureLabel(QString(), "Freeware", {24, 168}, Panel1, true);
    mailAddress = PictureLabel(QString(), "mailAddress", {24, 182}, Panel1, true);
    RecycledImage = PictureLabel(QString(), "RecycledImage", {248, 200}, Panel1, false);
    RecycledImage->setAlignment(Qt::AlignCenter);
    RecycledImage->setFixedSize(32, 32);
    RecycledImage->setPixmap(KeyOutCornerColour(LoadArtPicture(ToQ(cArtRecycled), log)));
    RecycledImage->setAccessibleName(QStringLiteral("Recycling mark"));
    LoadBar->setAccessibleName(ToQ(cSplashLoading).remove(':').trimmed());

    for (QWidget* hidden : std::initializer_list<QWidget*>{SplashLoadingLabel, LoadBar, Build, MachineLabel, TestedOn, Freeware,
                                                           mailAddress, RecycledImage})
        hidden->hide();

    CentreWindow(this, parent);
}

void TSplashScreen::ConfigureAsAbout(const std::string& version) {
    Build->setText(ToQ(AboutBuildText(version, cAboutBuild)));
    TestedOn->setText(ToQ(cAboutTestedOn));
    Freeware->setText(QString());
    SplashLoadingLabel->setText(ToQ(cAboutRecycledBits));
    mailAddress->setText(ToQ(cAboutMail));
    // Which machine is shown, so that a demo machine never passes for the user's own.
    const QString machine = ToQ(cLogMachine + platform::CurrentBackend().Describe());
    MachineLabel->setText(MachineLabel->fontMetrics().elidedText(machine, Qt::ElideMiddle, 460));
    MachineLabel->setToolTip(machine);
    for (QLabel* label : {Build, MachineLabel, Freeware, SplashLoadingLabel, mailAddress}) label->adjustSize();
    PlaceRecycledImage();
    for (QWidget* shown : std::initializer_list<QWidget*>{Build, MachineLabel, TestedOn, Freeware, SplashLoadingLabel, mailAddress,
                                                          RecycledImage})
        shown->show();
    LoadBar->hide();
}

void TSplashScreen::PlaceRecycledImage() {
    // The icon follows the recycled-bits line with a gap, however wide the
    // font sets the line, and stops short of the copyright line; a line
    // that would reach further is cut short and says the rest in its tooltip.
    constexpr int kGap = 6, kDesignLeft = 248;
    QLabel* line = SplashLoadingLabel;
    const QString text = ToQ(cAboutRecycledBits);
    const int room = Label1->x() - kGap - RecycledImage->width() - kGap - line->x();
    const int margins = line->width() - line->contentsRect().width();
    const QString shown = line->fontMetrics().elidedText(text, Qt::ElideRight, room - margins);
    line->setText(shown);
    line->setToolTip(shown == text ? QString() : text);
    line->adjustSize();
    RecycledImage->move(std::max(kDesignLeft, line->geometry().right() + 1 + kGap), RecycledImage->y());
}

void TSplashScreen::Image1Click() {
    // Whether the loader showed the bar, even before the window itself is up.
    if (LoadBar->isVisibleTo(this)) return;
    close();
}

bool TSplashScreen::eventFilter(QObject* watched, QEvent* event) {
    // A click is a left press and release on the picture.
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && Image1->rect().contains(mouse->position().toPoint())) {
            Image1Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace tarnel
