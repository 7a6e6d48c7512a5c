// The codec operations of the command line: deactivate, activate, remove,
// save, restore-backup and info. Each changing command loads both lists,
// runs the core's operation and saves inside one writing transaction, so
// the machine's lock covers the whole command and two commands run at once
// both take effect.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/choice/PlatformChoice.h"

namespace tarnel::ctl {

// A wrong command line: exit status 2, with the usage text.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Exit status of a command that would have to ask a question it was given
// no answer to; nothing was written.
inline constexpr int kExitUnanswered = 3;

// The usage lines of these commands, printed after the general ones.
extern const char* const kOperationsUsage;

// Runs `command` with its arguments when it is one of the codec operations
// and returns the exit status; nullopt for any other command. `choice`
// holds what --machine and --backend named (empty for the usual choice).
// Errors are thrown (EUsage for a wrong command line).
std::optional<int> RunOperationCommand(const std::string& command, const std::vector<std::string>& args,
                                       const platform::TPlatformChoice& choice);

}  // namespace tarnel::ctl
