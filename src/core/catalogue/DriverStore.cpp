#include "core/catalogue/DriverStore.h"

#include "core/shell/uConst.h"
#include "core/shell/uPrefs.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

class TRegistryDriverStore final : public TDriverStore {
public:
    bool UsesProfileFile() const override { return false; }

protected:
    std::vector<TActiveStoreEntry> ReadActive() override {
        std::vector<TActiveStoreEntry> entries;
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.OpenKeyReadOnly(cDrivers32Key);  // an unopened key lists no values
        std::vector<platform::TRegistry::TValue> values;
        reg.GetValues(values);
        entries.reserve(values.size());
        for (auto& v : values) {
            TActiveStoreEntry e;
            e.Info = SplitDriverName(v.Name);
            if (!e.Info.Kind.empty()) {
                e.IsText = v.Type == platform::kRegSz || v.Type == platform::kRegExpandSz;
                // As the string read does: cut at the first zero byte.
                if (e.IsText) e.Driver = std::string(v.Data.c_str());
            }
            e.Name = std::move(v.Name);
            entries.push_back(std::move(e));
        }
        return entries;
    }
};

class TProfileDriverStore final : public TDriverStore {
public:
    bool UsesProfileFile() const override { return true; }

protected:
    std::vector<TActiveStoreEntry> ReadActive() override {
        std::vector<char> buffer(cSectionBufferSize, 0);
        uint32_t length =
            platform::GetPrivateProfileSectionA(cDrivers32Section, buffer.data(), cSectionBufferSize, cSystemIni);
        std::vector<std::string> lines;
        SplitSectionBuffer(buffer.data(), std::min<size_t>(length, buffer.size()), lines);
        std::vector<TActiveStoreEntry> entries;
        entries.reserve(lines.size());
        for (std::string& line : lines) {
            TActiveStoreEntry e;
            e.Info = SplitProfileLine(line);
            if (!e.Info.Kind.empty()) e.Driver = ValueOfLine(line);
            e.Name = std::move(line);
            entries.push_back(std::move(e));
        }
        return entries;
    }
};

}  // namespace

std::unique_ptr<TDriverStore> TDriverStore::ForMode(int32_t codecStoreMode) {
    if (UsesProfileStore(codecStoreMode)) return std::make_unique<TProfileDriverStore>();
    if (UsesRegistryStore(codecStoreMode)) return std::make_unique<TRegistryDriverStore>();
    return nullptr;
}

std::vector<TActiveStoreEntry> TDriverStore::ReadActiveEntries() {
    platform::TTransaction transaction(platform::TTransaction::Read);
    std::vector<TActiveStoreEntry> entries = ReadActive();
    transaction.Commit();
    return entries;
}

void TDriverStore::VisitActiveEntries(const std::function<void(size_t count)>& begin, const TActiveVisitor& visit) {
    platform::TTransaction transaction(platform::TTransaction::Read);
    std::vector<TActiveStoreEntry> entries = ReadActive();
    begin(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) visit(i, entries[i]);
    transaction.Commit();
}

void TDriverStore::VisitInactiveEntries(const TInactiveVisitor& visit) {
    platform::TTransaction transaction(platform::TTransaction::Read);
    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    reg.OpenKeyReadOnly(cInactiveKey);
    std::vector<platform::TRegistry::TValue> values;
    reg.GetValues(values);
    const std::string keyPath = reg.CurrentPath();
    for (auto& v : values) {
        TInactiveStoreEntry e;
        if (v.Name.size() > 1 && v.Name[0] == cInactiveMark[0] && v.Type != platform::kRegBinary) {
            e.Kind = TInactiveStoreEntry::NotBinary;
        } else if (v.Name.empty() || v.Name[0] != cInactiveMark[0]) {
            e.Kind = TInactiveStoreEntry::Other;
        } else {
            ReadInactiveEntryData(v.Name, v.Data, keyPath, e.Record);
            e.Kind = e.Record.Number.empty() ? TInactiveStoreEntry::Other : TInactiveStoreEntry::Entry;
        }
        e.Name = std::move(v.Name);
        visit(e);
    }
    transaction.Commit();
}

}  // namespace tarnel
