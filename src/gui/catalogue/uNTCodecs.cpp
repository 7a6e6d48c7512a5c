#include "gui/catalogue/uNTCodecs.h"

#include <QAccessible>
#include <QCollator>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragMoveEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "gui/shell/GuiAccessible.h"
#include "gui/shell/splash.h"
#include "core/shell/uConst.h"
#include "gui/operations/uDriverDialog.h"
#include "gui/scan/uFourcc.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uProgress.h"
#include "gui/shell/uQuestion.h"
#include "platform/api/Backend.h"

namespace tarnel {

TfNTCodecs* fNTCodecs = nullptr;

// --- TCodecListModel -----------------------------------------------------------

TCodecListModel::TCodecListModel(TCodecList& list, TListKind kind, QObject* parent)
    : QAbstractTableModel(parent), list_(list), kind_(kind) {}

int TCodecListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.Count());
}

int TCodecListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(ColumnsOf(kind_, StoreColumn).size());
}

QVariant TCodecListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= list_.Count()) return {};
    if (role == Qt::DisplayRole) {
        const TCodecEntry& e = list_.Entry(size_t(index.row()));
        if (StoreColumn && index.column() == int(ColumnsOf(kind_).size())) return ToQ(StoreCellText(e, kind_));
        return ToQ(CellText(e, kind_, index.column()));
    }
    if (role == Qt::ToolTipRole && RowToolTip) {
        QString tip = RowToolTip(size_t(index.row()));
        if (!tip.isEmpty()) return tip;
    }
    if (role == Qt::ForegroundRole && RowColour) {
        QColor c = RowColour(size_t(index.row()));
        if (c.isValid()) return c;
    }
    if (role == Qt::AccessibleDescriptionRole && RowDescription) {
        QString description = RowDescription(size_t(index.row()));
        if (!description.isEmpty()) return description;
    }
    if (role == Qt::DecorationRole && index.column() == MarkColumn && RowMark) {
        QIcon mark = RowMark(size_t(index.row()));
        if (!mark.isNull()) return mark;
    }
    return {};
}

QVariant TCodecListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const std::span<const TColumnLayout> columns = ColumnsOf(kind_, StoreColumn);
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && size_t(section) < columns.size())
        return ToQ(columns[size_t(section)].Caption);
    return {};
}

Qt::ItemFlags TCodecListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid()) f |= Qt::ItemIsDragEnabled;
    return f;
}

namespace {
// The mark of a drag between the two codec lists; it holds nothing.
constexpr char kCodecRowsMime[] = "application/x-tarnel-codec-rows";
}  // namespace

QStringList TCodecListModel::mimeTypes() const { return {kCodecRowsMime}; }

QMimeData* TCodecListModel::mimeData(const QModelIndexList&) const {
    auto* data = new QMimeData;
    data->setData(kCodecRowsMime, QByteArray());
    return data;
}

void TCodecListModel::Reset() {
    beginResetModel();
    endResetModel();
}

// --- TCodecListView -----------------------------------------------------------

TCodecListView::TCodecListView(QWidget* parent) : QTreeView(parent) {
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setDropIndicatorShown(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

void TCodecListView::SetColumns(std::span<const TColumnLayout> columns) {
    columns_ = columns;
    FitColumnsToFont();
}

void TCodecListView::FitColumnsToFont() {
    // The design's widths suit the program's default font at its default
    // size, as this machine shows it.
    static const QFont design(ProgramFontFamily(cDefaultFont), cDefaultFontSize);
    const double growth = FontGrowth(font(), this, design);
    for (size_t i = 0; i < columns_.size(); ++i) header()->resizeSection(int(i), Grown(columns_[i].Width, growth));
}

void TCodecListView::changeEvent(QEvent* e) {
    QTreeView::changeEvent(e);
    if (e->type() == QEvent::FontChange) FitColumnsToFont();
}

void TCodecListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // The whole row shows the focus: both rows are repainted whole.
    viewport()->update();
    QAbstractItemView::currentChanged(current, previous);
    if (QAccessible::isActive() && current.isValid() && hasFocus()) {
        const int child = TTableAccessible::ChildIndex(this, current.siblingAtColumn(0));
        if (child < 0) return;
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(child);
        QAccessible::updateAccessibility(&event);
    }
}

void TCodecListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QAbstractItemView::selectionChanged(selected, deselected);
    if (!QAccessible::isActive()) return;
    auto tell = [this](const QItemSelection& rows, QAccessible::Event type) {
        const QModelIndex first = rows.indexes().value(0);
        const int child = first.isValid() ? TTableAccessible::ChildIndex(this, first.siblingAtColumn(0)) : -1;
        if (child < 0) return;
        QAccessibleEvent event(this, type);
        event.setChild(child);
        QAccessible::updateAccessibility(&event);
    };
    tell(selected, QAccessible::SelectionAdd);
    tell(deselected, QAccessible::SelectionRemove);
}

