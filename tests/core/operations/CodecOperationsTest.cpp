// The codec operations on machines the tests write: what the lists become,
// what the store holds afterwards (every entry the lists do not show
// survives byte for byte), and saves that are refused write nothing.
#include "core/operations/CodecOperations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "core/catalogue/CodecView.h"
#include "core/shell/uConst.h"
#include "core/catalogue/uCodecs.h"
#include "platform/api/Profile.h"
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

// Answers the questions from a script, and counts them.
struct Script : TOperationQuestions {
    std::vector<TAnswer> swaps;
    TAnswer remove = TAnswer::Yes;
    int asked = 0;
    TAnswer AskSwap(const TCodecEntry&, const TCodecEntry&) override {
        ++asked;
        TAnswer a = swaps.empty() ? TAnswer::Yes : swaps.front();
        if (!swaps.empty()) swaps.erase(swaps.begin());
        return a;
    }
    TAnswer AskRemove() override {
        ++asked;
        return remove;
    }
};

void Put(const char* key, const std::string& name, const std::string& value) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteString(name, value);
}

void PutInactive(const std::string& name, std::vector<std::string> texts) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
    WriteBinaryStrings(reg, name, texts);
}

// "fourcc=driver" of each row, and "#number fourcc=driver type" of inactive ones.
std::vector<std::string> Active(const TCodecCatalogue& c) {
    std::vector<std::string> out;
    for (const TCodecEntry& e : c.CodecList.Entries()) out.push_back(e.Fourcc + "=" + e.Driver);
    return out;
}
std::vector<std::string> Inactive(const TCodecCatalogue& c) {
    std::vector<std::string> out;
    for (const TCodecEntry& e : c.InactiveCodecList.Entries())
        out.push_back("#" + NumberText(e) + " " + e.Fourcc + "=" + e.Driver + " " + e.Type);
    return out;
}

std::vector<std::string> Values(const char* key) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    std::vector<std::string> out;
    if (!reg.OpenKeyReadOnly(key)) return out;
    std::vector<TRegistry::TValue> values;
    reg.GetValues(values);
    for (auto& v : values) out.push_back(v.Name + (v.Type == kRegSz ? "=" + std::string(v.Data.c_str()) : ""));
    return out;
}

class Operations : public ::testing::Test {
protected:
    void Load(int32_t mode = 3) {
        prefs.CodecStoreMode = mode;
        catalogue = std::make_unique<TCodecCatalogue>(prefs, log);
        catalogue->LoadActiveList();
        catalogue->LoadInactiveCodecList();
        ops = std::make_unique<TCodecOperations>(*catalogue, answers);
    }
    void SelectActive(std::initializer_list<size_t> rows) {
        catalogue->CodecList.SelectOnly(rows);
    }
    void SelectInactive(std::initializer_list<size_t> rows) {
        catalogue->InactiveCodecList.SelectOnly(rows);
    }
    // The lists as the store holds them now.
    std::pair<std::vector<std::string>, std::vector<std::string>> Reloaded() {
        TCodecCatalogue again(prefs, log);
        again.LoadActiveList();
        again.LoadInactiveCodecList();
        return {Active(again), Inactive(again)};
    }

    TPreferences prefs;
    TLog log;
    Script answers;
    std::unique_ptr<TCodecCatalogue> catalogue;
    std::unique_ptr<TCodecOperations> ops;
};

}  // namespace

