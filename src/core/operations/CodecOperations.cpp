#include "core/operations/CodecOperations.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/catalogue/CodecView.h"
#include "core/catalogue/DriverCheck.h"
#include "core/shell/uConst.h"
#include "core/shell/uGlobal.h"
#include "platform/api/Ansi.h"
#include "platform/api/CodecManager.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

// The rows asked for, each once, top to bottom, as the lists walk them.
std::vector<size_t> InOrder(std::vector<size_t> rows, size_t count) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::lower_bound(rows.begin(), rows.end(), count), rows.end());
    return rows;
}

// A codec taken out of service: what the active list showed of it.
TCodecEntry InactiveFrom(const TCodecEntry& active, const std::string& type) {
    TCodecEntry e;
    e.Fourcc = active.Fourcc;
    e.Driver = active.Driver;
    e.Shortname = active.Shortname;
    e.Description = active.Description;
    e.Version = active.Version;
    e.Type = type;
    e.ExpandableDriver = active.ExpandableDriver;
    // A SYSTEM.INI line of a machine Wine runs goes back there.
    e.Home = active.Store == TCodecStore::SystemIni ? TCodecStore::SystemIni : active.Home;
    e.HomeName = active.Store == TCodecStore::SystemIni ? active.StoredName : active.HomeName.str();
    return e;
}

// A codec put back into service: its stored texts (the stored version
// text, not the file's current one); the Number is dropped.
TCodecEntry ActiveFrom(const TCodecEntry& inactive) {
    TCodecEntry e;
    e.Fourcc = inactive.Fourcc;
    e.Driver = inactive.Driver;
    e.Shortname = inactive.Shortname;
    e.Description = inactive.Description;
    e.Version = inactive.Version;
    e.Type = inactive.Type;
    e.ExpandableDriver = inactive.ExpandableDriver;
    e.Home = inactive.Home;
    e.HomeName = inactive.HomeName;
    return e;
}

// A driver text that names a folder (a full path) is taken as it stands.
bool IsBareName(const std::string& driver) { return driver.find_first_of("\\/:") == std::string::npos; }

// Opens the codec in `mode` and sends it `msg` with both parameters 0 (no
// owner window): the codec shows its dialog and returns when it closes.
void ShowCodecDialog(const TCodecEntry& entry, uint32_t mode, uint32_t msg) {
    const std::string fourcc = platform::AsciiUpperCase(entry.Fourcc);
    platform::HIC hic = platform::ICOpen(FourccToCode(cVidcTypeCode), FourccToCode(fourcc), mode);
    // A codec that cannot be opened shows nothing; the calls on a null
    // handle do nothing.
    platform::ICSendMessage(hic, msg, 0, 0);
    platform::ICClose(hic);
}

bool AllDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string WithoutLeadingZeros(const std::string& s) {
    const size_t start = s.find_first_not_of('0');
    return start == std::string::npos ? std::string("0") : s.substr(start);
}

// The rows a Number given by the user may mean: its whole number, the
// three characters the lists show of it ("100" for #1000#), or either
// without leading zeros ("7" for 007).
std::vector<size_t> RowsNumbered(const TCodecList& inactive, const std::string& number) {
    std::vector<size_t> rows;
    const bool digits = AllDigits(number);
    for (size_t i = 0; i < inactive.Count(); ++i) {
        const TCodecEntry& e = inactive.Entry(i);
        const std::string shown = NumberText(e);
        bool fits = e.Number == number || shown == number;
        if (!fits && digits)
            for (const std::string* n : {&e.Number, &shown})
                fits = fits || (AllDigits(*n) && WithoutLeadingZeros(*n) == WithoutLeadingZeros(number));
        if (fits) rows.push_back(i);
    }
    return rows;
}

// The whole stored name "#1000#" given as a Number names its entry alone.
bool IsStoredName(const std::string& number) {
    return number.size() >= 2 && number.front() == cInactiveMark[0] && number.back() == cInactiveMark[0];
}

}  // namespace

std::string ArgumentText(const std::string& text) {
    constexpr size_t kShown = 40;
    if (text.size() <= kShown + 20) return "'" + text + "'";
    return "'" + text.substr(0, kShown) + "...' (" + std::to_string(text.size()) + " characters, cut here)";
}