void TCodecListView::dragEnterEvent(QDragEnterEvent* e) {
    if (DragOver && DragOver(e->source())) {
        e->setDropAction(Qt::CopyAction);
        e->accept();
    } else {
        e->ignore();
    }
}

void TCodecListView::dragMoveEvent(QDragMoveEvent* e) {
    // The whole list is one target: where the pointer is does not matter.
    if (DragOver && DragOver(e->source())) {
        e->setDropAction(Qt::CopyAction);
        e->accept(viewport()->rect());
    } else {
        e->ignore(viewport()->rect());
    }
}

void TCodecListView::dragLeaveEvent(QDragLeaveEvent* e) { e->accept(); }

void TCodecListView::dropEvent(QDropEvent* e) {
    if (!DragDrop || !DragOver || !DragOver(e->source())) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    QPointer<QObject> source = e->source();
    QTimer::singleShot(0, this, [this, source] {
        if (DragDrop) DragDrop(source.data());
    });
}

// --- TSplitterBar --------------------------------------------------------------

TSplitterBar::TSplitterBar(QWidget* above, QWidget* below, QWidget* parent)
    : QWidget(parent), above_(above), below_(below) {
    // Twice the design's three pixels: a bar that thin could not be seen.
    setFixedHeight(6);
    setCursor(Qt::SizeVerCursor);
    setAccessibleName(QStringLiteral("Splitter between the codec lists"));
    SetAboveHeight = [this](int height) { above_->setFixedHeight(height); };
}

void TSplitterBar::paintEvent(QPaintEvent*) {
    // A raised ridge across the whole width with a row of grip dots in its
    // middle, so that the bar shows as something to take hold of.
    QPainter p(this);
    p.fillRect(rect(), palette().button());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(0, 0, width() - 1, 0);
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, height() - 1, width() - 1, height() - 1);
    constexpr int dots = 12, pitch = 4;
    const int left = width() / 2 - dots * pitch / 2, top = height() / 2 - 1;
    for (int i = 0; i < dots; ++i) {
        p.fillRect(left + i * pitch, top, 2, 2, palette().dark());
        p.fillRect(left + i * pitch, top, 1, 1, palette().light());
    }
}

void TSplitterBar::mousePressEvent(QMouseEvent* e) {
    pressY_ = int(e->globalPosition().y());
    startHeight_ = above_->height();
}

void TSplitterBar::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    const int delta = int(e->globalPosition().y()) - pressY_;
    const int room = startHeight_ + below_->height() + (above_->height() - startHeight_);
    SetAboveHeight(SplitterHeight(startHeight_ + delta, room));
}

// --- Load progress ---------------------------------------------------------------

// Start-up loads show their progress on the splash screen, later ones in a
// progress window of their own. Both repaint at once: the load runs without
// processing window events.
class TfNTCodecs::Progress : public TLoadProgress {
public:
    explicit Progress(TfNTCodecs& w) : w_(w) {}

    void Start(int max) override {
        max_ = max;
        throttle_ = TRepaintThrottle();
        if (w_.splash_) {
            TSplashScreen& splash = *w_.splash_;
            splash.SplashLoadingLabel->setText(ToQ(cSplashLoading));
            splash.SplashLoadingLabel->show();
            splash.LoadBar->show();
            splash.LoadBar->setMaximum(max);
            // The picture is up already: only what appeared is painted.
            PaintNow(&splash, QRegion(splash.SplashLoadingLabel->geometry()) + splash.LoadBar->geometry());
            return;
        }
        window_ = new TfProgress(nullptr);
        window_->Label2->setText(ToQ(cProgressLoadingCodecs));
        window_->ProgressBar->setMaximum(max);
        window_->show();
        PaintNow(window_);
    }

    // The display is painted at once, but not more than about 30 times a
    // second: faster than that no one sees the steps, and a load of
    // thousands of entries would otherwise spend its time painting. What
    // it shows is always the exact position. The splash screen's bar
    // repaints itself when given a position that shows (and nothing else
    // of the splash needs painting then); the last position is painted
    // whether or not it shows.
    void Advance(int i) override {
        const bool last = i + 1 >= max_;
        if (w_.splash_) {
            if (!throttle_.Due(last)) return;
            w_.splash_->LoadBar->setValue(i);
            if (last) PaintNow(w_.splash_->LoadBar);
        } else if (window_ && throttle_.Due(last)) {
            window_->SetProgress(i);
        }
    }