TEST_F(Operations, DeactivationMovesTheSelectedRowsInOrderAndKeepsWhatItDoesNotShow) {
    test::TempMachine m;
    Put(cDrivers32Key, "msacm.imaadpcm", "imaadp32.acm");
    Put(cDrivers32Key, "VIDC.MJPG", "mjpeg.dll");
    Put(cDrivers32Key, "vidc.yuy2", "yuy2.dll");
    Put(cDrivers32Key, "vidc", "nopoint.dll");
    Put(cDrivers32Key, "vidcx.abcd", "other.dll");
    Put(cDrivers32Key, "vidc.iv50", "ir50.dll");
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, true));
        reg.WriteInteger("vidc.odd", 7);  // a codec entry that is not text
    }
    PutInactive("#001#", {"mjpg", "kwmjpeg.dll", "KW", "Old MJPEG", "1.0", "32"});
    Put(cInactiveKey, "#note", "not an entry");
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
        reg.WriteBinaryData("#", "x", 1);
    }
    Load();
    ASSERT_EQ(Active(*catalogue), (std::vector<std::string>{"mjpg=mjpeg.dll", "yuy2=yuy2.dll", "iv50=ir50.dll"}));

    SelectActive({2, 0});
    TOperationResult r = ops->Deactivate(catalogue->CodecList.SelectedRows());
    EXPECT_TRUE(r.Saved) << r.Error;
    EXPECT_EQ(Active(*catalogue), (std::vector<std::string>{"yuy2=yuy2.dll"}));
    // Appended in the active list's order, after the codec of the same FOURCC
    // already there, and numbered without gaps.
    EXPECT_EQ(Inactive(*catalogue), (std::vector<std::string>{"#001 mjpg=kwmjpeg.dll 32", "#002 mjpg=mjpeg.dll 32",
                                                               "#003 iv50=ir50.dll 32"}));
    const auto& lines = log.Lines();
    EXPECT_NE(lines[lines.size() - 2].find("Swapping -> mjpg  to Inactive Codec List"), std::string::npos);

    EXPECT_EQ(Reloaded(), std::make_pair(Active(*catalogue), Inactive(*catalogue)));
    EXPECT_EQ(Values(cDrivers32Key), (std::vector<std::string>{"msacm.imaadpcm=imaadp32.acm", "vidc=nopoint.dll",
                                                                "vidcx.abcd=other.dll", "vidc.odd",
                                                                "vidc.yuy2=yuy2.dll"}));
    // The entries as they were before, under the names found.
    EXPECT_EQ(Values(cDrivers32BackupKey), (std::vector<std::string>{"VIDC.MJPG=mjpeg.dll", "vidc.yuy2=yuy2.dll",
                                                                      "vidc.iv50=ir50.dll"}));
    auto inactiveValues = Values(cInactiveKey);
    EXPECT_EQ(std::count(inactiveValues.begin(), inactiveValues.end(), "#note=not an entry"), 1);
    EXPECT_EQ(std::count(inactiveValues.begin(), inactiveValues.end(), "#"), 1);

    // Nothing selected: nothing moves, the lists are still saved.
    catalogue->CodecList.SelectAll(false);
    EXPECT_TRUE(ops->Deactivate(catalogue->CodecList.SelectedRows()).Saved);
    EXPECT_EQ(Values(cDrivers32BackupKey), (std::vector<std::string>{"vidc.yuy2=yuy2.dll"}));
}

TEST_F(Operations, SwapsFollowAutoSwapAndTheAnswers) {
    test::TempMachine m;
    Put(cDrivers32Key, "vidc.mjpg", "mjpeg.dll");
    Put(cDrivers32Key, "vidc.abcde", "five.dll");
    PutInactive("#001#", {"MJPG", "kwmjpeg.dll", "KW", "Other MJPEG", "1.0", "16"});
    PutInactive("#002#", {"abcd", "abcd.dll", "AB", "Four", "2.0", "32"});
    PutInactive("#003#", {"new1", "new.dll", "NW", "Fresh", "3.0", "32"});
    Load();

    prefs.AutoSwap = false;
    answers.swaps = {TAnswer::No, TAnswer::Cancel};
    SelectInactive({0, 1, 2});
    ops->Activate(catalogue->InactiveCodecList.SelectedRows());
    EXPECT_EQ(answers.asked, 2) << "No goes on with the next codec, Cancel ends the run";
    EXPECT_EQ(Active(*catalogue), (std::vector<std::string>{"mjpg=mjpeg.dll", "abcde=five.dll"}));

    // Yes (and AutoSwap, which never asks) swaps; capitals find small letters
    // and a four-character FOURCC finds the longer one it begins.
    answers = Script{};
    SelectInactive({0, 1});
    ops->Activate(catalogue->InactiveCodecList.SelectedRows());
    EXPECT_EQ(answers.asked, 2);
    EXPECT_EQ(Active(*catalogue), (std::vector<std::string>{"MJPG=kwmjpeg.dll", "abcd=abcd.dll"}));
    // The codecs swapped out are 32-bit drivers whatever they were.
    EXPECT_EQ(Inactive(*catalogue), (std::vector<std::string>{"#001 new1=new.dll 32", "#002 mjpg=mjpeg.dll 32",
                                                               "#003 abcde=five.dll 32"}));
    // A 16-bit codec goes back to the Drivers key.
    EXPECT_EQ(Values(cDriversKey), (std::vector<std::string>{"vidc.MJPG=kwmjpeg.dll"}));
    EXPECT_EQ(Values(cDrivers32Key), (std::vector<std::string>{"vidc.abcd=abcd.dll"}));
}

