// The codec window on the Windows API, made in-process over a store the test
// sets up and driven by messages: the rows and their colours, the counters,
// the drags each list takes, the moves and what the store holds after them.
#include <algorithm>

#include "win/WinProgram.h"

namespace tarnel::wintest {
namespace {

class CodecWindow : public WinProgram {
protected:
    void SetUp() override {
        InstallDemoDrivers();
        DemoStore();
        Start();
    }
    // "fourcc=driver" per row, as the list controls show them.
    static std::vector<std::string> Rows(HWND list) {
        const std::vector<std::string> fourccs = Column(list, 0), drivers = Column(list, 1);
        std::vector<std::string> rows;
        for (size_t i = 0; i < fourccs.size() && i < drivers.size(); ++i) rows.push_back(fourccs[i] + "=" + drivers[i]);
        return rows;
    }
    // The same out of the store: the active entries and the inactive ones in their numbers' order.
    static std::pair<std::vector<std::string>, std::vector<std::string>> Stored() {
        std::vector<std::string> active, inactive;
        for (const auto& [name, driver] : StoreActive()) active.push_back(name.substr(5) + "=" + driver);
        for (const auto& [number, texts] : StoreInactive())
            if (texts.size() >= 2) inactive.push_back(texts[0] + "=" + texts[1]);
        return {active, inactive};
    }
    static std::vector<std::string> Sorted(std::vector<std::string> rows) {
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    int InactiveRow(const std::string& fourcc) const {
        const std::vector<std::string> rows = Column(codecs->InactiveCodecList, 0);
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i] == fourcc) return int(i);
        return -1;
    }
    // A double-click on a row: its first click selects the row, then the
    // list tells its parent, as the list control does.
    void DoubleClick(HWND list, int row) {
        SelectOnly(list, {row});
        NMITEMACTIVATE note{};
        note.hdr.hwndFrom = list;
        note.hdr.idFrom = UINT_PTR(::GetDlgCtrlID(list));
        note.hdr.code = NM_DBLCLK;
        note.iItem = row;
        ::SendMessageW(::GetParent(list), WM_NOTIFY, note.hdr.idFrom, reinterpret_cast<LPARAM>(&note));
        Pump();
    }
};

TEST_F(CodecWindow, StartUpShowsTheStoreWithCountersTwinsInRedAndBrokenDriversMarked) {
    EXPECT_EQ(Sorted(Rows(codecs->CodecList)), Stored().first);
    EXPECT_EQ(Rows(codecs->InactiveCodecList), Stored().second);
    EXPECT_EQ(Column(codecs->InactiveCodecList, 5), (std::vector<std::string>{"001", "002"})) << "the numbers";
    EXPECT_EQ(main->StatusText(1), "Active : 6");
    EXPECT_EQ(main->StatusText(2), "Inactive : 2");

    const int mjpg = ActiveRow("mjpg"), yuy2 = ActiveRow("yuy2"), xmv7 = ActiveRow("xmv7");
    ASSERT_GE(mjpg, 0);
    ASSERT_GE(yuy2, 0);
    ASSERT_GE(xmv7, 0);
    EXPECT_EQ(codecs->RowTextColour(size_t(mjpg)), RGB(255, 0, 0)) << "mjpg has an inactive twin";
    EXPECT_EQ(codecs->RowTextColour(size_t(yuy2)), CLR_DEFAULT);
    EXPECT_TRUE(codecs->RowMarked(size_t(xmv7))) << "its driver file is missing";
    EXPECT_FALSE(codecs->RowMarked(size_t(yuy2)));
}

TEST_F(CodecWindow, EachListTakesDragsFromTheOtherListOnly) {
    EXPECT_TRUE(codecs->InactiveCodecListDragOver(codecs->CodecList));
    EXPECT_FALSE(codecs->InactiveCodecListDragOver(codecs->InactiveCodecList)) << "its own rows";
    EXPECT_FALSE(codecs->InactiveCodecListDragOver(nullptr)) << "a drag from another program";
    EXPECT_TRUE(codecs->CodecListDragOver(codecs->InactiveCodecList));
    EXPECT_FALSE(codecs->CodecListDragOver(codecs->CodecList));
    EXPECT_FALSE(codecs->CodecListDragOver(codecs->WindowsNTCodecsPanel));
}

TEST_F(CodecWindow, DeactivationMovesTheSelectionInOrderAndSavesAtOnce) {
    const std::vector<std::string> active0 = Rows(codecs->CodecList);
    SelectOnly(codecs->CodecList, {ActiveRow("yuy2"), ActiveRow("vrh2")});
    main->SetStatusText(1, "stale");
    Command(IDM_DEACTIVATE);

    const std::vector<std::string> inactive = Rows(codecs->InactiveCodecList);
    ASSERT_EQ(inactive.size(), 4u);
    // In the active list's order, after the rows that were there.
    const bool yuy2First = std::find(active0.begin(), active0.end(), "yuy2=pbyuv.dll") <
                           std::find(active0.begin(), active0.end(), "vrh2=vrnhd.dll");
    EXPECT_EQ(inactive[2], yuy2First ? "yuy2=pbyuv.dll" : "vrh2=vrnhd.dll");
    EXPECT_EQ(inactive[3], yuy2First ? "vrh2=vrnhd.dll" : "yuy2=pbyuv.dll");
    EXPECT_EQ(Column(codecs->InactiveCodecList, 5), (std::vector<std::string>{"001", "002", "003", "004"}));
    EXPECT_EQ(ActiveRow("yuy2"), -1);
    EXPECT_EQ(ActiveRow("vrh2"), -1);
    EXPECT_EQ(Sorted(Rows(codecs->CodecList)), Stored().first);
    EXPECT_EQ(Sorted(inactive), Sorted(Stored().second));
    EXPECT_EQ(main->StatusText(1), "Active : 4");
    EXPECT_EQ(main->StatusText(2), "Inactive : 4");
    EXPECT_TRUE(Selected(codecs->CodecList).empty());

    int swaps = 0;
    for (const std::string& line : LogTexts(*log))
        if (line.rfind("Swapping -> ", 0) == 0 && line.find("to Inactive Codec List") != std::string::npos) ++swaps;
    EXPECT_EQ(swaps, 2) << "one log line per codec moved";

    // Nothing selected: nothing moves, the store and the counters are written all the same.
    main->SetStatusText(2, "stale");
    Command(IDM_DEACTIVATE);
    EXPECT_EQ(Rows(codecs->InactiveCodecList), inactive);
    EXPECT_EQ(main->StatusText(2), "Inactive : 4");
}

TEST_F(CodecWindow, DoubleClicksMoveCodecsUnlessSwitchedOff) {
    const std::vector<std::string> active0 = Sorted(Rows(codecs->CodecList));
    main->Settings.DisableDoubleClick = true;
    DoubleClick(codecs->CodecList, ActiveRow("yuy2"));
    EXPECT_EQ(Sorted(Rows(codecs->CodecList)), active0);
    EXPECT_EQ(Stored().first, active0);

    main->Settings.DisableDoubleClick = false;
    DoubleClick(codecs->CodecList, ActiveRow("yuy2"));
    EXPECT_EQ(ActiveRow("yuy2"), -1);
    ASSERT_FALSE(Rows(codecs->InactiveCodecList).empty());
    EXPECT_EQ(Rows(codecs->InactiveCodecList).back(), "yuy2=pbyuv.dll");
    EXPECT_EQ(Sorted(Rows(codecs->CodecList)), Stored().first);
}

TEST_F(CodecWindow, ActivatingATwinAsksAndSwapsOnlyOnYes) {
    main->Settings.AutoSwap = false;
    const std::vector<std::string> active0 = Sorted(Rows(codecs->CodecList));
    const auto stored0 = Stored();

    SelectOnly(codecs->InactiveCodecList, {InactiveRow("mjpg")});
    answers.ThenPress(IDCANCEL);
    Command(IDM_ACTIVATE);
    ASSERT_EQ(answers.Seen().size(), 1u);
    EXPECT_TRUE(answers.Seen()[0].Has("Codec with same FOURCC already exists, swap them?"));
    EXPECT_EQ(Sorted(Rows(codecs->CodecList)), active0);
    EXPECT_EQ(Stored(), stored0);

    SelectOnly(codecs->InactiveCodecList, {InactiveRow("mjpg")});
    answers.ThenPress(IDYES);
    Command(IDM_ACTIVATE);
    ASSERT_EQ(answers.Seen().size(), 2u);
    EXPECT_EQ(Rows(codecs->CodecList).back(), "mjpg=kwmjpeg.dll");
    EXPECT_EQ(Rows(codecs->InactiveCodecList).back(), "mjpg=lcmjpeg.dll");
    EXPECT_EQ(StoreActive().at("vidc.mjpg"), "kwmjpeg.dll") << "the swap is in the store";
    EXPECT_EQ(main->StatusText(1), "Active : 6");
    EXPECT_EQ(main->StatusText(2), "Inactive : 2");
    EXPECT_EQ(answers.Unexpected(), 0u);
}

TEST_F(CodecWindow, RemovalHappensOnlyAfterYes) {
    SelectOnly(codecs->InactiveCodecList, {InactiveRow("ptx8")});
    answers.ThenPress(IDNO);
    Command(IDM_REMOVEINACTIVE);
    EXPECT_GE(InactiveRow("ptx8"), 0);
    EXPECT_EQ(StoreInactive().size(), 2u);

    SelectOnly(codecs->InactiveCodecList, {InactiveRow("ptx8")});
    answers.ThenPress(IDYES);
    Command(IDM_REMOVEINACTIVE);
    EXPECT_EQ(InactiveRow("ptx8"), -1);
    EXPECT_EQ(Rows(codecs->InactiveCodecList), Stored().second);
    EXPECT_EQ(main->StatusText(2), "Inactive : 1");
    ASSERT_EQ(answers.Seen().size(), 2u);
    EXPECT_TRUE(answers.Seen()[0].Has("Are you sure you want to remove selected FOURCC's"));
}

}  // namespace
}  // namespace tarnel::wintest
