// The preferences dialog: the five flags and the program font of the
// settings record. OK changes the record in memory and applies the font
// at once; the registry is written only when the program quits.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfMain;

class TfPreferences : public QDialog {
    Q_OBJECT
public:
    // Runs the opening at once (FormCreate). Show it with exec(); it frees
    // itself when it closes.
    explicit TfPreferences(TfMain& main);

    // Components.
    THeaderBand* Panel5;
    QLabel* Label1;     // Panel5's title
    QLabel* HelpLabel;  // Panel5's subtitle
    QFrame* Panel3;
    QCheckBox* SizeEqualBox;
    QCheckBox* StayOnTopBox;
    QCheckBox* SavePositionBox;
    QCheckBox* AutoSwapBox;
    QCheckBox* DisableDblClickBox;
    QLabel* PreviewFont;
    QLabel* Label2;
    QComboBox* FontBox;
    QLabel* FontSize;
    QSpinBox* FontSizeSpin;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    // Handlers.
    void FormCreate();
    void FontSizeSpinChange(int value);
    void FontBoxChange();
    void OkButtonClick();
    void CancelButtonClick();

private:
    TfMain& main_;
};

}  // namespace tarnel
