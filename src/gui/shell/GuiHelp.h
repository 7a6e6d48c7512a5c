// The help: an HTML document named Tarnel.hlp beside the program, shown at
// its contents in a help window of its own. Nothing is fetched from a network.
#pragma once

#include <QTextBrowser>
#include <QToolButton>
#include <QWidget>

namespace tarnel {

// A window of its own beside the main window (never kept above it), with
// back and forward through the pages followed and a way home to the contents.
class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);
    // Loads the file and shows it at its top, the contents. False when the
    // file cannot be read.
    bool OpenContents(const QString& file);
    QTextBrowser* Browser;
    QToolButton* BackButton;
    QToolButton* ForwardButton;
    QToolButton* ContentsButton;

private:
    QString file_;
};

// Opens a help window (or reuses the open one) at the contents, on the
// screen of `parent` and no larger than it; false when the file is missing.
bool ShowHelpContents(QWidget* parent, const QString& file);

}  // namespace tarnel