TEST_F(Operations, TwoRowsOfOneFourccActivateOneAfterTheOther) {
    test::TempMachine m;
    PutInactive("#001#", {"xvid", "first.dll", "A", "First", "1", "32"});
    PutInactive("#002#", {"XVID", "second.dll", "B", "Second", "2", "32"});
    Load();
    prefs.AutoSwap = true;
    SelectInactive({0, 1});
    EXPECT_TRUE(ops->Activate(catalogue->InactiveCodecList.SelectedRows()).Saved);
    EXPECT_EQ(Active(*catalogue), (std::vector<std::string>{"XVID=second.dll"}));
    EXPECT_EQ(Inactive(*catalogue), (std::vector<std::string>{"#001 xvid=first.dll 32"}));
    EXPECT_EQ(answers.asked, 0);
}

TEST_F(Operations, ActivatedCodecsVersionIsReadWhereTheSystemFindsIt) {
    test::TempMachine m;
    fs::copy_file(test::PeFixture("version32.dll"), m.System32() / "bwlt.dll");
    PutInactive("#001#", {"bwlt", "bwlt.dll", "B", "D", "stored 1.0", "32"});
    PutInactive("#002#", {"full", "C:\\WINDOWS\\system32\\bwlt.dll", "F", "D", "2.0", "7"});
    Load();
    SelectInactive({0, 1});
    ops->Activate(catalogue->InactiveCodecList.SelectedRows());
    ASSERT_EQ(catalogue->CodecList.Count(), 2u);
    EXPECT_EQ(catalogue->CodecList.Entry(0).Version, "stored 1.0") << "the stored version text";
    EXPECT_FALSE(catalogue->CodecList.Entry(0).VersionInfo->FileVersion.empty());
    EXPECT_FALSE(catalogue->CodecList.Entry(1).VersionInfo->FileVersion.empty()) << "a full path is used as it is";
    const std::string wanted = " : Getting Version Information from Codec : C:\\WINDOWS\\System32\\bwlt.dll";
    EXPECT_NE(std::find_if(log.Lines().begin(), log.Lines().end(),
                           [&](const std::string& l) { return l.ends_with(wanted); }),
              log.Lines().end());
    // A row of an unknown type is written where the loader finds it again.
    EXPECT_EQ(Reloaded().first, (std::vector<std::string>{"bwlt=bwlt.dll", "full=C:\\WINDOWS\\system32\\bwlt.dll"}));
}

TEST_F(Operations, RemovalAsksAndRenumbers) {
    test::TempMachine m;
    PutInactive("#001#", {"aaaa", "a.dll", "A", "A", "1", "32"});
    PutInactive("#002#", {"bbbb", "b.dll", "B", "B", "1", "32"});
    PutInactive("#003#", {"cccc", "c.dll", "C", "C", "1", "32"});
    Load();
    SelectInactive({1});
    answers.remove = TAnswer::No;
    const std::string before = Slurp(SystemHivePath());
    EXPECT_FALSE(ops->RemoveInactive(catalogue->InactiveCodecList.SelectedRows()).Changed);
    EXPECT_EQ(Slurp(SystemHivePath()), before);
    answers.remove = TAnswer::Yes;
    EXPECT_TRUE(ops->RemoveInactive(catalogue->InactiveCodecList.SelectedRows()).Saved);
    EXPECT_EQ(Reloaded().second, (std::vector<std::string>{"#001 aaaa=a.dll 32", "#002 cccc=c.dll 32"}));
}

