#include "core/catalogue/DriverStore.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string_view>

#include "core/shell/uConst.h"
#include "core/shell/uPrefs.h"
#include "platform/api/Ansi.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

using platform::TRegistry;

// The registry key the save opens, creating it when missing.
void OpenForWriting(TRegistry& reg, const char* key) {
    reg.SetRootKey(platform::kHkeyLocalMachine);
    if (!reg.OpenKey(key, true)) throw platform::ERegistryException(std::string("Failed to create key ") + key);
}

std::string VidcName(const std::string& fourcc) { return std::string(cVidcPrefix) + "." + fourcc; }

// The six texts of an inactive entry as the store keeps them, and a
// seventh for a driver text that is an expandable string.
std::vector<std::string> InactiveTexts(const TCodecEntry& e) {
    std::vector<std::string> texts{e.Fourcc, e.Driver, e.Shortname, e.Description, e.Version, e.Type};
    if (e.ExpandableDriver) texts.emplace_back(cExpandableDriverMark);
    return texts;
}

// A driver text as a value of the type it was read as.
void WriteDriverValue(TRegistry& reg, const std::string& name, const std::string& driver, bool expandable) {
    if (expandable) reg.WriteExpandString(name, driver);
    else reg.WriteString(name, driver);
}

std::string InactiveName(const std::string& number) { return cInactiveMark + number + cInactiveMark; }

// A numbered inactive entry, well formed or not, as its name and type tell
// (what VisitInactiveLines visits as Numbered or Malformed).
bool NumberedValue(const std::string& name, uint32_t type) {
    return name.size() > 1 && name[0] == cInactiveMark[0] && type == platform::kRegBinary;
}

// The snapshot lines of the numbered values of the inactive store, in
// store order, read in one pass that copies no value.
std::vector<TSnapshotLine> NumberedLines() {
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    reg.OpenKeyReadOnly(cInactiveKey);  // an unopened key lists no values
    std::vector<TSnapshotLine> lines;
    reg.VisitValues([&](const TRegistry::TValue& v) {
        if (NumberedValue(v.Name, v.Type)) lines.push_back(SnapshotLine(v.Name, v.Data));
    });
    return lines;
}

// Whether a name reads back as written: plain ASCII without a zero byte.
bool PlainName(const std::string& name) {
    return std::all_of(name.begin(), name.end(), [](char c) { return c > 0 && c < 0x7f; });
}

// The texts of an inactive entry in store order (InactiveTexts), without copies.
size_t InactiveTextViews(const TCodecEntry& e, std::string_view (&texts)[7]) {
    size_t n = 0;
    for (const std::string* t : {&e.Fourcc, &e.Driver, &e.Shortname, &e.Description, &e.Version, &e.Type})
        texts[n++] = *t;
    if (e.ExpandableDriver) texts[n++] = cExpandableDriverMark;
    return n;
}

// An inactive entry's data as WriteBinaryStrings stores its texts: each
// ends in a zero byte, an empty one stored as a blank.
std::string InactiveData(const TCodecEntry& e) {
    std::string_view texts[7];
    const size_t n = InactiveTextViews(e, texts);
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += texts[i].empty() ? std::string_view(" ") : texts[i];
        out += '\0';
    }
    return out;
}

// Whether `data` is what InactiveData gives for the entry.
bool HoldsInactiveData(std::string_view data, const TCodecEntry& e) {
    std::string_view texts[7];
    const size_t n = InactiveTextViews(e, texts);
    std::string_view rest = data;
    for (size_t i = 0; i < n; ++i) {
        const std::string_view text = texts[i].empty() ? std::string_view(" ") : texts[i];
        if (rest.size() <= text.size() || rest.compare(0, text.size(), text) != 0 || rest[text.size()] != '\0')
            return false;
        rest.remove_prefix(text.size() + 1);
    }
    return rest.empty();
}

// Whether a stored name is the one an inactive entry of that Number is
// written under (InactiveName), without building it.
bool IsInactiveName(std::string_view name, const std::string& number) {
    return name.size() == number.size() + 2 && name.front() == cInactiveMark[0] && name.back() == cInactiveMark[0] &&
           name.compare(1, number.size(), number) == 0;
}

