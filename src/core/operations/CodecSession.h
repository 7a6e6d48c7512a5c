// The codec operations for a front end without windows (the command line,
// scripts): a session loads both lists inside the writing transaction that
// ends with their save, so the machine's lock covers the whole change and
// two sessions started at once both take effect; it reports what changed
// place. A reading loads the lists for looking at them only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/catalogue/CodecLists.h"
#include "core/operations/CodecOperations.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uGlobal.h"
#include "core/shell/uPrefs.h"
#include "platform/api/Registry.h"

namespace tarnel {

// One codec that changed place, as a report names it.
struct TCodecChange {
    // "deactivated" (now inactive, Number its new one), "activated" (now
    // active, Number the one it had), "removed" (Number the one it had),
    // "restored" (made active from the backup), "replaced" (taken out of the
    // active list; only the backup holds it now), "added" (new inactive).
    const char* Kind = "";
    std::string Fourcc;
    std::string Driver;
    std::string Number;
    // Where it went when that is not where the lists look ("went to the
    // 16-bit Drivers key, which the lists do not show"); mostly empty.
    std::string Note;
};

// The machine's lists as the loaders read them, for looking at only.
class TCodecReading {
public:
    // Identifies the machine and loads the active list, and the inactive
    // one when asked (an unreadable inactive entry then throws).
    explicit TCodecReading(bool withInactive = true);
    const TMachineFacts& Facts() const { return facts_; }
    const TCodecCatalogue& Catalogue() const { return catalogue_; }

private:
    TMachineFacts facts_;
    TPreferences prefs_;
    TLog log_;
    TCodecCatalogue catalogue_;
};

class TCodecSession {
public:
    // Takes the machine's lock, reads the settings (without seeding missing
    // values) and both lists. Throws std::runtime_error ("This OS is not
    // supported. End of Game!") on a system the program does not support.
    explicit TCodecSession(TOperationQuestions& questions);

    TCodecCatalogue& Catalogue() { return catalogue_; }
    TCodecOperations& Operations() { return operations_; }
    const TLog& Log() const { return log_; }

    // Brings what the operation saved to the store and returns what changed
    // place since the session began. Throws, and nothing of the session
    // reaches the machine, when the operation was refused or its save failed.
    std::vector<TCodecChange> Finish(const TOperationResult& result);

private:
    platform::TTransaction transaction_;
    TPreferences prefs_;
    TLog log_;
    TCodecCatalogue catalogue_;
    TCodecOperations operations_;
    std::vector<TCodecChange> activeBefore_, inactiveBefore_;
};

}  // namespace tarnel
