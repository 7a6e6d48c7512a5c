// A bridge killed at every step of a save: the save writes the driver list,
// its backup and the inactive store one call at a time; the bridge is ended
// just before its k-th change, for k from the second to the last. What it
// changed stays in Wine's registry (the server keeps each change), and the
// journal it kept lets the next bridge put everything back.
#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <iostream>

#include "conformance/env/WineEnv.h"
#include "core/catalogue/CodecLists.h"
#include "core/operations/CodecOperations.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uPrefs.h"
#include "platform/api/Registry.h"
#include "platform/api/WinPaths.h"
#include "platform/wine/WineBackend.h"

namespace tarnel::test {
namespace {

using namespace platform;

// The wine backend with a tripwire: before the change numbered `killAt` it
// ends the bridge. Counts the changes either way.
class Tripwire final : public TPlatformBackend {
public:
    Tripwire(std::unique_ptr<TPlatformBackend> inner, int killAt) : inner_(std::move(inner)), killAt_(killAt) {}
    int Changes() const { return changes_; }

    std::string Describe() const override { return inner_->Describe(); }
    TMachineFamily Family() override { return inner_->Family(); }
    long RegOpenKeyExA(RegKey k, const char* s, uint32_t o, uint32_t sam, RegKey* r) override {
        return inner_->RegOpenKeyExA(k, s, o, sam, r);
    }
    long RegCreateKeyExA(RegKey k, const char* s, uint32_t sam, RegKey* r, uint32_t* d) override {
        Change();
        return inner_->RegCreateKeyExA(k, s, sam, r, d);
    }
    long RegCloseKey(RegKey k) override { return inner_->RegCloseKey(k); }
    long RegEnumKeyExA(RegKey k, uint32_t i, char* n, uint32_t* c) override { return inner_->RegEnumKeyExA(k, i, n, c); }
    long RegEnumValueA(RegKey k, uint32_t i, char* n, uint32_t* c, uint32_t* t, uint8_t* d, uint32_t* b) override {
        return inner_->RegEnumValueA(k, i, n, c, t, d, b);
    }
    long RegQueryInfoKeyA(RegKey k, uint32_t* a, uint32_t* b, uint32_t* c, uint32_t* d, uint32_t* e) override {
        return inner_->RegQueryInfoKeyA(k, a, b, c, d, e);
    }
    long RegQueryValueExA(RegKey k, const char* n, uint32_t* t, uint8_t* d, uint32_t* b) override {
        return inner_->RegQueryValueExA(k, n, t, d, b);
    }
    long RegSetValueExA(RegKey k, const char* n, uint32_t t, const uint8_t* d, uint32_t b) override {
        Change();
        return inner_->RegSetValueExA(k, n, t, d, b);
    }
    long RegDeleteValueA(RegKey k, const char* n) override {
        Change();
        return inner_->RegDeleteValueA(k, n);
    }
    long RegDeleteKeyA(RegKey k, const char* s) override {
        Change();
        return inner_->RegDeleteKeyA(k, s);
    }
    std::string RegKeyPath(RegKey k) override { return inner_->RegKeyPath(k); }
    void BeginTransaction(bool w) override { inner_->BeginTransaction(w); }
    void BeginScratchTransaction() override { inner_->BeginScratchTransaction(); }
    void CommitTransaction() override { inner_->CommitTransaction(); }
    void RollbackTransaction() override { inner_->RollbackTransaction(); }
    int SetSavepoint() override { return inner_->SetSavepoint(); }
    void RollbackToSavepoint(int m) override { inner_->RollbackToSavepoint(m); }
    uint32_t GetPrivateProfileSectionA(const char* s, char* b, uint32_t n, const char* f) override {
        return inner_->GetPrivateProfileSectionA(s, b, n, f);
    }
    uint32_t GetPrivateProfileStringA(const char* s, const char* k, const char* d, char* b, uint32_t n,
                                      const char* f) override {
        return inner_->GetPrivateProfileStringA(s, k, d, b, n, f);
    }
    bool WritePrivateProfileStringA(const char* s, const char* k, const char* v, const char* f) override {
        Change();
        return inner_->WritePrivateProfileStringA(s, k, v, f);
    }
    HIC ICOpen(uint32_t t, uint32_t h, uint32_t m) override { return inner_->ICOpen(t, h, m); }
    intptr_t ICGetInfo(HIC h, ICINFO* i, uint32_t c) override { return inner_->ICGetInfo(h, i, c); }
    intptr_t ICSendMessage(HIC h, uint32_t m, intptr_t a, intptr_t b) override {
        return inner_->ICSendMessage(h, m, a, b);
    }
    intptr_t ICClose(HIC h) override { return inner_->ICClose(h); }
    uint32_t GetFileVersionInfoSizeA(const std::string& f, uint32_t* h) override {
        return inner_->GetFileVersionInfoSizeA(f, h);
    }
    bool GetFileVersionInfoA(const std::string& f, uint32_t h, uint32_t l, void* d) override {
        return inner_->GetFileVersionInfoA(f, h, l, d);
    }
    bool VerQueryValueA(void* b, uint32_t s, const std::string& p, void** o, uint32_t* l) override {
        return inner_->VerQueryValueA(b, s, p, o, l);
    }
    std::unique_ptr<TMappedFile> MapFileA(const std::string& p) override { return inner_->MapFileA(p); }
    bool GetVersionExA(OSVERSIONINFOEXA* i) override { return inner_->GetVersionExA(i); }
    std::string GetSystemDirectoryA() override { return inner_->GetSystemDirectoryA(); }
    std::string GetWindowsDirectoryA() override { return inner_->GetWindowsDirectoryA(); }
    std::string FormatLocalDateTimeNow() override { return inner_->FormatLocalDateTimeNow(); }

private:
    void Change() {
        if (++changes_ == killAt_) ::kill(dynamic_cast<wine::TWineBackend&>(*inner_).BridgeProcess(), SIGKILL);
    }
    std::unique_ptr<TPlatformBackend> inner_;
    int killAt_;
    int changes_ = 0;
};

struct AlwaysYes final : TOperationQuestions {
    TAnswer AskSwap(const TCodecEntry&, const TCodecEntry&) override { return TAnswer::Yes; }
    TAnswer AskRemove() override { return TAnswer::Yes; }
};

// Every value of the keys a save writes, as one text.
std::string Stored() {
    std::string all;
    for (const char* path : {kDrivers32KeyPath, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32.Backup",
                             "SOFTWARE\\Halvorin\\Drivers.Inactive"}) {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        std::vector<TRegistry::TValue> values;
        if (reg.OpenKeyReadOnly(path)) reg.GetValues(values);
        all += std::string("[") + path + "]\n";
        for (const auto& v : values) all += v.Name + "=" + std::to_string(v.Type) + ":" + v.Data + "\n";
    }
    return all;
}

// Loads both lists, deactivates the first active codec and saves, as the
// codec window does; true when the save reached the store.
bool DeactivateFirstAndSave() {
    TPreferences prefs;
    prefs.CodecStoreMode = 3;
    TLog log;
    TTransaction transaction;
    TCodecCatalogue catalogue(prefs, log);
    catalogue.LoadActiveList();
    catalogue.LoadInactiveCodecList();
    if (catalogue.CodecList.Count() == 0) return false;
    catalogue.CodecList.SelectOnly({0});
    AlwaysYes yes;
    TCodecOperations ops(catalogue, yes);
    const TOperationResult r = ops.Deactivate(catalogue.CodecList.SelectedRows());
    if (!r.Saved) return false;
    transaction.Commit();
    return true;
}

void Fill(const std::vector<std::pair<std::string, std::string>>& entries) {
    TTransaction transaction;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    reg.DeleteKey("\\SOFTWARE\\Halvorin");
    reg.DeleteKey(std::string("\\") + kDrivers32KeyPath + ".Backup");
    EXPECT_TRUE(reg.OpenKey(kDrivers32KeyPath, true));
    std::vector<std::string> names;
    reg.GetValueNames(names);
    for (const std::string& n : names) reg.DeleteValue(n);
    for (const auto& [name, driver] : entries) reg.WriteString(name, driver);
    reg.CloseKey();
    transaction.Commit();
}

TEST(BridgeKilledInASave, EveryChangeItMadeIsUndoneByTheNextBridge) {
    const auto prefix = conformance::TestPrefix();
    conformance::TPrefixSnapshot snapshot;
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"vidc.mjpg", "lcmjpeg.dll"}, {"msacm.lcadpcm", "lcadpcm.acm"}, {"vidc.yuy2", "pbyuv.dll"},
        {"vidc.i420", "tsplanar.dll"}, {"vidc.kwd3", "kwdelta.dll"}, {"wave", "tnwave.drv"}};
    auto previous = UseBackend(conformance::StartBridge(prefix));
    Fill(entries);
    ASSERT_TRUE(DeactivateFirstAndSave()) << "a save that nothing ends";
    Fill(entries);
    const std::string before = Stored();