// What a save learns of the inactive store's numbered values in one pass
// that copies none of their data.
struct TInactiveScan {
    bool Same = true;                  // they are the expected ones (when expected)
    bool Last = true;                  // they follow every other value of the key
    size_t Standing = 0;               // how many a save may leave standing
    std::vector<std::string> Names;    // each one's name, in store order
    std::vector<TSnapshotLine> Lines;  // each one's snapshot line, when kept
};

// How many numbered values may stand: those of a leading run that already
// hold, under the very name, the data the save would write there.
// Deleting every numbered value and appending the entries leaves the same
// key only while the numbered values follow all others (then the run stays
// where the writes would put it); and a save that changes nothing still
// rewrites the last one, so that the key shows the time of the save as it
// always did.
TInactiveScan ScanInactive(const std::vector<TSnapshotLine>* expected, bool keepLines,
                           std::span<const TCodecEntry> inactive) {
    TInactiveScan scan;
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    reg.OpenKeyReadOnly(cInactiveKey);  // an unopened key lists no values
    size_t run = 0;
    reg.VisitValues([&](const TRegistry::TValue& v) {
        if (!NumberedValue(v.Name, v.Type)) {
            if (!scan.Names.empty()) scan.Last = false;
            return;
        }
        const size_t k = scan.Names.size();
        if ((expected && scan.Same) || keepLines) {
            const TSnapshotLine line = SnapshotLine(v.Name, v.Data);
            if (expected && scan.Same) scan.Same = k < expected->size() && (*expected)[k] == line;
            if (keepLines) scan.Lines.push_back(line);
        }
        if (run == k && k < inactive.size() && IsInactiveName(v.Name, inactive[k].Number) &&
            HoldsInactiveData(v.Data, inactive[k]))
            ++run;
        scan.Names.push_back(v.Name);
    });
    if (expected) scan.Same = scan.Same && scan.Names.size() == expected->size();
    scan.Standing = scan.Last ? run : 0;
    if (scan.Standing > 0 && scan.Standing == scan.Names.size() && scan.Standing == inactive.size()) --scan.Standing;
    return scan;
}

// Whether a snapshot line holds that name and data.
bool SameLine(const TSnapshotLine& line, std::string_view name, std::string_view data) {
    return line == SnapshotLine(name, data);
}

// The seventh text of an inactive entry's data as SplitSectionBuffer cuts
// it (empty texts skipped, one without its zero not taken); empty when none.
std::string_view SeventhText(std::string_view data) {
    size_t n = 0;
    for (size_t p = 0; p < data.size();) {
        const size_t zero = data.find('\0', p);
        if (zero == std::string_view::npos) break;
        if (zero > p && ++n == 7) return data.substr(p, zero - p);
        p = zero + 1;
    }
    return {};
}

