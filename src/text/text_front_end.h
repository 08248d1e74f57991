// The terminal front end: runs the update (on a real device, or on the simulated device with
// --simulate) with the screen as lines of text, and answers from standard input or, on the
// virtual clock, from the scenario's simulated user.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "session/run_session.h"

namespace vantel3 {

// `args` without the program name. Returns the process's exit status: 0 after a success
// end, 1 after a failure end, 2 for a usage error, 255 when the firmware-upgrade library
// cannot be bound.
int RunTextFrontEnd(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err);

}  // namespace vantel3
