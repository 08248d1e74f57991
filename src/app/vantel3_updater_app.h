// The application: binds the firmware-upgrade library, runs the main window modally with the
// update worker behind it, and decides how the process ends.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "app/vantel3_updater_dlg.h"
#include "platform/library_loader.h"
#include "ui/qt_step_ui.h"
#include "ui/worker_launcher.h"
#include "workflow/step_ui.h"
#include "workflow/update_context.h"

namespace vantel3 {

// Before the QApplication exists: the window sizes itself and its fonts from the screen's
// density, so the toolkit must not scale it a second time.
void PrepareToolkit();
// After the QApplication exists: the application's name, which an untitled message box shows.
void NameApplication();

// One update run on the worker thread (UpdateWorker in the program; fakes in tests).
using WorkerFunction = std::function<int(UpdateContext&, UpdateServices&, StepUi&)>;

// What the application needs from outside.
struct AppEnvironment {
  UpdateServices* services = nullptr;
  LibraryLoader* loader = nullptr;
  // "./data/libhiddfu.so" in a real run.
  std::filesystem::path libraryPath;
  // Called with the bound library's module before the first worker starts (the simulation
  // plugs its device in here); may be empty.
  std::function<void(void* module)> onLibraryBound;
  // Called right before the process ends abruptly because the window closed mid-run (the
  // simulation removes its temp folder); may be empty.
  std::function<void()> beforeAbruptExit;
  // Wraps the window's StepUi for the workers (the simulation's scripted user); may be empty.
  std::function<std::unique_ptr<StepUi>(QtStepUi& window)> wrapUi;
  // Called on the GUI thread right before Retry starts a new worker (the simulation switches
  // its device off and on, as the person retrying would); may be empty.
  std::function<void()> beforeRetry;
};

class CVantel3UpdaterApp {
 public:
  CVantel3UpdaterApp(AppEnvironment environment, WorkerFunction worker);
  ~CVantel3UpdaterApp();

  // The whole program after the command line: Start(), then Run(). Returns the exit status:
  // 0 after an ordinary close, -1 when the library cannot be bound (the window never shows).
  [[nodiscard]] int InitInstance();

  // Creates the window with its views hidden, binds the library and starts the first
  // worker: 0. When the library is missing or lacks an entry point: "Could not load dfu
  // libary." in a failure box, no window, no worker: -1.
  [[nodiscard]] int Start();
  // Shows the window modally until it closes: 0. When it closes while a worker still runs,
  // the process ends at once with status 0 (through the exit hook), since that worker may be
  // waiting for the GUI thread.
  [[nodiscard]] int Run();

  // The end button's actions (GUI thread). RetryRun starts a new worker unless one still runs,
  // and then ignores the click. CloseApplication posts a close to the main window.
  void RetryRun();
  void CloseApplication();

  // Replaces std::_Exit as the way to end the process when the window closes mid-run.
  void SetExitHook(std::function<void(int)> exitNow) { exitNow_ = std::move(exitNow); }

  [[nodiscard]] UpdateContext& context() { return context_; }
  [[nodiscard]] CVantel3UpdaterDlg* dialog() { return dialog_.get(); }
  [[nodiscard]] WorkerLauncher& launcher() { return *launcher_; }
  [[nodiscard]] QtStepUi* stepUi() { return stepUi_.get(); }

 private:
  void EndIfWorkerRuns();

  AppEnvironment environment_;
  WorkerFunction worker_;
  UpdateContext context_;
  std::unique_ptr<CVantel3UpdaterDlg> dialog_;
  std::unique_ptr<QtStepUi> stepUi_;
  std::unique_ptr<StepUi> wrappedUi_;
  StepUi* workerUi_ = nullptr;
  std::unique_ptr<WorkerLauncher> launcher_;
  std::function<void(int)> exitNow_;
};

}  // namespace vantel3
