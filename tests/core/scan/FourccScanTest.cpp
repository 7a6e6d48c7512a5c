// The FOURCC scan on driver files the tests make: which bytes give
// candidates, what the probes answer, the status of each found FOURCC, and a
// store that is exactly as it was after the scan.
#include "core/scan/FourccScan.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/shell/uConst.h"
#include "platform/api/Backend.h"
#include "platform/api/Registry.h"
#include "platform/machine/Machine.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Recorder : TScanProgress {
    uint64_t size = 0;
    std::vector<std::pair<uint64_t, int>> steps;
    bool ended = false;
    void Start(uint64_t s) override { size = s; }
    void Advance(uint64_t position, int percent) override { steps.emplace_back(position, percent); }
    void End() override { ended = true; }
};

class Scan : public ::testing::Test {
protected:
    // The driver `file` (made from `image` plus `tail`) registered as the
    // active codec `fourcc`, selected.
    void Prepare(const std::string& image, const std::string& tail, const std::string& fourcc = "base") {
        std::ofstream(machine.System32() / "scanme.dll", std::ios::binary) << image << tail;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, true));
        reg.WriteString("vidc." + fourcc, "scanme.dll");
    }
    void Load() {
        prefs.CodecStoreMode = 3;
        catalogue = std::make_unique<TCodecCatalogue>(prefs, log);
        catalogue->LoadActiveList();
        catalogue->LoadInactiveCodecList();
        for (size_t i = 0; i < catalogue->CodecList.Count(); ++i)
            if (catalogue->CodecList.Entry(i).Driver == "scanme.dll") row = i;
    }
    std::vector<std::string> Logged(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& l : log.Lines())
            if (size_t at = l.find(prefix); at != std::string::npos) out.push_back(l.substr(at + prefix.size()));
        return out;
    }
    const TFoundRow* FoundRow(const TScanOutcome& o, const std::string& fourcc) const {
        for (const TFoundRow& f : o.Found)
            if (f.Fourcc == fourcc) return &f;
        return nullptr;
    }

    test::TempMachine machine{TMachineFamily::NT, /*demo=*/true};
    TPreferences prefs;
    TLog log;
    std::unique_ptr<TCodecCatalogue> catalogue;
    size_t row = 0;  // the scanned codec's
};

}  // namespace

TEST(ScanCandidates, TheFourBytesAfterAMarker) {
    auto is = [](const char* s) { return IsFourccCandidate(reinterpret_cast<const unsigned char*>(s)); };
    EXPECT_TRUE(is("xvid"));
    EXPECT_TRUE(is("XVID"));
    EXPECT_TRUE(is("ab1 ")) << "a trailing blank";
    EXPECT_TRUE(is("a000"));
    EXPECT_FALSE(is("0abc")) << "the first may not be a digit";
    EXPECT_FALSE(is("abc!"));
    EXPECT_FALSE(is("a b1"));
    EXPECT_FALSE(is("=abc"));
}

TEST_F(Scan, NotADriverFailsEveryCandidateAtEveryPlace) {
    // 50 bytes: a candidate twice, "==abcd" (one candidate, from the second
    // marker), a non-candidate and a marker in the last byte.
    std::string body = "..=qzx1..=qzx1....==abcd..=0abc";
    body += std::string(50 - body.size() - 1, '.') + "=";
    ASSERT_EQ(body.size(), 50u);
    Prepare("", body);
    Load();
    Recorder progress;
    const std::string before = Slurp(SystemHivePath());
    TScanOutcome o = ScanCodec(*catalogue, row, &progress);
    EXPECT_EQ(o.Kind, TScanOutcome::NothingFound);
    EXPECT_EQ(Logged("Found possible FOURCC : "),
              (std::vector<std::string>{"qzx1 <- Failed", "qzx1 <- Failed", "abcd <- Failed"}));
    ASSERT_FALSE(progress.steps.empty());
    EXPECT_EQ(progress.steps.back(), std::make_pair(uint64_t(50), 100)) << "the last marker byte shows 100%";
    EXPECT_EQ(progress.steps.size(), 6u) << "one step per marker byte";
    EXPECT_TRUE(progress.ended);
    EXPECT_EQ(Slurp(SystemHivePath()), before);
}

