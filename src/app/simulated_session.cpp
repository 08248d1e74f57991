#include "app/simulated_session.h"

#include <QApplication>
#include <QMetaObject>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "dfu/dfu_binding.h"

namespace vantel3 {

std::unique_ptr<SimulatedSession> SimulatedSession::Create(const AppOptions& options,
                                                           std::string& error, int& status) {
  std::unique_ptr<SimulatedSession> session(new SimulatedSession());
  if (options.virtualClock) {
    auto clock = std::make_unique<VirtualClock>();
    session->virtualClock_ = clock.get();
    session->clock_ = std::move(clock);
  } else {
    session->clock_ = std::make_unique<SteadyClock>(options.speed);
  }
  if (LoadScenarioFile(session->posix_, options.scenario, session->scenario_, error) == 0) {
    status = 2;
    return nullptr;
  }
  session->keep_ = !options.keepDir.empty();
  session->workspace_ =
      SimWorkspace::Create(session->scenario_, *session->clock_, options.keepDir, error);
  if (!session->workspace_) {
    error = "cannot make the simulation's workspace: " + error;
    status = 1;
    return nullptr;
  }
  SimWorkspace& ws = *session->workspace_;
  session->services_ = std::make_unique<UpdateServices>(
      UpdateServices{*session->clock_, ws.fs(), ws.volumes(), ws.programPath(), ws.packageDir()});
  return session;
}

SimulatedSession::~SimulatedSession() = default;

AppEnvironment SimulatedSession::Environment() {
  AppEnvironment environment;
  environment.services = services_.get();
  environment.loader = &loader_;
  environment.libraryPath = workspace_->libraryPath();
  environment.onLibraryBound = [this](void* module) {
    if (workspace_->AttachToLibrary(loader_, module) == 0) {
      std::fputs("vantel3-updater: the package's library does not take the simulated device\n",
                 stderr);
    }
  };
  environment.beforeAbruptExit = [this] {
    // The process ends without unwinding; a temp workspace must not stay behind.
    if (!keep_) {
      std::error_code ignored;
      std::filesystem::remove_all(workspace_->root(), ignored);
    }
  };
  environment.beforeRetry = [this] { workspace_->device().PowerCycle(); };
  if (virtualClock_ != nullptr) {
    environment.wrapUi = [this](QtStepUi& window) -> std::unique_ptr<StepUi> {
      auto scripted = std::make_unique<ScriptedUserUi>(window, *virtualClock_, scenario_.user);
      scripted_ = scripted.get();
      return scripted;
    };
  }
  return environment;
}

void SimulatedSession::Attach(CVantel3UpdaterApp& app) {
  if (virtualClock_ == nullptr) return;
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
