#include "gui/scan/uFound.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "core/shell/uConst.h"
#include "gui/shell/uMain.h"

namespace tarnel {

// --- TFoundListModel -------------------------------------------------------------

TFoundListModel::TFoundListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TFoundListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int TFoundListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : flCount; }

QVariant TFoundListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= rows_.size()) return {};
    if (role == Qt::DisplayRole) return ToQ(FoundCellText(rows_[size_t(index.row())], index.column()));
    if (role == Qt::ForegroundRole && RowColour) {
        const QColor c = RowColour(size_t(index.row()));
        if (c.isValid()) return c;
    }
    return {};
}

QVariant TFoundListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= flCount) return {};
    if (role == Qt::DisplayRole) return ToQ(FoundColumns()[size_t(section)].Caption);
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void TFoundListModel::Reset() {
    beginResetModel();
    endResetModel();
}

void TFoundListModel::RowsChanged() {
    if (rows_.empty()) return;
    emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, flCount - 1));
}

// --- TfFound ---------------------------------------------------------------------

TfFound::TfFound(TfMain& main, TCodecList& inactive)
    // A sizeable tool window without a title bar.
    : QDialog(&main, Qt::Tool | Qt::CustomizeWindowHint), main_(main), inactive_(inactive) {
    setObjectName("fFound");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString());
    // Without a title bar; a screen reader still names the window.
    setAccessibleName(ToQ(cFoundTitle));
    resize(382, 304);
    setSizeGripEnabled(true);
    setFont(DesignFont("MS Sans Serif", 11));

    Panel1 = new THeaderBand(ToQ(cFoundTitle), ToQ(cFoundSubtitle), {40, 8}, {80, 24}, this);
    Panel1->setObjectName("Panel1");

    Panel2 = new QFrame(this);
    Panel2->setObjectName("Panel2");
    Panel2->setFont(DesignFont("Lucida Sans Unicode", 11));
    FoundList = new QTreeView(Panel2);
    FoundList->setObjectName("FoundList");
    FoundList->setAccessibleName(ToQ(cFoundTitle));
    FoundListModel = new TFoundListModel(this);
    FoundListModel->RowColour = [this](size_t row) { return FoundListCustomDrawItem(row); };
    FoundList->setModel(FoundListModel);
    FoundList->setRootIsDecorated(false);
    FoundList->setItemsExpandable(false);
    FoundList->setUniformRowHeights(true);
    FoundList->setAllColumnsShowFocus(true);
    FoundList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FoundList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FoundList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = FoundList->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    header->setSectionsMovable(false);
    header->setSectionsClickable(false);
    for (int c = 0; c < flCount; ++c) header->resizeSection(c, FoundColumns()[size_t(c)].Width);
    // The selection stays visible while the buttons have the focus.
    QPalette pal = FoundList->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    FoundList->setPalette(pal);
    FoundList->viewport()->installEventFilter(this);
    connect(FoundList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfFound::FoundListSelectItem);

    Panel4 = new QFrame(Panel2);
    Panel4->setObjectName("Panel4");
    Panel4->setFixedHeight(5);
    auto* middle = new QVBoxLayout(Panel2);
    middle->setContentsMargins(10, 10, 10, 10);
    middle->setSpacing(0);
    middle->addWidget(FoundList, 1);
    middle->addWidget(Panel4);

    Panel3 = new QFrame(this);
    Panel3->setObjectName("Panel3");
    Panel3->setFixedHeight(34);
    AddFourccButton = new QPushButton(ToQ(cAddFourccButton), Panel3);
    AddFourccButton->setObjectName("AddFourccButton");
    AddFourccButton->setGeometry(10, 0, 127, 25);
    ExitButton = new QPushButton(ToQ(cExitButton), Panel3);
    ExitButton->setObjectName("ExitButton");
    ExitButton->setGeometry(144, 0, 75, 25);
    // Return does not press a button on its own; Escape is the exit's.
    for (QPushButton* b : {AddFourccButton, ExitButton}) b->setAutoDefault(false);
    connect(AddFourccButton, &QPushButton::clicked, this, &TfFound::AddFourccButtonClick);
    connect(ExitButton, &QPushButton::clicked, this, &TfFound::ExitButtonClick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Panel2, 1);
    layout->addWidget(Panel3);

    FoundListSelectItem();
    CentreWindow(this, &main);
}

TfFound::~TfFound() {
    // The list is hidden only once the QDialog base goes, after this
    // class's members: nothing may call back into them meanwhile.
    FoundListModel->RowColour = nullptr;
    FoundList->selectionModel()->disconnect(this);
}

void TfFound::SetRows(std::vector<TFoundRow> rows) {
    for (TFoundRow& r : rows) r.Selected = false;
    FoundListModel->Rows() = std::move(rows);
    FoundListModel->Reset();
    FoundListSelectItem();
}

QColor TfFound::FoundListCustomDrawItem(size_t row) const {
    const std::vector<TFoundRow>& rows = Rows();
    if (row < rows.size() && FoundRowInUse(rows[row])) return QColor(0, 0, 255);
    return QColor();
}

void TfFound::FoundListSelectItem() {
    std::vector<TFoundRow>& rows = FoundListModel->Rows();
    for (TFoundRow& r : rows) r.Selected = false;
    bool any = false;
    for (const QModelIndex& index : FoundList->selectionModel()->selectedRows())
        if (size_t(index.row()) < rows.size()) {
            rows[size_t(index.row())].Selected = true;
            any = true;
        }
    AddFourccButton->setEnabled(any);
}

void TfFound::AddFourccButtonClick() {
    // The codec window's view follows when the batch ends; its counters
    // wait until the scan saves the lists.
    inactive_.BeginUpdate();
    const bool added = AddFoundToInactive(FoundListModel->Rows(), inactive_);
    inactive_.EndUpdate();
    if (!added) {
        main_.ShowSystemMessage(cMsgNothingSelected);
        return;
    }
    FoundListModel->RowsChanged();
}

void TfFound::ExitButtonClick() { reject(); }

void TfFound::showEvent(QShowEvent* event) {
    main_.ApplyProgramFont();
    QDialog::showEvent(event);
}

bool TfFound::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FoundList->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        AddFourccButtonClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace tarnel
