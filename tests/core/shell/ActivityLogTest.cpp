#include <gtest/gtest.h>

#include <regex>

#include "core/shell/uConst.h"
#include "core/shell/ActivityLog.h"
#include "support/TempMachine.h"

using namespace tarnel;

TEST(Log, LinesAreStampedKeptInOrderAndPassedToTheListener) {
    TLog log;
    log.SetClock([] { return std::string("07.12.2026 06:16:15"); });
    std::vector<std::string> seen;
    log.WriteLog(cLogGettingOsVersion);  // before any listener: kept all the same
    log.SetListener([&](const std::string& line) { seen.push_back(line); });
    log.WriteLog("");
    log.WriteLog(cLogRefreshingList);

    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "07.12.2026 06:16:15 : Getting OS Version (Needed for the correct "
                               "Codec Info Location)",
                               "07.12.2026 06:16:15 : ", "07.12.2026 06:16:15 : Refreshing List"}));
    EXPECT_EQ(seen, (std::vector<std::string>{log.Lines()[1], log.Lines()[2]}));
}

TEST(Log, DefaultStampIsTheMachinesLocalDateAndTime) {
    test::TempMachine m;  // its user formats: dd.MM.yyyy and HH:mm:ss
    TLog log;
    log.SetClock([] { return std::string("X"); });
    log.SetClock(nullptr);  // back to the machine's clock
    log.WriteLog("Loading Codec Listview");
    EXPECT_TRUE(std::regex_match(
        log.Lines().at(0),
        std::regex(R"(\d\d\.\d\d\.\d{4}( \d\d:\d\d:\d\d)? : Loading Codec Listview)")))
        << log.Lines()[0];
}
