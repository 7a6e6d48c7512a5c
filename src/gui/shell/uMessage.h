// The message dialog: one line of text, an icon and an Ok button. Every
// message of the program reaches the user through it (the main window's
// ShowSystemMessage logs the text and then calls ShowMessageDialog).
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <string>

#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfMessage : public QDialog {
    Q_OBJECT
public:
    explicit TfMessage(QWidget* parent = nullptr);

    // Puts a program text (Windows-1252) on the one line of MessageLabel.
    void SetMessage(const std::string& text);

    THeaderBand* Panel5;
    QLabel* Label2;     // Panel5's title
    QLabel* HelpLabel;  // Panel5's subtitle
    QFrame* Panel1;
    QLabel* QuestionImage;
    QFrame* DeviceServicePanel;
    QLabel* MessageLabel;
    QPushButton* OkButton;

public slots:
    void OkButtonClick();
};

// Shows `text` in a new message dialog, modally, centred on `parent` (the
// screen when null), and returns when the user closed it; the dialog frees
// itself.
void ShowMessageDialog(const std::string& text, QWidget* parent);

}  // namespace tarnel
