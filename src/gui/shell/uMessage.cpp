#include "gui/shell/uMessage.h"

#include <QStyle>

#include "core/shell/uConst.h"

namespace tarnel {

TfMessage::TfMessage(QWidget* parent) : QDialog(parent) {
    setObjectName("fMessage");
    setWindowTitle(ToQ(cProgramTitle));
    setFixedSize(525, 146);
    setFont(DesignFont("MS Sans Serif", 11));

    Panel5 = new THeaderBand(ToQ(cMessageTitle), ToQ(cMessageSubtitle), {16, 8}, {48, 24}, this);
    Panel5->setObjectName("Panel5");
    Panel5->setGeometry(0, 0, width(), 49);
    FitBandLabels(Panel5);
    Label2 = Panel5->Label2;
    HelpLabel = Panel5->HelpLabel;

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 64, 81, 65);
    QuestionImage = new QLabel(Panel1);
    QuestionImage->setObjectName("QuestionImage");
    QuestionImage->setGeometry((81 - 32) / 2, (65 - 32) / 2, 32, 32);
    QuestionImage->setAlignment(Qt::AlignCenter);
    QuestionImage->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(32, 32));

    // Lowered outside, raised inside: Qt's sunken box draws exactly that.
    DeviceServicePanel = new QFrame(this);
    DeviceServicePanel->setObjectName("DeviceServicePanel");
    DeviceServicePanel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    DeviceServicePanel->setGeometry(104, 64, 409, 33);

    // One line, centred; a longer text runs past both edges of the label,
    // which the panel clips, instead of wrapping onto a second line.
    MessageLabel = new QLabel(ToQ(cMessageDesignText), DeviceServicePanel);
    MessageLabel->setObjectName("MessageLabel");
    MessageLabel->setGeometry(DeviceServicePanel->contentsRect());
    MessageLabel->setAlignment(Qt::AlignCenter);
    MessageLabel->setWordWrap(false);
    MessageLabel->setTextFormat(Qt::PlainText);
    QFont mono = DesignFont("MS Sans Serif", 13);
    mono.setFixedPitch(true);
    mono.setStyleHint(QFont::TypeWriter);
    MessageLabel->setFont(mono);

    OkButton = new QPushButton(ToQ(cOkButton), this);
    OkButton->setObjectName("OkButton");
    OkButton->setGeometry(264, 104, 81, 25);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &TfMessage::OkButtonClick);

    CentreWindow(this, parent);
}

void TfMessage::SetMessage(const std::string& text) { MessageLabel->setText(ToQ(text)); }

void TfMessage::OkButtonClick() { accept(); }

void ShowMessageDialog(const std::string& text, QWidget* parent) {
    auto* dialog = new TfMessage(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // During start-up the splash screen stays on top of everything; a
    // message must not end up hidden behind it while it waits for Ok.
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    dialog->SetMessage(text);
    dialog->exec();  // deletes the dialog before returning
}

}  // namespace tarnel
