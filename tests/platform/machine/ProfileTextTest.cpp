// A large SYSTEM.INI held as sections: a save's many edits of one section
// leave every other byte of the file as it was, and what is read in the same
// transaction sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

std::string Entries(int from, int to, int step, const char* ending) {
    std::string s;
    for (int i = from; i != to; i += step) s += "vidc.x" + std::to_string(i) + "=d" + std::to_string(i) + ".dll" + ending;
    return s;
}

std::string Filler(int sections, const char* ending) {
    std::string s;
    for (int i = 0; i < sections; ++i) {
        s += "[Program" + std::to_string(i) + "]" + ending;
        for (int k = 0; k < 20; ++k) s += "  Setting" + std::to_string(k) + " = a value " + std::to_string(i) + ending;
        s += ending;
    }
    return s;
}

std::string Value(const std::string& section, const std::string& key) {
    char buf[64];
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "(none)", buf, sizeof buf, "system.ini");
    return buf;
}

}  // namespace

TEST(ProfileText, ASaveOfOneSectionRewritesItAndKeepsEveryOtherByte) {
    for (const char* ending : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(ending)));
        test::TempMachine m(platform::TMachineFamily::Win9x);
        const std::string before = Filler(300, ending), after = Filler(3, ending);
        // The last line has no ending: an entry added after it gives it one.
        const std::string tail = "[last]" + std::string(ending) + "only=line";
        WriteFileAtomically(SystemIniPath(), before + "[drivers32]" + ending + Entries(0, 500, 1, ending) + ending +
                                                 after + tail);
        {
            TTransaction t;
            EXPECT_EQ(Value("Program7", "setting3"), "a value 7");
            // As a save does: every entry removed, then written in its new order.
            for (int i = 0; i < 500; ++i)
                ASSERT_TRUE(WritePrivateProfileStringA("drivers32", ("vidc.x" + std::to_string(i)).c_str(), nullptr,
                                                       "system.ini"));
            EXPECT_EQ(Value("drivers32", "vidc.x7"), "(none)");
            for (int i = 499; i >= 0; --i)
                ASSERT_TRUE(WritePrivateProfileStringA("drivers32", ("vidc.x" + std::to_string(i)).c_str(),
                                                       ("d" + std::to_string(i) + ".dll").c_str(), "system.ini"));
            EXPECT_EQ(Value("DRIVERS32", "VIDC.X7"), "d7.dll");
            ASSERT_TRUE(WritePrivateProfileStringA("last", "added", "1", "system.ini"));
            ASSERT_TRUE(WritePrivateProfileStringA("Program1", nullptr, nullptr, "system.ini"));
            ASSERT_TRUE(WritePrivateProfileStringA("new", "k", "v", "system.ini"));
            t.Commit();
        }
        const std::string program1 = Filler(2, ending).substr(Filler(1, ending).size());
        std::string expected = before;
        expected.erase(expected.find(program1), program1.size());
        expected += "[drivers32]" + std::string(ending) + Entries(499, -1, -1, ending) + ending + after + tail +
                    ending + "added=1" + ending + "[new]" + ending + "k=v" + ending;
        const std::string got = ReadWholeFile(SystemIniPath());
        const auto differ = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
        EXPECT_TRUE(got == expected) << "first difference at byte " << (differ.first - got.begin()) << ": "
                                     << testing::PrintToString(got.substr(size_t(differ.first - got.begin()), 60))
                                     << " where "
                                     << testing::PrintToString(expected.substr(size_t(differ.second - expected.begin()), 60));
    }
}