    void End() override {
        if (w_.splash_) {
            // The splash screen goes for good; every later load uses the window.
            w_.splash_->close();
            w_.splash_ = nullptr;
        } else if (window_) {
            window_->close();
        }
    }

    void SetActiveListHeight(int height) override { w_.SetActiveListHeight(height); }

private:
    TfNTCodecs& w_;
    QPointer<TfProgress> window_;
    int max_ = 0;
    TRepaintThrottle throttle_;
};

namespace {
// The version tooltip as shown: each line's label and value in the two
// columns of a table, so that the colons line up in whatever font the
// tooltip uses (the padded labels line up in none). A driver that cannot be
// loaded is named first, in bold, above the version texts when they show.
QString ShownToolTip(const QString& problem, const QString& versionText) {
    QString shown;
    // On one line: a path is not broken at its colon.
    if (!problem.isEmpty()) shown += "<p style=\"white-space:nowrap\"><b>" + problem.toHtmlEscaped() + "</b></p>";
    if (versionText.isEmpty()) return shown;
    QString rows;
    for (QString line : versionText.split('\n')) {
        line.remove('\r');
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        if (colon < 0) {
            rows += "<tr><td colspan=\"2\">" + line.toHtmlEscaped() + "</td></tr>";
            continue;
        }
        // A gap after the longest label; a value is never wrapped.
        rows += "<tr><td><nobr>" + line.left(colon).trimmed().toHtmlEscaped() + "&nbsp;</nobr></td><td><nobr>: " +
                line.mid(colon + 2).toHtmlEscaped() + "</nobr></td></tr>";
    }
    return shown + "<table cellspacing=\"0\" cellpadding=\"0\">" + rows + "</table>";
}
}  // namespace

// --- TfNTCodecs ------------------------------------------------------------------

