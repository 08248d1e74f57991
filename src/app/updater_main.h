// The program vantel3-updater after main(): command line, services, application.
#pragma once

namespace vantel3 {

// Returns the process exit status: 0 (ordinary close, --help, --version), 2 (bad command
// line), -1 (the firmware-upgrade library cannot be bound) or 1 (the simulation cannot be
// set up).
[[nodiscard]] int UpdaterMain(int argc, char** argv);

}  // namespace vantel3
