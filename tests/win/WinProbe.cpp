// tarnel_winprobe.exe: looks at a running tarnel.exe from outside its
// process, as a user's tools would: the codec manager's own enumeration,
// the main window and the active list read through the list control's
// messages (the texts copied out of the program's memory), rows selected and
// menu commands sent. The acceptance tests, the installer test and the
// screenshots drive the program with it.
//   codecs                  what the codec manager enumerates: "fourcc driver" per line
//   wait-window [SECONDS]   waits for the main window; prints its caption
//   caption                 the main window's caption
//   rows                    the active list: "fourcc driver" per row
//   inactive                the inactive list, the same way
//   select FOURCC...        selects those active rows (only those)
//   select-inactive FOURCC... the same in the inactive list
//   command ID              sends the menu command ID to the codec window (and waits for it)
//   post ID                 posts it (for commands that open a modal window)
//   main ID                 posts the main window's menu command ID
//   press ID                presses button ID of the program's dialog in front
//   dialog                  the caption and texts of the program's dialog in front, if any
//   quit                    asks the main window to close, answers Yes, waits for the end
#include <windows.h>
#include <commctrl.h>
#include <vfw.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "win/resource.h"

namespace {

std::string Narrow(const std::wstring& w) {
    if (w.empty()) return {};
    int n = ::WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string Fourcc(DWORD code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = char((code >> (8 * i)) & 0xFF);
        if (c == 0) break;
        s += char(::tolower(static_cast<unsigned char>(c)));
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "tarnel_winprobe: %s\n", why.c_str());
    std::exit(1);
}

HWND MainWindow() { return ::FindWindowW(L"TarnelMain", nullptr); }

HWND Child(HWND parent, int id) {
    HWND child = parent ? ::GetDlgItem(parent, id) : nullptr;
    return child;
}

HWND CodecPanel() { return Child(Child(MainWindow(), IDC_PAGES), IDC_CODECPANEL); }

HWND NeedList(int id) {
    HWND list = Child(CodecPanel(), id);
    if (!list) Fail("the program's codec list is not there (is tarnel.exe running?)");
    return list;
}

// The program's memory for one message's arguments.
class TRemote {
public:
    explicit TRemote(HWND window) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                                 FALSE, pid);
        if (!process_) Fail("cannot open the program's process");
        memory_ = static_cast<char*>(::VirtualAllocEx(process_, nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
        if (!memory_) Fail("cannot reserve memory in the program's process");
    }
    ~TRemote() {
        ::VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        ::CloseHandle(process_);
    }
    char* At(size_t offset) const { return memory_ + offset; }
    void Write(size_t offset, const void* data, size_t size) const {
        SIZE_T done = 0;
        if (!::WriteProcessMemory(process_, memory_ + offset, data, size, &done)) Fail("cannot write to the program");
    }
    void Read(size_t offset, void* data, size_t size) const {
        SIZE_T done = 0;
        if (!::ReadProcessMemory(process_, memory_ + offset, data, size, &done)) Fail("cannot read from the program");
    }

private:
    HANDLE process_ = nullptr;
    char* memory_ = nullptr;
};

std::string ItemText(HWND list, const TRemote& remote, int row, int column) {
    constexpr size_t kText = 1024;
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = 1000;
    item.pszText = reinterpret_cast<LPWSTR>(remote.At(kText));
    remote.Write(0, &item, sizeof item);
    wchar_t empty = 0;
    remote.Write(kText, &empty, sizeof empty);
    ::SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(remote.At(0)));
    wchar_t text[1001] = {};
    remote.Read(kText, text, 1000 * sizeof(wchar_t));
    return Narrow(text);
}

void PrintRows(int id) {
    HWND list = NeedList(id);
    TRemote remote(list);
    const int count = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row)
        std::printf("%s %s\n", ItemText(list, remote, row, 0).c_str(), ItemText(list, remote, row, 1).c_str());
}

void Select(int id, const std::vector<std::string>& fourccs) {
    HWND list = NeedList(id);
    TRemote remote(list);
    const int count = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<int> rows;
    for (int row = 0; row < count; ++row)
        for (const std::string& f : fourccs)
            if (_stricmp(ItemText(list, remote, row, 0).c_str(), f.c_str()) == 0) rows.push_back(row);
    if (rows.size() < fourccs.size()) Fail("not every FOURCC named is in the list");
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    remote.Write(0, &item, sizeof item);
    ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(remote.At(0)));
    for (int row : rows) {
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        remote.Write(0, &item, sizeof item);
        ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(remote.At(0)));
    }
}

