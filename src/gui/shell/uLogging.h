// The log window: never shown by itself; its panel lives in the main
// window's "Log" tab and shows the activity log as it grows. The lines are
// kept by the log itself, so the panel may be made late (when its tab first
// comes to the front) and still shows every line from the start.
#pragma once

#include <QFrame>
#include <QPlainTextEdit>
#include <QWidget>

#include "core/shell/ActivityLog.h"
#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfLogging : public QWidget {
    Q_OBJECT
public:
    // Made OnFirstShow, the components below stay null until
    // BuildComponents makes them.
    enum TBuild { Now, OnFirstShow };
    explicit TfLogging(TLog& log, TBuild build = Now, QWidget* parent = nullptr);
    ~TfLogging() override;

    // Makes the panel (once) showing every line written so far and each
    // line to come; returns it.
    QFrame* BuildComponents();

    QFrame* LogViewerPanel = nullptr;
    THeaderBand* Panel5 = nullptr;
    QPlainTextEdit* LogMemo = nullptr;
    QFrame* Panel1 = nullptr;

private:
    TLog& log_;
};

extern TfLogging* fLogging;

}  // namespace tarnel
