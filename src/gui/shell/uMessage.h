// The message dialog: the text, an icon that says what kind of message it
// is, and an Ok button. Every message of the program reaches the user
// through it (the main window's ShowSystemMessage logs the text and then
// calls ShowMessageDialog).
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <string>

#include "gui/shell/GuiCommon.h"

namespace tarnel {

// What a message is; it decides the dialog's icon.
enum class TMessageKind { Information, Warning, Error };

// The message text: wrapped (inside a long path too, where it has no
// blanks), centred, selectable and copyable, never editable.
class TMessageText : public QTextEdit {
    Q_OBJECT
public:
    explicit TMessageText(QWidget* parent = nullptr);
    QString text() const { return toPlainText(); }
};

class TfMessage : public QDialog {
    Q_OBJECT
public:
    explicit TfMessage(QWidget* parent = nullptr);

    // Puts a program text (Windows-1252) into MessageLabel and sizes the
    // dialog to show all of it: as wide as its longest line needs, up to
    // the width of the screen, then as high as the wrapped lines need.
    void SetMessage(const std::string& text, TMessageKind kind = TMessageKind::Information);
    TMessageKind Kind() const { return kind_; }

    THeaderBand* Panel5;
    QLabel* Label2;     // Panel5's title
    QLabel* HelpLabel;  // Panel5's subtitle
    QFrame* Panel1;
    QLabel* QuestionImage;
    QFrame* DeviceServicePanel;
    TMessageText* MessageLabel;
    QPushButton* OkButton;

public slots:
    void OkButtonClick();
    // Copies the selected part of the message, or all of it when nothing
    // is selected.
    void CopyMessage();

private:
    void Arrange();
    TMessageKind kind_ = TMessageKind::Information;
};

// Shows `text` in a new message dialog, modally, centred on `parent` (the
// screen when null), and returns when the user closed it; the dialog frees
// itself.
void ShowMessageDialog(const std::string& text, QWidget* parent, TMessageKind kind = TMessageKind::Information);

}  // namespace tarnel
