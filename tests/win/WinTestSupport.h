// What the native window tests share. They run in the test's own process on
// the real Windows API (under Wine, a throwaway prefix), make the program's
// windows and drive them with messages, as Wine's own control tests drive
// the controls: the store is set up through the registry, dialogs are
// answered by a hook as they come up, and what the windows and the store
// hold is read back.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/shell/ActivityLog.h"

namespace tarnel::wintest {

// --- The store -----------------------------------------------------------------------
// The codec entries of the registry (Drivers32's "vidc." values, name to driver).
std::map<std::string, std::string> StoreActive();
// The inactive store: the value names ("#001#") with their six texts.
std::map<std::string, std::vector<std::string>> StoreInactive();
std::map<std::string, std::string> StoreBackup();
void SetStoreActive(const std::vector<std::pair<std::string, std::string>>& entries);
void SetStoreInactive(const std::vector<std::vector<std::string>>& entries);
// The settings key of the current user, its DWORD values (string values by name too).
void ClearSettings();
void SetSetting(const char* name, DWORD value);
void SetSettingText(const char* name, const std::string& value);
std::map<std::string, std::string> Settings();

// Keeps what a test changes in the shared prefix and puts it back: the
// driver lists and their backup, the inactive store, SYSTEM.INI's codec
// lines, the settings and the DirectShow registrations the tests add.
class TStoreGuard {
public:
    TStoreGuard();
    ~TStoreGuard();

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// The demo drivers of this build's processor, copied into the system folder.
void InstallDemoDrivers();

// --- Dialogs ---------------------------------------------------------------------------
// What a dialog that came up showed.
struct TSeenDialog {
    std::string Class;  // "#32770" for a dialog
    std::string Caption;
    std::vector<std::string> Texts;  // its controls' texts, in order
    bool Has(const std::string& text) const;
};

// Answers the dialogs that come up while it lives, one action each in turn
// (the action gets the dialog); a dialog nothing waits for is answered with
// Cancel and counts as unexpected.
class TDialogAnswers {
public:
    using TAction = std::function<void(HWND dialog)>;
    TDialogAnswers();
    ~TDialogAnswers();
    void Then(TAction action);
    // Presses the button `id` (IDOK, IDYES, ...).
    void ThenPress(int id);
    const std::vector<TSeenDialog>& Seen() const { return seen_; }
    size_t Unexpected() const { return unexpected_; }
    size_t Pending() const { return actions_.size(); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK AnswererProc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    HHOOK hook_ = nullptr;
    std::vector<TAction> actions_;
    std::vector<TSeenDialog> seen_;
    size_t unexpected_ = 0;
};

// Handles the window messages waiting (posted answers, paints).
void Pump();

// --- Program windows -------------------------------------------------------------------
// A log whose clock is fixed, so that lines can be compared whole.
std::unique_ptr<TLog> FixedLog();
// The lines after their time stamps.
std::vector<std::string> LogTexts(const TLog& log);

// The texts of a list control's rows, column `column`.
std::vector<std::string> Column(HWND list, int column);
std::vector<int> Selected(HWND list);

// The folder of the test program and the repository's files it uses.
std::wstring TestDir();
std::wstring RepositoryFolder(const char* relative);

}  // namespace tarnel::wintest
