// The codec window: the active list above the inactive list, in the main
// window's first tab. The entries live in the core catalogue, and what is
// shown of them (cells, colours, enabling, drops) is the core's rule
// (CodecView.h); the views here draw it and hand what the user does to the
// core's operations, with the rows selected.
#pragma once

#include <QAbstractTableModel>
#include <QFrame>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QTreeView>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "core/catalogue/CodecLists.h"
#include "core/catalogue/CodecView.h"
#include "core/operations/CodecOperations.h"
#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfMain;
class TSplashScreen;
class TfProgress;

// A list view's rows as Qt sees them: a window onto a core TCodecList,
// whose cells the core words.
class TCodecListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TCodecListModel(TCodecList& list, TListKind kind, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Rows can be dragged; the drag carries no data, the drop reads the
    // source list's selection.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    // Everything changed (after a load or an edit of the core rows).
    void Reset();
    // Colours a row's text; none by default.
    std::function<QColor(size_t row)> RowColour;
    // A row's hover tooltip; none by default.
    std::function<QString(size_t row)> RowToolTip;
    // What a screen reader says of a row beside its texts; none by default.
    std::function<QString(size_t row)> RowDescription;
    // A mark drawn in MarkColumn of a row; none by default.
    std::function<QIcon(size_t row)> RowMark;
    int MarkColumn = -1;
    // The Store column after the others (a machine Wine runs, whose codecs
    // live in the registry and in SYSTEM.INI); set before the view shows it.
    bool StoreColumn = false;

private:
    TCodecList& list_;
    TListKind kind_;
};

// A list view whose drags are judged and dropped by the window's handlers:
// DragOver tells from the drag's source whether the list takes it,
// DragDrop runs once the drag has ended (so that a question the operation
// asks is not shown inside the drag).
class TCodecListView : public QTreeView {
    Q_OBJECT
public:
    explicit TCodecListView(QWidget* parent = nullptr);
    std::function<bool(QObject* source)> DragOver;
    std::function<void(QObject* source)> DragDrop;

    // The design's columns: their widths hold at the design font and grow
    // with a font that sets text wider.
    void SetColumns(std::span<const TColumnLayout> columns);

protected:
    void changeEvent(QEvent* e) override;
    // As the tree view's own, but telling screen readers of the cell by the
    // columns they are offered.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void FitColumnsToFont();
    std::span<const TColumnLayout> columns_;
};

// The thin bar between the two lists; dragging it moves the active list's
// bottom edge, neither list getting smaller than 50 pixels. Drawn as a
// raised ridge with grip dots, so that it can be seen and found.
class TSplitterBar : public QWidget {
    Q_OBJECT
public:
    TSplitterBar(QWidget* above, QWidget* below, QWidget* parent);
    // Sets the height above; by default the widget's fixed height.
    std::function<void(int height)> SetAboveHeight;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

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
    TCodecOperations& Operations() { return operations_; }

    // Components.
    QFrame* WindowsNTCodecsPanel;
    QFrame* CodecsPanel;
    THeaderBand* Panel5;
    TCodecListView* CodecList;
    TSplitterBar* Splitter1;
    THeaderBand* Panel1;
    TCodecListView* InactiveCodecList;
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
    // Deactivation.
    bool InactiveCodecListDragOver(QObject* source);
    void InactiveCodecListDragDrop(QObject* source);
    void DeActivate1Click();
    void CodecListDblClick();
    // Activation.
    bool CodecListDragOver(QObject* source);
    void CodecListDragDrop(QObject* source);
    void Activate1Click();
    void InactiveCodecListDblClick();
    void RemoveSelectedInactiveDrivers1Click();
    // The codec's own dialogs.
    void Configure1Click();
    void About1Click();
    void EditFOURCCscanlist1Click();
    // The FOURCC scan (with the scan's windows, gui/scan/uScan.cpp).
    void ScanCodecsformoreFOURCCs1Click();

    // The view's rows again from the core lists, selection included.
    void ShowRows();
    // Qt's selection of a view into the core rows' flags, and back.
    void TakeSelection(QTreeView* view, TCodecList& list);
    void ShowSelection(QTreeView* view, const TCodecList& list);
    // The active list's current height, which the quit stores.
    int ActiveListHeight() const;
    // The program font, as ApplyProgramFont hands it to the two lists.
    void SetListsFont(const QFont& font);
    // The height the active list is to have (the design's, the saved one,
    // the splitter's or half the panel's); it is shown as far as the panel
    // leaves room for the inactive list's band and 50 pixels of its rows.
    void SetActiveListHeight(int height);
    // The least height of CodecsPanel that shows both bands and 50 pixels of
    // each list.
    int MinimumPanelHeight() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Progress;
    void SetUpList(TCodecListView* view, TCodecListModel* model, TListKind kind);
    // Which of the two lists a drag came from; none for anything else.
    std::optional<TListKind> ListOf(QObject* source) const;
    void ShowActiveListHeight();
    QString RowToolTip(size_t row) const;
    int activeHeight_ = 158;
    // What every operation ends with in the window: the views and the
    // counters show the lists, and an error that ended the save is shown.
    void ShowResult(const TOperationResult& result);

    // The operations' questions, put with the question dialog.
    class Questions : public TOperationQuestions {
    public:
        explicit Questions(TfNTCodecs& w) : w_(w) {}
        TAnswer AskSwap(const TCodecEntry& incoming, const TCodecEntry& current) override;
        TAnswer AskRemove() override;

    private:
        TAnswer Ask(const char* question);
        TfNTCodecs& w_;
    };

    TfMain& main_;
    TCodecCatalogue catalogue_;
    Questions questions_;
    TCodecOperations operations_;
    QPointer<TSplashScreen> splash_;
    std::unique_ptr<Progress> progress_;
    bool syncing_ = false;
};

extern TfNTCodecs* fNTCodecs;

}  // namespace tarnel
