// The two active stores, the registry (NT family) and SYSTEM.INI (95/98/ME
// family), read through the one driver store: the same entries give the
// same rows, whichever store holds them.
#include "core/catalogue/DriverStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/catalogue/CodecLists.h"
#include "core/catalogue/CodecView.h"
#include "core/shell/uConst.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/machine/Machine.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

std::vector<std::string> Rows(const TCodecList& list, TListKind kind) {
    std::vector<std::string> out;
    for (const TCodecEntry& e : list.Entries()) {
        std::string line = e.Fourcc;
        for (int c = 1; c < int(ColumnsOf(kind).size()); ++c) line += "|" + CellText(e, kind, c);
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> LoadRows(int32_t mode) {
    TPreferences prefs;
    prefs.CodecStoreMode = mode;
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    catalogue.LoadActiveList();
    catalogue.LoadInactiveCodecList();
    std::vector<std::string> rows = Rows(catalogue.CodecList, TListKind::Active);
    for (const std::string& r : Rows(catalogue.InactiveCodecList, TListKind::Inactive)) rows.push_back("inactive " + r);
    return rows;
}

}  // namespace

TEST(DriverStore, BothStoresGiveTheSameRowsForTheSameEntries) {
    std::vector<std::string> nt, ninetyEight;
    {
        test::TempMachine m(TMachineFamily::NT, /*demo=*/true);
        nt = LoadRows(3);
    }
    {
        test::TempMachine m(TMachineFamily::Win9x, /*demo=*/true);
        ninetyEight = LoadRows(1);
    }
    ASSERT_GE(nt.size(), 10u);
    EXPECT_EQ(nt, ninetyEight);
}

TEST(DriverStore, ReadsEveryLineOfTheActiveStoreInOrder) {
    test::TempMachine m;
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, true));
        reg.WriteString("msacm.imaadpcm", "imaadp32.acm");
        reg.WriteString("VIDC.MJPG", "mjpeg.dll");
        reg.WriteInteger("vidc.odd", 5);
        reg.WriteString("vidc", "nopoint.dll");
    }
    std::vector<TActiveStoreLine> lines;
    TDriverStore::ForMode(3)->VisitActiveLines([](size_t) {},
                                               [&](size_t, TActiveStoreLine& line) { lines.push_back(line); });
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].Kind, TActiveStoreLine::Other);
    EXPECT_EQ(lines[1].Kind, TActiveStoreLine::Codec);
    EXPECT_EQ(lines[1].Entry.Fourcc, "mjpg");
    EXPECT_EQ(lines[1].Entry.StoredName, "VIDC.MJPG");
    EXPECT_EQ(lines[1].Entry.Driver, "mjpeg.dll");
    EXPECT_EQ(lines[2].Entry.Fourcc, "odd");
    EXPECT_EQ(lines[2].Kind, TActiveStoreLine::NotText) << "a codec entry of another type is told apart";
    EXPECT_EQ(lines[2].Entry.ValueType, kRegDword);
    EXPECT_EQ(lines[3].Kind, TActiveStoreLine::Other);
    EXPECT_EQ(TDriverStore::ForMode(0), nullptr);
    std::vector<TCodecEntry> shown = TDriverStore::ForMode(3)->ActiveEntries();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].StoredName, "VIDC.MJPG");
}

namespace {

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TCodecEntry Entry(const std::string& fourcc, const std::string& driver, const std::string& type = "32") {
    TCodecEntry e;
    e.Fourcc = fourcc;
    e.Driver = driver;
    e.Type = type;
    return e;
}

}  // namespace

