#include "gui/shell/uLogging.h"

#include <QPointer>
#include <QVBoxLayout>

#include "core/shell/uConst.h"

namespace tarnel {

TfLogging* fLogging = nullptr;

TfLogging::TfLogging(TLog& log, TBuild build, QWidget* parent) : QWidget(parent), log_(log) {
    setObjectName("fLogging");
    fLogging = this;
    if (build == Now) BuildComponents();
}

QFrame* TfLogging::BuildComponents() {
    if (LogViewerPanel) return LogViewerPanel;
    LogViewerPanel = new QFrame(this);
    LogViewerPanel->setObjectName("LogViewerPanel");
    LogViewerPanel->setFrameShape(QFrame::NoFrame);
    // The panel keeps its own font; the program font does not reach it.
    LogViewerPanel->setFont(DesignFont("Lucida Sans Unicode", 11));

    auto* layout = new QVBoxLayout(LogViewerPanel);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(0);
    Panel5 = new THeaderBand(cProgramTitle, cLogViewerSubtitle, {40, 8}, {80, 24}, LogViewerPanel);
    Panel5->setObjectName("Panel5");
    LogMemo = new QPlainTextEdit(LogViewerPanel);
    LogMemo->setObjectName("LogMemo");
    LogMemo->setAccessibleName(ToQ(cTabLog));
    NameScrollBars(LogMemo);
    LogMemo->setReadOnly(true);
    LogMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    LogMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LogMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LogMemo->setTabChangesFocus(false);
    Panel1 = new QFrame(LogViewerPanel);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(5);
    layout->addWidget(Panel5);
    layout->addWidget(LogMemo, 1);
    layout->addWidget(Panel1);

    auto* own = new QVBoxLayout(this);
    own->setContentsMargins(0, 0, 0, 0);
    own->addWidget(LogViewerPanel);

    for (const std::string& line : log_.Lines()) LogMemo->appendPlainText(ToQ(line));
    // The memo moves into the main window, which may go first at the end.
    QPointer<QPlainTextEdit> memo(LogMemo);
    log_.SetListener([memo](const std::string& line) {
        if (memo) memo->appendPlainText(ToQ(line));
    });
    return LogViewerPanel;
}

TfLogging::~TfLogging() {
    log_.SetListener({});
    if (fLogging == this) fLogging = nullptr;
}

}  // namespace tarnel
