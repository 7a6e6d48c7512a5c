// Desired states on demo machines of both families: what each state makes of
// a FOURCC's entries, that a check predicts exactly what the change then
// does, that a second run finds nothing to do, that one change is one save
// (its backup the active entries from before it), and that states which
// cannot be reached are refused with the store left as it was.
#include "core/operations/Ensure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "core/catalogue/uCodecs.h"
#include "core/shell/uConst.h"
#include "core/shell/uGlobal.h"
#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;

namespace {

// "A registry mjpg=lcmjpeg.dll", "I #004 mjpg=kwmjpeg.dll"
std::vector<std::string> Texts(const std::vector<TEnsureEntry>& entries) {
    std::vector<std::string> out;
    for (const TEnsureEntry& e : entries)
        out.push_back(e.Active ? "A " + e.Store + " " + e.Fourcc + "=" + e.Driver
                               : "I #" + e.Number + " " + e.Fourcc + "=" + e.Driver);
    return out;
}

std::vector<std::string> Changes(const std::vector<TCodecChange>& changes) {
    std::vector<std::string> out;
    for (const TCodecChange& c : changes) out.push_back(std::string(c.Kind) + " " + c.Fourcc + "=" + c.Driver);
    return out;
}

TEnsureRequest Request(const std::string& fourcc, TEnsureState state, const std::string& driver = {},
                       bool check = false) {
    TEnsureRequest r;
    r.Fourcc = fourcc;
    r.State = state;
    r.Driver = driver;
    r.Check = check;
    return r;
}

// Every store file of the machine with its bytes.
std::map<std::string, std::string> StoreBytes(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const char* name : {"system.reg", "user.reg", "drive_c/windows/system.ini"})
        if (fs::exists(root / name)) out[name] = ReadWholeFile(root / name);
    return out;
}

// The active codecs of FOURCCs other than `fourcc`, in order.
std::vector<std::string> OtherActive(const std::string& fourcc) {
    const TCodecReading reading;
    std::vector<std::string> out;
    for (const TCodecEntry& e : reading.Catalogue().CodecList.Entries())
        if (e.Fourcc != fourcc) out.push_back(e.Fourcc + "=" + e.Driver);
    return out;
}

std::vector<std::string> Backup(int32_t mode) {
    std::vector<std::string> out;
    for (const TCodecEntry& e : TDriverStore::ForMode(mode)->BackupEntries()) out.push_back(e.Fourcc + "=" + e.Driver);
    return out;
}

void PutInactive(const std::string& name, std::vector<std::string> texts) {
    TTransaction t;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
    WriteBinaryStrings(reg, name, texts);
    t.Commit();
}

struct Family {
    TMachineFamily family;
    const char* store;  // where the demo's active entries live
    int32_t mode;
};

class EnsureOn : public ::testing::TestWithParam<Family> {};

INSTANTIATE_TEST_SUITE_P(Families, EnsureOn,
                         ::testing::Values(Family{TMachineFamily::NT, "registry", 3},
                                           Family{TMachineFamily::Win9x, "profile", 1}),
                         [](const auto& info) { return info.param.family == TMachineFamily::NT ? "NT" : "Win9x"; });

}  // namespace

