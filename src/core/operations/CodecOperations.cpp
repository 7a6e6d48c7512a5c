#include "core/operations/CodecOperations.h"

#include "core/catalogue/DriverCheck.h"

#include <cstdio>

#include "core/shell/uConst.h"
#include "core/shell/uGlobal.h"
#include "platform/api/Ansi.h"
#include "platform/api/CodecManager.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

// The selected rows' positions, top to bottom.
std::vector<size_t> SelectedRows(const TCodecList& list) {
    std::vector<size_t> rows;
    for (size_t i = 0; i < list.Count(); ++i)
        if (list.Row(i).Selected) rows.push_back(i);
    return rows;
}

// Removes the rows at the given positions (ascending).
void DeleteRows(TCodecList& list, const std::vector<size_t>& rows) {
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) list.Delete(*it);
}

TCodecRow InactiveRowFrom(const TCodecRow& active, const std::string& type) {
    TCodecRow row;
    row.Caption = active.Caption;
    row.SubItems.resize(icCount);
    row.SubItems[icDriver] = active.Cell(acDriver);
    row.SubItems[icShortname] = active.Cell(acShortname);
    row.SubItems[icDescription] = active.Cell(acDescription);
    row.SubItems[icVersion] = active.Cell(acVersion);
    row.SubItems[icType] = type;
    return row;
}

// A driver text that names a folder (a full path) is taken as it stands.
bool IsBareName(const std::string& driver) { return driver.find_first_of("\\/:") == std::string::npos; }

// Opens the first selected active codec in `mode` and sends it `msg` with
// both parameters 0 (no owner window): the codec shows its dialog and
// returns when it closes.
bool ShowCodecDialog(const TCodecList& active, uint32_t mode, uint32_t msg) {
    const auto rows = SelectedRows(active);
    if (rows.empty()) return false;
    const std::string fourcc = platform::AsciiUpperCase(active.Row(rows.front()).Caption);
    platform::HIC hic = platform::ICOpen(FourccToCode(cVidcTypeCode), FourccToCode(fourcc), mode);
    // A codec that cannot be opened shows nothing; the calls on a null
    // handle do nothing.
    platform::ICSendMessage(hic, msg, 0, 0);
    platform::ICClose(hic);
    return true;
}

}  // namespace

TCodecOperations::TCodecOperations(TCodecCatalogue& catalogue, TOperationQuestions& questions)
    : catalogue_(catalogue), questions_(questions) {}

void TCodecOperations::RenumberInactiveCodecs() {
    TCodecList& list = catalogue_.InactiveCodecList;
    char number[16];
    for (size_t p = 0; p < list.Count(); ++p) {
        std::snprintf(number, sizeof number, cInactiveNumberFormat, int(p + 1));
        TCodecRow& row = list.Row(p);
        row.SubItems.resize(std::max<size_t>(row.SubItems.size(), icCount));
        row.SubItems[icNumber] = number;
    }
}

void TCodecOperations::ReloadBothLists() {
    catalogue_.RefreshClick();
    catalogue_.LoadInactiveCodecList();
}

