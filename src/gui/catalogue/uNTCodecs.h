// The codec window: the active list above the inactive list, in the main
// window's first tab. The rows live in the core catalogue; the views here
// only show them and forward what the user does.
#pragma once

#include <QAbstractTableModel>
#include <QFrame>
#include <QMenu>
#include <QPointer>
#include <QTreeView>
#include <QWidget>
#include <memory>

#include "core/catalogue/CodecLists.h"
#include "core/catalogue/CodecSelection.h"
#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfMain;
class TSplashScreen;
class TfProgress;

// A list view's rows as Qt sees them: a window onto a core TCodecList.
class TCodecListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TCodecListModel(TCodecList& list, const TColumnLayout* columns, int columnCount, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Everything changed (after a load or an edit of the core rows).
    void Reset();
    // Colours a row's text; none by default.
    std::function<QColor(size_t row)> RowColour;
    // A row's hover tooltip; none by default.
    std::function<QString(size_t row)> RowToolTip;

private:
    TCodecList& list_;
    const TColumnLayout* columns_;
    int columnCount_;
};

// The thin bar between the two lists; dragging it moves the active list's
// bottom edge, neither list getting smaller than 50 pixels.
class TSplitterBar : public QWidget {
    Q_OBJECT
public:
    TSplitterBar(QWidget* above, QWidget* below, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QWidget* above_;
    QWidget* below_;
    int pressY_ = 0, startHeight_ = 0;
};

class TfNTCodecs : public QWidget {
    Q_OBJECT
public:
    // Runs the creation sequence at once (FormCreate). `splash` is the
    // start-up splash screen, or null after start-up.
    TfNTCodecs(TfMain& main, TSplashScreen* splash, QWidget* parent = nullptr);
    ~TfNTCodecs() override;

    TCodecCatalogue& Catalogue() { return catalogue_; }

    // Components.
    QFrame* WindowsNTCodecsPanel;
    QFrame* CodecsPanel;
    THeaderBand* Panel5;
    QTreeView* CodecList;
    TSplitterBar* Splitter1;
    THeaderBand* Panel1;
    QTreeView* InactiveCodecList;
    QFrame* Panel2;
    TCodecListModel* CodecListModel;
    TCodecListModel* InactiveCodecListModel;

    QMenu* DriverConfig;
    QAction* Configure1;
    QAction* About1;
    QAction* N1;
    QAction* DeActivate1;
    QAction* ScanCodecsformoreFOURCCs1;
    QAction* EditFOURCCscanlist1;
    QAction* N4;
    QAction* ShowVersionTooltips1;
    QAction* N2;
    QMenu* InactiveDrivers;
    QAction* RemoveSelectedInactiveDrivers1;
    QAction* N3;
    QAction* Activate1;
    QAction* N5;
    QAction* SelectAll1;
    QMenu* RefreshMenu;
    QAction* Refresh;

    // Handlers.
    void FormCreate();
    void RefreshClick();
    void UpdateActiveCount();
    void UpdateInactiveCount();
    void CodecsPanelResize();
    void CodecListSelectItem();
    void ShowVersionTooltips1Click();
    void CodecListMouseMove(const QPoint& pos);
    void DriverConfigPopup();
    void N2Click();
    void SelectAll1Click();
    void InactiveCodecListColumnClick(int column);

    // The view's rows again from the core lists, selection included.
    void ShowRows();
    // Qt's selection of a view into the core rows' flags, and back.
    void TakeSelection(QTreeView* view, TCodecList& list);
    void ShowSelection(QTreeView* view, const TCodecList& list);
    // The active list's current height, which the quit stores.
    int ActiveListHeight() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Progress;
    void SetUpList(QTreeView* view, TCodecListModel* model, const TColumnLayout* columns, int count);
    void LoadActiveList();

    TfMain& main_;
    TCodecCatalogue catalogue_;
    QPointer<TSplashScreen> splash_;
    std::unique_ptr<Progress> progress_;
    bool syncing_ = false;
};

extern TfNTCodecs* fNTCodecs;

}  // namespace tarnel
