#include "win/shell/WinHelp.h"

#include <shellapi.h>

namespace tarnel::win {

namespace {
THelpOpener& Opener() {
    static THelpOpener opener;
    return opener;
}

bool OpenInBrowser(HWND owner, const std::wstring& html) {
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(owner, L"open", html.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}
}  // namespace

void SetHelpOpener(THelpOpener opener) { Opener() = std::move(opener); }

bool ShowHelpContents(HWND owner, const std::wstring& file) {
    if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return false;
    const std::wstring folder = std::wstring(temp, n) + L"Tarnel";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring html = folder + L"\\Tarnel.html";
    if (!::CopyFileW(file.c_str(), html.c_str(), FALSE)) return false;
    return Opener() ? Opener()(owner, html) : OpenInBrowser(owner, html);
}

}  // namespace tarnel::win
