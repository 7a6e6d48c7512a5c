#include "win/WinTestSupport.h"

#include <algorithm>
#include <cstring>

#include "win/shell/WinCommon.h"

namespace tarnel::wintest {

namespace {

constexpr char kDrivers32[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr char kDrivers[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers";
constexpr char kBackup[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32.Backup";
constexpr char kInactive[] = "SOFTWARE\\Halvorin\\Drivers.Inactive";
constexpr char kPreferences[] = "SOFTWARE\\Halvorin\\Preferences";

struct TValue {
    std::string Name;
    DWORD Type = 0;
    std::string Data;
};

std::vector<TValue> Values(HKEY root, const char* path) {
    std::vector<TValue> values;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        char name[512];
        BYTE data[4096];
        DWORD nameChars = sizeof name, bytes = sizeof data, type = 0;
        if (::RegEnumValueA(key, i, name, &nameChars, nullptr, &type, data, &bytes) != ERROR_SUCCESS) break;
        values.push_back({std::string(name, nameChars), type, std::string(reinterpret_cast<char*>(data), bytes)});
    }
    ::RegCloseKey(key);
    return values;
}

bool KeyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

void WriteValues(HKEY root, const char* path, const std::vector<TValue>& values) {
    HKEY key = nullptr;
    ::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    for (const TValue& v : values)
        ::RegSetValueExA(key, v.Name.c_str(), 0, v.Type, reinterpret_cast<const BYTE*>(v.Data.data()),
                         DWORD(v.Data.size()));
    ::RegCloseKey(key);
}

bool IsCodecName(const std::string& name) { return _strnicmp(name.c_str(), "vidc", 4) == 0; }

void DeleteCodecValues(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    for (const TValue& v : Values(root, path))
        if (IsCodecName(v.Name)) ::RegDeleteValueA(key, v.Name.c_str());
    ::RegCloseKey(key);
}

std::string Sz(const std::string& text) { return text + '\0'; }

std::vector<std::pair<std::string, std::string>> IniCodecLines() {
    std::vector<std::pair<std::string, std::string>> lines;
    static char section[32767];
    const DWORD n = ::GetPrivateProfileSectionA("drivers32", section, sizeof section, "system.ini");
    for (const char* line = section; line < section + n && *line; line += std::strlen(line) + 1) {
        const std::string text = line;
        const size_t eq = text.find('=');
        if (eq != std::string::npos && IsCodecName(text)) lines.push_back({text.substr(0, eq), text.substr(eq + 1)});
    }
    return lines;
}

std::string ToText(const TValue& v) {
    if (v.Type == REG_DWORD && v.Data.size() == 4) {
        DWORD d = 0;
        std::memcpy(&d, v.Data.data(), 4);
        return std::to_string(d);
    }
    std::string text = v.Data;
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

}  // namespace

// --- The store -------------------------------------------------------------------------

std::map<std::string, std::string> StoreActive() {
    std::map<std::string, std::string> active;
    for (const TValue& v : Values(HKEY_LOCAL_MACHINE, kDrivers32))
        if (IsCodecName(v.Name)) active[v.Name] = ToText(v);
    return active;
}

std::map<std::string, std::vector<std::string>> StoreInactive() {
    std::map<std::string, std::vector<std::string>> inactive;
    for (const TValue& v : Values(HKEY_LOCAL_MACHINE, kInactive)) {
        std::vector<std::string> pieces;
        std::string piece;
        for (char c : v.Data) {
            if (c) {
                piece += c;
            } else {
                pieces.push_back(piece);
                piece.clear();
            }
        }
        inactive[v.Name] = pieces;
    }
    return inactive;
}

std::map<std::string, std::string> StoreBackup() {
    std::map<std::string, std::string> backup;
    for (const TValue& v : Values(HKEY_LOCAL_MACHINE, kBackup)) backup[v.Name] = ToText(v);
    return backup;
}

void SetStoreActive(const std::vector<std::pair<std::string, std::string>>& entries) {
    DeleteCodecValues(HKEY_LOCAL_MACHINE, kDrivers32);
    std::vector<TValue> values;
    for (const auto& [name, driver] : entries) values.push_back({name, REG_SZ, Sz(driver)});
    WriteValues(HKEY_LOCAL_MACHINE, kDrivers32, values);
}

void SetStoreInactive(const std::vector<std::vector<std::string>>& entries) {
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kInactive);
    std::vector<TValue> values;
    for (size_t i = 0; i < entries.size(); ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "#%.3d#", int(i + 1));
        std::string data;
        for (const std::string& piece : entries[i]) data += (piece.empty() ? std::string(" ") : piece) + '\0';
        values.push_back({name, REG_BINARY, data});
    }
    WriteValues(HKEY_LOCAL_MACHINE, kInactive, values);
}

void ClearSettings() { ::RegDeleteKeyA(HKEY_CURRENT_USER, kPreferences); }

void SetSetting(const char* name, DWORD value) {
    WriteValues(HKEY_CURRENT_USER, kPreferences,
                {{name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)}});
}

void SetSettingText(const char* name, const std::string& value) {
    WriteValues(HKEY_CURRENT_USER, kPreferences, {{name, REG_SZ, Sz(value)}});
}

std::map<std::string, std::string> Settings() {
    std::map<std::string, std::string> settings;
    for (const TValue& v : Values(HKEY_CURRENT_USER, kPreferences)) settings[v.Name] = ToText(v);
    return settings;
}

struct TStoreGuard::Saved {
    std::vector<TValue> Drivers32, Drivers, Backup, Inactive, Preferences;
    bool HadBackup = false, HadInactive = false, HadPreferences = false;
    std::vector<std::pair<std::string, std::string>> Ini;
};

TStoreGuard::TStoreGuard() : saved_(std::make_unique<Saved>()) {
    Saved& s = *saved_;
    for (const TValue& v : Values(HKEY_LOCAL_MACHINE, kDrivers32))
        if (IsCodecName(v.Name)) s.Drivers32.push_back(v);
    for (const TValue& v : Values(HKEY_LOCAL_MACHINE, kDrivers))
        if (IsCodecName(v.Name)) s.Drivers.push_back(v);
    s.HadBackup = KeyExists(HKEY_LOCAL_MACHINE, kBackup);
    s.Backup = Values(HKEY_LOCAL_MACHINE, kBackup);
    s.HadInactive = KeyExists(HKEY_LOCAL_MACHINE, kInactive);
    s.Inactive = Values(HKEY_LOCAL_MACHINE, kInactive);
    s.HadPreferences = KeyExists(HKEY_CURRENT_USER, kPreferences);
    s.Preferences = Values(HKEY_CURRENT_USER, kPreferences);
    // The lists show only what a test puts there.
    s.Ini = IniCodecLines();
    for (const auto& line : s.Ini) ::WritePrivateProfileStringA("drivers32", line.first.c_str(), nullptr, "system.ini");
    DeleteCodecValues(HKEY_LOCAL_MACHINE, kDrivers32);
    DeleteCodecValues(HKEY_LOCAL_MACHINE, kDrivers);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kInactive);
    ClearSettings();
}

