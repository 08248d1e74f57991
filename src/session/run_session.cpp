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
    session->services_ = std::make_unique<UpdateServices>(
        UpdateServices{*session->clock_, system.fs(), system.volumes(), system.programPath(),
                       system.packageDir()});
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
  session->services_ = std::make_unique<UpdateServices>(
      UpdateServices{*session->clock_, ws.fs(), ws.volumes(), ws.programPath(), ws.packageDir()});
  return session;
}

// The workspace (a temporary one removes itself) goes before the clock it runs on.
RunSession::~RunSession() {
  services_.reset();
  workspace_.reset();
}

const SimulatedUser* RunSession::scriptedUser() const {
  return workspace_ != nullptr && virtualClock_ != nullptr ? &scenario_.user : nullptr;
}

std::string RunSession::libraryPath() const {
  return workspace_ != nullptr ? workspace_->libraryPath() : system_.libraryPath();
}

int RunSession::BindLibrary(DfuApi& api, std::string& warning) {
  if (BindDfuLibrary(system_.loader(), libraryPath(), api) == 0) return 0;
  if (AttachDevice(api.module) == 0) {
    warning = "the package's library does not take the simulated device";
  }
  return 1;
}

int RunSession::AttachDevice(void* module) {
  if (workspace_ == nullptr) return 1;
  return workspace_->AttachToLibrary(system_.loader(), module);
}

int RunSession::RunOnce(UpdateContext& context, StepUi& ui) {
  // A simulated device needs no lock: nothing real is halfway through an update.
  if (workspace_ != nullptr) return UpdateWorker(context, *services_, ui);
  SleepInhibitGuard awake(system_.sleepLock());
  return UpdateWorker(context, *services_, ui);
}

void RunSession::PrepareRetry() {
  if (workspace_ != nullptr) workspace_->device().PowerCycle();
}

void RunSession::AbandonNow() {
  if (workspace_ == nullptr || keepWorkspace_) return;
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
