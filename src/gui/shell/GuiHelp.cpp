#include "gui/shell/GuiHelp.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/shell/GuiCommon.h"
#include "core/shell/uConst.h"

namespace tarnel {

THelpWindow::THelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("HelpWindow");
    setWindowTitle(ToQ(cHelpWindowTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 520);
    Browser = new QTextBrowser(this);
    Browser->setObjectName("Browser");
    // Links stay inside the document; nothing is opened elsewhere.
    Browser->setOpenExternalLinks(false);
    Browser->setOpenLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Browser);
}

bool THelpWindow::OpenContents(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    Browser->setSearchPaths({QFileInfo(file).absolutePath()});
    Browser->setHtml(QString::fromUtf8(f.readAll()));
    Browser->scrollToAnchor("contents");
    Browser->moveCursor(QTextCursor::Start);
    return true;
}

bool ShowHelpContents(QWidget* parent, const QString& file) {
    static QPointer<THelpWindow> open;
    if (!QFile::exists(file)) return false;
    if (!open) open = new THelpWindow(parent);
    if (!open->OpenContents(file)) {
        open->close();
        return false;
    }
    open->show();
    open->raise();
    open->activateWindow();
    return true;
}

}  // namespace tarnel
