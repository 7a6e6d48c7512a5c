// What screen readers are told beyond what Qt tells them by itself: the
// program's lists as tables of the columns they show (the zero-width data
// columns are not offered), with each row's accessible description, and the
// roles of the program's own controls.
#pragma once

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QHash>
#include <QModelIndex>
#include <QPair>

class QTreeView;

namespace tarnel {

// Installs the program's accessibility factories; once per application.
void InstallAccessibility();

// A tree view shown as a table: a header cell per shown column, then one
// cell per row and shown column. A cell's name is its text, its
// description the model's Qt::AccessibleDescriptionRole for the row.
class TTableAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit TTableAccessible(QTreeView* view);
    ~TTableAccessible() override;

    // The child index of a model index (its cell), -1 for a column not shown.
    static int ChildIndex(QTreeView* view, const QModelIndex& index);

    // QAccessibleInterface
    QAccessible::Role role() const override { return QAccessible::Table; }
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    int columnCount() const override;
    int selectedColumnCount() const override { return 0; }
    QList<int> selectedColumns() const override { return {}; }
    QString rowDescription(int row) const override;
    int rowCount() const override;
    int selectedRowCount() const override;
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    QTreeView* View() const;
    // The model columns offered, in order: those the header shows.
    QList<int> ShownColumns() const;

private:
    // The interface of a cell (row >= 0) or a column's header cell (row -1).
    QAccessibleInterface* Cell(int row, int modelColumn) const;
    void Forget();
    mutable QHash<QPair<int, int>, QAccessible::Id> cells_;
};

}  // namespace tarnel