// The whole Number of a stored inactive entry: what stands between its two
// "#" ("1000" for #1000#), or after the first when no second one closes it.
std::string NumberOfName(const std::string& name) {
    const size_t close = name.find(cInactiveMark[0], 1);
    return name.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

class TRegistryDriverStore final : public TDriverStore {
public:
    const char* LoadStartLine() const override { return cLogStartRegistry; }
    const char* LoadEndLine() const override { return cLogEndRegistry; }

protected:
    std::string ActiveName(const std::string& fourcc) const override { return VidcName(fourcc); }
    std::string ActiveKey(const std::string& fourcc) const override {
        return platform::AsciiLowerCase(VidcName(fourcc));
    }

    std::vector<TActiveStoreLine> ReadActive() override {
        std::vector<TActiveStoreLine> lines;
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.OpenKeyReadOnly(cDrivers32Key);  // an unopened key lists no values
        std::vector<TRegistry::TValue> values;
        reg.GetValues(values);
        lines.reserve(values.size());
        for (auto& v : values) {
            TActiveStoreLine& line = lines.emplace_back();
            TCodecEntry& e = line.Entry;
            const TCodecInfo info = SplitDriverName(v.Name);
            e.Store = TCodecStore::Drivers32;
            e.ValueType = v.Type;
            if (!info.Kind.empty()) {
                const bool text = v.Type == platform::kRegSz || v.Type == platform::kRegExpandSz;
                line.Kind = text ? TActiveStoreLine::Codec : TActiveStoreLine::NotText;
                e.Fourcc = info.Fourcc;
                e.Type = cType32;
                // As the string read does: cut at the first zero byte.
                if (text) e.Driver = std::string(v.Data.c_str());
                e.ExpandableDriver = v.Type == platform::kRegExpandSz;
            }
            e.StoredName = std::move(v.Name);
        }
        return lines;
    }

    // Each entry under its own name, with its own text.
    void BackUpActive(const std::vector<TCodecEntry>& shown) override {
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.DeleteKey(cDrivers32BackupKey);
        OpenForWriting(reg, cDrivers32BackupKey);
        for (const TCodecEntry& e : shown) WriteDriverValue(reg, e.StoredName, e.Driver, e.ExpandableDriver);
    }

    // A whole rewrite deletes the shown entries and appends the active ones:
    // a shown entry already holding, under the very name, what is written
    // for the next active entry of the key, and lying after every value that
    // stays and after the entries standing before it, is where that rewrite
    // would put it, so it may stand. A save that would change nothing still
    // rewrites the last one, so that the key shows the time of the save.
    TActiveStanding StandingActive(const std::vector<TCodecEntry>& shown, size_t settled,
                                   std::span<const TCodecEntry> active) override {
        TActiveStanding standing{std::vector<bool>(shown.size()), 0};
        std::map<std::string, size_t> byName;
        for (size_t i = settled; i < shown.size(); ++i) byName.emplace(platform::AsciiLowerCase(shown[i].StoredName), i);
        if (byName.empty()) return standing;
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        if (!reg.OpenKeyReadOnly(cDrivers32Key)) return standing;
        size_t next = settled, in32 = 0, last = 0;
        for (const TCodecEntry& e : active) {
            if (e.Type == cType16) continue;
            ++in32;
            const std::string name = VidcName(e.Fourcc);
            auto it = byName.find(platform::AsciiLowerCase(name));
            if (it == byName.end() || it->second < next || !reg.HoldsString(name, e.Driver, e.ExpandableDriver)) break;
            last = it->second;
            standing.Shown[last] = true;
            next = last + 1;
            ++standing.Count;
        }
        const bool deletes = std::find(standing.Shown.begin(), standing.Shown.end(), false) != standing.Shown.end();
        if (standing.Count > 0 && !deletes && standing.Count == in32) {
            standing.Shown[last] = false;
            --standing.Count;
        }
        return standing;
    }

    // The standing entries in their order, then those written, each under a
    // name the key had for no other value (a write over one would put it
    // elsewhere) and reading back as written.
    bool ActiveLinesWritten(const std::vector<TCodecEntry>& shown, const TActiveStanding& standing,
                            std::span<const TCodecEntry> active, std::set<std::string> others,
                            std::vector<TSnapshotLine>& lines) const override {
        lines.clear();
        for (size_t i = 0; i < shown.size(); ++i) {
            if (!standing.Shown[i]) continue;
            others.insert(platform::AsciiLowerCase(shown[i].StoredName));
            lines.push_back(SnapshotLine(shown[i].StoredName, shown[i].Driver));
        }
        size_t in32 = 0;
        for (const TCodecEntry& e : active) {
            if (e.Type == cType16 || in32++ < standing.Count) continue;
            std::string name = VidcName(e.Fourcc);
            if (!PlainName(name) || !PlainName(e.Driver) || SplitDriverName(name).Kind.empty() ||
                !others.insert(platform::AsciiLowerCase(name)).second)
                return false;
            lines.push_back(SnapshotLine(name, e.Driver));
        }
        return true;
    }

    bool RemoveActive(const std::vector<TCodecEntry>& shown, const TActiveStanding& standing) override {
        TRegistry reg;
        OpenForWriting(reg, cDrivers32Key);
        bool all = true;
        for (size_t i = 0; i < shown.size(); ++i)
            if (!standing.Shown[i]) all = reg.DeleteValue(shown[i].StoredName) && all;
        return all;
    }

    void WriteActiveEntry(const std::string& name, const std::string& driver) override {
        TRegistry reg;
        OpenForWriting(reg, cDrivers32Key);
        reg.WriteString(name, driver);
    }

    // Type "16" goes back to the Drivers key; every other entry is a 32-bit
    // driver of Drivers32, where the loaders will find it again.
    void WriteActive(std::span<const TCodecEntry> active, const TActiveStanding& standing) override {
        TRegistry drivers32, drivers;
        OpenForWriting(drivers32, cDrivers32Key);
        bool driversOpen = false;
        size_t in32 = 0;
        for (const TCodecEntry& e : active) {
            if (e.Type == cType16) {
                if (!driversOpen) OpenForWriting(drivers, cDriversKey);
                driversOpen = true;
                WriteDriverValue(drivers, VidcName(e.Fourcc), e.Driver, e.ExpandableDriver);
            } else if (in32++ >= standing.Count) {
                WriteDriverValue(drivers32, VidcName(e.Fourcc), e.Driver, e.ExpandableDriver);
            }
        }
    }

    void PlaceActive(TCodecEntry& e) const override {
        e.Store = e.Type == cType16 ? TCodecStore::Drivers : TCodecStore::Drivers32;
        e.StoredName = VidcName(e.Fourcc);
        e.ValueType = e.ExpandableDriver ? platform::kRegExpandSz : platform::kRegSz;
    }

    // The value of the candidate in lower case; the owner's entry is out of
    // the key meanwhile. The key is not made: a probe on a machine without
    // one fails to write, as it would on Windows.
    void RegisterProbe(const std::string& candidate, const std::string& driver, const TCodecEntry* owner) override {
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.OpenKey(cDrivers32Key, false);
        if (owner) reg.DeleteValue(VidcName(platform::AsciiLowerCase(owner->Fourcc)));
        reg.WriteString(VidcName(platform::AsciiLowerCase(candidate)), driver);
    }
};

// The key a profile line is written under for an entry: "vidc." and the
// FOURCC up to an "=" it may hold, so that the line reads back as the same
// FOURCC and driver ("vidc.xyz=a.dll" shows FOURCC "xyz=" and stays that line).
std::string ProfileKey(const std::string& fourcc) { return VidcName(fourcc.substr(0, fourcc.find('='))); }

// The key of a line as the profile calls match it: the text before its "=".
std::string KeyOfLine(const std::string& line) { return line.substr(0, line.find('=')); }

// The key by which the loaders and the codec manager know a line: "vidc."
// and at most four characters of the FOURCC, so that "vidc.abcde" and
// "vidc.abcd" are one codec's to them.
std::string ProfileStoreKey(const std::string& fourcc) {
    return platform::AsciiLowerCase(ProfileKey(fourcc.substr(0, 4)));
}

void WriteProfileKey(const std::string& key, const char* value) {
    if (!platform::WritePrivateProfileStringA(cDrivers32Section, key.c_str(), value, cSystemIni))
        throw platform::ERegistryException(std::string(value ? "Failed to write '" : "Failed to remove '") + key +
                                           (value ? "' to " : "' from ") + cSystemIni);
}

class TProfileDriverStore final : public TDriverStore {
public:
    const char* LoadStartLine() const override { return cLogStartSystemIni; }
    const char* LoadEndLine() const override { return cLogEndSystemIni; }

protected:
    std::string ActiveName(const std::string& fourcc) const override { return ProfileKey(fourcc); }
    std::string ActiveKey(const std::string& fourcc) const override { return ProfileStoreKey(fourcc); }

    // A line read from the section goes back under the key it was read
    // with (in lower case), however much of it the FOURCC shows; an entry
    // new to the section under "vidc." and its FOURCC.
    static std::string KeyWritten(const TCodecEntry& e) {
        if (e.Store == TCodecStore::SystemIni && !e.StoredName.empty()) return platform::AsciiLowerCase(e.StoredName);
        return ProfileKey(e.Fourcc);
    }

    std::vector<TActiveStoreLine> ReadActive() override {
        std::vector<std::string> texts;
        ReadWholeSection(texts);
        std::vector<TActiveStoreLine> lines;
        lines.reserve(texts.size());
        for (std::string& text : texts) {
            TActiveStoreLine& line = lines.emplace_back();
            TCodecEntry& e = line.Entry;
            const TCodecInfo info = SplitProfileLine(text);
            e.Store = TCodecStore::SystemIni;
            if (!info.Kind.empty()) {
                line.Kind = TActiveStoreLine::Codec;
                e.Fourcc = info.Fourcc;
                e.Driver = ValueOfLine(text);
                e.Type = cType32;
            }
            e.StoredName = KeyOfLine(text);
        }
        return lines;
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
    void BackUpActive(const std::vector<TCodecEntry>& shown) override {
        TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        reg.DeleteKey(cDrivers32BackupKey);
        OpenForWriting(reg, cDrivers32BackupKey);
        for (const TCodecEntry& e : shown) reg.WriteString(e.Fourcc, e.Driver);
    }

    // One deletion per line shown: two lines of one name both go.
    bool RemoveActive(const std::vector<TCodecEntry>& shown, const TActiveStanding&) override {
        for (const TCodecEntry& e : shown) WriteProfileKey(e.StoredName, nullptr);
        return false;
    }

    // The section holds every active entry, whatever its Type.
    void WriteActive(std::span<const TCodecEntry> active, const TActiveStanding&) override {
        for (const TCodecEntry& e : active) WriteProfileKey(KeyWritten(e), e.Driver.c_str());
    }

    void WriteActiveEntry(const std::string& name, const std::string& driver) override {
        WriteProfileKey(name, driver.c_str());
    }

    void PlaceActive(TCodecEntry& e) const override {
        e.StoredName = KeyWritten(e);
        e.Store = TCodecStore::SystemIni;
        e.ValueType = 0;
    }

    // A profile file keeps one line per name, and the loaders and the codec
    // manager read no more than four characters of a FOURCC: two active
    // entries of one such key would leave one of the two codecs nowhere (or
    // be read back as two codecs of one name). The way out is named: one of
    // them taken out of service by its driver.
    void CheckActiveEntries(std::span<const TCodecEntry> active) override {
        std::set<std::string> keys;
        for (size_t i = 0; i < active.size(); ++i) {
            const std::string key = ProfileStoreKey(active[i].Fourcc);
            if (keys.insert(key).second) continue;
            const TCodecEntry* first = nullptr;
            for (size_t j = 0; j < i && !first; ++j)
                if (ProfileStoreKey(active[j].Fourcc) == key) first = &active[j];
            const TCodecEntry& second = active[i];
            throw EStoreFormatError("The active list holds two codecs named '" + key + "' (" +
                                    first->Driver + " and " + second.Driver + "); " + cSystemIni +
                                    " can keep only one of them: deactivate one first (from the command line: "
                                    "tarnelctl deactivate " + second.Fourcc + " --driver " + second.Driver + ")");
        }
    }

    // The key of the owner "as shown" gives way to the driver, under the
    // owner's name when there is one (the codec manager finds the candidate
    // through it), else under the candidate's.
    void RegisterProbe(const std::string& candidate, const std::string& driver, const TCodecEntry* owner) override {
        const std::string key = VidcName(owner ? owner->Fourcc : candidate);
        if (owner) platform::WritePrivateProfileStringA(cDrivers32Section, key.c_str(), nullptr, cSystemIni);
        platform::WritePrivateProfileStringA(cDrivers32Section, key.c_str(), driver.c_str(), cSystemIni);
    }
};

}  // namespace

namespace {

// A keyed 64-bit digest (one round per block, three at the end), fed in
// pieces: fast enough to run over a large store at every save, and with a
// key no store can know.
class TLineDigest {
public:
    TLineDigest() {
        const auto& [k0, k1] = Key();
        v0_ = k0 ^ 0x736f6d6570736575ull;
        v1_ = k1 ^ 0x646f72616e646f6dull;
        v2_ = k0 ^ 0x6c7967656e657261ull;
        v3_ = k1 ^ 0x7465646279746573ull;
    }
    void Add(std::string_view s) {
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        size_t n = s.size();
        total_ += n;
        for (; n && fill_; --n) AddByte(*p++);
        for (; n >= 8; n -= 8, p += 8) {
            uint64_t m = 0;
            if constexpr (std::endian::native == std::endian::little) std::memcpy(&m, p, 8);
            else
                for (int i = 7; i >= 0; --i) m = (m << 8) | p[i];
            Block(m);
        }
        for (; n; --n) AddByte(*p++);
    }
    void AddLength(size_t n) {
        unsigned char bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(uint64_t(n) >> (8 * i));
        Add({reinterpret_cast<const char*>(bytes), 8});
    }
    TSnapshotLine Finish() {
        Block(tail_ | (uint64_t(total_) << 56));
        v2_ ^= 0xff;
        for (int i = 0; i < 3; ++i) Round();
        TSnapshotLine line;
        line.Digest = v0_ ^ v1_ ^ v2_ ^ v3_;
        return line;
    }

private:
    static const std::pair<uint64_t, uint64_t>& Key() {
        static const std::pair<uint64_t, uint64_t> key = [] {
            std::random_device device;
            auto next = [&] { return (uint64_t(device()) << 32) ^ device(); };
            return std::pair<uint64_t, uint64_t>{next(), next()};
        }();
        return key;
    }
    static uint64_t Rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }
    void Round() {
        v0_ += v1_, v1_ = Rotl(v1_, 13), v1_ ^= v0_, v0_ = Rotl(v0_, 32);
        v2_ += v3_, v3_ = Rotl(v3_, 16), v3_ ^= v2_;
        v0_ += v3_, v3_ = Rotl(v3_, 21), v3_ ^= v0_;
        v2_ += v1_, v1_ = Rotl(v1_, 17), v1_ ^= v2_, v2_ = Rotl(v2_, 32);
    }
    void Block(uint64_t m) {
        v3_ ^= m;
        Round();
        v0_ ^= m;
    }
    void AddByte(unsigned char b) {
        tail_ |= uint64_t(b) << (8 * fill_);
        if (++fill_ == 8) {
            Block(tail_);
            tail_ = 0;
            fill_ = 0;
        }
    }
    uint64_t v0_, v1_, v2_, v3_;
    uint64_t tail_ = 0;
    unsigned fill_ = 0;
    size_t total_ = 0;
};

}  // namespace