TStoreGuard::~TStoreGuard() {
    const Saved& s = *saved_;
    DeleteCodecValues(HKEY_LOCAL_MACHINE, kDrivers32);
    WriteValues(HKEY_LOCAL_MACHINE, kDrivers32, s.Drivers32);
    DeleteCodecValues(HKEY_LOCAL_MACHINE, kDrivers);
    if (!s.Drivers.empty()) WriteValues(HKEY_LOCAL_MACHINE, kDrivers, s.Drivers);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kBackup);
    if (s.HadBackup) WriteValues(HKEY_LOCAL_MACHINE, kBackup, s.Backup);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kInactive);
    if (s.HadInactive) WriteValues(HKEY_LOCAL_MACHINE, kInactive, s.Inactive);
    ClearSettings();
    if (s.HadPreferences) WriteValues(HKEY_CURRENT_USER, kPreferences, s.Preferences);
    for (const auto& line : IniCodecLines())
        ::WritePrivateProfileStringA("drivers32", line.first.c_str(), nullptr, "system.ini");
    for (const auto& line : s.Ini)
        ::WritePrivateProfileStringA("drivers32", line.first.c_str(), line.second.c_str(), "system.ini");
}

void InstallDemoDrivers() {
    char system[MAX_PATH + 1];
    ::GetSystemDirectoryA(system, sizeof system);
    std::wstring from = RepositoryFolder(TARNEL_DEMO_FILES_REL);
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((from + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring to = win::ToW(system) + L"\\" + found.cFileName;
        ::CopyFileW((from + L"\\" + found.cFileName).c_str(), to.c_str(), FALSE);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

// --- Dialogs ---------------------------------------------------------------------------

bool TSeenDialog::Has(const std::string& text) const {
    return Caption == text || std::find(Texts.begin(), Texts.end(), text) != Texts.end();
}

namespace {
TDialogAnswers* gAnswers = nullptr;
HWND gAnswerer = nullptr;
constexpr UINT kAnswer = WM_APP + 7;

TSeenDialog Look(HWND dialog) {
    TSeenDialog seen;
    wchar_t cls[64] = {};
    ::GetClassNameW(dialog, cls, 63);
    seen.Class = win::FromW(cls);
    seen.Caption = win::WindowText(dialog);
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        std::string text = win::WindowText(c);
        // A band's title and subtitle count as two texts.
        const size_t cut = text.find('\n');
        if (cut != std::string::npos) {
            seen.Texts.push_back(text.substr(0, cut));
            text = text.substr(cut + 1);
        }
        seen.Texts.push_back(text);
    }
    return seen;
}
}  // namespace

LRESULT CALLBACK TDialogAnswers::AnswererProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != kAnswer || !gAnswers) return ::DefWindowProcW(w, msg, wp, lp);
    HWND dialog = reinterpret_cast<HWND>(wp);
    if (!::IsWindow(dialog)) return 0;
    // Windows without a button to answer with (the splash screen, the
    // progress window) are no questions.
    bool answerable = false;
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) answerable = answerable || ::GetDlgItem(dialog, id) != nullptr;
    if (!answerable) return 0;
    TDialogAnswers& a = *gAnswers;
    a.seen_.push_back(Look(dialog));
    if (a.actions_.empty()) {
        ++a.unexpected_;
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    TAction action = std::move(a.actions_.front());
    a.actions_.erase(a.actions_.begin());
    action(dialog);
    return 0;
}