// The probe's registration is seen by the codec manager for the moment of
// the question only: afterwards both stores hold exactly what they held,
// and an owner of the FOURCC is back in place.
TEST(DriverStore, ProbeAnswersAndLeavesBothStoresAsTheyWere) {
    for (TMachineFamily family : {TMachineFamily::NT, TMachineFamily::Win9x}) {
        test::TempMachine m(family, /*demo=*/true);
        std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(family == TMachineFamily::NT ? 3 : 1);
        const std::string hive = Slurp(m.Root() / "system.reg"), ini = Slurp(m.Root() / "drive_c/windows/system.ini");
        const std::vector<TCodecEntry> before = store->ActiveEntries();
        TTransaction scratch(TTransaction::Scratch);
        // iyuv is in no active entry; tsplanar.dll answers it.
        ICINFO free = store->ProbeEntry("IYUV", "tsplanar.dll", nullptr);
        EXPECT_NE(free.fccType, 0u) << int(family);
        EXPECT_EQ(IcInfoName(free), "Tessaly Planar");
        // mjpg belongs to lcmjpeg.dll; for the moment it is kwmjpeg.dll's.
        const TCodecEntry owner = before[0];
        ASSERT_EQ(owner.Driver, "lcmjpeg.dll");
        ICINFO taken = store->ProbeEntry("mjpg", "kwmjpeg.dll", &owner);
        EXPECT_EQ(IcInfoName(taken), "KW MJPEG") << "the owner is out of the store meanwhile";
        EXPECT_EQ(store->ActiveEntries().size(), before.size());
        EXPECT_EQ(store->ActiveEntries()[0].Driver, "lcmjpeg.dll");
        scratch.Commit();
        EXPECT_EQ(Slurp(m.Root() / "system.reg"), hive);
        EXPECT_EQ(Slurp(m.Root() / "drive_c/windows/system.ini"), ini);
    }
}

// A save places every entry it writes: where it lives and under which name.
TEST(DriverStore, SavePlacesTheEntriesItWrites) {
    test::TempMachine m;
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(3);
    store->AddForeignEntry("msacm.imaadpcm", "imaadp32.acm");
    std::vector<TCodecEntry> active{Entry("mjpg", "mjpeg.dll"), Entry("old1", "old.drv", "16")};
    std::vector<TCodecEntry> inactive{Entry("xvid", "xvid.dll")};
    inactive[0].Number = "1000";
    store->Save(active, inactive);
    EXPECT_EQ(active[0].Store, TCodecStore::Drivers32);
    EXPECT_EQ(active[0].StoredName, "vidc.mjpg");
    EXPECT_EQ(active[1].Store, TCodecStore::Drivers) << "Type 16 goes to the 16-bit key";
    EXPECT_EQ(inactive[0].Store, TCodecStore::Inactive);
    EXPECT_EQ(inactive[0].StoredName, "#1000#") << "the whole Number names it";
    std::vector<std::string> lines;
    store->VisitInactiveLines([&](const TInactiveStoreLine& l) { lines.push_back(l.Entry.StoredName); });
    EXPECT_EQ(lines, std::vector<std::string>{"#1000#"});
    ASSERT_EQ(store->ActiveEntries().size(), 1u);
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(cDrivers32Key));
    EXPECT_EQ(reg.ReadString("msacm.imaadpcm"), "imaadp32.acm") << "a foreign entry stays";
}

// Two SYSTEM.INI lines of one FOURCC cannot be written back; the refusal
// names both drivers and the command that takes out one of them.
TEST(DriverStore, TwoProfileLinesOfOneFourccAreRefusedWithTheWayOut) {
    test::TempMachine m(TMachineFamily::Win9x);
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(1);
    std::vector<TCodecEntry> active{Entry("mjpg", "lcmjpeg.dll"), Entry("yuy2", "pbyuv.dll"),
                                    Entry("MJPG", "kwmjpeg.dll")};
    const std::string ini = Slurp(m.Root() / "drive_c/windows/system.ini");
    try {
        store->Save(active, {});
        ADD_FAILURE() << "saved two lines of one name";
    } catch (const EStoreFormatError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("lcmjpeg.dll and kwmjpeg.dll"), std::string::npos) << text;
        EXPECT_NE(text.find("tarnelctl deactivate MJPG --driver kwmjpeg.dll"), std::string::npos) << text;
    }
    EXPECT_EQ(Slurp(m.Root() / "drive_c/windows/system.ini"), ini) << "nothing written";
}