// The name's length first: no split of the same bytes into another name
// and data gives the same line.
TSnapshotLine SnapshotLine(std::string_view name, std::string_view data) {
    TLineDigest digest;
    digest.AddLength(name.size());
    digest.Add(name);
    digest.Add(data);
    return digest.Finish();
}

namespace {
// Wine's codec manager reads SYSTEM.INI after the registry on the NT family.
bool WineMachine() { return platform::HasBackend() && platform::CurrentBackend().WineMachine(); }
}  // namespace

std::unique_ptr<TDriverStore> TDriverStore::ForMode(int32_t codecStoreMode) {
    if (UsesProfileStore(codecStoreMode)) return std::make_unique<TProfileDriverStore>();
    if (UsesRegistryStore(codecStoreMode)) {
        if (WineMachine()) return MakeWineDriverStore();
        return std::make_unique<TRegistryDriverStore>();
    }
    return nullptr;
}

std::unique_ptr<TDriverStore> TDriverStore::InactiveOnly() {
    if (WineMachine()) return MakeWineDriverStore();
    return std::make_unique<TRegistryDriverStore>();
}

void TDriverStore::VisitActiveLines(const std::function<void(size_t count)>& begin, const TActiveVisitor& visit) {
    platform::TTransaction transaction(platform::TTransaction::Read);
    std::vector<TActiveStoreLine> lines = ReadActive();
    begin(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) visit(i, lines[i]);
    transaction.Commit();
}

