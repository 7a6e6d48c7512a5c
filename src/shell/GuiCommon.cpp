#include "shell/GuiCommon.h"

#include <QCoreApplication>
#include <QDir>
#include <QPalette>

#include "platform/Ansi.h"

namespace tarnel {

QString ToQ(const std::string& ansi) { return QString::fromStdString(platform::AnsiToUtf8(ansi)); }

std::string FromQ(const QString& text) { return platform::Utf8ToAnsi(text.toStdString()); }

QFont DesignFont(const QString& family, int pixelHeight, bool bold) {
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

QString ArtFile(const QString& name) { return ProgramDir() + "/art/" + name; }

}  // namespace tarnel