// The program's dialog in front: a window of the dialog class in its process.
struct TFindDialog {
    DWORD program;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<TFindDialog*>(p);
    wchar_t cls[64] = {};
    ::GetClassNameW(w, cls, 63);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (::IsWindowVisible(w) && !std::wcscmp(cls, L"#32770") && (!f->program || pid == f->program)) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND FrontDialog() {
    HWND main = MainWindow();
    TFindDialog find{0, nullptr};
    if (main) ::GetWindowThreadProcessId(main, &find.program);
    ::EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

HWND WaitFor(HWND (*find)(), double seconds) {
    for (DWORD waited = 0; waited < DWORD(seconds * 1000); waited += 100) {
        if (HWND w = find()) {
            if (::IsWindowVisible(w)) return w;
        }
        ::Sleep(100);
    }
    return nullptr;
}

std::string Text(HWND w) {
    wchar_t text[1024] = {};
    ::SendMessageW(w, WM_GETTEXT, 1023, reinterpret_cast<LPARAM>(text));
    return Narrow(text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) Fail("usage: tarnel_winprobe COMMAND [ARGS]");
    const std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "codecs") {
        ICINFO info{};
        for (DWORD i = 0; ::ICInfo(ICTYPE_VIDEO, i, &info); ++i) {
            std::printf("%s %s\n", Fourcc(info.fccHandler).c_str(), Narrow(info.szDriver).c_str());
            info = ICINFO{};
        }
    } else if (command == "wait-window") {
        HWND main = WaitFor(MainWindow, args.empty() ? 30 : std::atof(args[0].c_str()));
        if (!main) Fail("no main window came");
        std::printf("%s\n", Text(main).c_str());
    } else if (command == "caption") {
        if (!MainWindow()) Fail("no main window");
        std::printf("%s\n", Text(MainWindow()).c_str());
    } else if (command == "rows") {
        PrintRows(IDC_CODECLIST);
    } else if (command == "inactive") {
        PrintRows(IDC_INACTIVELIST);
    } else if (command == "select") {
        Select(IDC_CODECLIST, args);
    } else if (command == "select-inactive") {
        Select(IDC_INACTIVELIST, args);
    } else if (command == "command" || command == "post") {
        if (args.empty() || !CodecPanel()) Fail("no codec window, or no command named");
        const WPARAM id = WPARAM(std::atoi(args[0].c_str()));
        if (command == "command")
            ::SendMessageW(CodecPanel(), WM_COMMAND, id, 0);
        else
            ::PostMessageW(CodecPanel(), WM_COMMAND, id, 0);
    } else if (command == "main") {
        if (args.empty() || !MainWindow()) Fail("no main window, or no command named");
        ::PostMessageW(MainWindow(), WM_COMMAND, WPARAM(std::atoi(args[0].c_str())), 0);
    } else if (command == "dialog") {
        HWND dialog = WaitFor(FrontDialog, args.empty() ? 10 : std::atof(args[0].c_str()));
        if (!dialog) Fail("no dialog came");
        std::printf("%s\n", Text(dialog).c_str());
        for (HWND c = ::GetWindow(dialog, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
            if (!Text(c).empty()) std::printf("  %s\n", Text(c).c_str());
    } else if (command == "press") {
        HWND dialog = WaitFor(FrontDialog, 10);
        if (!dialog || args.empty()) Fail("no dialog came, or no button named");
        ::PostMessageW(dialog, WM_COMMAND, WPARAM(std::atoi(args[0].c_str())), 0);
    } else if (command == "quit") {
        HWND main = MainWindow();
        if (!main) Fail("no main window");
        DWORD pid = 0;
        ::GetWindowThreadProcessId(main, &pid);
        HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        HWND question = WaitFor(FrontDialog, 20);
        if (!question) Fail("the quit question did not come");
        ::PostMessageW(question, WM_COMMAND, IDYES, 0);
        if (process && ::WaitForSingleObject(process, 20000) != WAIT_OBJECT_0) Fail("the program did not end");
        if (process) ::CloseHandle(process);
    } else {
        Fail("unknown command '" + command + "'");
    }
    return 0;
}