std::vector<TCodecEntry> TDriverStore::ActiveEntries() {
    platform::TTransaction transaction(platform::TTransaction::Read);
    std::vector<TCodecEntry> entries;
    for (TActiveStoreLine& line : ReadActive())
        if (line.Kind == TActiveStoreLine::Codec) entries.push_back(std::move(line.Entry));
    transaction.Commit();
    return entries;
}

void TDriverStore::VisitInactiveLines(const TInactiveVisitor& visit) { VisitInactiveLines({}, visit); }

void TDriverStore::VisitInactiveLines(const std::function<void(size_t count)>& begin, const TInactiveVisitor& visit) {
    platform::TTransaction transaction(platform::TTransaction::Read);
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    reg.OpenKeyReadOnly(cInactiveKey);
    // Read a part at a time: a large store's values are never all held at
    // once beside the entries made of them. The count is for the caller's
    // room; the parts go on to the last value, as one whole read would.
    constexpr uint32_t kPart = 256;
    if (begin) begin(reg.ValueCount());
    const std::string keyPath = reg.CurrentPath();
    const std::function<void(TCodecEntry&)> complete = InactiveCompleter();
    TInactiveStoreLine line;
    std::vector<TRegistry::TValue> values;
    for (uint32_t first = 0;; first += uint32_t(values.size())) {
        reg.GetValueRange(first, kPart, values);
        if (values.empty()) break;
        for (auto& v : values) {
            line.Kind = TInactiveStoreLine::Other;
            line.Entry = TCodecEntry{};
            if (v.Name.size() > 1 && v.Name[0] == cInactiveMark[0] && v.Type != platform::kRegBinary) {
                line.Kind = TInactiveStoreLine::NotBinary;
            } else if (!v.Name.empty() && v.Name[0] == cInactiveMark[0]) {
                TInactiveCodecInfo record;
                std::string problem = ReadInactiveEntryParts(v.Name, v.Data, keyPath, record);
                if (!record.Number.empty()) {
                    line.Kind = problem.empty() ? TInactiveStoreLine::Numbered : TInactiveStoreLine::Malformed;
                    TCodecEntry& e = line.Entry;
                    e.Fourcc = std::move(record.Fourcc);
                    e.Driver = std::move(record.Driver);
                    e.Shortname = std::move(record.Shortname);
                    e.Description = std::move(record.Description);
                    e.Version = std::move(record.Version);
                    e.Type = std::move(record.Type);
                    e.Number = NumberOfName(v.Name);
                    e.ExpandableDriver = SeventhText(v.Data) == cExpandableDriverMark;
                    e.Malformed = std::move(problem);
                    e.StoredName = v.Name;
                    if (complete) complete(e);
                }
            }
            line.Entry.Store = TCodecStore::Inactive;
            line.Entry.ValueType = v.Type;
            line.Entry.StoredName = std::move(v.Name);
            line.Data = std::move(v.Data);
            visit(line);
        }
    }
    transaction.Commit();
}

