#include "session/run_session.h"

#include <filesystem>
#include <system_error>

#include "dfu/dfu_binding.h"
#include "workflow/update_worker.h"

namespace vantel3 {

std::unique_ptr<RunSession> RunSession::Create(const SessionOptions& options,
                                               SystemServices& system, std::string& error,
                                               int& status) {
  std::unique_ptr<RunSession> session(new RunSession(system));
  if (options.virtualClock) {
    auto clock = std::make_unique<VirtualClock>();
    session->virtualClock_ = clock.get();
    session->clock_ = std::move(clock);
  } else {
    session->clock_ = std::make_unique<SteadyClock>(options.speed);
  }
  if (options.scenarioPath.empty()) {
    session->StartLog(options, options.logFolder.empty() ? system.logFolder() : options.logFolder,
                      system.fs(), system.volumes(), system.programPath(), system.packageDir());
    return session;
  }

  if (LoadScenarioFile(system.fs(), options.scenarioPath, session->scenario_, error) == 0) {
    status = kExitUsage;
    return nullptr;
  }
  session->keepWorkspace_ = !options.keepDir.empty() || !options.resumeDir.empty();
  session->workspace_ =
      options.resumeDir.empty()
          ? SimWorkspace::Create(session->scenario_, *session->clock_, options.keepDir, error)
          : SimWorkspace::Open(options.resumeDir, session->scenario_, *session->clock_, error);
  if (!session->workspace_) {
    error = "cannot make the simulation's workspace: " + error;
    status = kExitFailureEnd;
    return nullptr;
  }
  SimWorkspace& ws = *session->workspace_;
  // Never the user's log folder: a simulation's log stays with its workspace.
  session->StartLog(options, options.logFolder.empty() ? ws.root() + "/log/" : options.logFolder,
                    ws.fs(), ws.volumes(), ws.programPath(), ws.packageDir());
  return session;
}

void RunSession::StartLog(const SessionOptions& options, const std::string& folder, FileSystem& fs,
                          VolumeSource& volumes, ProgramPath& programPath,
                          const std::string& packageDir) {
  log_ = std::make_unique<RunLog>(folder, *clock_, wallClock_);
  log_->Event("program " + (options.program.empty() ? std::string("(unnamed)") : options.program));
  log_->Event("system " + system_.systemDescription());
  if (workspace_ == nullptr) {
    log_->Event("session: the real device, package folder " + packageDir);
  } else {
    std::string clock = virtualClock_ != nullptr
                            ? "virtual clock"
                            : "real clock at speed " + std::to_string(options.speed);
    log_->Event("session: simulated device, scenario " + options.scenarioPath + ", workspace " +
                workspace_->root() + ", " + clock);
  }
  loggedFs_ = std::make_unique<LoggingFileSystem>(fs, *log_, *clock_);
  loggedVolumes_ = std::make_unique<LoggingVolumeSource>(volumes, *log_);
  services_ = std::make_unique<UpdateServices>(*clock_, *loggedFs_, *loggedVolumes_, programPath,
                                               packageDir, *log_);
  services_->verifyCopies = options.verifyCopies;
  if (!options.verifyCopies) log_->Event("copies are not read back (--no-verify)");
  RunLog& log = *log_;
  services_->onCopyChecked = [&log](const ReadBackRecord& record) {
    // A damaged or unreadable copy is what support looks for first.
    if (record.outcome == ReadBackOutcome::kSame || record.outcome == ReadBackOutcome::kNotRead) {
      log.Event(FormatReadBackEvent(record));
    } else {
      log.Notice(FormatReadBackEvent(record));
    }
  };
}

void RunSession::LogExit(int status) {
  log_->Notice("exit status " + std::to_string(status));
}

// The workspace (a temporary one removes itself) goes before the clock it runs on.
RunSession::~RunSession() {
  services_.reset();
  loggedVolumes_.reset();
  loggedFs_.reset();
  log_.reset();
  workspace_.reset();
}

const SimulatedUser* RunSession::scriptedUser() const {
  return workspace_ != nullptr && virtualClock_ != nullptr ? &scenario_.user : nullptr;
}

std::string RunSession::libraryPath() const {
  return workspace_ != nullptr ? workspace_->libraryPath() : system_.libraryPath();
}

int RunSession::BindLibrary(DfuApi& api, std::string& warning) {
  if (BindDfuLibrary(system_.loader(), libraryPath(), api) == 0) {
    log_->Notice("library " + libraryPath() + " could not be bound");
    return 0;
  }
  if (AttachDevice(api.module) == 0) {
    warning = "the package's library does not take the simulated device";
  }
  return 1;
}

int RunSession::AttachDevice(void* module) {
  log_->Event("library " + libraryPath() + " bound");
  if (workspace_ == nullptr) return 1;
  const int attached = workspace_->AttachToLibrary(system_.loader(), module);
  if (attached == 0) log_->Notice("the bound library does not take the simulated device");
  return attached;
}

int RunSession::RunOnce(UpdateContext& context, StepUi& ui) {
  const std::string run = "run " + std::to_string(++runs_);
  log_->Notice(run + " started");
  LoggingStepUi loggedUi(ui, *log_);
  int result = 0;
  if (workspace_ != nullptr) {
    // A simulated device needs no lock: nothing real is halfway through an update.
    result = UpdateWorker(context, *services_, loggedUi);
  } else {
    SleepInhibitGuard awake(system_.sleepLock());
    result = UpdateWorker(context, *services_, loggedUi);
  }
  log_->Notice(run + (result == 0 ? " ended: success end" : " ended: failure end"));
  return result;
}

void RunSession::PrepareRetry() {
  log_->Notice("Retry");
  if (workspace_ != nullptr) workspace_->device().PowerCycle();
}

void RunSession::AbandonNow() {
  log_->Notice("the window was closed during a run: the process ends now");
  if (workspace_ == nullptr || keepWorkspace_) return;
  // The log lives in the workspace; its open file would keep the folder on Windows.
  log_->Close();
  std::error_code ignored;
  std::filesystem::remove_all(PathFromUtf8(workspace_->root()), ignored);
}

int RunUntilDone(RunSession& session, UpdateContext& context, StepUi& ui,
                 const std::function<EndAction()>& endAction,
                 const std::function<bool(std::size_t run)>& wantsRetry) {
  for (std::size_t run = 0;; ++run) {
    const int result = session.RunOnce(context, ui);
    const bool retry = endAction() == EndAction::kRetry && wantsRetry(run);
    if (!retry) return result == 0 ? kExitSuccess : kExitFailureEnd;
    session.PrepareRetry();
  }
}

}  // namespace vantel3
