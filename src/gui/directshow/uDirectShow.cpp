#include "gui/directshow/uDirectShow.h"

#include "platform/api/Registry.h"

#include <QEvent>
#include <QHeaderView>
#include <QPointer>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string>

#include "core/shell/uConst.h"
#include "gui/shell/uMain.h"

namespace tarnel {

TfDirectShow* fDirectShow = nullptr;

// --- TFilterListModel ------------------------------------------------------------

TFilterListModel::TFilterListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TFilterListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(texts_.size() / fcCount);
}

int TFilterListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(fcCount); }

QVariant TFilterListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) return {};
    return Text(index.row(), index.column());
}

QVariant TFilterListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= int(fcCount)) return {};
    if (role == Qt::DisplayRole) return ToQ(cFilterColumns[section]);
    // A click on a header not sorted yet sorts ascending; only a second
    // click on the same header reverses.
    if (role == Qt::InitialSortOrderRole) return int(Qt::AscendingOrder);
    return {};
}

void TFilterListModel::Reset() {
    beginResetModel();
    texts_.clear();
    texts_.reserve(Rows.size() * fcCount);
    for (const TFilterRow& row : Rows)
        for (size_t c = 0; c < fcCount; ++c) texts_.push_back(ToQ(row.Text(c)));
    endResetModel();
}

// --- TfDirectShow ------------------------------------------------------------------

TfDirectShow::TfDirectShow(TfMain& main, TBuild build, QWidget* parent)
    : QWidget(parent), DS_FileVersionInfo(main.Settings), main_(main), build_(build) {
    setObjectName("fDirectShow");
    fDirectShow = this;

    FilterListModel = new TFilterListModel(this);
    FilterListModel->setObjectName("FilterListModel");
    FilterListSort = new QSortFilterProxyModel(this);
    FilterListSort->setObjectName("FilterListSort");
    FilterListSort->setSourceModel(FilterListModel);
    // By the texts, letter case ignored; rows of equal texts keep their order.
    FilterListSort->setSortCaseSensitivity(Qt::CaseInsensitive);

    if (build == Now) BuildComponents();
    try {
        FormCreate();
    } catch (...) {
        if (fDirectShow == this) fDirectShow = nullptr;
        throw;
    }
}

QFrame* TfDirectShow::BuildComponents() {
    if (DirectShowPanel) return DirectShowPanel;
    DirectShowPanel = new QFrame(this);
    DirectShowPanel->setObjectName("DirectShowPanel");
    DirectShowPanel->setFrameShape(QFrame::NoFrame);
    // The panel keeps its own font; the program font does not reach it.
    DirectShowPanel->setFont(DesignFont("Lucida Sans Unicode", 11));
    auto* layout = new QVBoxLayout(DirectShowPanel);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(0);

    Panel5 = new THeaderBand(ToQ(cProgramTitle), ToQ(cDirectShowSubtitle), {40, 8}, {80, 24}, DirectShowPanel);
    Panel5->setObjectName("Panel5");

    DirectShowFilterList = new QTreeView(DirectShowPanel);
    DirectShowFilterList->setObjectName("DirectShowFilterList");
    DirectShowFilterList->setAccessibleName(ToQ(cTabDirectShow));
    DirectShowFilterList->setModel(FilterListSort);
    DirectShowFilterList->setRootIsDecorated(false);
    DirectShowFilterList->setItemsExpandable(false);
    DirectShowFilterList->setUniformRowHeights(true);
    DirectShowFilterList->setAllColumnsShowFocus(true);
    DirectShowFilterList->setSelectionMode(QAbstractItemView::SingleSelection);
    DirectShowFilterList->setSelectionBehavior(QAbstractItemView::SelectRows);
    DirectShowFilterList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = DirectShowFilterList->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    header->setSectionsMovable(false);
    // Unsorted until the user clicks a header: the registry's order first.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    DirectShowFilterList->setSortingEnabled(true);
    // The selection stays visible when the list loses the focus.
    QPalette pal = DirectShowFilterList->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    DirectShowFilterList->setPalette(pal);

    Panel1 = new QFrame(DirectShowPanel);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(5);

    layout->addWidget(Panel5);
    layout->addWidget(DirectShowFilterList, 1);
    layout->addWidget(Panel1);

    // Compared by address only: the list may go before this window does.
    watchedList_ = DirectShowFilterList;
    watchedViewport_ = DirectShowFilterList->viewport();
    watchedList_->installEventFilter(this);
    watchedViewport_->installEventFilter(this);
    return DirectShowPanel;
}

TfDirectShow::~TfDirectShow() {
    if (fDirectShow == this) fDirectShow = nullptr;
}

void TfDirectShow::FormCreate() {
    if (build_ == Now) {
        main_.HostPanel(1, DirectShowPanel);
    } else {
        QPointer<TfDirectShow> self(this);
        main_.HostPanelOnFirstShow(1, [self]() -> QWidget* { return self ? self->BuildComponents() : nullptr; });
    }
    main_.ApplyProgramFont();
    FillFilterListView();
}

void TfDirectShow::FillFilterListView() {
    std::string error;
    FilterListModel->Rows.clear();
    try {
        FillFilterList(DS_FileVersionInfo, FilterListModel->Rows);
    } catch (const std::exception& e) {
        // Start-up goes on with the rows read so far; the user learns why
        // the list ends there.
        error = platform::ErrorText(e);
    }
    FilterListModel->Reset();
    // Measured when the list is first laid out, not during start-up: the
    // tab is not in front then, and thousands of names take a while.
    filterColumnWidth_ = -1;
    DirectShowFilterListResize();
    if (!error.empty()) main_.ShowSystemMessage(error, TMessageKind::Error);
}

int TfDirectShow::WidestFilterText() const {
    // Measured as the view lays an item's text out: the exact advance
    // rounded up (rounded to the nearest pixel, a name could lose its last
    // letter to an ellipsis), plus the item's text margins on both sides.
    const QFontMetricsF metrics(DirectShowFilterList->font());
    qreal widest = 0;
    for (int row = 0; row < FilterListModel->rowCount(); ++row)
        widest = std::max(widest, metrics.horizontalAdvance(FilterListModel->Text(row, fcFilter)));
    const int margin = DirectShowFilterList->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr,
                                                                  DirectShowFilterList) + 1;
    // Never narrower than the header's own caption (with room for the sort arrow).
    return std::max(int(std::ceil(widest)) + 2 * margin, DirectShowFilterList->header()->sectionSizeHint(fcFilter));
}

void TfDirectShow::DirectShowFilterListResize() {
    // Laid out again when made and shown.
    if (!DirectShowFilterList || !DirectShowFilterList->isVisible()) return;
    if (filterColumnWidth_ < 0) filterColumnWidth_ = WidestFilterText();
    QHeaderView* header = DirectShowFilterList->header();
    const std::array<int, fcCount> widths = FilterColumnWidths(
        filterColumnWidth_, DirectShowFilterList->viewport()->width(), cLeastSharedFilterColumn);
    for (size_t c = 0; c < fcCount; ++c) header->resizeSection(int(c), widths[c]);
}

bool TfDirectShow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedViewport_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        DirectShowFilterListResize();
    } else if (watched == watchedList_ && event->type() == QEvent::FontChange) {
        filterColumnWidth_ = -1;
        DirectShowFilterListResize();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tarnel
