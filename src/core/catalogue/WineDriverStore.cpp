// The driver store of a machine Wine runs. Wine's codec manager walks the
// registry's Drivers32 values and then the [drivers32] lines of SYSTEM.INI
// (on the NT family too), and takes from each only names of exactly
// "vidc." and four characters, a line's "=" right after them. The first
// entry of a FOURCC is the one that opens; a later one of the same FOURCC
// is kept in the list, marked as shadowed, and never dropped.
//
// Each entry stays in the store it came from: a SYSTEM.INI line taken out of
// service goes back to SYSTEM.INI, under the key it had. The inactive
// entry's six texts have no room for that, so it is kept beside them in a
// key of its own (cInactiveHomeKey), one value per entry that goes back to
// SYSTEM.INI, named as the entry is and holding "system.ini|KEY|DRIVER";
// a value that no longer fits its entry (another program renumbered the
// list) is not taken, and that entry goes to the registry.
#include <map>
#include <set>

#include "core/catalogue/DriverStore.h"
#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

using platform::TRegistry;

constexpr size_t kWineNameLength = 9;  // "vidc." and a FOURCC of four characters
constexpr char kHomeMark[] = "system.ini";

void OpenForWriting(TRegistry& reg, const char* key) {
    reg.SetRootKey(platform::kHkeyLocalMachine);
    if (!reg.OpenKey(key, true)) throw platform::ERegistryException(std::string("Failed to create key ") + key);
}

std::string VidcName(const std::string& fourcc) { return std::string(cVidcPrefix) + "." + fourcc; }

bool WineCodecName(const std::string& name) {
    return name.size() == kWineNameLength && platform::StartsWithNoCase(name, std::string(cVidcPrefix) + ".");
}

void WriteProfileKey(const std::string& key, const char* value) {
    if (!platform::WritePrivateProfileStringA(cDrivers32Section, key.c_str(), value, cSystemIni))
        throw platform::ERegistryException(std::string(value ? "Failed to write '" : "Failed to remove '") + key +
                                           (value ? "' to " : "' from ") + cSystemIni);
}

// The whole section, however long.
std::vector<std::string> WholeSection() {
    std::vector<char> buffer(cSectionBufferSize, 0);
    std::vector<std::string> lines;
    for (;;) {
        const uint32_t length = platform::GetPrivateProfileSectionA(cDrivers32Section, buffer.data(),
                                                                    uint32_t(buffer.size()), cSystemIni);
        if (length + 2 < buffer.size() || buffer.size() >= (1u << 30)) {
            SplitSectionBuffer(buffer.data(), std::min<size_t>(length, buffer.size()), lines);
            return lines;
        }
        buffer.assign(buffer.size() * 4, 0);
    }
}

// Whether an active entry is written to SYSTEM.INI, and under which key.
bool GoesToSystemIni(const TCodecEntry& e) {
    return e.Store == TCodecStore::SystemIni || (e.Store == TCodecStore::None && e.Home == TCodecStore::SystemIni);
}
std::string IniKeyOf(const TCodecEntry& e) {
    if (e.Store == TCodecStore::SystemIni && !e.StoredName.empty()) return e.StoredName;
    if (!e.HomeName.empty()) return e.HomeName;
    return VidcName(e.Fourcc);
}

std::string Lower(const std::string& s) { return platform::AsciiLowerCase(s); }

class TWineDriverStore final : public TDriverStore {
public:
    const char* LoadStartLine() const override { return cLogStartRegistry; }
    const char* LoadEndLine() const override { return cLogEndRegistry; }
    // Wine's codec manager finds a FOURCC by the registry's name of it in
    // both stores; the first line of that name wins, the others are shadowed.
    std::string ActiveKey(const std::string& fourcc) const override {
        return platform::AsciiLowerCase(VidcName(fourcc));
    }

    std::vector<TCodecEntry> BackupEntries() override {
        // The registry's entries keep their names, SYSTEM.INI's are named
        // by their FOURCC alone, and go back there.
        std::vector<TCodecEntry> entries = TDriverStore::BackupEntries();
        platform::TTransaction transaction(platform::TTransaction::Read);
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        std::vector<std::string> names;
        if (reg.OpenKeyReadOnly(cDrivers32BackupKey)) {
            std::vector<TRegistry::TValue> values;
            reg.GetValues(values);
            for (auto& v : values)
                if (v.Type == platform::kRegSz || v.Type == platform::kRegExpandSz) names.push_back(v.Name);
        }
        transaction.Commit();
        for (size_t i = 0; i < entries.size() && i < names.size(); ++i) {
            if (SplitDriverName(names[i]).Kind.empty()) {
                entries[i].Home = TCodecStore::SystemIni;
                entries[i].HomeName = VidcName(entries[i].Fourcc);
            }
        }
        return entries;
    }

protected:
    std::string ActiveName(const std::string& fourcc) const override { return VidcName(fourcc); }

