#include "core/catalogue/DriverStore.h"

#include <set>

#include "core/catalogue/CodecLists.h"
#include "core/shell/uConst.h"
#include "core/shell/uPrefs.h"
#include "platform/api/Ansi.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

using platform::TRegistry;

std::string Pair(const std::string& a, const std::string& b) { return SnapshotLine(a, b); }

// The registry key the save opens, creating it when missing.
void OpenForWriting(TRegistry& reg, const char* key) {
    reg.SetRootKey(platform::kHkeyLocalMachine);
    if (!reg.OpenKey(key, true)) throw platform::ERegistryException(std::string("Failed to create key ") + key);
}

// The six texts of an inactive row as the store keeps them.
std::vector<std::string> InactiveTexts(const TCodecRow& row) {
    return {row.Caption,           row.Cell(icDriver),  row.Cell(icShortname),
            row.Cell(icDescription), row.Cell(icVersion), row.Cell(icType)};
}

class TRegistryDriverStore final : public TDriverStore {
public:
    bool UsesProfileFile() const override { return false; }

protected:
    std::vector<TActiveStoreEntry> ReadActive() override {
        std::vector<TActiveStoreEntry> entries;
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.OpenKeyReadOnly(cDrivers32Key);  // an unopened key lists no values
        std::vector<TRegistry::TValue> values;
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

    // Each entry under its own name, with its own text.
    void BackUpActive(const std::vector<TActiveStoreEntry>& shown) override {
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.DeleteKey(cDrivers32BackupKey);
        OpenForWriting(reg, cDrivers32BackupKey);
        for (const TActiveStoreEntry& e : shown) reg.WriteString(e.Name, e.Driver);
    }

    void RemoveActive(const std::vector<TActiveStoreEntry>& shown) override {
        TRegistry reg;
        OpenForWriting(reg, cDrivers32Key);
        for (const TActiveStoreEntry& e : shown) reg.DeleteValue(e.Name);
    }

    void WriteActiveEntry(const std::string& fourcc, const std::string& driver) override {
        TRegistry reg;
        OpenForWriting(reg, cDrivers32Key);
        reg.WriteString(std::string(cVidcPrefix) + "." + fourcc, driver);
    }

    // Type "16" goes back to the Drivers key; every other row is a 32-bit
    // driver of Drivers32, where the loaders will find it again.
    void WriteActive(const TCodecList& active) override {
        TRegistry drivers32, drivers;
        OpenForWriting(drivers32, cDrivers32Key);
        bool driversOpen = false;
        for (const TCodecRow& row : active.Rows()) {
            const std::string name = std::string(cVidcPrefix) + "." + row.Caption;
            if (row.Cell(acType) == cType16) {
                if (!driversOpen) OpenForWriting(drivers, cDriversKey);
                driversOpen = true;
                drivers.WriteString(name, row.Cell(acDriver));
            } else {
                drivers32.WriteString(name, row.Cell(acDriver));
            }
        }
    }
};

// The key a profile line is written under for a row: "vidc." and the FOURCC
// up to an "=" it may hold, so that the line reads back as the same FOURCC
// and driver ("vidc.xyz=a.dll" shows FOURCC "xyz=" and stays that line).
std::string ProfileKey(const std::string& caption) {
    return std::string(cVidcPrefix) + "." + caption.substr(0, caption.find('='));
}

// The key of a line as the profile calls match it: the text before its "=".
std::string KeyOfLine(const std::string& line) { return line.substr(0, line.find('=')); }

class TProfileDriverStore final : public TDriverStore {
public:
    bool UsesProfileFile() const override { return true; }

protected:
    std::vector<TActiveStoreEntry> ReadActive() override {
        std::vector<std::string> lines;
        ReadWholeSection(lines);
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

    // The whole section: a section longer than the usual buffer is read with
    // a bigger one, so that no line is left unseen (and so never rewritten).
    static void ReadWholeSection(std::vector<std::string>& lines) {
        std::vector<char> buffer(cSectionBufferSize, 0);
        for (;;) {
            uint32_t length = platform::GetPrivateProfileSectionA(cDrivers32Section, buffer.data(),
                                                                  uint32_t(buffer.size()), cSystemIni);
            if (length + 2 < buffer.size() || buffer.size() >= (1u << 30)) {
                SplitSectionBuffer(buffer.data(), std::min<size_t>(length, buffer.size()), lines);
                return;
            }
            buffer.assign(buffer.size() * 4, 0);
        }
    }

    // Named by the FOURCC alone, holding the driver.
    void BackUpActive(const std::vector<TActiveStoreEntry>& shown) override {
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.DeleteKey(cDrivers32BackupKey);
        OpenForWriting(reg, cDrivers32BackupKey);
        for (const TActiveStoreEntry& e : shown) reg.WriteString(e.Info.Fourcc, e.Driver);
    }

    // One deletion per line shown: two lines of one name both go.
    void RemoveActive(const std::vector<TActiveStoreEntry>& shown) override {
        for (const TActiveStoreEntry& e : shown) {
            const std::string key = KeyOfLine(e.Name);
            if (!platform::WritePrivateProfileStringA(cDrivers32Section, key.c_str(), nullptr, cSystemIni))
                throw platform::ERegistryException("Failed to remove '" + key + "' from " + cSystemIni);
        }
    }

    void WriteActive(const TCodecList& active) override {
        for (const TCodecRow& row : active.Rows()) {
            const std::string key = ProfileKey(row.Caption);
            if (!platform::WritePrivateProfileStringA(cDrivers32Section, key.c_str(), row.Cell(acDriver).c_str(),
                                                      cSystemIni))
                throw platform::ERegistryException("Failed to write '" + key + "' to " + cSystemIni);
        }
    }

    void WriteActiveEntry(const std::string& fourcc, const std::string& driver) override {
        const std::string key = ProfileKey(fourcc);
        if (!platform::WritePrivateProfileStringA(cDrivers32Section, key.c_str(), driver.c_str(), cSystemIni))
            throw platform::ERegistryException("Failed to write '" + key + "' to " + cSystemIni);
    }

    // A profile file keeps one line per name: two active rows of one name
    // would leave one of the two codecs nowhere.
    void CheckActiveRows(const TCodecList& active) override {
        std::set<std::string> keys;
        for (const TCodecRow& row : active.Rows()) {
            if (!keys.insert(platform::AsciiLowerCase(ProfileKey(row.Caption))).second)
                throw EStoreFormatError("The active list holds two codecs named '" + ProfileKey(row.Caption) +
                                        "'; " + cSystemIni + " can keep only one of them: deactivate one first");
        }
    }
};

}  // namespace

// The name and what it holds, told apart by a zero byte that neither may contain.
std::string SnapshotLine(const std::string& name, const std::string& data) {
    return name + std::string(1, '\0') + data;
}

std::unique_ptr<TDriverStore> TDriverStore::ForMode(int32_t codecStoreMode) {
    if (UsesProfileStore(codecStoreMode)) return std::make_unique<TProfileDriverStore>();
    if (UsesRegistryStore(codecStoreMode)) return std::make_unique<TRegistryDriverStore>();
    return nullptr;
}

std::unique_ptr<TDriverStore> TDriverStore::InactiveOnly() { return std::make_unique<TRegistryDriverStore>(); }

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
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    reg.OpenKeyReadOnly(cInactiveKey);
    std::vector<TRegistry::TValue> values;
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
        e.Data = std::move(v.Data);
        visit(e);
    }
    transaction.Commit();
}