// A visitor that takes each line's entry (as the inactive list's load does)
// gets every value whole, after `begin` counted them.
TEST(DriverStore, InactiveVisitorsMayTakeTheEntriesAfterTheCount) {
    test::TempMachine m;
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
        std::vector<std::string> a{"aaaa", "a.dll", "A", "Alpha codec", "1", "32"}, b{"bbbb", "b.dll", "B", "Beta", "2", "16"};
        WriteBinaryStrings(reg, "#001#", a);
        WriteBinaryStrings(reg, "#002#", b);
        reg.WriteString("Other", "x");
    }
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(3);
    size_t counted = 0;
    std::vector<TCodecEntry> taken;
    store->VisitInactiveLines([&](size_t count) { counted = count; },
                              [&](TInactiveStoreLine& l) {
                                  EXPECT_EQ(counted, 3u) << "counted before the first line";
                                  taken.push_back(std::move(l.Entry));
                              });
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].Fourcc + " " + taken[0].Driver + " " + taken[0].Description + " " + taken[0].Number, "aaaa a.dll Alpha codec 001");
    EXPECT_EQ(taken[1].Fourcc + " " + taken[1].Driver + " " + taken[1].Type + " " + taken[1].Number, "bbbb b.dll 16 002");
    EXPECT_EQ(taken[1].Description, "Beta");
    EXPECT_EQ(taken[2].Fourcc + taken[2].Number, "") << "a value of another name is no codec";
    EXPECT_EQ(taken[2].StoredName, "Other");
}

// An inactive entry too short to read is visited with what it has; the
// store never writes one back, and a list without it removes it.
TEST(DriverStore, AShortInactiveEntryIsVisitedAndOnlyEverRemoved) {
    test::TempMachine m;
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
        std::vector<std::string> good{"aaaa", "a.dll", "A", "D", "1", "32"}, bad{"bbbb", "b.dll"};
        WriteBinaryStrings(reg, "#001#", good);
        WriteBinaryStrings(reg, "#002#", bad);
    }
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(3);
    std::vector<TInactiveStoreLine> lines;
    store->VisitInactiveLines([&](const TInactiveStoreLine& l) { lines.push_back(l); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Kind, TInactiveStoreLine::Numbered);
    EXPECT_EQ(lines[1].Kind, TInactiveStoreLine::Malformed);
    EXPECT_EQ(lines[1].Entry.Fourcc + "=" + lines[1].Entry.Driver, "bbbb=b.dll");
    EXPECT_EQ(lines[1].Entry.Number, "002");
    EXPECT_NE(lines[1].Entry.Malformed.find("holds 2 texts"), std::string::npos) << lines[1].Entry.Malformed;
    EXPECT_EQ(store->Snapshot().Inactive.size(), 2u);

    const std::string reg = Slurp(m.Root() / "system.reg");
    std::vector<TCodecEntry> inactive{lines[0].Entry, lines[1].Entry};
    EXPECT_THROW(store->Save({}, inactive), EStoreFormatError);
    EXPECT_EQ(Slurp(m.Root() / "system.reg"), reg) << "nothing written";

    inactive.pop_back();
    store->Save({}, inactive);
    lines.clear();
    store->VisitInactiveLines([&](const TInactiveStoreLine& l) { lines.push_back(l); });
    ASSERT_EQ(lines.size(), 1u) << "a list without it removes it";
    EXPECT_EQ(lines[0].Entry.StoredName, "#001#");
}