    std::vector<TActiveStoreLine> ReadActive() override {
        std::vector<TActiveStoreLine> lines;
        // The entry that opens for each FOURCC so far: the first one.
        std::map<std::string, std::string> first;
        auto shadow = [&](TCodecEntry& e, const std::string& where) {
            auto [at, isNew] = first.emplace(Lower(e.Fourcc), where);
            if (!isNew) e.ShadowedBy = at->second;
        };
        {
            TRegistry reg;
            reg.SetRootKey(platform::kHkeyLocalMachine);
            reg.OpenKeyReadOnly(cDrivers32Key);  // an unopened key lists no values
            std::vector<TRegistry::TValue> values;
            reg.GetValues(values);
            for (auto& v : values) {
                TActiveStoreLine& line = lines.emplace_back();
                TCodecEntry& e = line.Entry;
                e.Store = TCodecStore::Drivers32;
                e.ValueType = v.Type;
                if (WineCodecName(v.Name)) {
                    const bool text = v.Type == platform::kRegSz || v.Type == platform::kRegExpandSz;
                    line.Kind = text ? TActiveStoreLine::Codec : TActiveStoreLine::NotText;
                    e.Fourcc = Lower(v.Name.substr(5));
                    e.Type = cType32;
                    if (text) {
                        e.Driver = std::string(v.Data.c_str());
                        shadow(e, "the registry's " + v.Name);
                    }
                }
                e.StoredName = std::move(v.Name);
            }
        }
        for (std::string& text : WholeSection()) {
            TActiveStoreLine& line = lines.emplace_back();
            TCodecEntry& e = line.Entry;
            e.Store = TCodecStore::SystemIni;
            const size_t eq = text.find('=');
            e.StoredName = text.substr(0, eq);
            if (eq == kWineNameLength && WineCodecName(e.StoredName)) {
                line.Kind = TActiveStoreLine::Codec;
                e.Fourcc = Lower(e.StoredName.substr(5));
                e.Driver = text.substr(eq + 1);
                e.Type = cType32;
                shadow(e, std::string(cSystemIni) + "'s " + e.StoredName);
            }
        }
        return lines;
    }

    void BackUpActive(const std::vector<TCodecEntry>& shown) override {
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.DeleteKey(cDrivers32BackupKey);
        OpenForWriting(reg, cDrivers32BackupKey);
        for (const TCodecEntry& e : shown)
            reg.WriteString(e.Store == TCodecStore::SystemIni ? e.Fourcc : e.StoredName, e.Driver);
    }

    // SYSTEM.INI is Wine's own file, shared with everything else in it: a
    // line that stays as it is is left where it stands, so that only the
    // codecs that change place move.
    bool RemoveActive(const std::vector<TCodecEntry>& shown, const TActiveStanding&) override {
        std::map<std::string, int> keys;
        for (const TCodecEntry& e : shown)
            if (e.Store == TCodecStore::SystemIni) ++keys[Lower(e.StoredName)];
        kept_.clear();
        bool registry = false;
        for (const TCodecEntry& e : shown) {
            if (e.Store != TCodecStore::SystemIni) {
                registry = true;
                continue;
            }
            const std::string key = Lower(e.StoredName);
            auto planned = planned_.find(key);
            if (keys[key] == 1 && planned != planned_.end() && planned->second == e.Driver) {
                kept_.insert(key);
                continue;
            }
            WriteProfileKey(e.StoredName, nullptr);
        }
        if (!registry) return false;
        TRegistry reg;
        OpenForWriting(reg, cDrivers32Key);
        for (const TCodecEntry& e : shown)
            if (e.Store != TCodecStore::SystemIni) reg.DeleteValue(e.StoredName);
        return false;
    }

    void WriteActive(std::span<const TCodecEntry> active, const TActiveStanding&) override {
        TRegistry drivers32, drivers;
        bool drivers32Open = false, driversOpen = false;
        for (const TCodecEntry& e : active) {
            if (GoesToSystemIni(e)) {
                if (!kept_.count(Lower(IniKeyOf(e)))) WriteProfileKey(IniKeyOf(e), e.Driver.c_str());
            } else if (e.Type == cType16) {
                if (!driversOpen) OpenForWriting(drivers, cDriversKey);
                driversOpen = true;
                drivers.WriteString(VidcName(e.Fourcc), e.Driver);
            } else {
                if (!drivers32Open) OpenForWriting(drivers32, cDrivers32Key);
                drivers32Open = true;
                drivers32.WriteString(VidcName(e.Fourcc), e.Driver);
            }
        }
        kept_.clear();
        planned_.clear();
    }

