// init DIR [--family nt|9x]: a demo machine in DIR.
#include <iostream>

#include "app/tarnelctl/Command.h"
#include "demo/DemoMachine.h"

namespace tarnel::ctl {

int RunInit(const TCommandLine& cl) {
    if (cl.Family != "nt" && cl.Family != "9x") throw EUsage("--family is nt or 9x, not '" + cl.Family + "'");
    const bool nt = cl.Family == "nt";
    CreateDemoMachine(cl.Operands[0], nt ? platform::TMachineFamily::NT : platform::TMachineFamily::Win9x);
    std::cout << "Made a " << (nt ? "NT" : "95/98/ME") << " family demo machine in " << cl.Operands[0] << "\n";
    return 0;
}

}  // namespace tarnel::ctl