TEST_F(Scan, FoundFourccsAndTheirStatus) {
    // The driver answers i420, iyuv and yv12; its own description names them
    // (each right after an "="), so they are found before the tail.
    const std::string image = Slurp(machine.System32() / "tsplanar.dll");
    Prepare(image, "=I420..=IYUV..=zzzz..=zzzz", "i420");
    // yv12 belongs to another driver's active codec; the scanned driver also
    // has an inactive i420 entry.
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, true));
        reg.WriteString("vidc.yv12", "pbyuv.dll");
        ASSERT_TRUE(reg.OpenKey("\\" + std::string(cInactiveKey), true));
        std::vector<std::string> texts{"iyuv", "SCANME.DLL", "T", "D", "1", "32"};
        WriteBinaryStrings(reg, "#009#", texts);
    }
    Load();
    const std::string before = Slurp(SystemHivePath());
    TScanOutcome o = ScanCodec(*catalogue, row, nullptr);
    ASSERT_EQ(o.Kind, TScanOutcome::FoundSome);
    ASSERT_TRUE(FoundRow(o, "i420") && FoundRow(o, "iyuv") && FoundRow(o, "yv12"));
    EXPECT_EQ(FoundRow(o, "i420")->Status, "Used (Active)");
    EXPECT_EQ(FoundRow(o, "iyuv")->Status, "Used (Inactive)");
    EXPECT_EQ(FoundRow(o, "yv12")->Status, "Not Used") << "probed with the other codec taken out";
    EXPECT_EQ(FoundRow(o, "yv12")->Shortname, "Tessaly Planar");
    EXPECT_EQ(FoundRow(o, "yv12")->Driver, "scanme.dll");
    EXPECT_EQ(FoundRow(o, "yv12")->Version, "3.1.0.2");
    EXPECT_FALSE(FoundRow(o, "I420") || FoundRow(o, "IYUV")) << "a FOURCC found already is skipped";
    auto lines = Logged("Found possible FOURCC : ");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "I420 <- Valid"), 0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "IYUV <- Valid"), 0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "zzzz <- Failed"), 2);
    EXPECT_EQ(Slurp(SystemHivePath()), before) << "no probe reaches the store";
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(cDrivers32Key));
    EXPECT_EQ(reg.ReadString("vidc.yv12"), "pbyuv.dll");
}

TEST_F(Scan, EmptyAndMissingFiles) {
    Prepare("", "");
    Load();
    EXPECT_EQ(ScanCodec(*catalogue, row, nullptr).Kind, TScanOutcome::EmptyFile);
    fs::remove(machine.System32() / "scanme.dll");
    try {
        ScanCodec(*catalogue, row, nullptr);
        ADD_FAILURE() << "a missing file was scanned";
    } catch (const EPlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("scanme.dll"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ScanCodec(*catalogue, catalogue->CodecList.Count(), nullptr).Kind, TScanOutcome::NothingSelected);
}

TEST(FoundDialog, AddsEachFreeSelectedRowOnce) {
    std::vector<TFoundRow> rows(3);
    rows[0] = {"XVID", "X", "Not Used", "scanme.dll", "XV", "1.0", "32"};
    rows[1] = {"yv12", "Y", "Used (Active)", "scanme.dll", "YV", "1.0", "32"};
    rows[2] = {"ab1 ", "A", "Not Used", "scanme.dll", "AB", "1.0", "16"};
    TCodecList inactive;
    EXPECT_FALSE(AddFoundToInactive(rows, inactive)) << "nothing selected";
    rows[0].Selected = rows[1].Selected = true;
    EXPECT_TRUE(AddFoundToInactive(rows, inactive));
    EXPECT_TRUE(AddFoundToInactive(rows, inactive));
    ASSERT_EQ(inactive.Count(), 1u) << "a used row is never added, a row added once is used";
    EXPECT_EQ(inactive.Entry(0).Fourcc, "xvid");
    EXPECT_EQ(inactive.Entry(0).Number, "");
    EXPECT_EQ(rows[0].Status, "Used (Inactive)");
}

TEST(ScanProfileStore, ProbesOfThe98FamilyLeaveSystemIniAsItWas) {
    test::TempMachine machine(TMachineFamily::Win9x, /*demo=*/true);
    TPreferences prefs;
    prefs.CodecStoreMode = 1;
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    catalogue.LoadActiveList();
    catalogue.LoadInactiveCodecList();
    const size_t i420 = *catalogue.CodecList.FindCaption("i420");
    const std::string ini = Slurp(SystemIniPath());
    TScanOutcome o = ScanCodec(catalogue, i420, nullptr);
    ASSERT_EQ(o.Kind, TScanOutcome::FoundSome);
    std::vector<std::string> found;
    for (const TFoundRow& f : o.Found) found.push_back(f.Fourcc + " " + f.Status);
    EXPECT_EQ(found, (std::vector<std::string>{"i420 Used (Active)", "iyuv Used (Inactive)", "yv12 Used (Active)"}));
    EXPECT_EQ(Slurp(SystemIniPath()), ini);
}

TEST(FoundDialog, ColumnsAndTheRowsDrawnAsInUse) {
    TFoundRow row{"ab1 ", "Desc", "Not Used", "scanme.dll", "AB", "1.0", "16"};
    std::vector<std::string> cells;
    for (int c = 0; c < flCount; ++c) cells.push_back(FoundCellText(row, c));
    EXPECT_EQ(cells, (std::vector<std::string>{"ab1 ", "Desc", "Not Used", "scanme.dll", "AB", "1.0", "16"}));
    EXPECT_EQ(FoundColumns().size(), size_t(flCount));
    EXPECT_EQ(FoundColumns()[flStatus].Width, 100);
    EXPECT_EQ(FoundColumns()[flDriver].Width, 0) << "hidden";
    EXPECT_FALSE(FoundRowInUse(row));
    for (const char* status : {"Used (Active)", "Used (Inactive)", "Not used", "Not Used "}) {
        row.Status = status;
        EXPECT_TRUE(FoundRowInUse(row)) << "anything but exactly Not Used: " << status;
    }
}