TfNTCodecs::TfNTCodecs(TfMain& main, TSplashScreen* splash, QWidget* parent)
    : QWidget(parent),
      main_(main),
      catalogue_(main.Settings, main.Log()),
      questions_(*this),
      operations_(catalogue_, questions_),
      splash_(splash),
      progress_(std::make_unique<Progress>(*this)) {
    setObjectName("fNTCodecs");
    catalogue_.SetProgress(progress_.get());

    WindowsNTCodecsPanel = new QFrame(this);
    WindowsNTCodecsPanel->setObjectName("WindowsNTCodecsPanel");
    CodecsPanel = new QFrame(WindowsNTCodecsPanel);
    CodecsPanel->setObjectName("CodecsPanel");
    CodecsPanel->setFont(QFont("Lucida Sans Unicode", 8));
    auto* outer = new QVBoxLayout(WindowsNTCodecsPanel);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(CodecsPanel);

    Panel5 = new THeaderBand(ToQ(cActiveCodecsTitle), ToQ(cActiveCodecsSubtitle), {40, 8}, {80, 24}, CodecsPanel);
    Panel5->setObjectName("Panel5");
    CodecList = new TCodecListView(CodecsPanel);
    CodecList->setObjectName("CodecList");
    CodecList->setAccessibleName(ToQ(cActiveCodecsTitle));
    CodecListModel = new TCodecListModel(catalogue_.CodecList, TListKind::Active, this);
    // A machine Wine runs keeps codecs in the registry and in SYSTEM.INI:
    // each row says where.
    const bool twoStores = platform::CurrentBackend().WineMachine() && UsesRegistryStore(main_.Settings.CodecStoreMode);
    CodecListModel->StoreColumn = twoStores;
    SetUpList(CodecList, CodecListModel, TListKind::Active);
    CodecList->setFixedHeight(activeHeight_);
    Panel1 = new THeaderBand(ToQ(cInactiveCodecsTitle), ToQ(cInactiveCodecsSubtitle), {40, 8}, {80, 24},
                             CodecsPanel);
    Panel1->setObjectName("Panel1");
    InactiveCodecList = new TCodecListView(CodecsPanel);
    InactiveCodecList->setObjectName("InactiveCodecList");
    InactiveCodecList->setAccessibleName(ToQ(cInactiveCodecsTitle));
    InactiveCodecListModel = new TCodecListModel(catalogue_.InactiveCodecList, TListKind::Inactive, this);
    InactiveCodecListModel->StoreColumn = twoStores;
    SetUpList(InactiveCodecList, InactiveCodecListModel, TListKind::Inactive);
    InactiveCodecList->header()->setSectionsClickable(true);
    // The layout takes a list's own least size (its header and scroll bars)
    // over the panel's room; the room is measured against 50 pixels.
    InactiveCodecList->setMinimumHeight(cLeastListHeight);
    Splitter1 = new TSplitterBar(CodecList, InactiveCodecList, CodecsPanel);
    Splitter1->setObjectName("Splitter1");
    Splitter1->SetAboveHeight = [this](int height) { SetActiveListHeight(height); };
    Panel2 = new QFrame(CodecsPanel);
    Panel2->setObjectName("Panel2");
    Panel2->setFixedHeight(5);

    auto* inner = new QVBoxLayout(CodecsPanel);
    inner->setContentsMargins(10, 10, 10, 10);
    inner->setSpacing(0);
    inner->addWidget(Panel5);
    inner->addWidget(CodecList);
    inner->addWidget(Splitter1);
    inner->addWidget(Panel1);
    inner->addWidget(InactiveCodecList, 1);
    inner->addWidget(Panel2);

    // Red text for an active codec that has an inactive twin.
    CodecListModel->RowColour = [this](size_t row) {
        return HasInactiveTwin(catalogue_.InactiveCodecList, catalogue_.CodecList.Entry(row).Fourcc) ? QColor(255, 0, 0)
                                                                                                     : QColor();
    };
    // A driver that cannot be loaded is marked beside its file name.
    CodecListModel->MarkColumn = acDriver;
    CodecListModel->RowMark = [this](size_t row) {
        return catalogue_.CodecList.Entry(row).Problem.Text.empty()
                   ? QIcon()
                   : style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, CodecList);
    };
    // The view's own hover tooltip shows the same text as the pointer's
    // moves; why a driver cannot be loaded shows whether or not the version
    // texts are asked for.
    CodecListModel->RowToolTip = [this](size_t row) { return RowToolTip(row); };
    // What the colour and the mark say, in words.
    CodecListModel->RowDescription = [this](size_t row) {
        return ToQ(ActiveRowRemark(catalogue_.InactiveCodecList, catalogue_.CodecList.Entry(row)));
    };
    // An inactive entry the store holds in a form that cannot be read whole
    // is marked beside its FOURCC and says what is wrong, so that it can be
    // found and removed.
    InactiveCodecListModel->MarkColumn = icFourcc;
    InactiveCodecListModel->RowMark = [this](size_t row) {
        return catalogue_.InactiveCodecList.Entry(row).Malformed.empty()
                   ? QIcon()
                   : style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, InactiveCodecList);
    };
    // Rich text, so that the long reason wraps instead of running off the screen.
    InactiveCodecListModel->RowToolTip = [this](size_t row) {
        const std::string remark = InactiveRowRemark(catalogue_.InactiveCodecList.Entry(row));
        return remark.empty() ? QString() : "<p><b>" + ToQ(remark).toHtmlEscaped() + "</b></p>";
    };
    InactiveCodecListModel->RowDescription = [this](size_t row) {
        return ToQ(InactiveRowRemark(catalogue_.InactiveCodecList.Entry(row)));
    };
    // The views follow the core lists when a batch of changes ends.
    catalogue_.CodecList.SetChangeListener([this] { ShowRows(); });
    catalogue_.InactiveCodecList.SetChangeListener([this] { ShowRows(); });

    connect(CodecList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (syncing_) return;
        TakeSelection(CodecList, catalogue_.CodecList);
        CodecListSelectItem();
    });
    connect(InactiveCodecList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!syncing_) TakeSelection(InactiveCodecList, catalogue_.InactiveCodecList);
    });
    connect(InactiveCodecList->header(), &QHeaderView::sectionClicked, this,
            &TfNTCodecs::InactiveCodecListColumnClick);
    CodecList->viewport()->setMouseTracking(true);
    CodecList->viewport()->installEventFilter(this);
    InactiveCodecList->viewport()->installEventFilter(this);
    CodecList->installEventFilter(this);
    InactiveCodecList->installEventFilter(this);
    CodecsPanel->installEventFilter(this);

    // Dragging between the lists: which drags a list takes is the core's rule.
    InactiveCodecList->DragOver = [this](QObject* source) { return InactiveCodecListDragOver(source); };
    InactiveCodecList->DragDrop = [this](QObject* source) { InactiveCodecListDragDrop(source); };
    CodecList->DragOver = [this](QObject* source) { return CodecListDragOver(source); };
    CodecList->DragDrop = [this](QObject* source) { CodecListDragDrop(source); };

    // The popup menus; the list shortcuts act while their list has the focus.
    DriverConfig = new QMenu(this);
    DriverConfig->setObjectName("DriverConfig");
    DriverConfig->setWindowTitle(ToQ(cActiveCodecsTitle));
    auto item = [](QMenu* menu, QWidget* list, const char* name, const char* caption, QKeySequence key = {}) {
        QAction* a = menu->addAction(ToQ(caption));
        a->setObjectName(name);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            list->addAction(a);
        }
        return a;
    };
    Configure1 = item(DriverConfig, CodecList, "Configure1", cMenuConfigure, QKeySequence(Qt::CTRL | Qt::Key_C));
    About1 = item(DriverConfig, CodecList, "About1", cMenuCodecAbout, QKeySequence(Qt::CTRL | Qt::Key_B));
    N1 = DriverConfig->addSeparator();
    DeActivate1 = item(DriverConfig, CodecList, "DeActivate1", cMenuDeactivate);
    ScanCodecsformoreFOURCCs1 = item(DriverConfig, CodecList, "ScanCodecsformoreFOURCCs1", cMenuScan);
    EditFOURCCscanlist1 = item(DriverConfig, CodecList, "EditFOURCCscanlist1", cMenuFourccList);
    EditFOURCCscanlist1->setVisible(false);
    N4 = DriverConfig->addSeparator();
    ShowVersionTooltips1 = item(DriverConfig, CodecList, "ShowVersionTooltips1", cShowVersionTooltips);
    ShowVersionTooltips1->setCheckable(true);
    N2 = item(DriverConfig, CodecList, "N2", cMenuSelectAll, QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(N2, &QAction::triggered, this, &TfNTCodecs::N2Click);
    connect(Configure1, &QAction::triggered, this, &TfNTCodecs::Configure1Click);
    connect(About1, &QAction::triggered, this, &TfNTCodecs::About1Click);
    connect(DeActivate1, &QAction::triggered, this, &TfNTCodecs::DeActivate1Click);
    connect(EditFOURCCscanlist1, &QAction::triggered, this, &TfNTCodecs::EditFOURCCscanlist1Click);
    connect(ScanCodecsformoreFOURCCs1, &QAction::triggered, this, &TfNTCodecs::ScanCodecsformoreFOURCCs1Click);

    InactiveDrivers = new QMenu(this);
    InactiveDrivers->setObjectName("InactiveDrivers");
    InactiveDrivers->setWindowTitle(ToQ(cInactiveCodecsTitle));
    RemoveSelectedInactiveDrivers1 =
        item(InactiveDrivers, InactiveCodecList, "RemoveSelectedInactiveDrivers1", cMenuRemoveInactive);
    N3 = InactiveDrivers->addSeparator();
    Activate1 = item(InactiveDrivers, InactiveCodecList, "Activate1", cMenuActivate);
    N5 = InactiveDrivers->addSeparator();
    SelectAll1 = item(InactiveDrivers, InactiveCodecList, "SelectAll1", cMenuSelectAll,
                      QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(SelectAll1, &QAction::triggered, this, &TfNTCodecs::SelectAll1Click);
    connect(RemoveSelectedInactiveDrivers1, &QAction::triggered, this,
            &TfNTCodecs::RemoveSelectedInactiveDrivers1Click);
    connect(Activate1, &QAction::triggered, this, &TfNTCodecs::Activate1Click);

    RefreshMenu = new QMenu(this);
    RefreshMenu->setObjectName("RefreshMenu");
    RefreshMenu->setWindowTitle(ToQ(cMenuRefreshHidden));
    Refresh = RefreshMenu->addAction(ToQ(cMenuRefreshHidden));
    Refresh->setObjectName("Refresh");
    Refresh->setShortcut(QKeySequence(Qt::Key_F5));
    Refresh->setVisible(false);
    connect(Refresh, &QAction::triggered, this, &TfNTCodecs::RefreshClick);

    CodecList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(CodecList, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        DriverConfigPopup();
        DriverConfig->popup(CodecList->viewport()->mapToGlobal(p));
    });
    InactiveCodecList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(InactiveCodecList, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        InactiveDrivers->popup(InactiveCodecList->viewport()->mapToGlobal(p));
    });

    // The emulated machine's codecs cannot draw their own dialogs; they
    // show their texts through this window, modally over the main window.
    platform::SetDriverDialogHost([this](bool configure, const std::string& title, const std::string& text) {
        ShowDriverDialog(configure, title, text, &main_);
    });
    // From here the main window reaches this window as its form object
    // (refresh, program font, the height saved at quitting).
    fNTCodecs = this;
    try {
        FormCreate();
    } catch (...) {
        // Nothing may reach a window that was never made.
        catalogue_.CodecList.SetChangeListener({});
        catalogue_.InactiveCodecList.SetChangeListener({});
        if (fNTCodecs == this) {
            platform::SetDriverDialogHost({});
            fNTCodecs = nullptr;
        }
        throw;
    }
}

