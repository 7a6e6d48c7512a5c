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
        std::vector<std::string> names;
        reg.GetValueNames(names);
        entries.reserve(names.size());
        for (std::string& name : names) {
            TActiveStoreEntry e;
            e.Info = SplitDriverName(name);
            if (!e.Info.Kind.empty()) {
                platform::TRegDataType type = reg.GetDataType(name);
                e.IsText = type == platform::TRegDataType::rdString ||
                           type == platform::TRegDataType::rdExpandString;
                if (e.IsText) e.Driver = reg.ReadString(name);
            }
            e.Name = std::move(name);
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
    std::vector<std::string> names;
    reg.GetValueNames(names);
    for (std::string& name : names) {
        TInactiveStoreEntry e;
        if (name.size() > 1 && name[0] == cInactiveMark[0] &&
            reg.GetDataType(name) != platform::TRegDataType::rdBinary) {
            e.Kind = TInactiveStoreEntry::NotBinary;
        } else {
            ReadInactiveEntry(name, reg, e.Record);
            e.Kind = e.Record.Number.empty() ? TInactiveStoreEntry::Other : TInactiveStoreEntry::Entry;
        }
        e.Name = std::move(name);
        visit(e);
    }
    transaction.Commit();
}

}  // namespace tarnel
