#include "gui/shell/uMessage.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/shell/ShellView.h"
#include "core/shell/uConst.h"

namespace tarnel {

namespace {
QStyle::StandardPixmap IconOf(TMessageKind kind) {
    switch (kind) {
        case TMessageKind::Error: return QStyle::SP_MessageBoxCritical;
        case TMessageKind::Warning: return QStyle::SP_MessageBoxWarning;
        default: return QStyle::SP_MessageBoxInformation;
    }
}

// What a screen reader says for the icon.
QString IconName(TMessageKind kind) {
    switch (kind) {
        case TMessageKind::Error: return QStringLiteral("Error");
        case TMessageKind::Warning: return QStringLiteral("Warning");
        default: return QStringLiteral("Information");
    }
}
}  // namespace

TMessageText::TMessageText(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setAcceptRichText(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTabChangesFocus(true);
    document()->setDocumentMargin(2);
    QTextOption option = document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    document()->setDefaultTextOption(option);
    // Drawn on its panel, as a label would be.
    viewport()->setAutoFillBackground(false);
}

TfMessage::TfMessage(QWidget* parent) : QDialog(parent) {
    setObjectName("fMessage");
    setWindowTitle(ToQ(cProgramTitle));
    SetDialogFrame(this, TTitleButtons::Close);
    setFont(DesignFont("MS Sans Serif", 11));

    Panel5 = new THeaderBand(ToQ(cMessageTitle), ToQ(cMessageSubtitle), {16, 8}, {48, 24}, this);
    Panel5->setObjectName("Panel5");
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

    // Lowered outside, raised inside: Qt's sunken box draws exactly that.
    DeviceServicePanel = new QFrame(this);
    DeviceServicePanel->setObjectName("DeviceServicePanel");
    DeviceServicePanel->setFrameStyle(QFrame::Box | QFrame::Sunken);

    MessageLabel = new TMessageText(DeviceServicePanel);
    MessageLabel->setObjectName("MessageLabel");
    QFont mono = DesignFont("MS Sans Serif", 13);
    mono.setFixedPitch(true);
    mono.setStyleHint(QFont::TypeWriter);
    MessageLabel->setFont(mono);
    MessageLabel->setAccessibleName(ToQ(cMessageSubtitle));
    NameScrollBars(MessageLabel);

    OkButton = new QPushButton(ToQ(cOkButton), this);
    OkButton->setObjectName("OkButton");
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &TfMessage::OkButtonClick);
    // The text field copies its own selection; elsewhere Ctrl+C takes the message.
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, &TfMessage::CopyMessage);

    SetMessage(cMessageDesignText);
    OkButton->setFocus();
}

void TfMessage::SetMessage(const std::string& text, TMessageKind kind) {
    kind_ = kind;
    QuestionImage->setPixmap(style()->standardIcon(IconOf(kind), nullptr, this).pixmap(32, 32));
    QuestionImage->setAccessibleName(IconName(kind));
    const QString shown = ToQ(text);
    MessageLabel->setPlainText(shown);
    // Read out when the dialog opens.
    setAccessibleDescription(shown);
    Arrange();
    CentreWindow(this, parentWidget());
}

void TfMessage::Arrange() {
    const QWidget* over = parentWidget() ? parentWidget()->window() : this;
    const QScreen* screen = over->screen() ? over->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);

    // As wide as the longest line wants, from the design width to the screen's.
    const int frame = 2 * DeviceServicePanel->frameWidth();
    const int margins = 2 * int(MessageLabel->document()->documentMargin()) + frame + 4;
    const QFontMetrics metrics(MessageLabel->font());
    int longest = 0;
    for (const QString& line : MessageLabel->toPlainText().split('\n'))
        longest = std::max(longest, metrics.horizontalAdvance(line));
    // Logical pixels: the window system scales them.
    const auto s = [](int px) { return px; };
    const int panelWidth = MessagePanelWidth(longest + margins, area.width(), s);

    // As high as the wrapped lines need; beyond the screen's height the text scrolls.
    // Measured on a copy: the field lays its own document out at its
    // current width, whatever width is set on it here.
    const std::unique_ptr<QTextDocument> probe(MessageLabel->document()->clone());
    probe->setTextWidth(panelWidth - frame);
    const int textHeight = int(std::ceil(probe->size().height()));
    const TMessageLayout l = MessageLayout(panelWidth, textHeight + frame, area.height(), s);

    DeviceServicePanel->setGeometry(l.PanelLeft, l.PanelTop, l.PanelWidth, l.PanelHeight);
    const QRect inside = DeviceServicePanel->contentsRect();
    const int textShown = std::min(textHeight, inside.height());
    // Centred in the panel, as the design's one line is.
    MessageLabel->setGeometry(inside.x(), inside.y() + (inside.height() - textShown) / 2, inside.width(),
                              textShown);
    OkButton->setGeometry(l.ButtonLeft, l.ButtonTop, l.ButtonWidth, l.ButtonHeight);
    setFixedSize(l.ClientWidth, l.ClientHeight);
    Panel5->setGeometry(0, 0, width(), 49);
    FitBandLabels(Panel5);
}

void TfMessage::OkButtonClick() { accept(); }

void TfMessage::CopyMessage() {
    QString selected = MessageLabel->textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, '\n');
    QGuiApplication::clipboard()->setText(selected.isEmpty() ? MessageLabel->toPlainText() : selected);
}

void ShowMessageDialog(const std::string& text, QWidget* parent, TMessageKind kind) {
    auto* dialog = new TfMessage(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // During start-up the splash screen stays on top of everything; a
    // message must not end up hidden behind it while it waits for Ok.
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    dialog->SetMessage(text, kind);
    dialog->exec();  // deletes the dialog before returning
}

}  // namespace tarnel