std::string NumberArgument(const TCodecList& inactive, size_t row) {
    const std::string& number = inactive.Entry(row).Number;
    if (!IsStoredName(number) && RowsNumbered(inactive, number) == std::vector<size_t>{row}) return number;
    // The shell would take a bare "#" for the start of a comment.
    return "'" + std::string(cInactiveMark) + number + cInactiveMark + "'";
}

TCodecOperations::TCodecOperations(TCodecCatalogue& catalogue, TOperationQuestions& questions)
    : catalogue_(catalogue), questions_(questions) {}

bool TCodecOperations::Refused(TOperationResult& result) {
    if (UsesProfileStore(catalogue_.Prefs().CodecStoreMode) || UsesRegistryStore(catalogue_.Prefs().CodecStoreMode))
        return false;
    catalogue_.Log().WriteLog(cMsgNotChangedUnsupported);
    result.Error = cMsgNotChangedUnsupported;
    return true;
}

std::string TCodecOperations::MalformedRefusal() const {
    const std::optional<size_t> row = catalogue_.FirstMalformedInactive();
    if (!row) return {};
    return catalogue_.InactiveCodecList.Entry(*row).Malformed +
           ". The lists are not written back while it is there, so nothing was changed: select it in the "
           "inactive list and choose \"Remove Selected Inactive Drivers\" (from the command line: tarnelctl remove " +
           NumberArgument(catalogue_.InactiveCodecList, *row) + " --yes)";
}

bool TCodecOperations::PartlyRead(TOperationResult& result) {
    if (Refused(result)) return true;
    result.Error = MalformedRefusal();
    return !result.Error.empty();
}

void TCodecOperations::RenumberInactiveCodecs() {
    char number[16];
    std::span<TCodecEntry> entries = catalogue_.InactiveCodecList.Entries();
    for (size_t p = 0; p < entries.size(); ++p) {
        std::snprintf(number, sizeof number, cInactiveNumberFormat, int(p + 1));
        entries[p].Number = number;
        entries[p].NumberAssigned = true;
    }
}

void TCodecOperations::ReloadBothLists() {
    catalogue_.LoadActiveList();
    catalogue_.LoadInactiveCodecList();
}

TOperationResult TCodecOperations::SaveCodecLists() {
    TOperationResult r;
    r.Changed = true;
    std::unique_ptr<TDriverStore> store = catalogue_.Store();
    if (!store) return r;
    try {
        // A list that stopped at an entry it could not read would drop that
        // entry from the store: it is refused first.
        if (!catalogue_.InactiveListComplete())
            throw EStoreFormatError("The inactive list could not be read completely, so it is not written back: "
                                    "mend or remove the entry named in the message at start-up");
        if (std::string refusal = MalformedRefusal(); !refusal.empty()) throw EStoreFormatError(refusal);
        platform::TTransaction transaction;
        // The snapshot becomes the store's as the save leaves it; should the
        // save fail, the lists and it are read again below.
        store->Save(catalogue_.CodecList.Entries(), catalogue_.InactiveCodecList.Entries(), &catalogue_.Loaded,
                    &catalogue_.Loaded);
        transaction.Commit();
        r.Saved = true;
    } catch (const std::exception& e) {
        // Nothing was written: the front end shows what is stored, and why.
        r.Error = platform::ErrorText(e);
        try {
            ReloadBothLists();
            r.Reloaded = true;
        } catch (const std::exception& again) {
            r.Error += "\n" + platform::ErrorText(again);
        }
    }
    return r;
}

TOperationResult TCodecOperations::Finish() {
    RenumberInactiveCodecs();
    return SaveCodecLists();
}

TOperationResult TCodecOperations::SaveLists() {
    TOperationResult refused;
    if (PartlyRead(refused)) return refused;
    return Finish();
}