TStoreSnapshot TDriverStore::Snapshot() {
    platform::TTransaction transaction(platform::TTransaction::Read);
    TStoreSnapshot s;
    for (const TActiveStoreLine& line : ReadActive())
        if (line.Kind == TActiveStoreLine::Codec) s.Active.push_back(SnapshotLine(line.Entry.StoredName, line.Entry.Driver));
    s.Inactive = NumberedLines();
    transaction.Commit();
    return s;
}

void TDriverStore::Place(TCodecEntry& entry, bool inactive) const {
    if (!inactive) {
        PlaceActive(entry);
        return;
    }
    entry.Store = TCodecStore::Inactive;
    entry.StoredName = InactiveName(entry.Number);
    entry.ValueType = platform::kRegBinary;
}

void TDriverStore::Save(std::span<TCodecEntry> active, std::span<TCodecEntry> inactive, const TStoreSnapshot* expected,
                        TStoreSnapshot* written) {
    platform::TTransaction transaction(platform::TTransaction::Write);

    // What the store holds now, read under the lock the save keeps to its end,
    // compared line by line with what the caller read.
    std::vector<TCodecEntry> shown;
    bool same = true;
    size_t settled = 0;  // the shown entries from here on follow every other line
    std::set<std::string> otherActive;
    for (TActiveStoreLine& line : ReadActive()) {
        if (line.Kind != TActiveStoreLine::Codec) {
            settled = shown.size();
            if (written) otherActive.insert(platform::AsciiLowerCase(line.Entry.StoredName));
            continue;
        }
        if (expected && same) {
            const size_t i = shown.size();
            same = i < expected->Active.size() && SameLine(expected->Active[i], line.Entry.StoredName, line.Entry.Driver);
        }
        shown.push_back(std::move(line.Entry));
    }
    // Malformed entries are numbered ones too: the lists the caller read
    // showed them (the snapshot says so), and a list without one is the
    // caller's removal of it.
    if (expected && same) same = shown.size() == expected->Active.size();
    // The lines of those left standing are the caller's already when
    // `written` is `expected` (compared equal here).
    const TInactiveScan scan =
        ScanInactive(expected && same ? &expected->Inactive : nullptr, written && written != expected, inactive);
    if (expected && same) same = scan.Same;
    if (!same)
        throw EStoreChanged("The codec list was changed by another program and has been reloaded. "
                            "Please repeat the operation.");

    // Entries the store cannot hold are refused before anything changes.
    CheckActiveEntries(active);
    for (const TCodecEntry& e : inactive) {
        // Its missing texts are not known: written back, it would be a
        // different entry.
        if (!e.Malformed.empty())
            throw EStoreFormatError("The inactive entry " + InactiveName(e.Number) +
                                    " could not be read whole, so it is not written back: " + e.Malformed);
        std::string_view texts[7];
        size_t bytes = 0;
        for (size_t i = 0, n = InactiveTextViews(e, texts); i < n; ++i) bytes += (texts[i].empty() ? 1 : texts[i].size()) + 1;
        if (bytes > cMaxInactiveEntryBytes)
            throw EStoreFormatError("The inactive codec " + e.Fourcc + " (" + e.Driver + ") would take " +
                                    std::to_string(bytes) + " bytes in the store; at most " +
                                    std::to_string(cMaxInactiveEntryBytes) + " are allowed");
    }

    const TActiveStanding activeStanding = StandingActive(shown, settled, active);
    BackUpActive(shown);
    const bool removed = RemoveActive(shown, activeStanding);
    // The numbered values as the save leaves them, when what it writes tells
    // them: each write then lands after the others, under a name no value
    // of the key has (the registry's own match of names says so).
    std::vector<TSnapshotLine> inactiveLines;
    bool linesKnown = written && scan.Last;
    const size_t standing = scan.Standing;
    {
        TRegistry reg;
        OpenForWriting(reg, cInactiveKey);
        // Entries that stand as they would be written stay untouched.
        for (size_t i = standing; i < scan.Names.size(); ++i) reg.DeleteValue(scan.Names[i]);
        if (linesKnown) inactiveLines.reserve(inactive.size() - standing);
        for (size_t i = standing; i < inactive.size(); ++i) {
            const std::string name = InactiveName(inactive[i].Number);
            std::vector<std::string> texts = InactiveTexts(inactive[i]);
            if (linesKnown) {
                linesKnown = PlainName(name) && !reg.ValueExists(name);
                if (linesKnown) inactiveLines.push_back(SnapshotLine(name, InactiveData(inactive[i])));
            }
            WriteBinaryStrings(reg, name, texts);
        }
    }
    WriteInactiveExtras(inactive);
    WriteActive(active, activeStanding);
    if (written) {
        // What the next save compares with: read back but for what was just told.
        if (!removed || !ActiveLinesWritten(shown, activeStanding, active, std::move(otherActive), written->Active)) {
            written->Active.clear();
            for (const TActiveStoreLine& line : ReadActive())
                if (line.Kind == TActiveStoreLine::Codec)
                    written->Active.push_back(SnapshotLine(line.Entry.StoredName, line.Entry.Driver));
        }
        if (linesKnown) {
            if (written != expected) written->Inactive.assign(scan.Lines.begin(), scan.Lines.end());
            // Compared equal above, or just made: the standing entries' lines.
            written->Inactive.resize(standing);
            written->Inactive.insert(written->Inactive.end(), inactiveLines.begin(), inactiveLines.end());
        } else {
            written->Inactive = NumberedLines();
        }
    }
    transaction.Commit();
    for (TCodecEntry& e : active) PlaceActive(e);
    for (TCodecEntry& e : inactive) Place(e, true);
}