TfNTCodecs::~TfNTCodecs() {
    catalogue_.CodecList.SetChangeListener({});
    catalogue_.InactiveCodecList.SetChangeListener({});
    catalogue_.SetProgress(nullptr);
    // A newer codec window keeps the host it installed.
    if (fNTCodecs == this) {
        platform::SetDriverDialogHost({});
        fNTCodecs = nullptr;
    }
}

QString TfNTCodecs::RowToolTip(size_t row) const {
    const TActiveRowTip tip = ActiveRowTip(catalogue_.CodecList.Entry(row), ShowVersionTooltips1->isChecked());
    return ShownToolTip(ToQ(tip.Problem), ToQ(tip.Version));
}

void TfNTCodecs::SetUpList(TCodecListView* view, TCodecListModel* model, TListKind kind) {
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setDragEnabled(true);
    view->header()->setStretchLastSection(false);
    view->header()->setMinimumSectionSize(0);
    view->header()->setSectionsMovable(false);
    view->header()->setSectionsClickable(false);
    view->SetColumns(ColumnsOf(kind, model->StoreColumn));
    // The selection stays visible while the other list has the focus.
    QPalette pal = view->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    view->setPalette(pal);
}

void TfNTCodecs::FormCreate() {
    main_.WriteLog(cLogLoadingCodecListview);
    main_.HostPanel(0, WindowsNTCodecsPanel);
    main_.ApplyProgramFont();
    catalogue_.LoadActiveList();
    // An entry that cannot be read whole is a marked row of the list.
    catalogue_.LoadInactiveCodecList();
    InactiveCodecList->setSelectionBehavior(QAbstractItemView::SelectRows);
    UpdateActiveCount();
    UpdateInactiveCount();
}