TDialogAnswers::TDialogAnswers() {
    if (!gAnswerer) {
        WNDCLASSW wc{};
        wc.lpszClassName = L"TarnelTestAnswerer";
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpfnWndProc = AnswererProc;
        ::RegisterClassW(&wc);
        gAnswerer = ::CreateWindowW(L"TarnelTestAnswerer", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    }
    gAnswers = this;
    hook_ = ::SetWindowsHookExW(WH_CBT, Hook, nullptr, ::GetCurrentThreadId());
}

TDialogAnswers::~TDialogAnswers() {
    if (hook_) ::UnhookWindowsHookEx(hook_);
    if (gAnswers == this) gAnswers = nullptr;
}

void TDialogAnswers::Then(TAction action) { actions_.push_back(std::move(action)); }

void TDialogAnswers::ThenPress(int id) {
    Then([id](HWND dialog) { ::PostMessageW(dialog, WM_COMMAND, WPARAM(id), 0); });
}

LRESULT CALLBACK TDialogAnswers::Hook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && gAnswers) {
        HWND window = reinterpret_cast<HWND>(wp);
        wchar_t cls[64] = {};
        ::GetClassNameW(window, cls, 63);
        // Answered once the dialog is up, from inside its own loop.
        if (!std::wcscmp(cls, L"#32770") && !::GetPropW(window, L"TarnelTestSeen")) {
            ::SetPropW(window, L"TarnelTestSeen", reinterpret_cast<HANDLE>(1));
            ::PostMessageW(gAnswerer, kAnswer, wp, 0);
        }
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

void Pump() {
    MSG msg;
    for (int round = 0; round < 3; ++round) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    }
}

// --- Program windows -------------------------------------------------------------------

std::unique_ptr<TLog> FixedLog() {
    auto log = std::make_unique<TLog>();
    log->SetClock([] { return std::string("01.02.2026 10:00:00"); });
    return log;
}

std::vector<std::string> LogTexts(const TLog& log) {
    std::vector<std::string> texts;
    for (const std::string& line : log.Lines()) {
        const size_t at = line.find(" : ");
        texts.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return texts;
}

std::vector<std::string> Column(HWND list, int column) {
    std::vector<std::string> texts;
    const int count = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        wchar_t text[512] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 511;
        ::SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
        texts.push_back(win::FromW(text));
    }
    return texts;
}

std::vector<int> Selected(HWND list) {
    std::vector<int> rows;
    for (int i = -1; (i = int(::SendMessageW(list, LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED))) >= 0;)
        rows.push_back(i);
    return rows;
}

std::wstring TestDir() {
    wchar_t self[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring RepositoryFolder(const char* relative) {
    std::wstring path = TestDir() + L"\\" + win::ToW(relative);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

}  // namespace tarnel::wintest