platform::ICINFO TDriverStore::ProbeEntry(const std::string& candidate, const std::string& driver,
                                          const TCodecEntry* owner) {
    // Everything the probe writes is undone when it ends.
    platform::TSavepoint probe;
    RegisterProbe(candidate, driver, owner);
    return QueryCodecInfo(candidate);
}

void TDriverStore::AddActiveEntry(const TCodecEntry& entry) {
    platform::TTransaction transaction;
    WriteActiveEntry(ActiveName(entry.Fourcc), entry.Driver);
    transaction.Commit();
}

void TDriverStore::AddForeignEntry(const std::string& name, const std::string& driver) {
    platform::TTransaction transaction;
    WriteActiveEntry(name, driver);
    transaction.Commit();
}

void TDriverStore::AddInactiveEntry(const TCodecEntry& entry) {
    platform::TTransaction transaction;
    TRegistry reg;
    OpenForWriting(reg, cInactiveKey);
    std::vector<std::string> texts = InactiveTexts(entry);
    WriteBinaryStrings(reg, InactiveName(entry.Number), texts);
    transaction.Commit();
}

std::vector<TCodecEntry> TDriverStore::BackupEntries() {
    platform::TTransaction transaction(platform::TTransaction::Read);
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    std::vector<TCodecEntry> out;
    if (reg.OpenKeyReadOnly(cDrivers32BackupKey)) {
        std::vector<TRegistry::TValue> values;
        reg.GetValues(values);
        for (auto& v : values) {
            if (v.Type != platform::kRegSz && v.Type != platform::kRegExpandSz) continue;
            // The registry keeps whole entry names, the profile file's backup
            // the FOURCC alone.
            const TCodecInfo info = SplitDriverName(v.Name);
            TCodecEntry& e = out.emplace_back();
            e.Fourcc = info.Kind.empty() ? platform::AsciiLowerCase(v.Name) : info.Fourcc;
            e.Driver = std::string(v.Data.c_str());
            e.Type = cType32;
            e.ExpandableDriver = v.Type == platform::kRegExpandSz;
        }
    }
    transaction.Commit();
    return out;
}

}  // namespace tarnel
