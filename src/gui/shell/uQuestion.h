// The question dialog: a question answered Yes, No or Cancel. Callers
// create one with new, set questionLabel (and, if they wish, Label2 and
// HelpLabel), call ShowModal and read its answer; the dialog frees itself
// when it closes.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TLog;

class TfQuestion : public QDialog {
    Q_OBJECT
public:
    // `log` receives a line when the question picture cannot be shown.
    TfQuestion(QWidget* parent, TLog* log);

    // Shows the dialog modally and returns QMessageBox::Yes, No or Cancel.
    // The dialog is deleted when this returns.
    int ShowModal();

    THeaderBand* Panel2;
    QLabel* Label2;     // title
    QLabel* HelpLabel;  // subtitle
    QFrame* Panel1;
    QFrame* Panel5;
    QLabel* Image1;
    QLabel* questionLabel;
    QFrame* Panel3;
    QFrame* Panel4;
    QFrame* Panel6;
    QFrame* Panel7;
    QFrame* Panel8;
    QPushButton* Button1;  // Yes
    QPushButton* Button2;  // No
    QPushButton* Button3;  // Cancel

public slots:
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // Whatever closed the dialog, the modal result is the stored answer.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Answer(int answer);

    // Cancel until a button says otherwise, so that a close by the window
    // manager also answers Cancel.
    int answer_ = QMessageBox::Cancel;
};

}  // namespace tarnel
