#include "gui/shell/GuiAccessible.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTreeView>
#include <QWindow>
#include <algorithm>

namespace tarnel {

namespace {

QList<int> ShownColumnsOf(const QTreeView* view) {
    QList<int> shown;
    if (!view || !view->model()) return shown;
    const QHeaderView* header = view->header();
    for (int c = 0; c < view->model()->columnCount(); ++c)
        if (!header->isSectionHidden(c) && header->sectionSize(c) > 0) shown.append(c);
    return shown;
}

// One cell of a table, or (row -1) the header cell of a column.
class TCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    TCellAccessible(QTreeView* view, int row, int column) : view_(view), row_(row), column_(column) {}

    bool isValid() const override {
        return view_ && view_->model() && column_ < view_->model()->columnCount() &&
               row_ < view_->model()->rowCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(view_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return row_ < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }

    QString text(QAccessible::Text t) const override {
        if (!isValid()) return {};
        const QAbstractItemModel* model = view_->model();
        if (row_ < 0)
            return t == QAccessible::Name ? model->headerData(column_, Qt::Horizontal).toString() : QString();
        const QModelIndex index = model->index(row_, column_);
        if (t == QAccessible::Name) return index.data(Qt::DisplayRole).toString();
        if (t == QAccessible::Description) return index.data(Qt::AccessibleDescriptionRole).toString();
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        if (row_ < 0) {
            const QHeaderView* header = view_->header();
            const QRect r(header->sectionViewportPosition(column_), 0, header->sectionSize(column_), header->height());
            return QRect(header->viewport()->mapToGlobal(r.topLeft()), r.size());
        }
        const QRect r = view_->visualRect(view_->model()->index(row_, column_));
        return QRect(view_->viewport()->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) return s;
        if (row_ < 0) return s;
        const QModelIndex index = view_->model()->index(row_, column_);
        s.selectable = true;
        s.multiSelectable = view_->selectionMode() == QAbstractItemView::ExtendedSelection ||
                            view_->selectionMode() == QAbstractItemView::MultiSelection;
        s.selected = view_->selectionModel() && view_->selectionModel()->isSelected(index);
        s.focusable = true;
        s.focused = view_->hasFocus() && view_->currentIndex().row() == row_;
        s.invisible = !view_->viewport()->rect().intersects(view_->visualRect(index));
        s.offscreen = s.invisible;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override { return state().selected; }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        auto* table = dynamic_cast<TTableAccessible*>(parent());
        const int column = ShownColumnsOf(view_).indexOf(column_);
        // The header cells are the table's first children.
        if (!table || row_ < 0 || column < 0) return {};
        return {table->child(column)};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return ShownColumnsOf(view_).indexOf(column_); }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<QTreeView> view_;
    int row_, column_;
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    // The class names are those of the program's own controls.
    if (className == QLatin1String("tarnel::TCodecListView")) return new TTableAccessible(static_cast<QTreeView*>(widget));
    if (className == QLatin1String("tarnel::TSplitterBar")) return new QAccessibleWidget(widget, QAccessible::Splitter);
    return nullptr;
}

}  // namespace

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

TTableAccessible::TTableAccessible(QTreeView* view) : QAccessibleWidget(view, QAccessible::Table) {}

TTableAccessible::~TTableAccessible() { Forget(); }

QTreeView* TTableAccessible::View() const { return static_cast<QTreeView*>(widget()); }

QList<int> TTableAccessible::ShownColumns() const { return ShownColumnsOf(View()); }

int TTableAccessible::ChildIndex(QTreeView* view, const QModelIndex& index) {
    const QList<int> shown = ShownColumnsOf(view);
    const int column = shown.indexOf(index.column());
    if (!index.isValid() || column < 0) return -1;
    return int(shown.size()) * (index.row() + 1) + column;
}

int TTableAccessible::childCount() const {
    if (!View()->model()) return 0;
    return int(ShownColumns().size()) * (View()->model()->rowCount() + 1);
}

QAccessibleInterface* TTableAccessible::Cell(int row, int modelColumn) const {
    const QPair<int, int> key(row, modelColumn);
    if (auto it = cells_.constFind(key); it != cells_.constEnd()) return QAccessible::accessibleInterface(*it);
    auto* cell = new TCellAccessible(View(), row, modelColumn);
    cells_.insert(key, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

QAccessibleInterface* TTableAccessible::child(int index) const {
    const QList<int> shown = ShownColumns();
    if (shown.isEmpty() || index < 0 || index >= childCount()) return nullptr;
    const int columns = int(shown.size());
    return Cell(index / columns - 1, shown[index % columns]);
}

int TTableAccessible::indexOfChild(const QAccessibleInterface* child) const {
    for (auto it = cells_.constBegin(); it != cells_.constEnd(); ++it) {
        if (QAccessible::accessibleInterface(*it) != child) continue;
        const int column = ShownColumns().indexOf(it.key().second);
        return column < 0 ? -1 : int(ShownColumns().size()) * (it.key().first + 1) + column;
    }
    return -1;
}

QAccessibleInterface* TTableAccessible::childAt(int x, int y) const {
    const QPoint at = View()->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex index = View()->indexAt(at);
    const int child = ChildIndex(View(), index);
    return child < 0 ? nullptr : this->child(child);
}

void* TTableAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessibleInterface* TTableAccessible::cellAt(int row, int column) const {
    const QList<int> shown = ShownColumns();
    if (column < 0 || column >= shown.size() || row < 0 || row >= rowCount()) return nullptr;
    return Cell(row, shown[column]);
}

int TTableAccessible::columnCount() const { return int(ShownColumns().size()); }

int TTableAccessible::rowCount() const { return View()->model() ? View()->model()->rowCount() : 0; }

QString TTableAccessible::columnDescription(int column) const {
    const QList<int> shown = ShownColumns();
    if (column < 0 || column >= shown.size()) return {};
    return View()->model()->headerData(shown[column], Qt::Horizontal).toString();
}

QString TTableAccessible::rowDescription(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    return View()->model()->index(row, 0).data(Qt::AccessibleDescriptionRole).toString();
}

QList<int> TTableAccessible::selectedRows() const {
    QList<int> rows;
    if (!View()->selectionModel()) return rows;
    for (const QModelIndex& index : View()->selectionModel()->selectedRows()) rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TTableAccessible::selectedRowCount() const { return int(selectedRows().size()); }

int TTableAccessible::selectedCellCount() const { return selectedRowCount() * columnCount(); }

QList<QAccessibleInterface*> TTableAccessible::selectedCells() const {
    QList<QAccessibleInterface*> cells;
    for (int row : selectedRows())
        for (int column : ShownColumns()) cells.append(Cell(row, column));
    return cells;
}

bool TTableAccessible::isRowSelected(int row) const {
    return View()->selectionModel() && View()->selectionModel()->isRowSelected(row, QModelIndex());
}

bool TTableAccessible::selectRow(int row) {
    if (row < 0 || row >= rowCount() || !View()->selectionModel()) return false;
    View()->selectionModel()->select(View()->model()->index(row, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    return true;
}

bool TTableAccessible::unselectRow(int row) {
    if (row < 0 || row >= rowCount() || !View()->selectionModel()) return false;
    View()->selectionModel()->select(View()->model()->index(row, 0),
                                     QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    return true;
}

void TTableAccessible::modelChange(QAccessibleTableModelChangeEvent*) {
    // Rows come and go with every load and operation: the cells are made anew.
    Forget();
}

void TTableAccessible::Forget() {
    for (QAccessible::Id id : std::as_const(cells_)) QAccessible::deleteAccessibleInterface(id);
    cells_.clear();
}

}  // namespace tarnel