TOperationResult TCodecOperations::Deactivate(const std::vector<size_t>& rows) {
    TOperationResult refused;
    if (PartlyRead(refused)) return refused;
    TCodecList& active = catalogue_.CodecList;
    TCodecList& inactive = catalogue_.InactiveCodecList;
    active.BeginUpdate();
    inactive.BeginUpdate();
    const std::vector<size_t> chosen = InOrder(rows, active.Count());
    for (size_t i : chosen) {
        const TCodecEntry& e = active.Entry(i);
        inactive.Add(InactiveFrom(e, e.Type));
        catalogue_.Log().WriteLog(cLogSwappingPrefix + e.Fourcc + " " + e.Shortname + cLogToInactiveList);
    }
    active.Delete(chosen);
    TOperationResult r = Finish();
    inactive.EndUpdate();
    active.EndUpdate();
    return r;
}

std::string TCodecOperations::ActivationVersionPath(const std::string& driver) const {
    const std::string root = ReadSystemRoot();
    // The system folder's file, as the system loads it; a full path, or a
    // machine without the NT family's system root, names the file the way
    // the loader finds it.
    if (!root.empty() && IsBareName(driver)) return root + cSystem32Folder + driver;
    return driver;
}

TOperationResult TCodecOperations::Activate(const std::vector<size_t>& rows) {
    TOperationResult refused;
    if (PartlyRead(refused)) return refused;
    const std::unique_ptr<TDriverStore> store = catalogue_.Store();
    TCodecList& active = catalogue_.CodecList;
    TCodecList& inactive = catalogue_.InactiveCodecList;
    active.BeginUpdate();
    inactive.BeginUpdate();
    // Rows appended during the run (codecs swapped out) are not visited.
    const std::vector<size_t> chosen = InOrder(rows, inactive.Count());
    std::vector<size_t> activated;
    for (size_t i : chosen) {
        const TCodecEntry incoming = inactive.Entry(i);
        // The codec in service of that FOURCC: found by the list's caption
        // search, or by the key the store keeps it under (SYSTEM.INI knows
        // "abcde" and "abcd" by one key), which cannot hold both.
        std::optional<size_t> found = active.FindCaption(incoming.Fourcc);
        if (!found) {
            const std::string key = store->ActiveKey(incoming.Fourcc);
            for (size_t a = 0; a < active.Count() && !found; ++a)
                if (store->ActiveKey(active.Entry(a).Fourcc) == key) found = a;
        }
        if (found) {
            if (!catalogue_.Prefs().AutoSwap) {
                TAnswer answer = questions_.AskSwap(incoming, active.Entry(*found));
                if (answer == TAnswer::Cancel) break;  // the run ends; this one stays inactive
                if (answer == TAnswer::No) continue;   // this one stays inactive
            }
            // The codec in service goes to the inactive list, as a 32-bit driver.
            const TCodecEntry& current = active.Entry(*found);
            inactive.Add(InactiveFrom(current, cType32));
            catalogue_.Log().WriteLog(cLogSwappingPrefix + current.Fourcc + " " + current.Shortname +
                                      cLogToTheInactiveList);
            active.Delete(*found);
        }
        TCodecEntry entry = ActiveFrom(incoming);
        catalogue_.Log().WriteLog(cLogAddingToActive + incoming.Fourcc + " " + incoming.Shortname);
        const std::string path = ActivationVersionPath(incoming.Driver);
        catalogue_.CodecVersionInfo.SetExecutableFile(path);
        catalogue_.Log().WriteLog(cLogGettingCodecVersion + path);
        entry.VersionInfo = std::make_shared<const TCodecVersionInfo>(catalogue_.CodecVersionInfo.ToCodecVersionInfo());
        entry.Problem = DriverProblemOf(entry.Driver);
        // A 16-bit driver is written where nothing lists it: said, so that it
        // is not taken for lost.
        TCodecEntry placed = entry;
        store->Place(placed, false);
        if (placed.Store == TCodecStore::Drivers)
            catalogue_.Log().WriteLog(cLogTo16BitDrivers + incoming.Fourcc + " " + incoming.Shortname);
        active.Add(std::move(entry));
        activated.push_back(i);
    }
    inactive.Delete(activated);
    TOperationResult r = Finish();
    inactive.EndUpdate();
    active.EndUpdate();
    return r;
}