TEST_F(Operations, ProfileFileSaveRoundTripsAndKeepsEverythingElse) {
    test::TempMachine m(TMachineFamily::Win9x);
    const std::string ini = "[boot]\r\nshell=Explorer.exe\r\n\r\n[drivers32]\r\n; our codecs\r\n"
                            "msacm.imaadpcm = imaadp32.acm\r\nvidc.MJPG=mjpeg.dll\r\nvidc.xyz=a.dll\r\n"
                            "vidcx.abcd=other.dll\r\nVIDC.iv50=ir50.dll\r\n\r\n[mci]\r\ncdaudio=mcicda.drv\r\n";
    m.WriteFile("drive_c/windows/system.ini", ini);
    Load(1);
    ASSERT_EQ(Active(*catalogue), (std::vector<std::string>{"mjpg=mjpeg.dll", "xyz==a.dll", "iv50=ir50.dll"}));
    EXPECT_TRUE(ops->SaveCodecLists().Saved);
    EXPECT_TRUE(ops->SaveCodecLists().Saved) << "saved twice: the lines must not grow";
    EXPECT_EQ(Reloaded().first, Active(*catalogue));
    const std::string after = Slurp(SystemIniPath());
    EXPECT_NE(after.find("[boot]\r\nshell=Explorer.exe\r\n\r\n[drivers32]\r\n; our codecs\r\n"
                         "msacm.imaadpcm = imaadp32.acm\r\n"),
              std::string::npos)
        << after;
    EXPECT_NE(after.find("vidcx.abcd=other.dll\r\n"), std::string::npos);
    EXPECT_NE(after.find("vidc.xyz=a.dll\r\n"), std::string::npos);
    EXPECT_NE(after.find("[mci]\r\ncdaudio=mcicda.drv\r\n"), std::string::npos);
    EXPECT_EQ(Values(cDrivers32BackupKey), (std::vector<std::string>{"mjpg=mjpeg.dll", "xyz==a.dll", "iv50=ir50.dll"}));

    // Deactivation in this family: the line goes, the entry is in the registry.
    SelectActive({0});
    EXPECT_TRUE(ops->Deactivate(catalogue->CodecList.SelectedRows()).Saved);
    EXPECT_EQ(Slurp(SystemIniPath()).find("mjpeg.dll"), std::string::npos);
    EXPECT_EQ(Reloaded().second, (std::vector<std::string>{"#001 mjpg=mjpeg.dll 32"}));
}

TEST_F(Operations, ARefusedSaveWritesNothingAndShowsWhatIsStored) {
    test::TempMachine m;
    Put(cDrivers32Key, "vidc.mjpg", "mjpeg.dll");
    Put(cDrivers32Key, "vidc.yuy2", "yuy2.dll");
    Load();
    // Another program changed the entries after the lists were read.
    Put(cDrivers32Key, "vidc.new1", "new.dll");
    SelectActive({0});
    TOperationResult r = ops->Deactivate(catalogue->CodecList.SelectedRows());
    EXPECT_FALSE(r.Saved);
    EXPECT_EQ(r.Error, "The codec list was changed by another program and has been reloaded. "
                       "Please repeat the operation.");
    EXPECT_TRUE(r.Reloaded);
    EXPECT_EQ(Active(*catalogue), (std::vector<std::string>{"mjpg=mjpeg.dll", "yuy2=yuy2.dll", "new1=new.dll"}));

    // A read-only store: the error names the file, the lists show the store.
    const std::string stored = Slurp(SystemHivePath());
    ::chmod(SystemHivePath().c_str(), 0444);
    SelectActive({0});
    r = ops->Deactivate(catalogue->CodecList.SelectedRows());
    ::chmod(SystemHivePath().c_str(), 0644);
    EXPECT_FALSE(r.Saved);
    EXPECT_NE(r.Error.find("system.reg"), std::string::npos) << r.Error;
    EXPECT_EQ(Slurp(SystemHivePath()), stored);
    EXPECT_EQ(catalogue->CodecList.Count(), 3u);
    EXPECT_TRUE(catalogue->InactiveCodecList.Empty());

    // An inactive entry too long for the store is refused before any write.
    TCodecEntry tooLong;
    tooLong.Fourcc = "long";
    tooLong.Driver = "x.dll";
    tooLong.Shortname = std::string(2100, 'n');
    tooLong.Type = "32";
    catalogue->InactiveCodecList.Add(tooLong);
    r = ops->SaveCodecLists();
    EXPECT_FALSE(r.Saved);
    EXPECT_NE(r.Error.find("2047"), std::string::npos) << r.Error;
    EXPECT_EQ(Slurp(SystemHivePath()), stored);
}

