// The log window: never shown by itself; its panel, the header band above a
// read-only text of the log's lines, moves into the main window's "Log" tab.
#pragma once

#include "core/shell/ActivityLog.h"
#include "win/shell/WinCommon.h"

namespace tarnel::win {

class TfLogging : public TWindowHandler {
public:
    explicit TfLogging(TLog& log);
    ~TfLogging() override;
    TfLogging(const TfLogging&) = delete;
    TfLogging& operator=(const TfLogging&) = delete;

    HWND Form = nullptr;            // the window that holds the panel until it moves
    HWND LogViewerPanel = nullptr;  // 10-pixel border, its own font
    HWND Panel5 = nullptr;          // the band "Tarnel" / "Log Viewer"
    HWND LogMemo = nullptr;

    // The memo's text, one line per log line.
    std::string Text() const;

    LRESULT HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Append(const std::string& line);
    void Layout();
    TLog& log_;
    TFont font_;
};

extern TfLogging* fLogging;

}  // namespace tarnel::win