TOperationResult TCodecOperations::RemoveInactive(const std::vector<size_t>& rows) {
    TOperationResult refused;
    if (Refused(refused)) return refused;
    if (questions_.AskRemove() != TAnswer::Yes) return {};
    TCodecList& inactive = catalogue_.InactiveCodecList;
    inactive.BeginUpdate();
    inactive.Delete(InOrder(rows, inactive.Count()));
    TOperationResult r = Finish();
    inactive.EndUpdate();
    return r;
}

TOperationResult TCodecOperations::RestoreBackup() {
    TOperationResult r;
    if (PartlyRead(r)) return r;
    std::unique_ptr<TDriverStore> store = catalogue_.Store();
    // The backup is read, completed and saved under one lock.
    platform::TTransaction change;
    std::vector<TCodecEntry> backup = store->BackupEntries();
    // Restoring nothing would take every codec out of service.
    if (backup.empty()) {
        r.Error = "The backup holds no codec entries; nothing was changed";
        return r;
    }
    TCodecList& active = catalogue_.CodecList;
    active.BeginUpdate();
    {
        // The codec manager finds a codec through the live entries, so the
        // entries are completed while the backup's stand there; they go
        // again before the real save.
        platform::TSavepoint moment;
        std::vector<TCodecEntry> live = backup;
        store->Save(live, {});
        catalogue_.FillActiveList(std::move(backup));
    }
    r = Finish();
    active.EndUpdate();
    if (r.Saved) change.Commit();
    return r;
}

namespace {
// The calls that need a codec's driver, where this view's drivers cannot
// load (no program of the view's bitness can run): refused, saying why.
void RequireDriverCalls(const char* what) {
    const std::string why = platform::CurrentBackend().DriverCallsRefused();
    if (!why.empty()) throw EOperationRefused(std::string(what) + " cannot be done: " + why);
}
}  // namespace

void TCodecOperations::Configure(size_t row) {
    RequireDriverCalls("The codec's configuration");
    if (row < catalogue_.CodecList.Count())
        ShowCodecDialog(catalogue_.CodecList.Entry(row), platform::kIcModeFastCompress, platform::kIcmConfigure);
}

void TCodecOperations::About(size_t row) {
    RequireDriverCalls("The codec's about box");
    if (row < catalogue_.CodecList.Count())
        ShowCodecDialog(catalogue_.CodecList.Entry(row), platform::kIcModeQuery, platform::kIcmAbout);
}

TScanOutcome TCodecOperations::Scan(size_t row, TScanProgress* progress) {
    if (row < catalogue_.CodecList.Count()) RequireDriverCalls("The scan's probes");
    return ScanCodec(catalogue_, row, progress);
}

TOperationResult TCodecOperations::SaveAfterScan(const TScanOutcome& outcome) {
    if (outcome.Kind != TScanOutcome::FoundSome) return {};
    // Written back even when nothing was added.
    return Finish();
}

void TCodecOperations::EndScan() {
    catalogue_.Log().WriteLog(cLogScanFreeing);
    catalogue_.Log().WriteLog(cLogScanEnd);
}

TScanAddResult TCodecOperations::ScanAndAdd(size_t row, bool adding, const std::vector<std::string>& add,
                                            TScanProgress* progress) {
    TScanAddResult out;
    if (PartlyRead(out.Result)) return out;
    out.Outcome = Scan(row, progress);
    std::vector<TFoundRow>& found = out.Outcome.Found;
    if (out.Outcome.Kind == TScanOutcome::EmptyFile)
        throw EOperationRefused(std::string(cMsgMemoryError) + ": the driver file " + out.Outcome.Path + " is empty");
    if (adding) {
        for (TFoundRow& f : found) {
            f.Selected = add.empty();
            for (const std::string& w : add) f.Selected = f.Selected || platform::EqualsNoCase(f.Fourcc, w);
        }
        for (const std::string& w : add) {
            auto f = std::find_if(found.begin(), found.end(),
                                  [&](const TFoundRow& row) { return platform::EqualsNoCase(row.Fourcc, w); });
            if (f == found.end())
                throw EOperationRefused("The scan found no FOURCC " + ArgumentText(w) + "; nothing was changed");
            // Named, it is meant to be added: one in use cannot be.
            if (f->Used())
                throw EOperationRefused("The FOURCC " + ArgumentText(f->Fourcc) + " is in use (" + f->Status +
                                        ") and cannot be added; nothing was changed");
        }
        AddFoundToInactive(found, catalogue_.InactiveCodecList, &out.Added);
    }
    out.Result = SaveAfterScan(out.Outcome);
    EndScan();
    return out;
}

