#include "app/app_session.h"

#include <QApplication>
#include <QMetaObject>
#include <cstdio>

namespace vantel3 {

std::unique_ptr<AppSession> AppSession::Create(const AppOptions& options, SystemServices& system,
                                               std::string& error, int& status) {
  SessionOptions sessionOptions;
  sessionOptions.verifyCopies = options.verifyCopies;
  if (options.simulate) {
    sessionOptions.scenarioPath = options.scenario;
    sessionOptions.virtualClock = options.virtualClock;
    sessionOptions.speed = options.speed;
    sessionOptions.keepDir = options.keepDir;
  }
  sessionOptions.program = kAppVersionText;
  std::unique_ptr<AppSession> app(new AppSession());
  app->session_ = RunSession::Create(sessionOptions, system, error, status);
  if (!app->session_) return nullptr;
  return app;
}

AppSession::~AppSession() = default;

AppEnvironment AppSession::Environment() {
  RunSession& session = *session_;
  AppEnvironment environment;
  environment.services = &session.services();
  environment.loader = &session.loader();
  environment.libraryPath = session.libraryPath();
  environment.onLibraryBound = [&session](void* module) {
    if (session.AttachDevice(module) == 0) {
      std::fputs("vantel3-updater: the package's library does not take the simulated device\n",
                 stderr);
    }
  };
  // The process ends without unwinding; a temporary workspace must not stay behind.
  environment.beforeAbruptExit = [&session] {
    session.LogExit(0);
    session.AbandonNow();
  };
  environment.beforeRetry = [&session] { session.PrepareRetry(); };
  if (const SimulatedUser* user = session.scriptedUser(); user != nullptr) {
    environment.wrapUi = [this, &session, user](QtStepUi& window) -> std::unique_ptr<StepUi> {
      auto scripted = std::make_unique<ScriptedUserUi>(window, *session.virtualClock(), *user);
      scripted_ = scripted.get();
      return scripted;
    };
  }
  return environment;
}

WorkerFunction AppSession::Worker() {
  return [this](UpdateContext& context, UpdateServices&, StepUi& ui) {
    return session_->RunOnce(context, ui);
  };
}

void AppSession::Attach(CVantel3UpdaterApp& app) {
  if (session_->scriptedUser() == nullptr) return;
  app.launcher().SetOnFinished([this] {
    QMetaObject::invokeMethod(
        qApp,
        [this] {
          if (scripted_ != nullptr) scripted_->OnRunEnded();
        },
        Qt::QueuedConnection);
  });
}

}  // namespace vantel3