    // How many changes one save makes.
    auto counting = std::make_unique<Tripwire>(conformance::StartBridge(prefix), 0);
    Tripwire& count = *counting;
    UseBackend(std::move(counting));
    {
        TTransaction transaction;
        TPreferences prefs;
        prefs.CodecStoreMode = 3;
        TLog log;
        TCodecCatalogue catalogue(prefs, log);
        catalogue.LoadActiveList();
        catalogue.LoadInactiveCodecList();
        catalogue.CodecList.SelectOnly({0});
        AlwaysYes yes;
        TCodecOperations ops(catalogue, yes);
        ASSERT_TRUE(ops.Deactivate(catalogue.CodecList.SelectedRows()).Saved);
        // Not committed: the journal undoes it.
    }
    const int changes = count.Changes();
    ASSERT_GT(changes, 5);
    std::cout << "[ kills    ] a save of " << changes << " changes, the bridge killed before each from the second\n";
    EXPECT_EQ(Stored(), before) << "a rollback puts the save back";

    for (int k = 2; k <= changes; ++k) {
        SCOPED_TRACE("killed before change " + std::to_string(k) + " of " + std::to_string(changes));
        UseBackend(std::make_unique<Tripwire>(conformance::StartBridge(prefix), k));
        EXPECT_FALSE(DeactivateFirstAndSave());
        UseBackend(conformance::StartBridge(prefix));
        EXPECT_EQ(Stored(), before);
    }
    UseBackend(std::move(previous));
}

}  // namespace
}  // namespace tarnel::test
