// The command line of vantel3-updater:
//   vantel3-updater [--simulate SCENARIO [--speed N] [--virtual-clock] [--keep DIR]] [--no-verify]
//   vantel3-updater --help | --version
#pragma once

#include <string>
#include <vector>

namespace vantel3 {

enum class AppCommand { kRun, kHelp, kVersion, kError };

struct AppOptions {
  AppCommand command = AppCommand::kRun;
  // Run against the simulated device of this scenario (a name or a scenario file).
  bool simulate = false;
  std::string scenario;
  // How much faster than real time the simulated run goes (real clock only).
  double speed = 1.0;
  // Run the simulation on a virtual clock (waits pass at once; the scenario clicks).
  bool virtualClock = false;
  // Keep the simulation's workspace in this folder.
  std::string keepDir;
  // Read every copy back from the drive before each hand-over (off: --no-verify).
  bool verifyCopies = true;
  // The one-line complaint for kError.
  std::string error;
};

inline constexpr const char* kAppVersionText = "vantel3-updater 1.0";

// The usage text for --help.
[[nodiscard]] std::string AppUsageText();

// `args` without the program name. Single-dash arguments belong to the window toolkit
// ("-platform offscreen", "-style fusion") and are skipped with their value.
[[nodiscard]] AppOptions ParseAppOptions(const std::vector<std::string>& args);

}  // namespace vantel3