// On a system the program does not support the lists are not from a store:
// no operation may show a change it did not make. Each says why, in the log
// too, and neither the lists nor the store move; no question is asked.
TEST_F(Operations, AnUnsupportedSystemChangesNothingAndSaysWhy) {
    test::TempMachine m;
    Put(cDrivers32Key, "vidc.mjpg", "mjpeg.dll");
    PutInactive("#001#", {"ptx8", "pbtex.dll", "PB", "Texture", "0.5", "32"});
    Load(0);
    ASSERT_TRUE(catalogue->CodecList.Empty()) << "the active store is not read";
    ASSERT_EQ(catalogue->InactiveCodecList.Count(), 1u) << "the program's own store is";
    TCodecEntry shown;
    shown.Fourcc = "xvid";
    catalogue->CodecList.Add(shown);
    const std::string hive = Slurp(SystemHivePath());
    const auto lists = std::make_pair(Active(*catalogue), Inactive(*catalogue));
    const std::vector<TOperationResult> results{
        ops->Activate({0}), ops->Deactivate({0}), ops->RemoveInactive({0}), ops->RestoreBackup(), ops->SaveLists(),
        ops->ScanAndAdd(0, true, {}).Result};
    for (const TOperationResult& r : results) {
        EXPECT_FALSE(r.Changed);
        EXPECT_FALSE(r.Saved);
        EXPECT_EQ(r.Error, cMsgNotChangedUnsupported);
    }
    EXPECT_EQ(answers.asked, 0);
    EXPECT_EQ(std::make_pair(Active(*catalogue), Inactive(*catalogue)), lists);
    EXPECT_EQ(Slurp(SystemHivePath()), hive);
    EXPECT_EQ(std::count_if(log.Lines().begin(), log.Lines().end(),
                            [](const std::string& l) { return l.ends_with(cMsgNotChangedUnsupported); }),
              6);
}

TEST_F(Operations, RestoringTheBackupCompletesItsEntriesAndKeepsTheInactiveList) {
    test::TempMachine m(TMachineFamily::NT, /*demo=*/true);
    Load();
    EXPECT_EQ(ops->RestoreBackup().Error, "The backup holds no codec entries; nothing was changed");
    const auto before = Active(*catalogue);
    EXPECT_TRUE(ops->Deactivate({0, 1}).Saved);  // mjpg and yuy2; the backup holds all twelve
    ASSERT_EQ(catalogue->CodecList.Count(), before.size() - 2);
    TOperationResult r = ops->RestoreBackup();
    ASSERT_TRUE(r.Saved) << r.Error;
    EXPECT_EQ(Active(*catalogue), before);
    const TCodecEntry& mjpg = catalogue->CodecList.Entry(0);
    EXPECT_EQ(mjpg.Shortname, "LC Motion JPEG") << "asked of the codec while its entry stood there";
    EXPECT_EQ(mjpg.Version, "2.4.0.118");
    ASSERT_TRUE(mjpg.VersionInfo);
    EXPECT_EQ(catalogue->InactiveCodecList.Count(), 6u) << "the inactive list is not touched";
    EXPECT_EQ(Reloaded(), std::make_pair(Active(*catalogue), Inactive(*catalogue)));
}

TEST_F(Operations, ScanAndAddReturnsTheRowsItAddedWithTheirNumbers) {
    test::TempMachine m(TMachineFamily::NT, /*demo=*/true);
    Load();
    const size_t i420 = *catalogue->CodecList.FindCaption("i420");
    const std::string hive = Slurp(SystemHivePath());
    EXPECT_THROW(ops->ScanAndAdd(i420, true, {"abcd"}), EOperationRefused);
    EXPECT_EQ(Slurp(SystemHivePath()), hive) << "a FOURCC the scan did not find writes nothing";

    // yv12 is in service and iyuv inactive already: only a free one is added.
    TScanAddResult r = ops->ScanAndAdd(i420, true, {});
    ASSERT_TRUE(r.Result.Saved) << r.Result.Error;
    EXPECT_EQ(r.Outcome.Kind, TScanOutcome::FoundSome);
    EXPECT_TRUE(r.Added.empty());
    // Taken out of service, yv12 is free to be found and added again.
    const size_t yv12 = *catalogue->CodecList.FindCaption("yv12");
    ASSERT_TRUE(ops->Deactivate({yv12}).Saved);
    ASSERT_TRUE(ops->RemoveInactive({catalogue->InactiveCodecList.Count() - 1}).Saved);
    r = ops->ScanAndAdd(*catalogue->CodecList.FindCaption("i420"), true, {"YV12"});
    ASSERT_TRUE(r.Result.Saved) << r.Result.Error;
    ASSERT_EQ(r.Added.size(), 1u);
    const TCodecEntry& added = catalogue->InactiveCodecList.Entry(r.Added[0]);
    EXPECT_EQ(added.Fourcc, "yv12");
    EXPECT_EQ(added.Number, "005");
    EXPECT_TRUE(log.Lines().back().ends_with("End Scanning Codec for other FOURCCs"));
    EXPECT_EQ(Reloaded().second.back(), "#005 yv12=tsplanar.dll 32");
}