// A driver text of expandable-string type stays one through the backup,
// the inactive store and back; the profile file has no types to keep.
TEST(DriverStore, AnExpandableDriverTextKeepsItsType) {
    test::TempMachine m;
    const std::string path = "%SystemRoot%\\System32\\exp.dll";
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, true));
        reg.WriteExpandString("vidc.exp1", path);
        reg.WriteString("vidc.str1", "str.dll");
    }
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(3);
    std::vector<TCodecEntry> active = store->ActiveEntries();
    ASSERT_EQ(active.size(), 2u);
    EXPECT_TRUE(active[0].ExpandableDriver);
    EXPECT_FALSE(active[1].ExpandableDriver);

    // exp1 out of service, str1 stays: both saved.
    TCodecEntry out = active[0];
    out.Number = "001";
    std::vector<TCodecEntry> inactive{out};
    active.erase(active.begin());
    store->Save(active, inactive);
    auto typeOf = [](const char* key, const std::string& name) {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        return reg.OpenKeyReadOnly(key) ? reg.GetRawType(name) : uint32_t(kRegNone);
    };
    EXPECT_EQ(typeOf(cDrivers32BackupKey, "vidc.exp1"), uint32_t(kRegExpandSz));
    EXPECT_EQ(typeOf(cDrivers32BackupKey, "vidc.str1"), uint32_t(kRegSz));
    EXPECT_EQ(typeOf(cDrivers32Key, "vidc.exp1"), uint32_t(kRegNone));
    std::vector<TCodecEntry> read;
    store->VisitInactiveLines([&](const TInactiveStoreLine& l) { read.push_back(l.Entry); });
    ASSERT_EQ(read.size(), 1u);
    EXPECT_TRUE(read[0].ExpandableDriver) << "remembered by the inactive entry";
    EXPECT_EQ(read[0].Driver, path);
    EXPECT_EQ(read[0].Type, "32");
    std::vector<TCodecEntry> backup = store->BackupEntries();
    ASSERT_EQ(backup.size(), 2u);
    EXPECT_TRUE(backup[0].ExpandableDriver);

    // Back into service as an expandable string; the plain one stays plain.
    TCodecEntry back = read[0];
    back.Store = TCodecStore::None;
    active.push_back(back);
    store->Save(active, {});
    EXPECT_EQ(typeOf(cDrivers32Key, "vidc.exp1"), uint32_t(kRegExpandSz));
    EXPECT_EQ(typeOf(cDrivers32Key, "vidc.str1"), uint32_t(kRegSz));
    EXPECT_EQ(active[1].ValueType, uint32_t(kRegExpandSz)) << "placed as what was written";
}

namespace {

void PutDriver(const char* name, const std::string& driver, bool expandable = false) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(cDrivers32Key, true));
    if (expandable) reg.WriteExpandString(name, driver);
    else reg.WriteString(name, driver);
}

// "name=driver" of every value of Drivers32, "(expand)" marking that type.
std::vector<std::string> Drivers32Values() {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    std::vector<std::string> out;
    if (!reg.OpenKeyReadOnly(cDrivers32Key)) return out;
    std::vector<TRegistry::TValue> values;
    reg.GetValues(values);
    for (auto& v : values)
        out.push_back(v.Name + "=" + v.Data.c_str() + (v.Type == kRegExpandSz ? "(expand)" : ""));
    return out;
}

// The time on the head line of the Drivers32 key in the hive file.
std::string Drivers32Time(const test::TempMachine& m) {
    const std::string hive = Slurp(m.Root() / "system.reg");
    const size_t head = hive.find("\\\\Drivers32] ");
    if (head == std::string::npos) return {};
    const size_t from = head + std::string("\\\\Drivers32] ").size();
    return hive.substr(from, hive.find('\n', from) - from);
}

}  // namespace

