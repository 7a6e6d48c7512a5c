// The two active stores, the registry (NT family) and SYSTEM.INI (95/98/ME
// family), read through the one driver store: the same entries give the
// same rows, whichever store holds them.
#include "core/catalogue/DriverStore.h"

#include <gtest/gtest.h>

#include "core/catalogue/CodecLists.h"
#include "core/shell/uConst.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

std::vector<std::string> Rows(const TCodecList& list) {
    std::vector<std::string> out;
    for (const TCodecRow& r : list.Rows()) {
        std::string line = r.Caption;
        for (const std::string& cell : r.SubItems) line += "|" + cell;
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> LoadRows(int32_t mode) {
    TPreferences prefs;
    prefs.CodecStoreMode = mode;
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    catalogue.RefreshClick();
    catalogue.LoadInactiveCodecList();
    std::vector<std::string> rows = Rows(catalogue.CodecList);
    for (const std::string& r : Rows(catalogue.InactiveCodecList)) rows.push_back("inactive " + r);
    return rows;
}

}  // namespace

TEST(DriverStore, BothStoresGiveTheSameRowsForTheSameEntries) {
    std::vector<std::string> nt, ninetyEight;
    {
        test::TempMachine m(MachineFamily::NT, /*demo=*/true);
        nt = LoadRows(3);
    }
    {
        test::TempMachine m(MachineFamily::Win9x, /*demo=*/true);
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
    std::vector<TActiveStoreEntry> entries = TDriverStore::ForMode(3)->ReadActiveEntries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_TRUE(entries[0].Info.Kind.empty());
    EXPECT_EQ(entries[1].Info.Fourcc, "mjpg");
    EXPECT_EQ(entries[1].Driver, "mjpeg.dll");
    EXPECT_EQ(entries[2].Info.Fourcc, "odd");
    EXPECT_FALSE(entries[2].IsText) << "a codec entry of another type is told apart";
    EXPECT_TRUE(entries[3].Info.Kind.empty());
    EXPECT_EQ(TDriverStore::ForMode(0), nullptr);
}
