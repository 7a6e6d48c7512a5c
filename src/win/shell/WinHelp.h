// The help: an HTML file named Tarnel.hlp beside the program, opened at
// its contents in the user's browser. Browsers go by a file's extension, so
// what they open is a copy named Tarnel.html in the user's temporary folder.
#pragma once

#include <functional>
#include <string>

#include "win/shell/WinCommon.h"

namespace tarnel::win {

// False when the file is missing or cannot be copied, or nothing opens it.
bool ShowHelpContents(HWND owner, const std::wstring& file);

// What opens the copy (ShellExecute's "open" unless set; tests set their own).
using THelpOpener = std::function<bool(HWND owner, const std::wstring& html)>;
void SetHelpOpener(THelpOpener opener);

}  // namespace tarnel::win
