#include "core/operations/CodecSession.h"

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>

#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"

namespace tarnel {

namespace {

// The codecs of a list as a report names them: FOURCC, driver, Number.
std::vector<TCodecChange> Named(const TCodecList& list) {
    std::vector<TCodecChange> out;
    out.reserve(list.Count());
    for (const TCodecEntry& e : list.Entries()) {
        out.push_back({"", e.Fourcc, e.Driver, e.Number, {}});
        if (e.Store == TCodecStore::Drivers) out.back().Note = cNote16BitDrivers;
    }
    return out;
}

std::string KeyOf(const TCodecChange& c) { return platform::AsciiLowerCase(c.Fourcc) + std::string(1, '\0') + c.Driver; }

// What moved, found by comparing the codecs (FOURCC and driver) of both
// lists before and after: a codec that left one list and arrived in the
// other moved; one that left both was removed (or, leaving the active list,
// kept only in the backup); one that arrived from neither was restored or
// added.
std::vector<TCodecChange> ChangesBetween(const std::vector<TCodecChange>& activeBefore,
                                         const std::vector<TCodecChange>& inactiveBefore,
                                         const std::vector<TCodecChange>& activeAfter,
                                         const std::vector<TCodecChange>& inactiveAfter) {
    using TIndex = std::multimap<std::string, size_t>;
    auto index = [](const std::vector<TCodecChange>& rows) {
        TIndex m;
        for (size_t i = 0; i < rows.size(); ++i) m.emplace(KeyOf(rows[i]), i);
        return m;
    };
    auto take = [](TIndex& m, const std::string& key) -> std::optional<size_t> {
        auto it = m.find(key);
        if (it == m.end()) return std::nullopt;
        size_t i = it->second;
        m.erase(it);
        return i;
    };
    TIndex newActive = index(activeAfter), newInactive = index(inactiveAfter);
    std::vector<const TCodecChange*> leftActive, leftInactive;
    for (const TCodecChange& e : activeBefore)
        if (!take(newActive, KeyOf(e))) leftActive.push_back(&e);
    for (const TCodecChange& e : inactiveBefore)
        if (!take(newInactive, KeyOf(e))) leftInactive.push_back(&e);

    std::vector<TCodecChange> changes;
    auto as = [](const char* kind, TCodecChange c) {
        c.Kind = kind;
        return c;
    };
    for (const TCodecChange* e : leftActive) {
        if (auto i = take(newInactive, KeyOf(*e))) changes.push_back(as("deactivated", inactiveAfter[*i]));
        else changes.push_back(as("replaced", *e));
    }
    for (const TCodecChange* e : leftInactive) {
        if (auto i = take(newActive, KeyOf(*e))) {
            TCodecChange moved = activeAfter[*i];
            moved.Number = e->Number;
            changes.push_back(as("activated", moved));
        } else {
            changes.push_back(as("removed", *e));
        }
    }
    auto arrivals = [](const TIndex& m) {
        std::vector<size_t> rows;
        for (const auto& [key, i] : m) rows.push_back(i);
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    for (size_t i : arrivals(newActive)) changes.push_back(as("restored", activeAfter[i]));
    for (size_t i : arrivals(newInactive)) changes.push_back(as("added", inactiveAfter[i]));
    return changes;
}

}  // namespace

TCodecReading::TCodecReading(bool withInactive) : facts_(IdentifyMachine()), catalogue_(prefs_, log_) {
    prefs_.CodecStoreMode = facts_.CodecStoreMode;
    catalogue_.LoadActiveList();
    if (withInactive) catalogue_.LoadInactiveCodecList();
}

TCodecSession::TCodecSession(TOperationQuestions& questions)
    : transaction_(platform::TTransaction::Write), catalogue_(prefs_, log_), operations_(catalogue_, questions) {
    // AutoSwap as the window reads it, without seeding missing values.
    prefs_ = ReadSettings();
    prefs_.CodecStoreMode = IdentifyMachine().CodecStoreMode;
    if (prefs_.CodecStoreMode == 0) throw std::runtime_error(cMsgOsNotSupported);
    catalogue_.LoadActiveList();
    catalogue_.LoadInactiveCodecList();
    activeBefore_ = Named(catalogue_.CodecList);
    inactiveBefore_ = Named(catalogue_.InactiveCodecList);
}

std::vector<TCodecChange> TCodecSession::Finish(const TOperationResult& result) {
    if (!result.Saved && (result.Changed || !result.Error.empty()))
        throw std::runtime_error(result.Error.empty() ? "Nothing was saved" : result.Error);
    transaction_.Commit();
    return ChangesBetween(activeBefore_, inactiveBefore_, Named(catalogue_.CodecList),
                          Named(catalogue_.InactiveCodecList));
}

}  // namespace tarnel