void TfNTCodecs::RefreshClick() {
    catalogue_.LoadActiveList();
    // The counters follow every load, so that they always count the rows shown.
    UpdateActiveCount();
    UpdateInactiveCount();
}

void TfNTCodecs::UpdateActiveCount() { main_.SetStatusText(1, ActiveCountText(catalogue_.CodecList)); }

void TfNTCodecs::UpdateInactiveCount() { main_.SetStatusText(2, InactiveCountText(catalogue_.InactiveCodecList)); }

void TfNTCodecs::CodecsPanelResize() {
    InactiveCodecList->setUpdatesEnabled(false);
    if (main_.Settings.SizeEqually)
        activeHeight_ = SizeEquallyHeight(WindowsNTCodecsPanel->height(), Panel5->height());
    ShowActiveListHeight();
    InactiveCodecList->setUpdatesEnabled(true);
    // The window never gets so small that the tab loses a band or a list.
    if (main_.isVisible()) {
        const int chrome = main_.height() - CodecsPanel->height();
        const int least = std::max(200, chrome + MinimumPanelHeight());
        if (main_.minimumHeight() != least) main_.setMinimumHeight(least);
    }
}

int TfNTCodecs::ActiveListHeight() const { return CodecList->minimumHeight(); }

void TfNTCodecs::SetListsFont(const QFont& font) {
    CodecList->setFont(font);
    InactiveCodecList->setFont(font);
}

void TfNTCodecs::SetActiveListHeight(int height) {
    activeHeight_ = height;
    ShowActiveListHeight();
}

int TfNTCodecs::MinimumPanelHeight() const {
    const QMargins m = CodecsPanel->layout()->contentsMargins();
    return m.top() + m.bottom() + Panel5->height() + Splitter1->height() + Panel1->height() + Panel2->height() +
           2 * cLeastListHeight;
}

void TfNTCodecs::ShowActiveListHeight() {
    int shown = activeHeight_;
    // A height kept from a larger window, or half of a small panel, must
    // not push the inactive list's band over the active list's rows: the
    // layout would put the band where the list still is. Until the window
    // is shown its panel has no height of its own to measure.
    if (CodecsPanel->window()->isVisible()) {
        const int room = CodecsPanel->height() - MinimumPanelHeight() + cLeastListHeight;
        shown = std::max(0, std::min(shown, room));
    }
    if (CodecList->minimumHeight() != shown || CodecList->maximumHeight() != shown) CodecList->setFixedHeight(shown);
}

void TfNTCodecs::ShowRows() {
    CodecListModel->Reset();
    InactiveCodecListModel->Reset();
    ShowSelection(CodecList, catalogue_.CodecList);
    ShowSelection(InactiveCodecList, catalogue_.InactiveCodecList);
}

void TfNTCodecs::TakeSelection(QTreeView* view, TCodecList& list) {
    list.SelectAll(false);
    for (const QModelIndex& index : view->selectionModel()->selectedRows())
        if (size_t(index.row()) < list.Count()) list.Select(size_t(index.row()));
}

void TfNTCodecs::ShowSelection(QTreeView* view, const TCodecList& list) {
    syncing_ = true;
    QItemSelection selection;
    const int lastColumn = view->model()->columnCount() - 1;
    for (size_t i = 0; i < list.Count(); ++i) {
        if (!list.Selected(i)) continue;
        const int row = int(i);
        selection.select(view->model()->index(row, 0), view->model()->index(row, lastColumn));
    }
    view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
}

