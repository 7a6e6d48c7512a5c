#include "gui/shell/GuiHelp.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPointer>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "core/shell/uConst.h"
#include "gui/shell/GuiCommon.h"

namespace tarnel {

namespace {
QToolButton* NavigationButton(const QString& text, QStyle::StandardPixmap icon, const QKeySequence& key,
                              QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setIcon(parent->style()->standardIcon(icon, nullptr, parent));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setShortcut(key);
    button->setToolTip(QStringLiteral("%1 (%2)").arg(text, key.toString(QKeySequence::NativeText)));
    return button;
}
}  // namespace

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("HelpWindow");
    setWindowTitle(ToQ(cHelpWindowTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 520);
    Browser = new QTextBrowser(this);
    Browser->setObjectName("Browser");
    Browser->setAccessibleName(ToQ(cHelpWindowTitle));
    NameScrollBars(Browser);
    // Links stay inside the document; nothing is opened elsewhere.
    Browser->setOpenExternalLinks(false);
    Browser->setOpenLinks(true);

    BackButton = NavigationButton(QStringLiteral("Back"), QStyle::SP_ArrowBack, QKeySequence::Back, this);
    BackButton->setObjectName("BackButton");
    ForwardButton = NavigationButton(QStringLiteral("Forward"), QStyle::SP_ArrowForward, QKeySequence::Forward, this);
    ForwardButton->setObjectName("ForwardButton");
    ContentsButton = NavigationButton(QStringLiteral("Contents"), QStyle::SP_DirHomeIcon,
                                      QKeySequence(Qt::ALT | Qt::Key_Home), this);
    ContentsButton->setObjectName("ContentsButton");
    BackButton->setEnabled(false);
    ForwardButton->setEnabled(false);
    connect(BackButton, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardButton, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(ContentsButton, &QToolButton::clicked, this, [this] {
        // Home through the history, so that Back returns to where the reader was.
        Browser->setSource(QUrl::fromLocalFile(file_), QTextDocument::HtmlResource);
    });
    connect(Browser, &QTextBrowser::backwardAvailable, BackButton, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardButton, &QToolButton::setEnabled);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 2);
    bar->addWidget(BackButton);
    bar->addWidget(ForwardButton);
    bar->addWidget(ContentsButton);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(Browser);
}

bool THelpWindow::OpenContents(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    file_ = QFileInfo(file).absoluteFilePath();
    Browser->setSearchPaths({QFileInfo(file).absolutePath()});
    // The file's extension is not one the browser knows as HTML.
    Browser->setSource(QUrl::fromLocalFile(file_), QTextDocument::HtmlResource);
    Browser->clearHistory();
    Browser->moveCursor(QTextCursor::Start);
    return true;
}

bool ShowHelpContents(QWidget* parent, const QString& file) {
    static QPointer<THelpWindow> open;
    if (!QFile::exists(file)) return false;
    const bool fresh = !open;
    if (fresh) open = new THelpWindow(parent);
    if (!open->OpenContents(file)) {
        open->close();
        return false;
    }
    if (fresh) {
        // A main window kept on top would hide a window that is not: the
        // help shares its layer, and the two stack as the user raises them.
        if (parent && parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            open->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        // Beside the main window, to its right as far as its screen has room,
        // and never larger than that screen.
        if (parent) open->move(parent->window()->frameGeometry().topRight() + QPoint(1, 0));
        KeepOnScreen(open);
    }
    open->show();
    open->raise();
    open->activateWindow();
    return true;
}

}  // namespace tarnel