TStoreSnapshot TDriverStore::Snapshot() {
    platform::TTransaction transaction(platform::TTransaction::Read);
    TStoreSnapshot s;
    for (const TActiveStoreEntry& e : ReadActive())
        if (e.Shown()) s.Active.push_back(Pair(e.Name, e.Driver));
    VisitInactiveEntries([&](const TInactiveStoreEntry& e) {
        if (e.Kind == TInactiveStoreEntry::Entry) s.Inactive.push_back(Pair(e.Name, e.Data));
    });
    transaction.Commit();
    return s;
}

void TDriverStore::Save(const TCodecList& active, const TCodecList& inactive, const TStoreSnapshot* expected) {
    platform::TTransaction transaction(platform::TTransaction::Write);

    // What the store holds now, read under the lock the save keeps to its end.
    std::vector<TActiveStoreEntry> shown;
    for (TActiveStoreEntry& e : ReadActive())
        if (e.Shown()) shown.push_back(std::move(e));
    std::vector<std::string> numbered;
    TStoreSnapshot now;
    for (const TActiveStoreEntry& e : shown) now.Active.push_back(Pair(e.Name, e.Driver));
    // A numbered entry the loader could not read stops the save here, before
    // anything is written: rewriting the list would drop it.
    VisitInactiveEntries([&](const TInactiveStoreEntry& e) {
        if (e.Kind != TInactiveStoreEntry::Entry) return;
        numbered.push_back(e.Name);
        now.Inactive.push_back(Pair(e.Name, e.Data));
    });
    if (expected && !(now == *expected))
        throw EStoreChanged("The codec list was changed by another program and has been reloaded. "
                            "Please repeat the operation.");

    // Rows the store cannot hold are refused before anything changes.
    CheckActiveRows(active);
    std::vector<std::vector<std::string>> inactiveTexts;
    for (const TCodecRow& row : inactive.Rows()) {
        inactiveTexts.push_back(InactiveTexts(row));
        if (BinaryStringsSize(inactiveTexts.back()) > cMaxInactiveEntryBytes)
            throw EStoreFormatError("The inactive codec " + row.Caption + " (" + row.Cell(icDriver) + ") would take " +
                                    std::to_string(BinaryStringsSize(inactiveTexts.back())) +
                                    " bytes in the store; at most " + std::to_string(cMaxInactiveEntryBytes) +
                                    " are allowed");
    }

    BackUpActive(shown);
    RemoveActive(shown);
    {
        TRegistry reg;
        OpenForWriting(reg, cInactiveKey);
        for (const std::string& name : numbered) reg.DeleteValue(name);
        for (size_t i = 0; i < inactive.Count(); ++i) {
            const std::string name = std::string(cInactiveMark) + inactive.Row(i).Cell(icNumber) + cInactiveMark;
            WriteBinaryStrings(reg, name, inactiveTexts[i]);
        }
    }
    WriteActive(active);
    transaction.Commit();
}

