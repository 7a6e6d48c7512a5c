#include "core/operations/Ensure.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "core/catalogue/DriverCheck.h"
#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"

namespace tarnel {

namespace {

// The state itself answers the questions of its steps: the entry it puts
// into service takes the place of the one in service, and what it removes
// it means to remove.
class TEnsureAnswers final : public TOperationQuestions {
public:
    TAnswer AskSwap(const TCodecEntry&, const TCodecEntry&) override { return TAnswer::Yes; }
    TAnswer AskRemove() override { return TAnswer::Yes; }
};

constexpr int kMostSteps = 3;

bool OfDriver(const TCodecEntry& e, const std::string& driver) {
    return driver.empty() || platform::EqualsNoCase(e.Driver, driver);
}

std::vector<size_t> RowsOf(const TCodecList& list, const std::string& fourcc, const std::string& driver) {
    std::vector<size_t> rows;
    for (size_t i = 0; i < list.Count(); ++i)
        if (platform::EqualsNoCase(list.Entry(i).Fourcc, fourcc) && OfDriver(list.Entry(i), driver)) rows.push_back(i);
    return rows;
}

std::string StateName(TEnsureState state) {
    switch (state) {
    case TEnsureState::Active: return "active";
    case TEnsureState::Inactive: return "inactive";
    case TEnsureState::Absent: return "absent";
    }
    return "";
}

// "'mjpg'" or "'mjpg' with the driver 'x.dll'"
std::string Named(const TEnsureRequest& r) {
    std::string s = "'" + r.Fourcc + "'";
    if (!r.Driver.empty()) s += " with the driver '" + r.Driver + "'";
    return s;
}

std::string Refusal(const std::string& why) { return why + "; nothing was changed"; }

// "#001 kwmjpeg.dll, #003 lcmjpeg.dll"
std::string Listed(const TCodecList& inactive, const std::vector<size_t>& rows) {
    std::string s;
    for (size_t i : rows) s += (s.empty() ? "#" : ", #") + inactive.Entry(i).Number + " " + inactive.Entry(i).Driver;
    return s;
}

// Why the inactive entry in `row` may not be put into service, or nothing.
void CheckActivation(const TCodecCatalogue& c, size_t row) {
    const TCodecEntry& e = c.InactiveCodecList.Entry(row);
    const std::string which = "the inactive codec #" + e.Number + " " + e.Fourcc + " (" + e.Driver + ")";
    // The codec manager could not load it: the state would be reached on
    // paper only.
    if (const TDriverProblem problem = DriverProblemOf(e.Driver); !problem.Text.empty())
        throw EOperationRefused(Refusal("Cannot put " + which + " into service: " + problem.Text));
    // A 16-bit driver in service lives where no list reads it back: no run
    // could ever see it active.
    if (std::unique_ptr<TDriverStore> store = c.Store()) {
        TCodecEntry placed = e;
        store->Place(placed, false);
        if (placed.Store == TCodecStore::Drivers)
            throw EOperationRefused(Refusal("Cannot put " + which +
                                            " into service: it is a 16-bit driver (Type 16), which is written where "
                                            "no list reads it back"));
    }
    // The swap compares the beginning of the FOURCC only: it would take a
    // codec of a longer FOURCC out of service.
    if (std::optional<size_t> hit = c.CodecList.FindCaption(e.Fourcc)) {
        const TCodecEntry& a = c.CodecList.Entry(*hit);
        if (!platform::EqualsNoCase(a.Fourcc, e.Fourcc))
            throw EOperationRefused(Refusal("Putting " + which + " into service would swap out the active codec '" +
                                            a.Fourcc + "' (" + a.Driver + "), whose FOURCC begins with '" + e.Fourcc +
                                            "'"));
    }
}

// The one inactive entry to put into service, of those that fit.
size_t OneToActivate(const TCodecCatalogue& c, const TEnsureRequest& r) {
    const TCodecList& inactive = c.InactiveCodecList;
    const std::vector<size_t> rows = RowsOf(inactive, r.Fourcc, r.Driver);
    if (rows.empty()) {
        std::string why = "No inactive codec has the FOURCC " + Named(r);
        if (!r.Driver.empty() && DriverProblemOf(r.Driver).State == platform::TDriverFileState::NotFound)
            why += ", and the machine holds no driver file '" + r.Driver + "'";
        why += " (ensure puts back codecs the lists hold; it makes no entries)";
        throw EOperationRefused(Refusal(why));
    }
    if (rows.size() > 1) {
        bool oneDriver = std::all_of(rows.begin(), rows.end(), [&](size_t i) {
            return platform::EqualsNoCase(inactive.Entry(i).Driver, inactive.Entry(rows[0]).Driver);
        });
        throw EOperationRefused(Refusal(
            std::to_string(rows.size()) + " inactive codecs have the FOURCC " + Named(r) + " (" +
            Listed(inactive, rows) + ")" +
            (oneDriver ? ": the driver does not tell them apart; activate the one meant by its Number, or remove "
                         "the others"
                       : ": name the one to put into service with its driver")));
    }
    CheckActivation(c, rows[0]);
    return rows[0];
}

// Each codec other than the FOURCC's, with the list it is in.
std::vector<std::string> OtherCodecs(const TCodecCatalogue& c, const std::string& fourcc) {
    std::vector<std::string> out;
    for (const auto* list : {&c.CodecList, &c.InactiveCodecList})
        for (const TCodecEntry& e : list->Entries())
            if (!platform::EqualsNoCase(e.Fourcc, fourcc))
                out.push_back((list == &c.CodecList ? "active " : "inactive ") + platform::AsciiLowerCase(e.Fourcc) +
                              "=" + e.Driver);
    std::sort(out.begin(), out.end());
    return out;
}

std::string Shown(const std::vector<TEnsureEntry>& entries) {
    if (entries.empty()) return "no entry of it";
    std::string s;
    for (const TEnsureEntry& e : entries)
        s += (s.empty() ? "" : ", ") + std::string(e.Active ? "active " : "inactive #" + e.Number + " ") + e.Fourcc +
             " (" + e.Driver + ")";
    return s;
}

TOperationResult Take(TCodecOperations& ops, const TEnsureStep& step) {
    switch (step.Kind) {
    case TEnsureStep::Deactivate: return ops.Deactivate(step.Rows);
    case TEnsureStep::Activate: return ops.Activate(step.Rows);
    case TEnsureStep::Remove: return ops.RemoveInactive(step.Rows);
    case TEnsureStep::None: break;
    }
    return {};
}

void ThrowUnlessSaved(const TOperationResult& r) {
    if (!r.Saved) throw std::runtime_error(r.Error.empty() ? "Nothing was saved" : r.Error);
}

// Decides and takes the steps in the session; the session's transaction
// decides whether any of it reaches the store.
TEnsureReport Run(TCodecSession& session, const TEnsureRequest& request) {
    TEnsureReport report;
    TCodecCatalogue& c = session.Catalogue();
    report.Before = EntriesOf(c, request.Fourcc);
    const std::vector<std::string> others = OtherCodecs(c, request.Fourcc);
    const TStoreSnapshot loaded = c.Loaded;
    auto finish = [&](const TCodecCatalogue& shown) {
        report.After = EntriesOf(shown, request.Fourcc);
        report.ActiveCount = shown.CodecList.Count();
        report.InactiveCount = shown.InactiveCodecList.Count();
        report.Log = session.Log().Lines();
    };

    // Each step saves as its operation does, so the store's own refusals
    // (a row it cannot hold) show at the step that causes them.
    std::optional<platform::TSavepoint> start;
    start.emplace();
    TOperationResult last;
    int steps = 0;
    for (TEnsureStep step; (step = NextEnsureStep(c, request)).Kind != TEnsureStep::None;) {
        if (++steps > kMostSteps)
            throw EOperationRefused(Refusal("The state " + StateName(request.State) + " of " + Named(request) +
                                            " is not reached in " + std::to_string(kMostSteps) + " steps"));
        last = Take(session.Operations(), step);
        ThrowUnlessSaved(last);
    }
    if (steps == 0) {
        start.reset();
        finish(c);
        return report;
    }
    // The steps are one change: the store goes back to where it was and
    // takes the lists as they are now in one save, so the backup holds the
    // active entries from before the change.
    start->RollbackNow();
    start.reset();
    c.Loaded = loaded;
    last = session.Operations().SaveCodecLists();
    ThrowUnlessSaved(last);

    // What the store would show now, read back before anything is written.
    TPreferences prefs = c.Prefs();
    TLog quiet;
    TCodecCatalogue back(prefs, quiet);
    back.LoadActiveList();
    back.LoadInactiveCodecList();
    const std::vector<TEnsureEntry> after = EntriesOf(back, request.Fourcc);
    bool reached = false;
    try {
        reached = NextEnsureStep(back, request).Kind == TEnsureStep::None;
    } catch (const EOperationRefused&) {
    }
    if (!reached)
        throw EOperationRefused(Refusal("The state " + StateName(request.State) + " of " + Named(request) +
                                        " cannot be reached: the store would then hold " + Shown(after)));
    if (OtherCodecs(back, request.Fourcc) != others)
        throw EOperationRefused(Refusal("The state " + StateName(request.State) + " of " + Named(request) +
                                        " cannot be reached without moving codecs of other FOURCCs"));
    report.Changed = true;
    report.Changes = session.Finish(last);
    finish(back);
    return report;
}

}  // namespace

const char* StoreName(TCodecStore store) {
    switch (store) {
    case TCodecStore::None: return "";
    case TCodecStore::Drivers32: return "registry";
    case TCodecStore::Drivers: return "registry-16";
    case TCodecStore::SystemIni: return "profile";
    case TCodecStore::Inactive: return "inactive";
    }
    return "";
}

std::vector<TEnsureEntry> EntriesOf(const TCodecCatalogue& catalogue, const std::string& fourcc) {
    std::vector<TEnsureEntry> out;
    for (const auto* list : {&catalogue.CodecList, &catalogue.InactiveCodecList}) {
        const bool active = list == &catalogue.CodecList;
        for (const TCodecEntry& e : list->Entries())
            if (platform::EqualsNoCase(e.Fourcc, fourcc))
                out.push_back({active, StoreName(e.Store), e.Fourcc, e.Driver, active ? std::string() : e.Number});
    }
    return out;
}

TEnsureStep NextEnsureStep(const TCodecCatalogue& c, const TEnsureRequest& r) {
    const TCodecList& active = c.CodecList;
    TEnsureStep step;
    switch (r.State) {
    case TEnsureState::Active: {
        const std::vector<size_t> inService = RowsOf(active, r.Fourcc, {});
        std::vector<size_t> others;
        for (size_t i : inService)
            if (!OfDriver(active.Entry(i), r.Driver)) others.push_back(i);
        if (others.size() < inService.size()) {
            // In service already; entries of other drivers beside it go out.
            if (others.empty()) return step;
            step.Kind = TEnsureStep::Deactivate;
            step.Rows = others;
            return step;
        }
        if (r.Driver.empty() && RowsOf(c.InactiveCodecList, r.Fourcc, {}).empty())
            throw EOperationRefused(Refusal("No codec has the FOURCC '" + r.Fourcc +
                                            "' in either list (ensure puts back codecs the lists hold; it makes no "
                                            "entries)"));
        const size_t incoming = OneToActivate(c, r);
        // The swap takes one codec out of service; others of the FOURCC go
        // first, since a store may not hold two of one FOURCC at any step.
        if (others.size() > 1) {
            const std::optional<size_t> swapped = active.FindCaption(r.Fourcc);
            step.Kind = TEnsureStep::Deactivate;
            for (size_t i : others)
                if (i != swapped) step.Rows.push_back(i);
            return step;
        }
        step.Kind = TEnsureStep::Activate;
        step.Rows = {incoming};
        return step;
    }
    case TEnsureState::Inactive:
        step.Rows = RowsOf(active, r.Fourcc, r.Driver);
        if (!step.Rows.empty()) step.Kind = TEnsureStep::Deactivate;
        return step;
    case TEnsureState::Absent:
        // An active entry goes out of service first; removal takes inactive ones.
        step.Rows = RowsOf(active, r.Fourcc, r.Driver);
        if (!step.Rows.empty()) {
            step.Kind = TEnsureStep::Deactivate;
            return step;
        }
        step.Rows = RowsOf(c.InactiveCodecList, r.Fourcc, r.Driver);
        if (!step.Rows.empty()) step.Kind = TEnsureStep::Remove;
        return step;
    }
    return step;
}

TEnsureReport Ensure(const TEnsureRequest& request) {
    if (request.Fourcc.empty()) throw EOperationRefused(Refusal("A FOURCC is needed"));
    {
        // Decided where nothing reaches the store: a machine in the state is
        // not taken for writing at all (a read-only one included).
        platform::TTransaction trial(platform::TTransaction::Scratch);
        TEnsureAnswers answers;
        TCodecSession session(answers);
        TEnsureReport report = Run(session, request);
        if (request.Check || !report.Changed) return report;
    }
    // Decided again under the machine's lock: another program may have
    // changed it since.
    TEnsureAnswers answers;
    TCodecSession session(answers);
    return Run(session, request);
}

}  // namespace tarnel