// A save leaves active entries standing only where deleting every shown
// entry and appending the active ones would leave the very same values in
// the very same order; the next save compares with what it left.
TEST(DriverStore, ActiveEntriesStandOnlyWhereAWholeRewriteWouldLeaveThem) {
    test::TempMachine m;
    {
        TRegistryFixedTime before(1600000000);
        PutDriver("msacm.x", "x.acm");
        PutDriver("vidc.aaaa", "a.dll");
        PutDriver("VIDC.BBBB", "b.dll");  // written back in the case the list holds
        PutDriver("vidc.cccc", "c.dll");
        PutDriver("vidc.dddd", "d.dll", true);
        PutDriver("vidc.eeee", "e.dll");
    }
    auto store = TDriverStore::ForMode(3);
    TStoreSnapshot loaded = store->Snapshot();
    std::vector<TCodecEntry> active = store->ActiveEntries();
    ASSERT_EQ(active.size(), 5u);
    auto save = [&] {
        store->Save(active, {}, &loaded, &loaded);
        EXPECT_EQ(loaded, store->Snapshot());
        active = store->ActiveEntries();
    };
    save();
    std::vector<std::string> whole{"msacm.x=x.acm",  "vidc.aaaa=a.dll", "vidc.bbbb=b.dll",
                                   "vidc.cccc=c.dll", "vidc.dddd=d.dll(expand)", "vidc.eeee=e.dll"};
    EXPECT_EQ(Drivers32Values(), whole);

    active[2].Driver = "c2.dll";  // the same name, other data
    save();
    whole[3] = "vidc.cccc=c2.dll";
    EXPECT_EQ(Drivers32Values(), whole);

    active[3].ExpandableDriver = false;  // the same text, another type
    save();
    whole[4] = "vidc.dddd=d.dll";
    EXPECT_EQ(Drivers32Values(), whole);

    // Another driver's entry after them: the codecs go after it.
    PutDriver("msacm.z", "z.acm");
    save();
    whole.insert(whole.begin() + 1, "msacm.z=z.acm");
    EXPECT_EQ(Drivers32Values(), whole);

    // Two entries trade places: the one that now comes first cannot stand
    // before the other, so both go to the end in their new order.
    std::swap(active[1], active[2]);
    save();
    std::swap(whole[3], whole[4]);
    EXPECT_EQ(Drivers32Values(), whole);

    // Nothing changes: the key still shows the time of the save (the hive
    // read anew, so that only this save's changes count).
    ForgetLoadedHives();
    {
        TRegistryFixedTime now(1700000000);
        save();
    }
    EXPECT_EQ(Drivers32Values(), whole);
    EXPECT_EQ(Drivers32Time(m), "1700000000");

    // A new entry under the name of a value that is no text: written over
    // it where it stands, and the save knows it is there.
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, true));
        reg.WriteInteger("vidc.ffff", 1);
    }
    TCodecEntry added;
    added.Fourcc = "ffff";
    added.Driver = "f.dll";
    added.Type = cType32;
    active.push_back(added);
    save();
    whole.push_back("vidc.ffff=f.dll");
    std::rotate(whole.begin() + 2, whole.end() - 1, whole.end());
    EXPECT_EQ(Drivers32Values(), whole);
}

// The inactive store is read a part at a time: a store of many values,
// odd ones among them, is visited whole, in store order, each value as it
// stands, whatever part it falls in.
TEST(DriverStore, AManyValuedInactiveStoreIsVisitedWholeAndInOrder) {
    test::TempMachine m;
    constexpr int kValues = 700;
    std::vector<std::string> data(kValues);
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
        for (int i = 0; i < kValues; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "#%04d#", i);
            if (i % 101 == 7) {
                reg.WriteString(name, "not binary");
                continue;
            }
            if (i % 113 == 3) {
                reg.WriteString("other" + std::to_string(i), "x");
                continue;
            }
            std::vector<std::string> texts{"f" + std::to_string(i), "d" + std::to_string(i) + ".dll", "", "Desc", "1.0",
                                           i % 2 ? "32" : "16"};
            if (i % 97 == 5) texts.resize(3);
            else if (i % 3 == 0) texts.emplace_back(cExpandableDriverMark);
            else if (i % 5 == 0) texts.emplace_back("another");
            WriteBinaryStrings(reg, name, texts);
            for (const std::string& t : texts) data[size_t(i)] += t + '\0';
        }
    }
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(3);
    size_t announced = 0;
    std::vector<TInactiveStoreLine> lines;
    store->VisitInactiveLines([&](size_t count) { announced = count; },
                              [&](const TInactiveStoreLine& l) { lines.push_back(l); });
    EXPECT_EQ(announced, size_t(kValues));
    ASSERT_EQ(lines.size(), size_t(kValues));
    for (int i = 0; i < kValues; ++i) {
        const TInactiveStoreLine& l = lines[size_t(i)];
        const TCodecEntry& e = l.Entry;
        SCOPED_TRACE(i);
        EXPECT_EQ(e.Store, TCodecStore::Inactive);
        if (i % 101 == 7) {
            EXPECT_EQ(l.Kind, TInactiveStoreLine::NotBinary);
            continue;
        }
        if (i % 113 == 3) {
            EXPECT_EQ(l.Kind, TInactiveStoreLine::Other);
            EXPECT_EQ(e.StoredName, "other" + std::to_string(i));
            continue;
        }
        char number[8];
        std::snprintf(number, sizeof number, "%04d", i);
        EXPECT_EQ(e.Number, number);
        EXPECT_EQ(e.StoredName, "#" + std::string(number) + "#");
        EXPECT_EQ(e.Fourcc + " " + e.Driver, "f" + std::to_string(i) + " d" + std::to_string(i) + ".dll");
        EXPECT_EQ(l.Data, data[size_t(i)]);
        if (i % 97 == 5) {
            EXPECT_EQ(l.Kind, TInactiveStoreLine::Malformed);
            EXPECT_NE(e.Malformed.find("holds 3 texts"), std::string::npos) << e.Malformed;
            continue;
        }
        EXPECT_EQ(l.Kind, TInactiveStoreLine::Numbered);
        EXPECT_TRUE(e.Malformed.empty());
        EXPECT_EQ(e.Shortname + "|" + e.Description + "|" + e.Version + "|" + e.Type,
                  std::string(" |Desc|1.0|") + (i % 2 ? "32" : "16"));
        EXPECT_EQ(e.ExpandableDriver, i % 3 == 0) << "only the seventh text marks it";
    }
}