TEST(EntriesByArguments, FourccsDriversAndNumbers) {
    TCodecList active, inactive;
    for (const auto& [fourcc, driver] : std::vector<std::pair<const char*, const char*>>{
             {"mjpg", "lcmjpeg.dll"}, {"yuy2", "pbyuv.dll"}, {"MJPG", "kwmjpeg.dll"}}) {
        TCodecEntry& e = active.Add();
        e.Fourcc = fourcc;
        e.Driver = driver;
    }
    EXPECT_EQ(ActiveRowsOf(active, "Mjpg"), (std::vector<size_t>{0, 2}));
    EXPECT_EQ(ActiveRowsOf(active, "mjpg", "KWMJPEG.DLL"), (std::vector<size_t>{2}));
    EXPECT_THROW(ActiveRowsOf(active, "mjpg", "pbyuv.dll"), EOperationRefused);
    EXPECT_THROW(ActiveRowsOf(active, "xvid"), EOperationRefused);

    for (const char* number : {"001", "007", "1000", "0100", "abc"}) inactive.Add().Number = number;
    EXPECT_EQ(InactiveRowOf(inactive, "7"), 1u);
    EXPECT_EQ(InactiveRowOf(inactive, "1000"), 2u) << "the whole number of #1000#";
    EXPECT_EQ(InactiveRowOf(inactive, "0100"), 3u) << "as stored, before the value";
    EXPECT_EQ(InactiveRowOf(inactive, "abc"), 4u);
    EXPECT_EQ(InactiveRowOf(inactive, "100"), 3u) << "0100 by its value";
    EXPECT_THROW(InactiveRowOf(inactive, "2"), EOperationRefused);
    inactive.Add().Number = "01";
    EXPECT_THROW(InactiveRowOf(inactive, "1"), EOperationRefused) << "001 and 01 both fit";
}

TEST(DescribeCodec, TheRecordAndTheDialogsAsTheSelectionAsksThem) {
    test::TempMachine m(TMachineFamily::NT, /*demo=*/true);
    TCodecDescription d = DescribeCodec("YUY2", 3);
    EXPECT_EQ(d.Entry.Fourcc, "yuy2");
    EXPECT_EQ(d.Entry.Driver, "pbyuv.dll");
    EXPECT_TRUE(d.Opened);
    EXPECT_EQ(IcInfoName(d.Info), "PB YUV 4:2:2");
    EXPECT_FALSE(d.Dialogs.Configure);
    EXPECT_TRUE(d.Dialogs.About);
    d = DescribeCodec("xmv7", 3);
    EXPECT_FALSE(d.Opened) << "its driver file is gone";
    EXPECT_EQ(d.Info.fccType, 0u);
    EXPECT_THROW(DescribeCodec("zzzz", 3), std::runtime_error);
    EXPECT_THROW(DescribeCodec("yuy2", 0), std::runtime_error);
}

