#include "gui/shell/uQuestion.h"

#include <QKeyEvent>

#include "gui/shell/GuiJpeg.h"
#include "core/shell/uConst.h"

namespace tarnel {

namespace {

// A button in its own small framed panel, as the button row is designed.
QPushButton* FramedButton(const char* text, const char* name, QFrame* frame, int left, QWidget* row) {
    frame->setParent(row);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setGeometry(left, 8, 65 + 4, 25 + 4);
    auto* button = new QPushButton(ToQ(text), frame);
    button->setObjectName(name);
    button->setGeometry(2, 2, 65, 25);
    return button;
}

}  // namespace

TfQuestion::TfQuestion(QWidget* parent, TLog* log)
    : QDialog(parent) {
    setObjectName("fQuestion");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(ToQ(cProgramTitle));
    // No title-bar buttons; a close button that a window manager adds
    // anyway answers Cancel.
    SetDialogFrame(this, TTitleButtons::None);
    setFixedSize(459, 175);
    setFont(DesignFont("Lucida Sans Unicode", 11));

    Panel2 = new THeaderBand(ToQ(cProgramTitle), ToQ(cQuestionSubtitle), {16, 8}, {48, 24}, this);
    Panel2->setObjectName("Panel2");
    Panel2->setGeometry(0, 0, width(), 49);
    FitBandLabels(Panel2);
    Label2 = Panel2->Label2;
    HelpLabel = Panel2->HelpLabel;

    // Between the band and the 64-pixel button area, with a border of 8.
    const int bodyHeight = height() - 49 - 64;
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, 49, width(), bodyHeight);

    Panel5 = new QFrame(Panel1);
    Panel5->setObjectName("Panel5");
    Panel5->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel5->setGeometry(8, 8, 57, bodyHeight - 16);
    Image1 = new QLabel(Panel5);
    Image1->setObjectName("Image1");
    Image1->setAccessibleName(ToQ(cQuestionSubtitle));
    Image1->setGeometry(Panel5->contentsRect());
    Image1->setScaledContents(true);
    Image1->setPixmap(LoadArtPicture(ToQ(cArtQuestion), log));

    questionLabel = new QLabel(ToQ(cQuestionDesignText), Panel1);
    questionLabel->setObjectName("questionLabel");
    questionLabel->setGeometry(8 + 57, 8, width() - 16 - 57, bodyHeight - 16);
    questionLabel->setAlignment(Qt::AlignCenter);
    questionLabel->setWordWrap(true);
    questionLabel->setTextFormat(Qt::PlainText);
    questionLabel->setFont(DesignFont("Lucida Sans Unicode", 12));

    Panel3 = new QFrame(this);
    Panel3->setObjectName("Panel3");
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel3->setGeometry(0, height() - 64, width(), 64);
    Panel4 = new QFrame(Panel3);
    Panel4->setObjectName("Panel4");
    Panel4->setGeometry(8, 8, width() - 16, 64 - 16);

    Panel6 = new QFrame;
    Panel6->setObjectName("Panel6");
    Panel7 = new QFrame;
    Panel7->setObjectName("Panel7");
    Panel8 = new QFrame;
    Panel8->setObjectName("Panel8");
    Button1 = FramedButton(cYesButton, "Button1", Panel6, 8, Panel4);
    Button2 = FramedButton(cNoButton, "Button2", Panel7, 80, Panel4);
    Button3 = FramedButton(cCancelButton, "Button3", Panel8, 360, Panel4);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TfQuestion::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfQuestion::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfQuestion::Button3Click);

    CentreWindow(this, parent);
}

int TfQuestion::ShowModal() {
    answer_ = QMessageBox::Cancel;
    return exec();
}

void TfQuestion::Answer(int answer) {
    answer_ = answer;
    close();
}

void TfQuestion::Button1Click() { Answer(QMessageBox::Yes); }
void TfQuestion::Button2Click() { Answer(QMessageBox::No); }
void TfQuestion::Button3Click() { Answer(QMessageBox::Cancel); }

void TfQuestion::done(int) { QDialog::done(answer_); }

void TfQuestion::keyPressEvent(QKeyEvent* event) {
    // Escape is the Cancel button, not QDialog's bare reject.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Button3Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tarnel
