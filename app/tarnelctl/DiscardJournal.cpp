// tarnelctl discard-journal: the way out of a journal that fails its
// check, which stops every write until the user decides. One that passes
// it is finished instead, so that a whole save is never thrown away.
#include <iostream>

#include "app/tarnelctl/Command.h"
#include "platform/api/Backend.h"

namespace tarnel::ctl {

int RunDiscardJournal(const TCommandLine&) {
    std::cout << platform::CurrentBackend().DiscardJournal() << "\n";
    return 0;
}

}  // namespace tarnel::ctl