    void WriteActiveEntry(const std::string& name, const std::string& driver) override {
        TRegistry reg;
        OpenForWriting(reg, cDrivers32Key);
        reg.WriteString(name, driver);
    }

    void PlaceActive(TCodecEntry& e) const override {
        if (GoesToSystemIni(e)) {
            e.StoredName = IniKeyOf(e);
            e.Store = TCodecStore::SystemIni;
            e.ValueType = 0;
        } else {
            e.Store = e.Type == cType16 ? TCodecStore::Drivers : TCodecStore::Drivers32;
            e.StoredName = VidcName(e.Fourcc);
            e.ValueType = platform::kRegSz;
        }
        e.Home = TCodecStore::None;
        e.HomeName.clear();
    }

    // One line per key in SYSTEM.INI, one value per name in the registry:
    // two active entries of one would leave one codec nowhere.
    void CheckActiveEntries(std::span<const TCodecEntry> active) override {
        std::map<std::string, const TCodecEntry*> ini, registry;
        planned_.clear();
        for (const TCodecEntry& e : active) {
            const bool toIni = GoesToSystemIni(e);
            const std::string key = Lower(toIni ? IniKeyOf(e) : VidcName(e.Fourcc) + (e.Type == cType16 ? "/16" : ""));
            auto [at, isNew] = (toIni ? ini : registry).emplace(key, &e);
            if (isNew) {
                if (toIni) planned_.emplace(key, e.Driver);
                continue;
            }
            const std::string where = toIni ? std::string(cSystemIni) : std::string("the registry");
            throw EStoreFormatError("The active list holds two codecs named '" + VidcName(e.Fourcc) + "' in " + where +
                                    " (" + at->second->Driver + " and " + e.Driver + "), which can keep only one of "
                                    "them: deactivate one first (from the command line: tarnelctl deactivate " +
                                    e.Fourcc + " --driver " + e.Driver + ")");
        }
    }

    // Wine's manager looks in the registry first: the candidate written
    // there is found whichever store holds the owner.
    void RegisterProbe(const std::string& candidate, const std::string& driver, const TCodecEntry* owner) override {
        TRegistry reg;
        OpenForWriting(reg, cDrivers32Key);
        if (owner && owner->Store != TCodecStore::SystemIni)
            reg.DeleteValue(VidcName(platform::AsciiLowerCase(owner->Fourcc)));
        reg.WriteString(VidcName(platform::AsciiLowerCase(candidate)), driver);
    }

    std::function<void(TCodecEntry&)> InactiveCompleter() override {
        auto homes = std::make_shared<std::map<std::string, std::string>>();
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        if (reg.OpenKeyReadOnly(cInactiveHomeKey)) {
            std::vector<TRegistry::TValue> values;
            reg.GetValues(values);
            for (auto& v : values)
                if (v.Type == platform::kRegSz) homes->emplace(v.Name, std::string(v.Data.c_str()));
        }
        return [homes](TCodecEntry& e) {
            auto it = homes->find(e.StoredName);
            if (it == homes->end()) return;
            // "system.ini|KEY|DRIVER", taken only while it fits the entry.
            const std::string& text = it->second;
            const size_t a = text.find('|'), b = a == std::string::npos ? a : text.find('|', a + 1);
            if (b == std::string::npos || text.substr(0, a) != kHomeMark) return;
            const std::string key = text.substr(a + 1, b - a - 1), driver = text.substr(b + 1);
            if (!WineCodecName(key) || Lower(key.substr(5)) != Lower(e.Fourcc) ||
                !platform::EqualsNoCase(driver, e.Driver))
                return;
            e.Home = TCodecStore::SystemIni;
            e.HomeName = key;
        };
    }

    void WriteInactiveExtras(std::span<const TCodecEntry> inactive) override {
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.DeleteKey(cInactiveHomeKey);
        bool open = false;
        for (const TCodecEntry& e : inactive) {
            if (e.Home != TCodecStore::SystemIni) continue;
            if (!open) OpenForWriting(reg, cInactiveHomeKey);
            open = true;
            const std::string key = e.HomeName.empty() ? VidcName(e.Fourcc) : e.HomeName.str();
            reg.WriteString(cInactiveMark + e.Number + cInactiveMark, std::string(kHomeMark) + "|" + key + "|" + e.Driver);
        }
    }

private:
    // Between the check and the writes of one save: the SYSTEM.INI lines
    // the active list will hold (key in lower case, driver), and those that
    // stand already and stay.
    std::map<std::string, std::string> planned_;
    std::set<std::string> kept_;
};

}  // namespace

std::unique_ptr<TDriverStore> MakeWineDriverStore() { return std::make_unique<TWineDriverStore>(); }

}  // namespace tarnel