TOperationResult TCodecOperations::SaveCodecLists() {
    TOperationResult r;
    r.Changed = true;
    std::unique_ptr<TDriverStore> store = TDriverStore::ForMode(catalogue_.Prefs().CodecStoreMode);
    if (!store) return r;
    try {
        // A list that stopped at an entry it could not read would drop that
        // entry from the store: it is refused first.
        if (!catalogue_.InactiveListComplete())
            throw EStoreFormatError("The inactive list could not be read completely, so it is not written back: "
                                    "mend or remove the entry named in the message at start-up");
        platform::TTransaction transaction;
        store->Save(catalogue_.CodecList, catalogue_.InactiveCodecList, &catalogue_.Loaded);
        TStoreSnapshot written = store->Snapshot();
        transaction.Commit();
        catalogue_.Loaded = std::move(written);
        r.Saved = true;
    } catch (const std::exception& e) {
        // Nothing was written: the window shows what is stored, and why.
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

TOperationResult TCodecOperations::Deactivate() {
    TCodecList& active = catalogue_.CodecList;
    TCodecList& inactive = catalogue_.InactiveCodecList;
    active.BeginUpdate();
    inactive.BeginUpdate();
    const std::vector<size_t> chosen = SelectedRows(active);
    for (size_t i : chosen) {
        const TCodecRow& row = active.Row(i);
        inactive.Rows().push_back(InactiveRowFrom(row, row.Cell(acType)));
        catalogue_.Log().WriteLog(cLogSwappingPrefix + row.Caption + " " + row.Cell(acShortname) + cLogToInactiveList);
    }
    DeleteRows(active, chosen);
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

TOperationResult TCodecOperations::Activate() {
    TCodecList& active = catalogue_.CodecList;
    TCodecList& inactive = catalogue_.InactiveCodecList;
    active.BeginUpdate();
    inactive.BeginUpdate();
    const size_t count = inactive.Count();
    std::vector<size_t> activated;
    for (size_t i = 0; i < count; ++i) {
        if (!inactive.Row(i).Selected) continue;
        const TCodecRow incoming = inactive.Row(i);
        if (auto found = active.FindCaption(incoming.Caption)) {
            if (!catalogue_.Prefs().AutoSwap) {
                TAnswer answer = questions_.AskSwap(incoming, active.Row(*found));
                if (answer == TAnswer::Cancel) break;  // the run ends; this one stays inactive
                if (answer == TAnswer::No) continue;   // this one stays inactive
            }
            // The codec in service goes to the inactive list, as a 32-bit driver.
            const TCodecRow& current = active.Row(*found);
            inactive.Rows().push_back(InactiveRowFrom(current, cType32));
            catalogue_.Log().WriteLog(cLogSwappingPrefix + current.Caption + " " + current.Cell(acShortname) +
                                      cLogToTheInactiveList);
            active.Delete(*found);
        }
        TCodecRow row;
        row.Caption = incoming.Caption;
        row.SubItems.resize(acCount);
        row.SubItems[acDriver] = incoming.Cell(icDriver);
        row.SubItems[acShortname] = incoming.Cell(icShortname);
        row.SubItems[acDescription] = incoming.Cell(icDescription);
        // The stored version text, not the file's current one.
        row.SubItems[acVersion] = incoming.Cell(icVersion);
        row.SubItems[acType] = incoming.Cell(icType);
        catalogue_.Log().WriteLog(cLogAddingToActive + incoming.Caption + " " + incoming.Cell(icShortname));
        const std::string path = ActivationVersionPath(incoming.Cell(icDriver));
        catalogue_.CodecVersionInfo.SetExecutableFile(path);
        catalogue_.Log().WriteLog(cLogGettingCodecVersion + path);
        row.VersionInfo = catalogue_.CodecVersionInfo.ToCodecVersionInfo();
        row.Problem = DriverProblemOf(row.SubItems[acDriver]).Text;
        active.Rows().push_back(std::move(row));
        activated.push_back(i);
    }
    DeleteRows(inactive, activated);
    TOperationResult r = Finish();
    inactive.EndUpdate();
    active.EndUpdate();
    return r;
}

TOperationResult TCodecOperations::RemoveSelectedInactive() {
    if (questions_.AskRemove() != TAnswer::Yes) return {};
    TCodecList& inactive = catalogue_.InactiveCodecList;
    inactive.BeginUpdate();
    DeleteRows(inactive, SelectedRows(inactive));
    TOperationResult r = Finish();
    inactive.EndUpdate();
    return r;
}

bool TCodecOperations::ConfigureSelected() {
    return ShowCodecDialog(catalogue_.CodecList, platform::kIcModeFastCompress, platform::kIcmConfigure);
}

bool TCodecOperations::AboutSelected() {
    return ShowCodecDialog(catalogue_.CodecList, platform::kIcModeQuery, platform::kIcmAbout);
}

TDriverConfigEnabling DriverConfigPopup(const TCodecList& active, bool configure, bool about) {
    TDriverConfigEnabling e{configure, about, true, true};
    // Without a row, or without a selected one, the codec commands have
    // nothing to act on; this never turns Configure or About on.
    if (active.Empty() || active.SelectedCount() == 0) e = TDriverConfigEnabling{};
    return e;
}

}  // namespace tarnel
