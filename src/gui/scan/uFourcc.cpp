#include "gui/scan/uFourcc.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include "core/shell/uConst.h"

namespace tarnel {

TfFourcc* fFourcc = nullptr;

TfFourcc::TfFourcc(QWidget* over, TBuild build) : QWidget(nullptr, Qt::Tool), over_(over) {
    setObjectName("fFourcc");
    fFourcc = this;
    setWindowTitle(ToQ(cFourccWindowTitle));
    resize(700, 457);
    setFont(DesignFont("MS Sans Serif", 11));
    if (build == Now) BuildComponents();
}

void TfFourcc::setVisible(bool visible) {
    if (visible && !Panel1) BuildComponents();
    QWidget::setVisible(visible);
}

void TfFourcc::BuildComponents() {

    Panel1 = new THeaderBand(ToQ(cFourccListTitle), ToQ(cFourccListSubtitle), {40, 8}, {80, 24}, this);
    Panel1->setObjectName("Panel1");

    Panel2 = new QFrame(this);
    Panel2->setObjectName("Panel2");
    dfsExtListView1 = new QTableWidget(1, 4, Panel2);
    dfsExtListView1->setAccessibleName(ToQ(cFourccListTitle));
    dfsExtListView1->setObjectName("dfsExtListView1");
    dfsExtListView1->setHorizontalHeaderLabels(
        {ToQ(cFourccColFourcc), ToQ(cFourccColName), ToQ(cFourccColOwner), ToQ(cFourccColNotes)});
    // Rows and headers as a report view draws them: one text line high, captions on the left.
    dfsExtListView1->verticalHeader()->hide();
    dfsExtListView1->verticalHeader()->setDefaultSectionSize(dfsExtListView1->fontMetrics().height() + 4);
    dfsExtListView1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    dfsExtListView1->setShowGrid(true);
    dfsExtListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    dfsExtListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dfsExtListView1->setWordWrap(false);
    QHeaderView* header = dfsExtListView1->horizontalHeader();
    header->setSectionsMovable(true);
    header->setHighlightSections(false);
    header->resizeSection(0, 50);
    header->resizeSection(1, 160);
    header->resizeSection(2, 100);
    header->setStretchLastSection(true);
    for (int c = 0; c < 4; ++c) dfsExtListView1->setItem(0, c, new QTableWidgetItem(ToQ(cFourccStoredRow[c])));
    auto* middle = new QVBoxLayout(Panel2);
    middle->setContentsMargins(10, 10, 10, 10);
    middle->addWidget(dfsExtListView1);

    Panel3 = new QFrame(this);
    Panel3->setObjectName("Panel3");
    Panel3->setFixedHeight(132);
    auto label = [this](const char* text, const char* name, int y) {
        auto* l = new QLabel(ToQ(text), Panel3);
        l->setObjectName(name);
        l->move(16, y + 4);
        return l;
    };
    auto edit = [this](const char* name, int y, int width) {
        auto* e = new QLineEdit(Panel3);
        e->setObjectName(name);
        e->setGeometry(64, y, width, 21);
        return e;
    };
    auto button = [this](const char* text, const char* name, int y) {
        auto* b = new QPushButton(ToQ(text), Panel3);
        b->setObjectName(name);
        b->setGeometry(344, y, 75, 25);
        return b;
    };
    Label3 = label(cFourccLabel, "Label3", 12);
    Label4 = label(cFourccColName, "Label4", 36);
    Label5 = label(cFourccColOwner, "Label5", 60);
    Label6 = label(cFourccColNotes, "Label6", 84);
    FourccEdit = edit("FourccEdit", 12, 65);
    NameEdit = edit("NameEdit", 36, 249);
    OwnerEdit = edit("OwnerEdit", 60, 249);
    notesEdit = edit("notesEdit", 84, 249);
    // Each field is named by the label before it.
    for (auto [label, field] : {std::pair{Label3, FourccEdit}, {Label4, NameEdit}, {Label5, OwnerEdit}, {Label6, notesEdit}}) {
        label->setBuddy(field);
        field->setAccessibleName(label->text());
    }
    // Deliberately without actions: nothing in the program reads the table.
    UpdateButton = button(cFourccUpdateButton, "UpdateButton", 16);
    AddButton = button(cFourccAddButton, "AddButton", 48);
    SaveButton = button(cFourccSaveButton, "SaveButton", 80);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setAccessibleName(QStringLiteral("Status bar"));
    StatusBar1->setSizeGripEnabled(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Panel2, 1);
    layout->addWidget(Panel3);
    layout->addWidget(StatusBar1);
}

TfFourcc::~TfFourcc() {
    if (fFourcc == this) fFourcc = nullptr;
}

void TfFourcc::ShowNonModal() {
    // Centred on the main window the first time; afterwards where the user left it.
    if (!placed_) {
        CentreWindow(this, over_);
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
}

}  // namespace tarnel
