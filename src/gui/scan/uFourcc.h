// The FOURCC list dialog: a table of known FOURCCs with a name, an owner
// and notes each. It is made at start-up and stays hidden until the codec
// window's (invisible) menu entry shows it; its edit fields and buttons
// have no action.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QWidget>

#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfFourcc : public QWidget {
    Q_OBJECT
public:
    // `over` is the window it is centred on when shown (the main window).
    explicit TfFourcc(QWidget* over = nullptr);
    ~TfFourcc() override;

    // Shows the dialog without waiting for it.
    void ShowNonModal();

    THeaderBand* Panel1;
    QFrame* Panel2;
    QTableWidget* dfsExtListView1;
    QFrame* Panel3;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLineEdit* FourccEdit;
    QLineEdit* NameEdit;
    QLineEdit* OwnerEdit;
    QLineEdit* notesEdit;
    QPushButton* UpdateButton;
    QPushButton* AddButton;
    QPushButton* SaveButton;
    QStatusBar* StatusBar1;

private:
    QPointer<QWidget> over_;
    bool placed_ = false;
};

extern TfFourcc* fFourcc;

}  // namespace tarnel