// An inactive entry too short to read: no change is made (or shown) while it
// is there, except its removal, after which every operation works again.
TEST_F(Operations, AShortInactiveEntryAllowsOnlyItsOwnRemoval) {
    test::TempMachine m;
    Put(cDrivers32Key, "vidc.mjpg", "mjpeg.dll");
    PutInactive("#001#", {"aaaa", "a.dll", "A", "D", "1", "32"});
    PutInactive("#002#", {"bbbb", "b.dll", "B"});
    PutInactive("#003#", {"cccc", "c.dll", "C", "D", "1", "32"});
    Load();
    const auto before = std::make_pair(Active(*catalogue), Inactive(*catalogue));
    ASSERT_EQ(before.second.size(), 3u);
    const std::string reg = Slurp(m.Root() / "system.reg");
    const size_t logged = log.Count();

    for (TOperationResult r : {ops->Deactivate({0}), ops->Activate({0}), ops->Activate({1}), ops->SaveLists(),
                               ops->RestoreBackup()}) {
        EXPECT_FALSE(r.Changed);
        EXPECT_NE(r.Error.find("'#002#'"), std::string::npos) << r.Error;
        EXPECT_NE(r.Error.find("\"Remove Selected Inactive Drivers\""), std::string::npos) << r.Error;
        EXPECT_NE(r.Error.find("tarnelctl remove 002 --yes"), std::string::npos) << r.Error;
    }
    EXPECT_EQ(std::make_pair(Active(*catalogue), Inactive(*catalogue)), before);
    EXPECT_EQ(log.Count(), logged) << "no change shown that was not made";
    // Removing another entry would write the bad one back: refused.
    TOperationResult other = ops->RemoveInactive({0});
    EXPECT_FALSE(other.Saved);
    EXPECT_TRUE(other.Reloaded);
    EXPECT_EQ(Slurp(m.Root() / "system.reg"), reg) << "nothing written";

    TOperationResult removed = ops->RemoveInactive({1});
    EXPECT_TRUE(removed.Saved) << removed.Error;
    EXPECT_EQ(Reloaded().second, (std::vector<std::string>{"#001 aaaa=a.dll 32", "#002 cccc=c.dll 32"}));
    EXPECT_TRUE(ops->Deactivate({0}).Saved);
}

// A save rewrites only the inactive entries that change, yet leaves the key
// as a rewrite of them all would, and knows what it left: the next save
// compares with exactly what the store holds.
TEST_F(Operations, ASaveLeavesTheInactiveKeyAsAWholeRewriteWouldAndKnowsWhatItLeft) {
    test::TempMachine m;
    Put(cDrivers32Key, "vidc.mjpg", "mjpeg.dll");
    Put(cDrivers32Key, "vidc.yuy2", "yuy2.dll");
    PutInactive("#001#", {"aaaa", "a.dll", "A", "Aa", "1.0", "32"});
    PutInactive("#002#", {"bbbb", "b.dll", "B", "Bb", "1.0", "32"});
    // Not entries: one after the entries, one under a name a later entry takes.
    Put(cInactiveKey, "#note", "not an entry");
    Put(cInactiveKey, "#004#", "text");
    Load();
    auto stored = [] { return TDriverStore::ForMode(3)->Snapshot(); };

    SelectActive({0});
    ASSERT_TRUE(ops->Deactivate(catalogue->CodecList.SelectedRows()).Saved);
    EXPECT_EQ(Values(cInactiveKey), (std::vector<std::string>{"#note=not an entry", "#004#=text", "#001#", "#002#", "#003#"}));
    EXPECT_EQ(catalogue->Loaded, stored());

    // The entries now follow the others: the new one takes the text's place.
    SelectActive({0});
    ASSERT_TRUE(ops->Deactivate(catalogue->CodecList.SelectedRows()).Saved);
    EXPECT_EQ(Values(cInactiveKey), (std::vector<std::string>{"#note=not an entry", "#004#", "#001#", "#002#", "#003#"}));
    EXPECT_EQ(catalogue->Loaded, stored());

    // Renumbered from the second entry on.
    SelectInactive({1});
    ASSERT_TRUE(ops->Activate(catalogue->InactiveCodecList.SelectedRows()).Saved);
    EXPECT_EQ(Values(cInactiveKey), (std::vector<std::string>{"#note=not an entry", "#001#", "#002#", "#003#"}));
    EXPECT_EQ(Reloaded().second,
              (std::vector<std::string>{"#001 aaaa=a.dll 32", "#002 mjpg=mjpeg.dll 32", "#003 yuy2=yuy2.dll 32"}));
    EXPECT_EQ(catalogue->Loaded, stored());
    SelectInactive({2});
    ASSERT_TRUE(ops->Activate(catalogue->InactiveCodecList.SelectedRows()).Saved);
    EXPECT_EQ(catalogue->Loaded, stored());

    // Another program changes what an entry holds, not its name: still seen.
    PutInactive("#002#", {"mjpg", "other.dll", "M", "Mm", "1.0", "32"});
    SelectActive({0});
    TOperationResult r = ops->Deactivate(catalogue->CodecList.SelectedRows());
    EXPECT_FALSE(r.Saved);
    EXPECT_EQ(r.Error.rfind("The codec list was changed by another program", 0), 0u) << r.Error;
    EXPECT_EQ(Inactive(*catalogue), (std::vector<std::string>{"#001 aaaa=a.dll 32", "#002 mjpg=other.dll 32"}));
}
