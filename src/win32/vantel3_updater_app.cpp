#include "win32/vantel3_updater_app.h"

#include <cstdio>
#include <filesystem>

#include "dfu/dfu_binding.h"

namespace vantel3 {

CVantel3UpdaterApp::CVantel3UpdaterApp(HINSTANCE instance, RunSession& session,
                                       std::wstring transcriptPath)
    : instance_(instance), session_(session), transcriptPath_(std::move(transcriptPath)) {
  launcher_ = std::make_unique<WorkerLauncher>(context_.workerThread, [this] {
    // The run's result is on screen already (the end view); the thread has nothing to add.
    (void)session_.RunOnce(context_, *workerUi_);
  });
}

CVantel3UpdaterApp::~CVantel3UpdaterApp() = default;

int CVantel3UpdaterApp::InitInstance() {
  dialog_ = std::make_unique<CVantel3UpdaterDlg>(instance_, context_.nextPressed, *this);
  const INT_PTR result = dialog_->DoModal();
  if (launcher_->Running()) EndWithWorker();
  return result == -1 ? -1 : 0;
}

int CVantel3UpdaterApp::OnViewsCreated(CVantel3UpdaterDlg& dialog) {
  if (!transcriptPath_.empty()) {
    transcript_.open(std::filesystem::path(transcriptPath_), std::ios::binary | std::ios::trunc);
  }
  std::string warning;
  if (session_.BindLibrary(context_.dfuApi, warning) == 0) {
    if (transcript_.is_open()) transcript_ << "[error] " << kDfuLoadFailedMessage << std::endl;
    ShowFailureBox(dialog.hwnd(), kDfuLoadFailedMessage);
    return 0;
  }
  if (!warning.empty()) std::fprintf(stderr, "vantel3-updater: %s\n", warning.c_str());

  stepUi_ = std::make_unique<Win32StepUi>(
      dialog.Views(), [this] { RetryRun(); }, [this] { CloseApplication(); });
  workerUi_ = stepUi_.get();
  if (const SimulatedUser* user = session_.scriptedUser(); user != nullptr) {
    scripted_ = std::make_unique<ScriptedWindowUser>(*stepUi_, *session_.virtualClock(), *user);
    workerUi_ = scripted_.get();
  }
  if (transcript_.is_open()) {
    tee_ = std::make_unique<TranscriptTee>(*workerUi_, transcript_);
    workerUi_ = tee_.get();
  }
  HWND window = dialog.hwnd();
  launcher_->SetOnFinished([window] { PostMessageW(window, kRunEndedMessage, 0, 0); });
  (void)launcher_->Start();
  return 1;
}

void CVantel3UpdaterApp::RetryRun() {
  // A click while a run still goes on is ignored, and so restarts nothing.
  if (launcher_->Running()) return;
  session_.PrepareRetry();
  (void)launcher_->Start();
}

void CVantel3UpdaterApp::CloseApplication() {
  PostMessageW(dialog_->hwnd(), WM_CLOSE, 0, 0);
}

void CVantel3UpdaterApp::OnCloseRequested(CVantel3UpdaterDlg& dialog) {
  // Closing is the only way to stop a run early, and it does so without asking.
  if (launcher_->Running()) EndWithWorker();
  dialog.End(IDCANCEL);
}

void CVantel3UpdaterApp::OnRunEnded() {
  if (scripted_) scripted_->OnRunEnded();
}

void CVantel3UpdaterApp::EndWithWorker() {
  session_.AbandonNow();
  if (transcript_.is_open()) transcript_.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  // No unwinding and no library detach: the worker may hold a lock or wait for this thread.
  TerminateProcess(GetCurrentProcess(), 0);
  for (;;) Sleep(INFINITE);
}

}  // namespace vantel3
