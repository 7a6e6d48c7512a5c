// The message dialog: the text, an icon that says what kind of message it
// is, and an Ok button. Every message of the program reaches the user
// through it (the main window's ShowSystemMessage logs the text, then
// calls ShowMessageDialog).
#pragma once

#include <string>

#include "win/shell/WinCommon.h"

namespace tarnel::win {

// What a message is; it decides the dialog's icon.
enum class TMessageKind { Information, Warning, Error };

class TfMessage : public TDialogHandler {
public:
    TfMessage(const std::string& text, TMessageKind kind) : text_(text), kind_(kind) {}
    // Shows the dialog modally over `owner` (centred on it, or on the screen
    // when null) and returns once the user closed it.
    void ShowModal(HWND owner);

    INT_PTR HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // Sizes the dialog to show all of the text: as wide as its longest line
    // needs, up to the width of the screen, then as high as the wrapped
    // lines need; beyond the screen's height the text scrolls.
    void Arrange();
    std::string text_;
    TMessageKind kind_;
    HWND owner_ = nullptr;
    TFont textFont_;
};

void ShowMessageDialog(const std::string& text, HWND owner, TMessageKind kind = TMessageKind::Information);

}  // namespace tarnel::win