void TfNTCodecs::CodecListSelectItem() {
    TActiveSelection s = SelectActiveCodec(catalogue_.CodecList, catalogue_.InactiveCodecList);
    if (!s.Handled) return;
    Configure1->setEnabled(s.CanConfigure);
    About1->setEnabled(s.CanAbout);
    if (!s.TwinsChecked) return;
    ShowSelection(InactiveCodecList, catalogue_.InactiveCodecList);
    InactiveCodecList->scrollTo(InactiveCodecListModel->index(int(s.ScrollTo), 0), QAbstractItemView::EnsureVisible);
    main_.SetStatusText(3, s.StatusText);
}

void TfNTCodecs::ShowVersionTooltips1Click() {
    // The check mark is the only state; the menu flips it on its own when
    // the item is chosen, this does it for everyone else.
    ShowVersionTooltips1->toggle();
}

void TfNTCodecs::CodecListMouseMove(const QPoint& pos) {
    if (!ShowVersionTooltips1->isChecked()) {
        CodecList->setToolTip(QString());
        return;
    }
    QModelIndex index = CodecList->indexAt(pos);
    if (!index.isValid() || size_t(index.row()) >= catalogue_.CodecList.Count()) return;
    const TActiveRowTip tip = ActiveRowTip(catalogue_.CodecList.Entry(size_t(index.row())), true);
    const QString text = ToQ(tip.Version);
    CodecList->setToolTip(text);
    QToolTip::showText(CodecList->viewport()->mapToGlobal(pos), ShownToolTip(ToQ(tip.Problem), text),
                       CodecList->viewport());
}

void TfNTCodecs::DriverConfigPopup() {
    const TDriverConfigEnabling e =
        tarnel::DriverConfigPopup(catalogue_.CodecList, Configure1->isEnabled(), About1->isEnabled());
    Configure1->setEnabled(e.Configure);
    About1->setEnabled(e.About);
    ScanCodecsformoreFOURCCs1->setEnabled(e.Scan);
    EditFOURCCscanlist1->setEnabled(e.FourccList);
}

void TfNTCodecs::N2Click() {
    if (!catalogue_.CodecList.Empty()) CodecList->selectAll();
}

void TfNTCodecs::SelectAll1Click() {
    if (!catalogue_.InactiveCodecList.Empty()) InactiveCodecList->selectAll();
}

void TfNTCodecs::InactiveCodecListColumnClick(int column) {
    // Ascending on every click, in the locale's order with letter case counting.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    SortByColumn(catalogue_.InactiveCodecList, TListKind::Inactive, column,
                 [&](const std::string& a, const std::string& b) { return collator.compare(ToQ(a), ToQ(b)); });
    ShowRows();
}

// --- Codec operations ------------------------------------------------------------

namespace {
// The list commands' keys reach a list only through its menu's items: a
// disabled item's key, and a key of the other list's menu, do nothing
// (instead of the view's own copy or select-all).
bool IsListCommandKey(const QKeyEvent* key) {
    const QKeyCombination pressed = key->keyCombination();
    for (const Qt::Key k : {Qt::Key_C, Qt::Key_B, Qt::Key_A})
        if (pressed == QKeyCombination(Qt::ControlModifier, k)) return true;
    return false;
}
}  // namespace

TAnswer TfNTCodecs::Questions::Ask(const char* question) {
    // The dialog's title and subtitle stay as designed.
    QPointer<TfQuestion> dialog = new TfQuestion(&w_.main_, &w_.main_.Log());
    dialog->questionLabel->setText(ToQ(question));
    const int answer = dialog->ShowModal();
    if (dialog) delete dialog.data();
    switch (answer) {
        case QMessageBox::Yes: return TAnswer::Yes;
        case QMessageBox::No: return TAnswer::No;
        default: return TAnswer::Cancel;
    }
}

TAnswer TfNTCodecs::Questions::AskSwap(const TCodecEntry&, const TCodecEntry&) { return Ask(cSwapQuestion); }

TAnswer TfNTCodecs::Questions::AskRemove() { return Ask(cRemoveQuestion); }

void TfNTCodecs::ShowResult(const TOperationResult& result) {
    ShowRows();
    // A change refused says why; a question answered No or Cancel changed
    // nothing, not even the counters.
    if (!result.Changed) {
        if (!result.Error.empty()) main_.ShowSystemMessage(result.Error, TMessageKind::Error);
        return;
    }
    UpdateActiveCount();
    UpdateInactiveCount();
    // The lists were read again after a failed save: the user sees what
    // is stored before reading why.
    if (!result.Error.empty()) main_.ShowSystemMessage(result.Error, TMessageKind::Error);
}

