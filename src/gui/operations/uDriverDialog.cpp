#include "gui/operations/uDriverDialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/shell/uConst.h"

namespace tarnel {

TfDriverDialog::TfDriverDialog(bool configure, const std::string& title, const std::string& text, QWidget* parent)
    : QDialog(parent) {
    setObjectName("fDriverDialog");
    setWindowTitle(ToQ(title));
    // A close button only, in a way every window manager honours.
    SetDialogFrame(this, TTitleButtons::Close);
    setFont(DesignFont("Lucida Sans Unicode", 11));

    // A driver without a name still gets a band with a title.
    const std::string band = title.empty() ? std::string(cProgramTitle) : title;
    Panel5 = new THeaderBand(ToQ(band), ToQ(configure ? cDriverConfigureSubtitle : cDriverAboutSubtitle), {16, 8},
                             {48, 24}, this);
    Panel5->setObjectName("Panel5");
    Panel5->setFixedHeight(49);

    TextPanel = new QFrame(this);
    TextPanel->setObjectName("TextPanel");
    TextPanel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    TextLabel = new QLabel(ToQ(text), TextPanel);
    TextLabel->setObjectName("TextLabel");
    TextLabel->setTextFormat(Qt::PlainText);
    TextLabel->setWordWrap(true);
    TextLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TextLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TextLabel->setMinimumWidth(360);
    auto* textLayout = new QVBoxLayout(TextPanel);
    textLayout->setContentsMargins(12, 10, 12, 10);
    textLayout->addWidget(TextLabel);

    OkButton = new QPushButton(ToQ(cOkButton), this);
    OkButton->setObjectName("OkButton");
    OkButton->setFixedSize(81, 25);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addStretch(1);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(8, 12, 8, 8);
    body->setSpacing(8);
    body->addWidget(TextPanel, 1);
    body->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel5);
    layout->addLayout(body, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ShowDriverDialog(bool configure, const std::string& title, const std::string& text, QWidget* parent) {
    auto* dialog = new TfDriverDialog(configure, title, text, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->adjustSize();
    CentreWindow(dialog, parent);
    dialog->exec();  // deletes the dialog before returning
}

}  // namespace tarnel
