// The application: runs the main dialog modally over one run session, binds the
// firmware-upgrade library when the views exist, starts the update workers one at a time and
// decides how the process ends.
#pragma once

#include <windows.h>

#include <fstream>
#include <memory>
#include <string>

#include "session/run_session.h"
#include "text/transcript_tee.h"
#include "ui/worker_launcher.h"
#include "win32/scripted_window_user.h"
#include "win32/vantel3_updater_dlg.h"
#include "win32/win32_step_ui.h"
#include "workflow/update_context.h"

namespace vantel3 {

class CVantel3UpdaterApp final : public DialogHost {
 public:
  // `transcriptPath`: when not empty, every request of the workers is written there as a
  // transcript line as well (tests compare it with the terminal's).
  CVantel3UpdaterApp(HINSTANCE instance, RunSession& session, std::wstring transcriptPath);
  ~CVantel3UpdaterApp() override;

  // The whole program after the command line. Returns the exit status: 0 after an ordinary
  // close, -1 when the library cannot be bound (the window never shows). Closing the window
  // while a worker runs ends the process at once with 0.
  [[nodiscard]] int InitInstance();

  // The end button's actions (window's thread). RetryRun starts a new worker unless one still
  // runs, and then ignores the click. CloseApplication posts a close to the main window.
  void RetryRun();
  void CloseApplication();

  int OnViewsCreated(CVantel3UpdaterDlg& dialog) override;
  void OnCloseRequested(CVantel3UpdaterDlg& dialog) override;
  void OnRunEnded() override;

 private:
  // The process ends now, with the worker in it: it may be waiting for the window's thread.
  [[noreturn]] void EndWithWorker();

  HINSTANCE instance_;
  RunSession& session_;
  std::wstring transcriptPath_;
  UpdateContext context_;
  std::unique_ptr<CVantel3UpdaterDlg> dialog_;
  std::unique_ptr<Win32StepUi> stepUi_;
  std::unique_ptr<ScriptedWindowUser> scripted_;
  std::ofstream transcript_;
  std::unique_ptr<TranscriptTee> tee_;
  StepUi* workerUi_ = nullptr;
  std::unique_ptr<WorkerLauncher> launcher_;
};

}  // namespace vantel3