// The demo machine: mjpg lcmjpeg.dll active and kwmjpeg.dll inactive (#001),
// ptx8 (#002), iyuv (#003), vrh1 (#004) inactive.
TEST_P(EnsureOn, EachStateGivesTheEntriesItNamesAndASecondRunChangesNothing) {
    const std::string a = std::string("A ") + GetParam().store + " ";
    struct Case {
        const char* fourcc;
        TEnsureState state;
        const char* driver;
        std::vector<std::string> after;  // empty with `unchanged`: no entry left
        bool unchanged;
    };
    using S = TEnsureState;
    const std::vector<Case> cases = {
        {"mjpg", S::Active, "", {a + "mjpg=lcmjpeg.dll", "I #001 mjpg=kwmjpeg.dll"}, true},
        {"MJPG", S::Active, "LCMJPEG.DLL", {a + "mjpg=lcmjpeg.dll", "I #001 mjpg=kwmjpeg.dll"}, true},
        // The swap: the one in service goes to the end of the inactive list.
        {"mjpg", S::Active, "kwmjpeg.dll", {a + "mjpg=kwmjpeg.dll", "I #004 mjpg=lcmjpeg.dll"}, false},
        {"ptx8", S::Active, "", {a + "ptx8=pbtex.dll"}, false},
        {"mjpg", S::Inactive, "", {"I #001 mjpg=kwmjpeg.dll", "I #005 mjpg=lcmjpeg.dll"}, false},
        {"mjpg", S::Inactive, "kwmjpeg.dll", {a + "mjpg=lcmjpeg.dll", "I #001 mjpg=kwmjpeg.dll"}, true},
        {"zzzz", S::Inactive, "", {}, true},
        {"zzzz", S::Inactive, "none.dll", {}, true},
        {"mjpg", S::Absent, "", {}, false},
        {"mjpg", S::Absent, "kwmjpeg.dll", {a + "mjpg=lcmjpeg.dll"}, false},
        // Out of service first, then removed.
        {"mjpg", S::Absent, "lcmjpeg.dll", {"I #001 mjpg=kwmjpeg.dll"}, false},
        {"zzzz", S::Absent, "", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fourcc) + " " + std::to_string(int(c.state)) + " " + c.driver);
        test::TempMachine m(GetParam().family, /*demo=*/true);
        const std::string fourcc = AsciiLowerCase(c.fourcc);
        const auto others = OtherActive(fourcc);
        const auto untouched = StoreBytes(m.Root());

        const TEnsureReport predicted = Ensure(Request(c.fourcc, c.state, c.driver, /*check=*/true));
        EXPECT_TRUE(StoreBytes(m.Root()) == untouched) << "a check writes nothing";
        const TEnsureReport done = Ensure(Request(c.fourcc, c.state, c.driver));
        EXPECT_EQ(done.Changed, !c.unchanged);
        EXPECT_EQ(Texts(done.After), c.after);
        // The check said exactly what the change then did.
        EXPECT_EQ(predicted.Changed, done.Changed);
        EXPECT_EQ(Texts(predicted.Before), Texts(done.Before));
        EXPECT_EQ(Texts(predicted.After), Texts(done.After));
        EXPECT_EQ(Changes(predicted.Changes), Changes(done.Changes));
        if (c.unchanged) {
            EXPECT_TRUE(StoreBytes(m.Root()) == untouched) << "a machine in the state is not written";
            EXPECT_EQ(Texts(done.After), Texts(done.Before));
        }
        EXPECT_EQ(OtherActive(fourcc), others) << "codecs of other FOURCCs stay in service";

        const auto reached = StoreBytes(m.Root());
        const TEnsureReport again = Ensure(Request(c.fourcc, c.state, c.driver));
        EXPECT_FALSE(again.Changed);
        EXPECT_EQ(Texts(again.After), c.after);
        EXPECT_TRUE(again.Changes.empty());
        EXPECT_TRUE(StoreBytes(m.Root()) == reached);
    }
}

TEST_P(EnsureOn, AChangeOfSeveralStepsIsOneSaveWhoseBackupIsTheStateBeforeIt) {
    test::TempMachine m(GetParam().family, /*demo=*/true);
    const int32_t mode = GetParam().mode;
    // Deactivating and then removing: the backup still holds the codec that
    // was in service, so that restoring it undoes the change.
    const TEnsureReport r = Ensure(Request("mjpg", TEnsureState::Absent, "lcmjpeg.dll"));
    ASSERT_TRUE(r.Changed);
    EXPECT_EQ(Changes(r.Changes), (std::vector<std::string>{"replaced mjpg=lcmjpeg.dll"}));
    const auto backup = Backup(mode);
    EXPECT_NE(std::find(backup.begin(), backup.end(), "mjpg=lcmjpeg.dll"), backup.end());
    EXPECT_EQ(backup.size(), 12u);
    // The log says what the steps did, the removal (which writes no line) included.
    EXPECT_TRUE(std::any_of(r.Log.begin(), r.Log.end(), [](const std::string& line) {
        return line.find("Swapping -> mjpg LC Motion JPEG to Inactive Codec List") != std::string::npos;
    }));
}