// A snapshot line tells apart what the save must: any one byte changed,
// at any place in a piece or across the digest's blocks, and the same
// bytes split otherwise between name and data.
TEST(DriverStore, SnapshotLinesDifferForAnyChangedByteOrSplit) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += char('a' + i % 26);
    for (size_t size = 0; size <= text.size(); size += 3) {
        const std::string data = text.substr(0, size);
        EXPECT_EQ(SnapshotLine("#1#", data), SnapshotLine("#1#", data));
        for (size_t at = 0; at < size; ++at) {
            std::string changed = data;
            changed[at] ^= 1;
            EXPECT_NE(SnapshotLine("#1#", data), SnapshotLine("#1#", changed)) << size << " " << at;
        }
        if (size > 0) EXPECT_NE(SnapshotLine("#1#", data), SnapshotLine("#1#" + data.substr(0, 1), data.substr(1)));
    }
    EXPECT_NE(SnapshotLine("", std::string(1, '\0')), SnapshotLine("", ""));
}

// The snapshot a save leaves is the store as it stands, also where an
// entry it writes lands on a value of another kind under the same name
// (written over where it stands) or two entries share a Number.
TEST(DriverStore, TheSnapshotASaveLeavesIsTheStoreAsItStands) {
    test::TempMachine m;
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
        std::vector<std::string> a{"aaaa", "a.dll", "A", "D", "1", "32"};
        WriteBinaryStrings(reg, "#001#", a);
        reg.WriteString("#003#", "not an entry");
    }
    auto store = TDriverStore::ForMode(3);
    TStoreSnapshot loaded = store->Snapshot();
    std::vector<TCodecEntry> inactive;
    store->VisitInactiveLines([&](TInactiveStoreLine& l) {
        if (l.Kind == TInactiveStoreLine::Numbered) inactive.push_back(l.Entry);
    });
    ASSERT_EQ(inactive.size(), 1u);
    TCodecEntry b = inactive[0];
    b.Fourcc = "bbbb";
    b.Number = "003";
    inactive.push_back(b);
    store->Save({}, inactive, &loaded, &loaded);
    EXPECT_EQ(loaded, store->Snapshot()) << "the entry written over the text value";
    EXPECT_EQ(loaded.Inactive.size(), 2u);

    b.Fourcc = "cccc";  // the same Number again: the second write lands on the first
    inactive.push_back(b);
    store->Save({}, inactive, &loaded, &loaded);
    EXPECT_EQ(loaded, store->Snapshot());
    EXPECT_EQ(loaded.Inactive.size(), 2u);

    // Another program changes an entry: the next save refuses.
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
        std::vector<std::string> a{"aaaa", "a.dll", "A", "D", "2", "32"};
        WriteBinaryStrings(reg, "#001#", a);
    }
    EXPECT_THROW(store->Save({}, inactive, &loaded, &loaded), EStoreChanged);
}