std::vector<size_t> ActiveRowsOf(const TCodecList& active, const std::string& fourcc, const std::string& driver) {
    std::vector<size_t> rows;
    for (size_t i = 0; i < active.Count(); ++i) {
        const TCodecEntry& e = active.Entry(i);
        if (platform::EqualsNoCase(e.Fourcc, fourcc) && (driver.empty() || platform::EqualsNoCase(e.Driver, driver)))
            rows.push_back(i);
    }
    if (!rows.empty()) return rows;
    if (driver.empty())
        throw EOperationRefused("No active codec has the FOURCC " + ArgumentText(fourcc) + "; nothing was changed");
    throw EOperationRefused("No active codec has the FOURCC " + ArgumentText(fourcc) + " with the driver " +
                            ArgumentText(driver) + "; nothing was changed");
}

size_t InactiveRowOf(const TCodecList& inactive, const std::string& number) {
    if (IsStoredName(number)) {
        const std::string whole = number.substr(1, number.size() - 2);
        for (size_t i = 0; i < inactive.Count(); ++i)
            if (inactive.Entry(i).Number == whole) return i;
        throw EOperationRefused("No inactive codec is stored as " + ArgumentText(number) + "; nothing was changed");
    }
    const std::vector<size_t> rows = RowsNumbered(inactive, number);
    if (rows.empty())
        throw EOperationRefused("No inactive codec has the number " + ArgumentText(number) + "; nothing was changed");
    if (rows.size() == 1) return rows.front();
    // The lists show three characters of a Number: "100" is #100#, but
    // also #1000# to #1009#. Removing the wrong one would lose it for good.
    std::string ways;
    constexpr size_t kNamed = 20;
    for (size_t k = 0; k < rows.size() && k < kNamed; ++k) ways += (k ? ", " : "") + NumberArgument(inactive, rows[k]);
    if (rows.size() > kNamed) ways += " and " + std::to_string(rows.size() - kNamed) + " more";
    throw EOperationRefused("The number " + ArgumentText(number) + " fits " + std::to_string(rows.size()) +
                            " inactive codecs; give the whole number of the one meant: " + ways +
                            ". Nothing was changed");
}

TCodecDescription DescribeCodec(const std::string& fourcc, int32_t codecStoreMode) {
    platform::TTransaction transaction(platform::TTransaction::Read);
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(codecStoreMode);
    if (!store) throw std::runtime_error(cMsgOsNotSupported);
    RequireDriverCalls("Asking the codec manager");
    TCodecDescription d;
    bool found = false;
    for (TCodecEntry& e : store->ActiveEntries()) {
        if (platform::EqualsNoCase(e.Fourcc, fourcc)) {
            d.Entry = std::move(e);
            found = true;
            break;
        }
    }
    if (!found) throw std::runtime_error("No active codec has the FOURCC '" + fourcc + "'");

    // As the codec window asks: the record in query mode, the dialogs as
    // selecting the codec's row asks for them.
    std::memset(&d.Info, 0, sizeof d.Info);
    d.Info.dwSize = sizeof d.Info;
    const platform::HIC hic = platform::ICOpen(FourccToCode(cVidcTypeCode),
                                               FourccToCode(platform::AsciiUpperCase(d.Entry.Fourcc)),
                                               platform::kIcModeQuery);
    d.Opened = hic != 0;
    if (hic) {
        platform::ICGetInfo(hic, &d.Info, sizeof d.Info);
        platform::ICClose(hic);
    }
    d.Dialogs = AskCodecDialogs(d.Entry.Fourcc);
    transaction.Commit();
    return d;
}

}  // namespace tarnel
