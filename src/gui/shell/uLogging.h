// The log window: never shown by itself; its panel lives in the main
// window's "Log" tab and shows the activity log as it grows.
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
    explicit TfLogging(TLog& log, QWidget* parent = nullptr);
    ~TfLogging() override;

    QFrame* LogViewerPanel;
    THeaderBand* Panel5;
    QPlainTextEdit* LogMemo;
    QFrame* Panel1;

private:
    TLog& log_;
};

extern TfLogging* fLogging;

}  // namespace tarnel
