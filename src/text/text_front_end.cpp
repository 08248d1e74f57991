#include "text/text_front_end.h"

#include <charconv>
#include <memory>
#include <optional>

#include "dfu/dfu_binding.h"
#include "platform/system_services.h"
#include "session/run_session.h"
#include "session/scripted_user.h"
#include "text/text_step_ui.h"

namespace vantel3 {

namespace {

constexpr const char* kUsage =
    "Usage: vantel3-updater-text [--simulate SCENARIO [--virtual-clock | --speed N]\n"
    "                             [--keep DIR | --resume DIR]] [--no-verify]\n"
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
    "  --no-verify          do not read the copies back from the device before handing them\n"
    "                       over (faster, but damage on the way goes unnoticed)\n"
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
  bool verifyCopies = true;
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
    } else if (arg == "--no-verify") {
      options.verifyCopies = false;
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

  std::unique_ptr<SystemServices> system = MakeSystemServices();
  SessionOptions sessionOptions;
  sessionOptions.scenarioPath = options.scenarioPath;
  sessionOptions.virtualClock = options.virtualClock;
  sessionOptions.speed = options.speed;
  sessionOptions.keepDir = options.keepDir;
  sessionOptions.resumeDir = options.resumeDir;
  sessionOptions.program = kVersion;
  sessionOptions.verifyCopies = options.verifyCopies;
  int status = kExitFailureEnd;
  std::unique_ptr<RunSession> session = RunSession::Create(sessionOptions, *system, error, status);
  if (!session) {
    err << "vantel3-updater-text: " << error << '\n';
    return status;
  }

  UpdateContext context;
  const SimulatedUser* user = session->scriptedUser();
  std::unique_ptr<ScriptedUser> scripted;
  std::unique_ptr<LineInput> input;
  TextAnswers answers;
  if (user != nullptr) {
    // On the virtual clock the scenario's user answers; message boxes close at once.
    scripted = std::make_unique<ScriptedUser>(*session->virtualClock(), *user);
    answers.onNextShown = [&] { scripted->NextShown([&context] { context.nextPressed = 1; }); };
    answers.onNextHidden = [&] { scripted->NextHidden(); };
  } else {
    input = std::make_unique<LineInput>(in);
    answers = AnswersFromInput(*input, context.nextPressed);
  }
  TextStepUi ui(out, answers);

  std::string warning;
  if (session->BindLibrary(context.dfuApi, warning) == 0) {
    LoggingStepUi loggedUi(ui, session->log());
    loggedUi.ShowFailureMessage(kDfuLoadFailedMessage);
    session->LogExit(kExitLibraryNotBound);
    return kExitLibraryNotBound;
  }
  if (!warning.empty()) err << "vantel3-updater-text: " << warning << '\n';

  const int exitStatus = RunUntilDone(
      *session, context, ui, [&ui] { return ui.endAction(); },
      [&](std::size_t run) {
        if (scripted) return scripted->WantsRetry(run);
        const auto line = input->ReadLine();
        return line && *line == "retry";
      });
  session->LogExit(exitStatus);
  return exitStatus;
}

}  // namespace vantel3
