// The dialog in which a codec of the emulated machine shows its own
// configuration or about text: on Windows the driver draws that dialog
// itself, here the platform hands its title and text to the windows.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <string>

#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfDriverDialog : public QDialog {
    Q_OBJECT
public:
    // `title` is the driver's name, `text` what its dialog says (Windows-1252,
    // line breaks kept).
    TfDriverDialog(bool configure, const std::string& title, const std::string& text, QWidget* parent = nullptr);

    THeaderBand* Panel5;
    QFrame* TextPanel;
    QLabel* TextLabel;
    QPushButton* OkButton;
};

// Shows the dialog modally, centred on `parent`, and returns when the user
// closed it; the dialog frees itself.
void ShowDriverDialog(bool configure, const std::string& title, const std::string& text, QWidget* parent);

}  // namespace tarnel
