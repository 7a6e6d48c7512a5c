// The main window and its dialogs on the Windows API, in a font that may set
// text wider than the design's (Wine's stand-in for the dialog font does):
// texts stay whole, and the lists keep the design's column widths.
#include <map>

#include "platform/api/Backend.h"
#include "win/WinProgram.h"
#include "win/shell/WinListView.h"

namespace tarnel::wintest {
namespace {

class MainWindow : public WinProgram {
protected:
    void SetUp() override {
        InstallDemoDrivers();
        DemoStore();
        Start();
    }
    void MainCommand(int id) { ::SendMessageW(main->Handle, WM_COMMAND, WPARAM(id), 0); }
};

TEST_F(MainWindow, PreferenceTextsAreNotCutOff) {
    bool looked = false;
    answers.Then([&](HWND d) {
        looked = true;
        const UINT dpi = win::DpiOf(d);
        for (int id : {IDC_SIZEEQUAL, IDC_STAYONTOP, IDC_SAVEPOSITION, IDC_AUTOSWAP, IDC_DISABLEDBLCLICK}) {
            HWND box = ::GetDlgItem(d, id);
            const RECT r = win::RectInParent(box);
            EXPECT_GE(r.right - r.left, win::ControlTextWidth(box) + win::Scale(13, dpi)) << "check box " << id;
            EXPECT_LE(r.right, win::RectInParent(::GetDlgItem(d, IDC_PREVIEWFONT)).left) << "check box " << id;
        }
        const RECT box = win::RectInParent(::GetDlgItem(d, IDC_FONTBOX));
        const RECT edit = win::RectInParent(::GetDlgItem(d, IDC_FONTSIZEEDIT));
        for (int id : {IDC_FONTLABEL, IDC_FONTSIZELABEL}) {
            HWND label = ::GetDlgItem(d, id);
            const RECT r = win::RectInParent(label);
            EXPECT_GE(r.right - r.left, win::ControlTextWidth(label)) << "label " << id;
            EXPECT_LE(r.right, box.left);
            EXPECT_LE(r.right, edit.left);
        }
        RECT inside;
        ::GetClientRect(d, &inside);
        EXPECT_LE(box.right, inside.right) << "the font box stays inside the dialog";
        ::PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    });
    MainCommand(IDM_PREFERENCES);
    EXPECT_TRUE(looked);
}

// The lists keep the design's column widths whatever the window's size, as
// the Qt window does (a list narrower than its columns scrolls), and a width
// the user dragged stays.
TEST_F(MainWindow, ListsKeepTheDesignColumnWidthsAndADraggedWidth) {
    Show();
    const UINT dpi = win::DpiOf(codecs->CodecList);
    const auto expectDesign = [&](const char* when) {
        for (HWND list : {codecs->CodecList, codecs->InactiveCodecList}) {
            const auto columns = ColumnsOf(list == codecs->CodecList ? TListKind::Active : TListKind::Inactive);
            for (int c = 0; c < int(columns.size()); ++c)
                EXPECT_EQ(win::ColumnWidth(list, c), win::Scale(columns[size_t(c)].Width, dpi)) << when << " column " << c;
        }
    };
    expectDesign("at the design size");
    RECT frame;
    ::GetWindowRect(main->Handle, &frame);
    ::SetWindowPos(main->Handle, nullptr, 0, 0, frame.right - frame.left - 120, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    expectDesign("narrower");
    HWND list = codecs->CodecList;
    ::SendMessageW(list, LVM_SETCOLUMNWIDTH, acDescription, MAKELPARAM(500, 0));
    ::SetWindowPos(main->Handle, nullptr, 0, 0, frame.right - frame.left + 40, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    EXPECT_EQ(win::ColumnWidth(list, acDescription), 500);
}

TEST_F(MainWindow, PreferencesOkTakesTheControlsIntoMemoryOnlyAndCancelNothing) {
    main->Settings.ProgramFont = "No Such Font Here";
    main->Settings.FontSize = 250;
    main->Settings.AutoSwap = true;
    const auto stored = Settings();
    answers.Then([](HWND d) {
        EXPECT_EQ(::SendDlgItemMessageW(d, IDC_FONTBOX, CB_GETCURSEL, 0, 0), CB_ERR) << "no entry names the font";
        EXPECT_EQ(::SendDlgItemMessageW(d, IDC_FONTSIZESPIN, UDM_GETPOS32, 0, 0), 100) << "shown clamped";
        ::CheckDlgButton(d, IDC_AUTOSWAP, BST_UNCHECKED);
        ::PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    });
    MainCommand(IDM_PREFERENCES);
    EXPECT_EQ(main->Settings.ProgramFont, "No Such Font Here");
    EXPECT_EQ(main->Settings.FontSize, 250);
    EXPECT_TRUE(main->Settings.AutoSwap);

    answers.Then([](HWND d) {
        ::CheckDlgButton(d, IDC_AUTOSWAP, BST_UNCHECKED);
        ::PostMessageW(d, WM_COMMAND, IDOK, 0);
    });
    MainCommand(IDM_PREFERENCES);
    EXPECT_EQ(main->Settings.ProgramFont, "") << "nothing selected stores an empty name";
    EXPECT_EQ(main->Settings.FontSize, 100);
    EXPECT_FALSE(main->Settings.AutoSwap);
    EXPECT_EQ(Settings(), stored) << "the registry waits for the quit";
    ASSERT_EQ(answers.Seen().size(), 2u);
    EXPECT_TRUE(answers.Seen()[0].Has("Program Preferences"));
}

TEST_F(MainWindow, QuitAnsweredNoOrCancelKeepsRunningAndSavesNothing) {
    const auto stored = Settings();
    main->Settings.AutoSwap = !main->Settings.AutoSwap;
    for (int answer : {IDNO, IDCANCEL}) {
        answers.ThenPress(answer);
        ::SendMessageW(main->Handle, WM_CLOSE, 0, 0);
        EXPECT_TRUE(::IsWindow(main->Handle));
    }
    ASSERT_EQ(answers.Seen().size(), 2u);
    for (const TSeenDialog& seen : answers.Seen()) {
        EXPECT_TRUE(seen.Has("Quit, Leave, Exit, Shutdown Program?"));
        EXPECT_TRUE(seen.Has("Question"));
    }
    EXPECT_EQ(Settings(), stored);
}

TEST_F(MainWindow, ALongMessageWidensItsDialogNoFurtherThanTheWorkArea) {
    for (const std::string& text : {std::string("Short"), std::string(400, 'W')}) {
        answers.Then([&](HWND d) {
            const RECT panel = win::RectInParent(::GetDlgItem(d, IDC_TEXTPANEL));
            const RECT ok = win::RectInParent(::GetDlgItem(d, IDOK));
            const UINT dpi = win::DpiOf(d);
            if (text.size() < 10) {
                EXPECT_EQ(panel.right - panel.left, win::Scale(409, dpi)) << "the design's panel";
            } else {
                EXPECT_GT(panel.right - panel.left, win::Scale(409, dpi));
                RECT frame, work{};
                ::GetWindowRect(d, &frame);
                ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
                EXPECT_LE(frame.right - frame.left, work.right - work.left);
            }
            EXPECT_NEAR((ok.left + ok.right) / 2, (panel.left + panel.right) / 2, win::Scale(5, dpi)) << "Ok under the panel";
            EXPECT_GE(ok.top, panel.bottom);
            ::PostMessageW(d, WM_COMMAND, IDOK, 0);
        });
        main->ShowSystemMessage(text);
    }
    EXPECT_EQ(answers.Seen().size(), 2u);
}

// The about box's lines that are cut short say themselves whole in a tip;
// the machine line always does, as it names where the program works.
struct TAboutLook {
    bool seen = false;
    std::map<int, std::wstring> tips, shown;
};
TAboutLook gAbout;

BOOL CALLBACK FindAbout(HWND w, LPARAM p) {
    if (::GetDlgItem(w, IDC_RECYCLED)) *reinterpret_cast<HWND*>(p) = w;
    return TRUE;
}

BOOL CALLBACK ReadAboutTips(HWND w, LPARAM p) {
    wchar_t cls[64];
    ::GetClassNameW(w, cls, 64);
    if (std::wstring(cls) != TOOLTIPS_CLASSW || ::GetWindow(w, GW_OWNER) != reinterpret_cast<HWND>(p)) return TRUE;
    for (int id : {IDC_MACHINE, IDC_LOADING}) {
        wchar_t text[512] = L"";
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = reinterpret_cast<HWND>(p);
        tool.uId = UINT_PTR(id);
        tool.lpszText = text;
        if (::SendMessageW(w, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) == 0) continue;
        tool.lpszText = text;
        ::SendMessageW(w, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
        gAbout.tips[id] = text;
    }
    return TRUE;
}

void CALLBACK LookAtAbout(HWND, UINT, UINT_PTR, DWORD) {
    HWND about = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindAbout, reinterpret_cast<LPARAM>(&about));
    if (!about || gAbout.seen) return;
    gAbout.seen = true;
    for (int id : {IDC_MACHINE, IDC_LOADING}) gAbout.shown[id] = win::ToW(win::WindowText(::GetDlgItem(about, id)));
    ::EnumThreadWindows(::GetCurrentThreadId(), ReadAboutTips, reinterpret_cast<LPARAM>(about));
    ::EndDialog(about, IDOK);
}

TEST_F(MainWindow, AboutLinesCutShortSayTheRestInTips) {
    gAbout = TAboutLook();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, LookAtAbout);
    MainCommand(IDM_ABOUT);
    ::KillTimer(nullptr, timer);
    ASSERT_TRUE(gAbout.seen);
    const std::wstring machine = win::ToW(cLogMachine + platform::CurrentBackend().Describe());
    EXPECT_EQ(gAbout.tips[IDC_MACHINE], machine);
    const std::wstring& shownMachine = gAbout.shown[IDC_MACHINE];
    EXPECT_TRUE(shownMachine == machine || shownMachine.find(L"...") != std::wstring::npos) << "whole or cut in the middle";
    const std::wstring recycled = win::ToW(cAboutRecycledBits);
    if (gAbout.shown[IDC_LOADING] == recycled)
        EXPECT_EQ(gAbout.tips.count(IDC_LOADING), 0u) << "a whole line needs no tip";
    else
        EXPECT_EQ(gAbout.tips[IDC_LOADING], recycled);
}

}  // namespace
}  // namespace tarnel::wintest
