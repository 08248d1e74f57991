#include "app/vantel3_updater_app.h"

#include <QApplication>
#include <QMetaObject>
#include <cstdlib>

#include "dfu/dfu_binding.h"
#include "ui/message_box.h"
#include "ui/ui_texts.h"

namespace vantel3 {

void PrepareToolkit() {
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
}

void NameApplication() {
  // Only the name, not a display name, which the window system would append to every title.
  QApplication::setApplicationName(QString::fromUtf8(ui_text::kApplicationName));
  // Lets the desktop match the window to its menu entry and icon (vantel3-updater.desktop).
  QGuiApplication::setDesktopFileName(QString::fromUtf8(ui_text::kApplicationName));
  // Names the per-user settings store; the program never reads or writes settings.
  QApplication::setOrganizationName(QString::fromUtf8(ui_text::kSettingsStoreName));
}

CVantel3UpdaterApp::CVantel3UpdaterApp(AppEnvironment environment, WorkerFunction worker)
    : environment_(std::move(environment)),
      worker_(std::move(worker)),
      exitNow_([](int status) { std::_Exit(status); }) {
  launcher_ = std::make_unique<WorkerLauncher>(context_.workerThread, [this] {
    // The run's result is on screen already (the end view); the thread has nothing to add.
    (void)worker_(context_, *environment_.services, *workerUi_);
  });
}

CVantel3UpdaterApp::~CVantel3UpdaterApp() = default;

int CVantel3UpdaterApp::InitInstance() {
  if (Start() != 0) return -1;
  return Run();
}

int CVantel3UpdaterApp::Start() {
  dialog_ = std::make_unique<CVantel3UpdaterDlg>();
  dialog_->OnInitDialog(context_.nextPressed);
  if (BindDfuLibrary(*environment_.loader, environment_.libraryPath, context_.dfuApi) == 0) {
    ShowFailureBox(dialog_.get(), QString::fromUtf8(kDfuLoadFailedMessage));
    return -1;
  }
  if (environment_.onLibraryBound) environment_.onLibraryBound(context_.dfuApi.module);
  stepUi_ = std::make_unique<QtStepUi>(
      dialog_->Views(), [this] { RetryRun(); }, [this] { CloseApplication(); });
  workerUi_ = stepUi_.get();
  if (environment_.wrapUi) {
    wrappedUi_ = environment_.wrapUi(*stepUi_);
    workerUi_ = wrappedUi_.get();
  }
  dialog_->SetOnClosed([this] { EndIfWorkerRuns(); });
  (void)launcher_->Start();
  return 0;
}

int CVantel3UpdaterApp::Run() {
  dialog_->exec();
  EndIfWorkerRuns();
  return 0;
}

void CVantel3UpdaterApp::RetryRun() {
  // A click while a run still goes on is ignored, and so restarts nothing.
  if (launcher_->Running()) return;
  if (environment_.beforeRetry) environment_.beforeRetry();
  (void)launcher_->Start();
}

void CVantel3UpdaterApp::CloseApplication() {
  CVantel3UpdaterDlg* dialog = dialog_.get();
  QMetaObject::invokeMethod(
      dialog, [dialog] { dialog->close(); }, Qt::QueuedConnection);
}

void CVantel3UpdaterApp::EndIfWorkerRuns() {
  if (!launcher_->Running()) return;
  if (environment_.beforeAbruptExit) environment_.beforeAbruptExit();
  exitNow_(0);
}

}  // namespace vantel3