std::optional<TListKind> TfNTCodecs::ListOf(QObject* source) const {
    if (source == CodecList) return TListKind::Active;
    if (source == InactiveCodecList) return TListKind::Inactive;
    return std::nullopt;
}

bool TfNTCodecs::InactiveCodecListDragOver(QObject* source) { return AcceptsDrag(TListKind::Inactive, ListOf(source)); }

void TfNTCodecs::InactiveCodecListDragDrop(QObject* source) {
    // Anything but the active list moves no row, but the lists are still saved.
    if (DropMeaning(TListKind::Inactive, ListOf(source)) != TDropMeaning::Deactivate) {
        ShowResult(operations_.SaveCodecLists());
        return;
    }
    ShowResult(operations_.Deactivate(catalogue_.CodecList.SelectedRows()));
}

void TfNTCodecs::DeActivate1Click() { InactiveCodecListDragDrop(CodecList); }

void TfNTCodecs::CodecListDblClick() {
    if (main_.Settings.DisableDoubleClick) return;
    DeActivate1Click();
}

bool TfNTCodecs::CodecListDragOver(QObject* source) { return AcceptsDrag(TListKind::Active, ListOf(source)); }

void TfNTCodecs::CodecListDragDrop(QObject* source) {
    if (DropMeaning(TListKind::Active, ListOf(source)) != TDropMeaning::Activate) {
        ShowResult(operations_.SaveCodecLists());
        return;
    }
    ShowResult(operations_.Activate(catalogue_.InactiveCodecList.SelectedRows()));
}

void TfNTCodecs::Activate1Click() { CodecListDragDrop(InactiveCodecList); }

void TfNTCodecs::InactiveCodecListDblClick() {
    if (main_.Settings.DisableDoubleClick) return;
    Activate1Click();
}

void TfNTCodecs::RemoveSelectedInactiveDrivers1Click() {
    ShowResult(operations_.RemoveInactive(catalogue_.InactiveCodecList.SelectedRows()));
}

// A driver's own dialog in another process would open beneath a main
// window that stays on top (the user sees nothing happen): the main window
// leaves the top layer while the driver's dialog is up. The native window's
// flags change in place; the widget's own would hide and re-show it, blank
// behind the dialog while the call blocks.
template <typename Call>
static void WithDriverDialog(QWidget* main, bool stayOnTop, Call call) {
    QWindow* native = main->windowHandle();
    const bool unpin = stayOnTop && native && platform::CurrentBackend().DriverDialogsOfAnotherProcess() &&
                       native->flags().testFlag(Qt::WindowStaysOnTopHint);
    if (unpin) {
        native->setFlag(Qt::WindowStaysOnTopHint, false);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    // Back on top however the call ends (a bridge that died throws).
    struct Repin {
        QWindow* window;
        ~Repin() {
            if (window) window->setFlag(Qt::WindowStaysOnTopHint, true);
        }
    } repin{unpin ? native : nullptr};
    call();
}

// With several rows selected, the first one from the top is the codec meant.
void TfNTCodecs::Configure1Click() {
    const std::vector<size_t> rows = catalogue_.CodecList.SelectedRows();
    if (rows.empty()) return;
    try {
        WithDriverDialog(main_.window(), main_.Settings.StayOnTop, [&] { operations_.Configure(rows.front()); });
    } catch (const std::exception& e) {
        // A view whose drivers cannot load here says why.
        TApplication::ShowException(e);
    }
}

void TfNTCodecs::About1Click() {
    const std::vector<size_t> rows = catalogue_.CodecList.SelectedRows();
    if (rows.empty()) return;
    try {
        WithDriverDialog(main_.window(), main_.Settings.StayOnTop, [&] { operations_.About(rows.front()); });
    } catch (const std::exception& e) {
        // A view whose drivers cannot load here says why.
        TApplication::ShowException(e);
    }
}

void TfNTCodecs::EditFOURCCscanlist1Click() {
    if (fFourcc) fFourcc->ShowNonModal();
}

bool TfNTCodecs::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CodecsPanel && event->type() == QEvent::Resize) CodecsPanelResize();
    if (watched == CodecList->viewport() && event->type() == QEvent::MouseMove)
        CodecListMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // Handled here and not passed on: the rows under the pointer have
        // changed, and the view must not take the click for a new one.
        if (watched == CodecList->viewport()) {
            CodecListDblClick();
            return true;
        }
        if (watched == InactiveCodecList->viewport()) {
            InactiveCodecListDblClick();
            return true;
        }
    }
    if ((watched == CodecList || watched == InactiveCodecList) && event->type() == QEvent::KeyPress &&
        IsListCommandKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

}  // namespace tarnel
