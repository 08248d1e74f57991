// What --simulate puts behind the window: the scenario's workspace (simulated device, package
// with the stand-in library, program folder), the clock (virtual, or real and sped up), and on
// the virtual clock the scenario's scripted user.
#pragma once

#include <memory>
#include <string>

#include "app/app_options.h"
#include "app/scripted_user.h"
#include "app/vantel3_updater_app.h"
#include "platform/clock.h"
#include "platform/library_loader.h"
#include "platform/posix_file_system.h"
#include "sim/scenario.h"
#include "sim/sim_workspace.h"
#include "workflow/update_context.h"

namespace vantel3 {

class SimulatedSession {
 public:
  // Loads the scenario file `options.scenario` and lays out its workspace. Null with `error`
  // and the exit status in `status`: 2 for a scenario that cannot be read, 1 for a workspace
  // that cannot be made.
  static std::unique_ptr<SimulatedSession> Create(const AppOptions& options, std::string& error,
                                                  int& status);
  ~SimulatedSession();

  // The application's environment; valid while the session lives.
  [[nodiscard]] AppEnvironment Environment();
  // On the virtual clock, lets the scripted user answer each run's end. Call before Start().
  void Attach(CVantel3UpdaterApp& app);

  [[nodiscard]] SimWorkspace& workspace() { return *workspace_; }
  [[nodiscard]] const Scenario& scenario() const { return scenario_; }

 private:
  SimulatedSession() = default;

  bool keep_ = false;
  std::unique_ptr<Clock> clock_;
  VirtualClock* virtualClock_ = nullptr;
  PosixFileSystem posix_;
  Scenario scenario_;
  std::unique_ptr<SimWorkspace> workspace_;
  std::unique_ptr<UpdateServices> services_;
  DlLibraryLoader loader_;
  ScriptedUserUi* scripted_ = nullptr;
};

}  // namespace vantel3
