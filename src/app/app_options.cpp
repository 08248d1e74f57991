#include "app/app_options.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace vantel3 {

namespace {

// Toolkit options that take a value.
constexpr std::array<std::string_view, 12> kToolkitValueOptions = {
    "-platform",    "-platformpluginpath", "-platformtheme", "-plugin",  "-qmljsdebugger",
    "-style",       "-stylesheet",         "-session",       "-display", "-qwindowgeometry",
    "-qwindowicon", "-qwindowtitle",
};

AppOptions Fail(std::string message) {
  AppOptions options;
  options.command = AppCommand::kError;
  options.error = std::move(message);
  return options;
}

bool ParseSpeed(const std::string& text, double& speed) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value) || value <= 0) {
    return false;
  }
  speed = value;
  return true;
}

}  // namespace

std::string AppUsageText() {
  return "Usage: vantel3-updater [--simulate SCENARIO [--speed N] [--virtual-clock] [--keep DIR]]\n"
         "                       [--no-verify]\n"
         "       vantel3-updater --help | --version\n"
         "\n"
         "Updates a Vantel 3 device from the package folder ./data.\n"
         "\n"
         "  --simulate SCENARIO  run against the simulated device of the scenario file\n"
         "                       SCENARIO (JSON; examples in scenarios/) instead of a real one\n"
         "  --speed N            with --simulate: let time run N times as fast\n"
         "  --virtual-clock      with --simulate: waits pass at once, the scenario clicks\n"
         "  --keep DIR           with --simulate: keep the simulation's files in DIR\n"
         "  --no-verify          do not read the copies back from the device before handing\n"
         "                       them over (faster, but damage on the way goes unnoticed)\n"
         "  --help               show this text\n"
         "  --version            show the program's version\n";
}

AppOptions ParseAppOptions(const std::vector<std::string>& args) {
  AppOptions options;
  bool speedGiven = false;
  bool keepGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool hasInlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      const std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasInlineValue = true;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      for (std::string_view option : kToolkitValueOptions) {
        if (arg == option) {
          ++i;
          break;
        }
      }
      continue;
    } else {
      return Fail("vantel3-updater: unexpected argument '" + arg + "' (try --help)");
    }

    auto takeValue = [&](std::string& out) {
      if (hasInlineValue) {
        out = value;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    auto noValue = [&] { return !hasInlineValue; };

    if (arg == "--help" && noValue()) {
      options.command = AppCommand::kHelp;
      return options;
    } else if (arg == "--version" && noValue()) {
      options.command = AppCommand::kVersion;
      return options;
    } else if (arg == "--simulate") {
      if (!takeValue(options.scenario) || options.scenario.empty()) {
        return Fail("vantel3-updater: --simulate needs a scenario");
      }
      options.simulate = true;
    } else if (arg == "--speed") {
      std::string text;
      if (!takeValue(text) || !ParseSpeed(text, options.speed)) {
        return Fail("vantel3-updater: --speed needs a positive number");
      }
      speedGiven = true;
    } else if (arg == "--virtual-clock" && noValue()) {
      options.virtualClock = true;
    } else if (arg == "--no-verify" && noValue()) {
      options.verifyCopies = false;
    } else if (arg == "--keep") {
      if (!takeValue(options.keepDir) || options.keepDir.empty()) {
        return Fail("vantel3-updater: --keep needs a folder");
      }
      keepGiven = true;
    } else {
      return Fail("vantel3-updater: unknown option '" + args[i] + "' (try --help)");
    }
  }
  if (!options.simulate && (speedGiven || keepGiven || options.virtualClock)) {
    return Fail("vantel3-updater: --speed, --virtual-clock and --keep need --simulate");
  }
  if (speedGiven && options.virtualClock) {
    return Fail("vantel3-updater: --speed and --virtual-clock cannot be combined");
  }
  return options;
}

}  // namespace vantel3
