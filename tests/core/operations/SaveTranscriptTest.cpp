// What a run of saves leaves on disk, byte for byte: the store files after
// each operation of a fixed sequence, compared with a transcript recorded
// from a known-good build (tests/data/saves/). A save may get faster; the
// files it leaves may not change. TARNEL_WRITE_TRANSCRIPTS=1 records them
// anew (look at the difference before committing it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/catalogue/CodecLists.h"
#include "core/operations/CodecOperations.h"
#include "core/shell/uConst.h"
#include "core/catalogue/uCodecs.h"
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

struct AlwaysYes : TOperationQuestions {
    TAnswer AskSwap(const TCodecEntry&, const TCodecEntry&) override { return TAnswer::Yes; }
    TAnswer AskRemove() override { return TAnswer::Yes; }
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

// Replaces `from` by `to` in the file, once; the machine reads it again.
void EditFile(const fs::path& file, const std::string& from, const std::string& to) {
    std::string text = Slurp(file);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    ForgetLoadedHives();
}

class SaveTranscript : public ::testing::Test {
protected:
    // The store files as they stand, under the step's name.
    void Record(const std::string& step, bool withIni) {
        transcript_ += "=== " + step + " ===\n";
        transcript_ += Slurp(SystemHivePath());
        if (withIni) transcript_ += "--- system.ini ---\n" + Slurp(SystemIniPath());
    }
    void Load(int32_t mode) {
        prefs_.CodecStoreMode = mode;
        catalogue_ = std::make_unique<TCodecCatalogue>(prefs_, log_);
        catalogue_->LoadActiveList();
        catalogue_->LoadInactiveCodecList();
        ops_ = std::make_unique<TCodecOperations>(*catalogue_, answers_);
    }
    // The same operations on either family: moves both ways, a removal, a
    // save of unchanged lists, a restore of the backup, and a save after
    // another program changed an entry.
    void RunSequence(int32_t mode, bool withIni) {
        Load(mode);
        ASSERT_GE(catalogue_->CodecList.Count(), 3u);
        ASSERT_GE(catalogue_->InactiveCodecList.Count(), 2u);
        Record("loaded", withIni);
        Expect(ops_->Deactivate({1}), "deactivate one");
        Record("deactivated one", withIni);
        Expect(ops_->Activate({0}), "activate the first inactive");
        Record("activated the first inactive", withIni);
        Expect(ops_->RemoveInactive({1}), "remove");
        Record("removed one inactive", withIni);
        Expect(ops_->SaveCodecLists(), "save unchanged");
        Record("saved unchanged", withIni);
        Expect(ops_->Deactivate({0, 2}), "deactivate two");
        Record("deactivated two", withIni);
        Expect(ops_->Activate({catalogue_->InactiveCodecList.Count() - 1}), "activate the last inactive");
        Record("activated the last inactive", withIni);
        Expect(ops_->RestoreBackup(), "restore");
        Record("restored the backup", withIni);
        // A reload sees what the saves left, and saves it once more.
        Load(mode);
        Expect(ops_->SaveCodecLists(), "save after reload");
        Record("saved after reload", withIni);
    }
    void Expect(const TOperationResult& r, const char* what) { EXPECT_TRUE(r.Saved) << what << ": " << r.Error; }

    void Compare(const std::string& name) {
        const fs::path golden = test::TestData("saves/" + name);
        if (const char* w = std::getenv("TARNEL_WRITE_TRANSCRIPTS"); w && std::string(w) == "1") {
            fs::create_directories(golden.parent_path());
            std::ofstream(golden, std::ios::binary | std::ios::trunc) << transcript_;
            return;
        }
        ASSERT_TRUE(fs::exists(golden)) << golden;
        const std::string want = Slurp(golden);
        if (want == transcript_) return;
        // Name the first place they part, with a little of each side.
        size_t at = 0;
        while (at < want.size() && at < transcript_.size() && want[at] == transcript_[at]) ++at;
        const size_t from = at > 200 ? at - 200 : 0;
        ADD_FAILURE() << name << " differs at byte " << at << "\n--- recorded ---\n"
                      << want.substr(from, 400) << "\n--- now ---\n"
                      << transcript_.substr(from, 400);
    }

    TRegistryFixedTime time_{1700000000};
    TPreferences prefs_;
    TLog log_;
    AlwaysYes answers_;
    std::unique_ptr<TCodecCatalogue> catalogue_;
    std::unique_ptr<TCodecOperations> ops_;
    std::string transcript_;
};

// The registry family, on the demo machine with entries the lists do not
// show beside the codecs', names in odd case and an inactive entry written
// by hand in another layout than the program's.
TEST_F(SaveTranscript, RegistryFamily) {
    test::TempMachine m(TMachineFamily::NT, true);
    Put(cDrivers32Key, "msacm.odd", "odd.acm");
    Put(cDrivers32Key, "VIDC.UPPR", "upper.dll");
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, true));
        reg.WriteInteger("vidc.nott", 7);
    }
    PutInactive("#050#", {"hand", "hand.dll", "Hand", "Written by hand", "1.0", "32"});
    Put(cInactiveKey, "#note", "not an entry");
    ForgetLoadedHives();
    // The hand-written entry: one long hex line, as no writer of ours wraps it.
    {
        const std::string text = Slurp(SystemHivePath());
        const size_t at = text.find("\"#050#\"=hex:");
        ASSERT_NE(at, std::string::npos);
        const size_t end = text.find("\n\"", at);
        std::string value = text.substr(at, end - at);
        std::string joined;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == '\n') {
                i += 1;
                while (i + 1 < value.size() && value[i + 1] == ' ') ++i;
                continue;
            }
            joined += value[i];
        }
        EditFile(SystemHivePath(), value, joined);
    }
    RunSequence(3, false);
    // Another program changes an active entry; a save after a reload keeps it.
    EditFile(SystemHivePath(), "\"vidc.uppr\"=\"upper.dll\"", "\"vidc.uppr\"=\"upper2.dll\"");
    Load(3);
    Expect(ops_->Deactivate({0}), "deactivate after an outside change");
    Record("deactivated after an outside change", false);
    Compare("registry.txt");
}

// The profile file family: the active entries in system.ini, the inactive
// ones and the backup in the registry.
TEST_F(SaveTranscript, ProfileFileFamily) {
    test::TempMachine m(TMachineFamily::Win9x, true);
    PutInactive("#007#", {"sevn", "seven.dll", "Seven", "The seventh", "7.0", "32"});
    ForgetLoadedHives();
    RunSequence(1, true);
    Compare("profile.txt");
}

}  // namespace
