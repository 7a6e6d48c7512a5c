// The DirectShow window: the read-only list of registered DirectShow
// filters in the main window's second tab, filled once at start-up. The
// window itself never shows; its panel lives in the tab.
#pragma once

#include <QAbstractTableModel>
#include <QFrame>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QWidget>
#include <vector>

#include "core/catalogue/FileVersionInfo.h"
#include "core/directshow/FilterList.h"
#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfMain;

// The filter rows as Qt sees them; the texts are converted once, when the
// rows change, not at every paint or sort comparison.
class TFilterListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TFilterListModel(QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    std::vector<TFilterRow> Rows;
    // Everything changed (after a filling).
    void Reset();
    const QString& Text(int row, int column) const { return texts_[size_t(row) * fcCount + size_t(column)]; }

private:
    std::vector<QString> texts_;
};

class TfDirectShow : public QWidget {
    Q_OBJECT
public:
    // Runs the creation handler at once (FormCreate). Made OnFirstShow, the
    // list is filled all the same, but the panel and the components in it
    // (null until then) are made when its tab first comes to the front.
    enum TBuild { Now, OnFirstShow };
    explicit TfDirectShow(TfMain& main, TBuild build = Now, QWidget* parent = nullptr);
    ~TfDirectShow() override;

    // Makes the panel (once) and returns it.
    QFrame* BuildComponents();

    // Components.
    QFrame* DirectShowPanel = nullptr;
    THeaderBand* Panel5 = nullptr;
    QTreeView* DirectShowFilterList = nullptr;
    QFrame* Panel1 = nullptr;  // the spacer below the list
    TFilterListModel* FilterListModel;
    QSortFilterProxyModel* FilterListSort;  // the list's own header sort
    TFileVersionInfo DS_FileVersionInfo;

    // Handlers.
    void FormCreate();
    // The "Filter" column as wide as its widest text, the other four
    // sharing the rest of the list's width.
    void DirectShowFilterListResize();

    // Fills the list from the registry; an error that ends the filling is
    // shown, and the rows read before it stay.
    void FillFilterListView();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int WidestFilterText() const;

    TfMain& main_;
    TBuild build_;
    int filterColumnWidth_ = -1;  // -1: to be measured
    QObject* watchedList_ = nullptr;
    QObject* watchedViewport_ = nullptr;
};

extern TfDirectShow* fDirectShow;

}  // namespace tarnel
