// The program's windows made as start-up makes them, over a store the test
// sets up, with the dialogs answered by the test.
#pragma once

#include "core/shell/uConst.h"
#include "win/WinTestSupport.h"
#include "win/catalogue/uNTCodecs.h"
#include "win/resource.h"
#include "win/shell/uLogging.h"
#include "win/shell/uMain.h"
#include "win/shell/uStartup.h"

namespace tarnel::wintest {

class WinProgram : public ::testing::Test {
protected:
    TStoreGuard guard;
    std::unique_ptr<TLog> log = FixedLog();
    TDialogAnswers answers;
    win::TfMain* main = nullptr;
    win::TfNTCodecs* codecs = nullptr;

    void Start() {
        main = win::StartProgram(*log);
        codecs = win::fNTCodecs;
        Pump();
    }
    void Show() {
        ::ShowWindow(main->Handle, SW_SHOWNORMAL);
        ::UpdateWindow(main->Handle);
        Pump();
    }
    void Restart() {
        win::EndProgram();
        Pump();
        log = FixedLog();
        Start();
    }
    void TearDown() override {
        win::EndProgram();
        Pump();
        EXPECT_EQ(answers.Pending(), 0u) << "a dialog the test waited for did not come";
    }

    // The demo machine's codecs: five that load, one whose driver file is
    // missing, and two inactive ones, the first the twin of mjpg.
    static void DemoStore() {
        SetStoreActive({{"vidc.mjpg", "lcmjpeg.dll"},
                        {"vidc.yuy2", "pbyuv.dll"},
                        {"vidc.i420", "tsplanar.dll"},
                        {"vidc.vrh2", "vrnhd.dll"},
                        {"vidc.kwd3", "kwdelta.dll"},
                        {"vidc.xmv7", "xmvdec.dll"}});
        SetStoreInactive({{"mjpg", "kwmjpeg.dll", "KW MJPEG", "Kestrelwood Motion JPEG Decoder", "1.2.0.7", "32"},
                          {"ptx8", "pbtex.dll", "PB Texture", "Pixelbrook Texture Video Codec", "0.5.0.12", "32"}});
    }

    // The row of an active FOURCC; -1 when it is not there.
    int ActiveRow(const std::string& fourcc) const {
        const std::vector<std::string> rows = Column(codecs->CodecList, 0);
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i] == fourcc) return int(i);
        return -1;
    }
    // Selects exactly these rows of a list, as clicks would.
    void SelectOnly(HWND list, std::initializer_list<int> rows) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&item));
        for (int row : rows) {
            item.state = LVIS_SELECTED;
            ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&item));
        }
    }
    // A menu command as the popup menu sends it.
    void Command(int id) { ::SendMessageW(codecs->WindowsNTCodecsPanel, WM_COMMAND, WPARAM(id), 0); }
};

}  // namespace tarnel::wintest
