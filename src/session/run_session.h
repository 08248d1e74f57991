// One session of the updater, put together the same way for every front end: the services a
// run reaches (the real system's, or a scenario's simulated device in its workspace), the
// clock, the binding of the package's firmware-upgrade library, the sleep lock around each
// run, the restart of a simulated device before a Retry and the removal of a temporary
// workspace. A front end adds only its StepUi and its way of answering.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "log/logging_services.h"
#include "log/run_log.h"
#include "platform/clock.h"
#include "platform/system_services.h"
#include "sim/scenario.h"
#include "sim/sim_workspace.h"
#include "workflow/step_ui.h"
#include "workflow/update_context.h"

namespace vantel3 {

// Exit statuses shared by the front ends.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailureEnd = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLibraryNotBound = 255;

struct SessionOptions {
  // A scenario file: run against its simulated device. Empty: the real device.
  std::string scenarioPath;
  // Simulation only: run on a virtual clock, where the scenario plays the user.
  bool virtualClock = false;
  // Simulation only: how many times faster than real time the steady clock runs.
  double speed = 1.0;
  // Simulation only: build the workspace in this folder and keep it.
  std::string keepDir;
  // Simulation only: take up the workspace an earlier run left in this folder.
  std::string resumeDir;
  // The program and its version, the first event of the log ("vantel3-updater-text 1.0.0").
  std::string program;
  // Where the log goes instead of the system's log folder (or, in a simulation, the
  // workspace's "log" folder); for tests. Empty: the usual place.
  std::string logFolder;
  // Read every copy back from the drive and compare it before each hand-over (--no-verify
  // turns it off).
  bool verifyCopies = true;
};

class RunSession {
 public:
  // Null with `error` and the exit status in `status` when the session cannot start: a
  // scenario that cannot be read (kExitUsage), a workspace that cannot be made
  // (kExitFailureEnd). `system` must outlive the session.
  static std::unique_ptr<RunSession> Create(const SessionOptions& options, SystemServices& system,
                                            std::string& error, int& status);
  ~RunSession();
  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  [[nodiscard]] bool simulated() const { return workspace_ != nullptr; }
  [[nodiscard]] Clock& clock() { return *clock_; }
  // The virtual clock, or null when the session runs on a steady clock.
  [[nodiscard]] VirtualClock* virtualClock() { return virtualClock_; }
  [[nodiscard]] UpdateServices& services() { return *services_; }
  // The scenario's simulated user, on the virtual clock only; null otherwise.
  [[nodiscard]] const SimulatedUser* scriptedUser() const;
  // The simulation's workspace; null for the real device.
  [[nodiscard]] SimWorkspace* workspace() { return workspace_.get(); }
  [[nodiscard]] LibraryLoader& loader() { return system_.loader(); }
  // The package's firmware-upgrade library as the session loads it.
  [[nodiscard]] std::string libraryPath() const;
  // The session's log (one file per session; every run of it and its services write there).
  [[nodiscard]] EventLog& log() { return *log_; }
  // The log's file; empty when none is written.
  [[nodiscard]] std::string logPath() { return log_->path(); }
  // The process's exit status, the log's last event.
  void LogExit(int status);

  // Binds the package's library into `api`; in a simulation, plugs the simulated device into
  // it. Returns 1, or 0 when the library cannot be bound (the front end then shows
  // kDfuLoadFailedMessage and ends with kExitLibraryNotBound). `warning` is set when the
  // bound library does not take the simulated device (a run then finds no device).
  [[nodiscard]] int BindLibrary(DfuApi& api, std::string& warning);
  // The simulated device is plugged into the library bound as `module` (for front ends that
  // bind the library themselves). Returns 1, or 0 when the library does not take it; 1 for
  // the real device.
  [[nodiscard]] int AttachDevice(void* module);
  // One update run on the calling thread, with the computer kept awake while a real device is
  // being updated. UpdateWorker's result: 0 after a success end, -1 after a failure end.
  [[nodiscard]] int RunOnce(UpdateContext& context, StepUi& ui);
  // Before a Retry starts another run: a person retrying restarts the device first, as the
  // failure texts ask; the simulated device is switched off and on.
  void PrepareRetry();
  // The process is about to end without unwinding: a temporary workspace is removed now.
  void AbandonNow();

 private:
  explicit RunSession(SystemServices& system) : system_(system) {}

  SystemServices& system_;
  std::unique_ptr<Clock> clock_;
  VirtualClock* virtualClock_ = nullptr;
  Scenario scenario_;
  bool keepWorkspace_ = false;
  std::unique_ptr<SimWorkspace> workspace_;
  SystemWallClock wallClock_;
  std::unique_ptr<RunLog> log_;
  std::unique_ptr<LoggingFileSystem> loggedFs_;
  std::unique_ptr<LoggingVolumeSource> loggedVolumes_;
  std::unique_ptr<UpdateServices> services_;
  std::size_t runs_ = 0;

  // Opens the log in `folder` with the session's first events, and the services over
  // `fs` and `volumes` that feed it.
  void StartLog(const SessionOptions& options, const std::string& folder, FileSystem& fs,
                VolumeSource& volumes, ProgramPath& programPath, const std::string& packageDir);
};

// Runs the update until the user is done, for a front end whose worker runs on the calling
// thread: one run, then, while the end view offers Retry and `wantsRetry(run)` answers yes
// (`run` counts from 0), the device is restarted and another run starts. `endAction` tells
// what the end view's button was last armed with. Returns kExitSuccess after a success end,
// kExitFailureEnd after a failure end.
[[nodiscard]] int RunUntilDone(RunSession& session, UpdateContext& context, StepUi& ui,
                               const std::function<EndAction()>& endAction,
                               const std::function<bool(std::size_t run)>& wantsRetry);

}  // namespace vantel3
