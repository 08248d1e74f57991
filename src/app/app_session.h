// What the window runs on: the shared run session (the real device, or --simulate's
// workspace and clock) turned into the application's environment and worker, and on the
// virtual clock the scenario's scripted user acting through the real window.
#pragma once

#include <memory>
#include <string>

#include "app/app_options.h"
#include "app/scripted_user.h"
#include "app/vantel3_updater_app.h"
#include "platform/system_services.h"
#include "session/run_session.h"

namespace vantel3 {

class AppSession {
 public:
  // The session for `options` on `system` (which must outlive it). Null with `error` and the
  // exit status in `status` when it cannot start (see RunSession::Create).
  static std::unique_ptr<AppSession> Create(const AppOptions& options, SystemServices& system,
                                            std::string& error, int& status);
  ~AppSession();

  // The application's environment; valid while the session lives.
  [[nodiscard]] AppEnvironment Environment();
  // One run on the worker thread, through the session (sleep lock for a real device).
  [[nodiscard]] WorkerFunction Worker();
  // On the virtual clock, lets the scripted user answer each run's end. Call before Start().
  void Attach(CVantel3UpdaterApp& app);

  [[nodiscard]] RunSession& session() { return *session_; }

 private:
  AppSession() = default;

  std::unique_ptr<RunSession> session_;
  ScriptedUserUi* scripted_ = nullptr;
};

}  // namespace vantel3