TEST_P(EnsureOn, StatesThatCannotBeReachedAreRefusedAndNothingIsWritten) {
    using S = TEnsureState;
    struct Case {
        const char* what;
        std::function<void(test::TempMachine&)> prepare;
        TEnsureRequest request;
        const char* says;
        bool ntOnly = false;  // the profile file's loader cuts a FOURCC at four characters
    };
    const std::vector<Case> cases = {
        {"a driver no entry has, nor any file",
         {},
         Request("mjpg", S::Active, "nothere.dll"),
         "No inactive codec has the FOURCC 'mjpg' with the driver 'nothere.dll', and the machine holds no driver "
         "file 'nothere.dll' (ensure puts back codecs the lists hold; it makes no entries); nothing was changed"},
        {"a driver file on the machine that no entry of the FOURCC names",
         {},
         Request("mjpg", S::Active, "tsplanar.dll"),
         "No inactive codec has the FOURCC 'mjpg' with the driver 'tsplanar.dll' (ensure"},
        {"a FOURCC in neither list", {}, Request("zzzz", S::Active), "No codec has the FOURCC 'zzzz' in either list"},
        {"an entry whose driver file is missing",
         [](test::TempMachine&) { ASSERT_TRUE(Ensure(Request("xmv7", TEnsureState::Inactive)).Changed); },
         Request("xmv7", S::Active),
         "Cannot put the inactive codec #005 xmv7 (xmvdec.dll) into service: Driver file not found: "},
        {"two inactive entries the driver does not tell apart",
         [](test::TempMachine&) {
             PutInactive("#005#", {"mjpg", "kwmjpeg.dll", "KW MJPEG", "Again", "1.2.0.7", "32"});
         },
         Request("mjpg", S::Active, "KWMJPEG.DLL"),
         "2 inactive codecs have the FOURCC 'mjpg' with the driver 'KWMJPEG.DLL' (#001 kwmjpeg.dll, #005 "
         "kwmjpeg.dll): the driver does not tell them apart"},
        {"two inactive entries of different drivers and none named",
         [](test::TempMachine&) { ASSERT_TRUE(Ensure(Request("mjpg", TEnsureState::Inactive)).Changed); },
         Request("mjpg", S::Active),
         "2 inactive codecs have the FOURCC 'mjpg' (#001 kwmjpeg.dll, #005 lcmjpeg.dll): name the one to put into "
         "service with its driver; nothing was changed"},
        {"a swap that would take a longer FOURCC out of service",
         [](test::TempMachine&) {
             TTransaction t;
             TCodecEntry e;
             e.Fourcc = "ptx8x";
             e.Driver = "pbyuv.dll";
             TDriverStore::ForMode(IdentifyMachine().CodecStoreMode)->AddActiveEntry(e);
             t.Commit();
         },
         Request("ptx8", S::Active),
         "would swap out the active codec 'ptx8x' (pbyuv.dll), whose FOURCC begins with 'ptx8'", true},
    };
    for (const Case& c : cases) {
        if (c.ntOnly && GetParam().family != TMachineFamily::NT) continue;
        SCOPED_TRACE(c.what);
        test::TempMachine m(GetParam().family, /*demo=*/true);
        if (c.prepare) c.prepare(m);
        const auto before = StoreBytes(m.Root());
        for (bool check : {true, false}) {
            TEnsureRequest request = c.request;
            request.Check = check;
            try {
                Ensure(request);
                ADD_FAILURE() << "not refused";
            } catch (const EOperationRefused& e) {
                EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
            }
            EXPECT_TRUE(StoreBytes(m.Root()) == before);
        }
    }
}

// A 16-bit driver in service lives in a key no list reads back (NT family);
// SYSTEM.INI holds it like any other.
TEST_P(EnsureOn, ASixteenBitDriverIsPutIntoServiceOnlyWhereItCanBeSeenThere) {
    test::TempMachine m(GetParam().family, /*demo=*/true);
    PutInactive("#005#", {"abcd", "pbyuv.dll", "PB", "Sixteen", "1.0", "16"});
    const TEnsureRequest request = Request("abcd", TEnsureState::Active);
    if (GetParam().family == TMachineFamily::NT) {
        const auto before = StoreBytes(m.Root());
        try {
            Ensure(request);
            ADD_FAILURE() << "not refused";
        } catch (const EOperationRefused& e) {
            EXPECT_NE(std::string(e.what()).find("it is a 16-bit driver (Type 16)"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(StoreBytes(m.Root()) == before);
        return;
    }
    EXPECT_TRUE(Ensure(request).Changed);
    EXPECT_FALSE(Ensure(request).Changed);
}

// Two SYSTEM.INI lines of one FOURCC, which no save can write back: naming
// the driver meant takes the other one out of service, in the same change
// that puts the named one in.
TEST(Ensure, TwinProfileLinesEndWithTheNamedDriverAlone) {
    test::TempMachine m(TMachineFamily::Win9x, /*demo=*/true);
    std::string ini = m.ReadFile("drive_c/windows/system.ini");
    ini.insert(ini.find('\n', ini.find("vidc.mjpg=lcmjpeg.dll")) + 1, "vidc.mjpg=tsplanar.dll\r\n");
    m.WriteFile("drive_c/windows/system.ini", ini);

    // Some entry of it is in service already.
    EXPECT_FALSE(Ensure(Request("mjpg", TEnsureState::Active)).Changed);
    // The twin out of service first, then the named one swapped in: the
    // store holds one line of the FOURCC at every step.
    TEnsureReport r = Ensure(Request("mjpg", TEnsureState::Active, "kwmjpeg.dll"));
    ASSERT_TRUE(r.Changed);
    EXPECT_EQ(Texts(r.Before), (std::vector<std::string>{"A profile mjpg=lcmjpeg.dll", "A profile mjpg=tsplanar.dll",
                                                          "I #001 mjpg=kwmjpeg.dll"}));
    EXPECT_EQ(Texts(r.After), (std::vector<std::string>{"A profile mjpg=kwmjpeg.dll", "I #004 mjpg=tsplanar.dll",
                                                         "I #005 mjpg=lcmjpeg.dll"}));
    EXPECT_FALSE(Ensure(Request("mjpg", TEnsureState::Active, "kwmjpeg.dll")).Changed);

    // Of twins, the one named stays and the other goes.
    m.WriteFile("drive_c/windows/system.ini", ini);
    r = Ensure(Request("mjpg", TEnsureState::Active, "tsplanar.dll"));
    ASSERT_TRUE(r.Changed);
    EXPECT_EQ(Changes(r.Changes), (std::vector<std::string>{"deactivated mjpg=lcmjpeg.dll"}));
}
