// The help: an HTML document named Tarnel.hlp beside the program, shown at
// its contents in a help window of its own. Nothing is fetched from a network.
#pragma once

#include <QDialog>
#include <QTextBrowser>

namespace tarnel {

class THelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);
    // Loads the file and shows it at its top, the contents. False when the
    // file cannot be read.
    bool OpenContents(const QString& file);
    QTextBrowser* Browser;
};

// Opens a help window (or reuses the open one) at the contents; false when
// the file is missing.
bool ShowHelpContents(QWidget* parent, const QString& file);

}  // namespace tarnel