void TDriverStore::AddActiveEntry(const std::string& fourcc, const std::string& driver) {
    platform::TTransaction transaction;
    WriteActiveEntry(fourcc, driver);
    transaction.Commit();
}

void TDriverStore::AddInactiveEntry(const TInactiveCodecInfo& entry) {
    platform::TTransaction transaction;
    TRegistry reg;
    OpenForWriting(reg, cInactiveKey);
    std::vector<std::string> texts{entry.Fourcc, entry.Driver, entry.Shortname, entry.Description,
                                   entry.Version, entry.Type};
    WriteBinaryStrings(reg, std::string(cInactiveMark) + entry.Number + cInactiveMark, texts);
    transaction.Commit();
}

std::vector<std::pair<std::string, std::string>> TDriverStore::BackupEntries() {
    platform::TTransaction transaction(platform::TTransaction::Read);
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    std::vector<std::pair<std::string, std::string>> out;
    if (reg.OpenKeyReadOnly(cDrivers32BackupKey)) {
        std::vector<TRegistry::TValue> values;
        reg.GetValues(values);
        for (auto& v : values) {
            if (v.Type != platform::kRegSz && v.Type != platform::kRegExpandSz) continue;
            // The registry keeps whole entry names, the profile file's backup
            // the FOURCC alone.
            TCodecInfo info = SplitDriverName(v.Name);
            out.emplace_back(info.Kind.empty() ? platform::AsciiLowerCase(v.Name) : info.Fourcc,
                             std::string(v.Data.c_str()));
        }
    }
    transaction.Commit();
    return out;
}

}  // namespace tarnel
