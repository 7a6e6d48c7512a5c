// The FOURCC list dialog: a table of known FOURCCs with a name, an owner
// and notes each. It is made at start-up and stays hidden until the codec
// window's (invisible) menu entry shows it; its edit fields and buttons
// have no action. Start-up makes it without its contents, which come when
// it is first shown.
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
    // Made OnFirstShow, its contents are made when it is first shown: until
    // then the components below are null.
    enum TBuild { Now, OnFirstShow };
    explicit TfFourcc(QWidget* over = nullptr, TBuild build = Now);
    ~TfFourcc() override;

    // Shows the dialog without waiting for it.
    void ShowNonModal();
    void setVisible(bool visible) override;

    THeaderBand* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QTableWidget* dfsExtListView1 = nullptr;
    QFrame* Panel3 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* FourccEdit = nullptr;
    QLineEdit* NameEdit = nullptr;
    QLineEdit* OwnerEdit = nullptr;
    QLineEdit* notesEdit = nullptr;
    QPushButton* UpdateButton = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* SaveButton = nullptr;
    QStatusBar* StatusBar1 = nullptr;

private:
    void BuildComponents();

    QPointer<QWidget> over_;
    bool placed_ = false;
};

extern TfFourcc* fFourcc;

}  // namespace tarnel
