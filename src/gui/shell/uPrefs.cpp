#include "gui/shell/uPrefs.h"

#include <QAbstractItemView>
#include <QCollator>
#include <QLineEdit>
#include <algorithm>

#include "core/shell/ShellView.h"
#include "core/shell/uConst.h"
#include "gui/shell/uMain.h"
#include "platform/api/Ansi.h"

namespace tarnel {

namespace {

QCheckBox* CheckBox(const char* caption, const char* name, QRect at, QWidget* parent) {
    auto* box = new QCheckBox(ToQ(caption), parent);
    box->setObjectName(name);
    box->setGeometry(at);
    return box;
}

QLabel* Label(const char* caption, const char* name, QPoint at, QWidget* parent) {
    auto* label = new QLabel(ToQ(caption), parent);
    label->setObjectName(name);
    label->move(at);
    label->adjustSize();
    return label;
}

QPushButton* Button(const char* caption, const char* name, QRect at, QWidget* parent) {
    auto* button = new QPushButton(ToQ(caption), parent);
    button->setObjectName(name);
    button->setGeometry(at);
    return button;
}

}  // namespace

TfPreferences::TfPreferences(TfMain& main)
    : QDialog(&main, Qt::Tool), main_(main) {
    setObjectName("fPreferences");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(ToQ(cProgramTitle));
    // A tool window without any title-bar buttons; a close button that a
    // window manager adds anyway cancels.
    SetDialogFrame(this, TTitleButtons::None);
    setFixedSize(460, 220);
    setFont(DesignFont("MS Sans Serif", 11));

    Panel5 = new THeaderBand(ToQ(cProgramTitle), ToQ(cPreferencesSubtitle), {40, 8}, {80, 24}, this);
    Panel5->setObjectName("Panel5");
    Panel5->setGeometry(0, 0, width(), 49);
    FitBandLabels(Panel5);
    Label1 = Panel5->Label2;
    Label1->setObjectName("Label1");
    HelpLabel = Panel5->HelpLabel;

    Panel3 = new QFrame(this);
    Panel3->setObjectName("Panel3");
    Panel3->setFrameShape(QFrame::NoFrame);
    Panel3->setGeometry(0, 54, width(), height() - 54);

    SizeEqualBox = CheckBox(cSizeEqualBox, "SizeEqualBox", {8, 2, 129, 17}, Panel3);
    StayOnTopBox = CheckBox(cStayOnTopBox, "StayOnTopBox", {8, 23, 97, 17}, Panel3);
    SavePositionBox = CheckBox(cSavePositionBox, "SavePositionBox", {8, 45, 137, 17}, Panel3);
    AutoSwapBox = CheckBox(cAutoSwapBox, "AutoSwapBox", {8, 66, 97, 17}, Panel3);
    DisableDblClickBox = CheckBox(cDisableDblClickBox, "DisableDblClickBox", {8, 88, 129, 17}, Panel3);

    PreviewFont = new QLabel(ToQ(cPreviewText), Panel3);
    PreviewFont->setObjectName("PreviewFont");
    PreviewFont->setGeometry(160, 0, 297, 49);
    PreviewFont->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PreviewFont->setAlignment(Qt::AlignCenter);
    PreviewFont->setFont(DesignFont("MS Sans Serif", 13));

    Label2 = Label(cChangeFontLabel, "Label2", {160, 60}, Panel3);
    FontBox = new QComboBox(Panel3);
    FontBox->setObjectName("FontBox");
    FontBox->setEditable(false);
    FontBox->setGeometry(232, 56, 225, FontBox->sizeHint().height());
    Label2->setBuddy(FontBox);
    FontBox->view()->setAccessibleName(QString(ToQ(cChangeFontLabel)).remove('&'));

    FontSize = Label(cFontSizeLabel, "FontSize", {160, 88}, Panel3);
    FontSizeSpin = new QSpinBox(Panel3);
    FontSizeSpin->setObjectName("FontSizeSpin");
    FontSizeSpin->setGeometry(232, 83, 57, 22);
    FontSizeSpin->setRange(cMinFontSize, cMaxFontSize);
    FontSize->setBuddy(FontSizeSpin);
    FontSizeSpin->setAccessibleName(ToQ(cFontSizeLabel));
    // Changed by its arrows (and the arrow keys) only: the text takes no typing.
    if (auto* edit = FontSizeSpin->findChild<QLineEdit*>()) {
        edit->setMaxLength(3);
        edit->setReadOnly(true);
    }

    OkButton = Button(cOkButton, "OkButton", {296, 136, 75, 25}, Panel3);
    CancelButton = Button(cCancelButton, "CancelButton", {380, 136, 75, 25}, Panel3);
    connect(OkButton, &QPushButton::clicked, this, &TfPreferences::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TfPreferences::CancelButtonClick);

    QWidget* order[] = {SizeEqualBox, StayOnTopBox, AutoSwapBox, SavePositionBox, OkButton,
                        CancelButton, FontBox,      PreviewFont, DisableDblClickBox, FontSizeSpin};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    SizeEqualBox->setFocus();

    // Every change of the spin reaches the sample, the opening's own included.
    connect(FontSizeSpin, &QSpinBox::valueChanged, this, &TfPreferences::FontSizeSpinChange);
    FormCreate();
    // Only the user's choices reach the sample, not the opening's selection.
    connect(FontBox, &QComboBox::currentIndexChanged, this, &TfPreferences::FontBoxChange);

    CentreWindow(this, &main);
}

void TfPreferences::FormCreate() {
    const TPreferences& settings = main_.Settings;
    SizeEqualBox->setChecked(settings.SizeEqually);
    StayOnTopBox->setChecked(settings.StayOnTop);
    AutoSwapBox->setChecked(settings.AutoSwap);
    SavePositionBox->setChecked(settings.SavePositions);
    DisableDblClickBox->setChecked(settings.DisableDoubleClick);

    // Each family once, as the user knows it, and "Default" in its place.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::string> families;
    for (const QString& family : InstalledFontFamilies()) families.push_back(FromQ(family));
    const std::vector<std::string> entries = FontBoxEntries(
        std::move(families), [&](const std::string& a, const std::string& b) { return collator.compare(ToQ(a), ToQ(b)); });
    for (const std::string& entry : entries) FontBox->addItem(ToQ(entry));

    FontSizeSpin->setValue(settings.FontSize);  // the spin keeps it within its range

    // Letter case is ignored the program's way: ASCII letters only.
    FontBox->setCurrentIndex(FontBoxSelection(entries, settings.ProgramFont));
}

void TfPreferences::FontSizeSpinChange(int value) {
    QFont font = PreviewFont->font();
    font.setPointSize(value);
    PreviewFont->setFont(font);
}

void TfPreferences::FontBoxChange() {
    QFont font = PreviewFont->font();
    font.setFamily(FontBox->currentText());
    PreviewFont->setFont(font);
}

void TfPreferences::OkButtonClick() {
    TPreferences& settings = main_.Settings;
    settings.SizeEqually = SizeEqualBox->isChecked();
    settings.StayOnTop = StayOnTopBox->isChecked();
    settings.AutoSwap = AutoSwapBox->isChecked();
    settings.SavePositions = SavePositionBox->isChecked();
    settings.DisableDoubleClick = DisableDblClickBox->isChecked();
    // Empty when nothing is selected: the platform's default font is used.
    settings.ProgramFont = FromQ(FontBox->currentText());
    settings.FontSize = FontSizeSpin->value();
    main_.ApplyProgramFont();
    accept();
}

void TfPreferences::CancelButtonClick() { reject(); }

}  // namespace tarnel
