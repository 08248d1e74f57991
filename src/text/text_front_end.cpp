#include "text/text_front_end.h"

#include <charconv>
#include <memory>
#include <optional>

#include "dfu/dfu_binding.h"
#include "platform/linux_volume_source.h"
#include "platform/path_limit.h"
#include "platform/posix_file_system.h"
#include "platform/sleep_inhibitor.h"
#include "sim/sim_workspace.h"
#include "text/text_step_ui.h"
#include "workflow/update_worker.h"

namespace vantel3 {

namespace {

constexpr const char* kUsage =
    "Usage: vantel3-updater-text [--simulate SCENARIO [--virtual-clock | --speed N]\n"
    "                             [--keep DIR | --resume DIR]]\n"
    "\n"
    "Updates a Vantel 3 device, with the screen as lines of text:\n"
    "  [view] main|restore|update|end, [text] ..., [progress] N, [next], [error] ..., [end] "
    "Retry|Exit\n"
    "Press Enter for Next and to close a message; at the end type \"retry\" to retry.\n"
    "\n"
    "  --simulate SCENARIO  run against the simulated device described by SCENARIO (JSON)\n"
    "  --virtual-clock      run the simulation on a virtual clock (the scenario's user answers)\n"
    "  --speed N            run the simulation's real clock N times as fast\n"
    "  --keep DIR           build the simulation's workspace in DIR and leave it there\n"
    "  --resume DIR         take up the workspace an earlier (perhaps killed) run left in DIR,\n"
    "                       with the device restarted by the user\n"
    "  --help               show this text\n"
    "  --version            show the version\n";

constexpr const char* kVersion = "vantel3-updater-text 1.0.0";

struct Options {
  std::string scenarioPath;
  bool virtualClock = false;
  double speed = 1.0;
  bool speedGiven = false;
  std::string keepDir;
  std::string resumeDir;
  bool help = false;
  bool version = false;
};

// Returns 1, or 0 with a one-line `error`.
int ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--simulate") {
      if (!value(options.scenarioPath)) return 0;
    } else if (arg == "--keep") {
      if (!value(options.keepDir)) return 0;
    } else if (arg == "--resume") {
      if (!value(options.resumeDir)) return 0;
    } else if (arg == "--virtual-clock") {
      options.virtualClock = true;
    } else if (arg == "--speed") {
      std::string text;
      if (!value(text)) return 0;
      double speed = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), speed);
      if (ec != std::errc() || end != text.data() + text.size() || !(speed > 0) || speed > 1e6) {
        error = "--speed needs a number above 0, not \"" + text + "\"";
        return 0;
      }
      options.speed = speed;
      options.speedGiven = true;
    } else {
      error = "unknown option \"" + arg + "\"";
      return 0;
    }
  }
  if (options.scenarioPath.empty() && (options.virtualClock || options.speedGiven ||
                                       !options.keepDir.empty() || !options.resumeDir.empty())) {
    error = "--virtual-clock, --speed, --keep and --resume need --simulate";
    return 0;
  }
  if (!options.keepDir.empty() && !options.resumeDir.empty()) {
    error = "--keep and --resume cannot be used together";
    return 0;
  }
  if (options.virtualClock && options.speedGiven) {
    error = "--virtual-clock and --speed cannot be used together";
    return 0;
  }
  return 1;
}

}  // namespace

int RunTextFrontEnd(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err) {
  Options options;
  std::string error;
  if (ParseOptions(args, options, error) == 0) {
    err << "vantel3-updater-text: " << error << " (see --help)\n";
    return kExitUsage;
  }
  if (options.help) {
    out << kUsage;
    return kExitSuccess;
  }
  if (options.version) {
    out << kVersion << '\n';
    return kExitSuccess;
  }

  const bool simulate = !options.scenarioPath.empty();
  std::unique_ptr<Clock> clock;
  VirtualClock* virtualClock = nullptr;
  if (options.virtualClock) {
    auto owned = std::make_unique<VirtualClock>();
    virtualClock = owned.get();
    clock = std::move(owned);
  } else {
    clock = std::make_unique<SteadyClock>(options.speed);
  }

  PosixFileSystem posix;
  LinuxVolumeSource linuxVolumes;
  UserWritableProgramPath selfPath;
  std::unique_ptr<SimWorkspace> workspace;
  Scenario scenario;
  if (simulate) {
    if (LoadScenarioFile(posix, options.scenarioPath, scenario, error) == 0) {
      err << "vantel3-updater-text: " << error << '\n';
      return kExitUsage;
    }
    workspace = options.resumeDir.empty()
                    ? SimWorkspace::Create(scenario, *clock, options.keepDir, error)
                    : SimWorkspace::Open(options.resumeDir, scenario, *clock, error);
    if (!workspace) {
      err << "vantel3-updater-text: cannot make the simulation's workspace: " << error << '\n';
      return kExitFailureEnd;
    }
  }
  UpdateServices services{
      *clock,
      simulate ? workspace->fs() : static_cast<FileSystem&>(posix),
      simulate ? workspace->volumes() : static_cast<VolumeSource&>(linuxVolumes),
      simulate ? workspace->programPath() : static_cast<ProgramPath&>(selfPath),
      simulate ? workspace->packageDir() : std::string("./data"),
  };

  std::unique_ptr<LineInput> input;
  if (!options.virtualClock) input = std::make_unique<LineInput>(in);

  UpdateContext context;
  // Each show of Next gets a token, so a click scheduled for an earlier show that timed out
  // cannot land in a later one.
  uint64_t nextToken = 0;
  TextAnswers answers;
  if (virtualClock != nullptr) {
    answers.onNextShown = [&] {
      const uint64_t token = ++nextToken;
      if (!scenario.user.nextAfterMs) return;
      virtualClock->ScheduleAt(virtualClock->ElapsedMs() + *scenario.user.nextAfterMs,
                               [&context, &nextToken, token] {
                                 if (token == nextToken) context.nextPressed = 1;
                               });
    };
    answers.onNextHidden = [&] { ++nextToken; };
  } else {
    answers = AnswersFromInput(*input, context.nextPressed);
  }
  TextStepUi ui(out, answers);

  DlLibraryLoader loader;
  std::string library;
  if (JoinPath(services.packageDir, '/', kDfuLibraryFileName, library) == 0 ||
      BindDfuLibrary(loader, library, context.dfuApi) == 0) {
    ui.ShowFailureMessage(kDfuLoadFailedMessage);
    return kExitLibraryNotBound;
  }
  if (simulate) {
    if (workspace->AttachToLibrary(loader, context.dfuApi.module) == 0) {
      err << "vantel3-updater-text: the package's library does not take the simulated device\n";
    }
  }

  // The computer must not fall asleep while a real device is halfway through an update.
  std::unique_ptr<SleepInhibitor> sleepLock =
      simulate ? std::make_unique<NoSleepInhibitor>() : MakeSystemSleepInhibitor();
  for (std::size_t run = 0;; ++run) {
    const int result = [&] {
      SleepInhibitGuard awake(*sleepLock);
      return UpdateWorker(context, services, ui);
    }();
    bool retry = false;
    if (ui.endAction() == EndAction::kRetry) {
      if (virtualClock != nullptr) {
        retry = scenario.user.AnswerForRun(run) == EndAnswer::kRetry;
      } else {
        const auto line = input->ReadLine();
        retry = line && *line == "retry";
      }
    }
    if (!retry) return result == 0 ? kExitSuccess : kExitFailureEnd;
    // A person retrying restarts the device first, as the failure texts ask.
    if (simulate) workspace->device().PowerCycle();
  }
}

}  // namespace vantel3
