// The updater's window with a scripted worker, for tests that must watch the process end:
//   vantel3_gui_test_app bind LIBRARY      bind LIBRARY for real; on success the run ends at once
//   vantel3_gui_test_app close-in-requests the window closes while the worker floods it with
//                                          requests
//   vantel3_gui_test_app close-in-message  the window closes while the worker's failure box is
//                                          open
//   vantel3_gui_test_app close-sleeping    the window closes while the worker blocks elsewhere
//   vantel3_gui_test_app exit-button       the run ends with Exit, which is then clicked
// An abrupt end (window closed with a worker running) prints "abrupt exit" on stderr first.
#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/vantel3_updater_app.h"
#include "gui_test_support.h"
#include "platform/library_loader.h"

using namespace vantel3;

namespace {

CVantel3UpdaterApp* gApp = nullptr;

void PostClose() {
  QMetaObject::invokeMethod(
      qApp, [] { gApp->dialog()->close(); }, Qt::QueuedConnection);
}

void PostEndClick() {
  QMetaObject::invokeMethod(
      qApp, [] { gApp->dialog()->endView()->endButton()->click(); }, Qt::QueuedConnection);
}

int ArmExit(StepUi& ui) {
  ui.ShowOnly(ViewId::kMain);
  ui.SetMessage(ViewId::kEnd, "done");
  ui.ArmEndButton("Exit", EndAction::kClose);
  ui.ShowOnly(ViewId::kEnd);
  return 0;
}

// Closes the main window as soon as a message box shows.
class CloseOnMessageBox final : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched) != nullptr) {
      PostClose();
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  const std::string mode = argv[1];
  PrepareToolkit();
  QApplication qapp(argc, argv);
  NameApplication();

  guitest::QuietServices quiet;
  guitest::FakeLoader fakeLoader;
  DlLibraryLoader realLoader;
  guitest::Gate never;
  CloseOnMessageBox closer;

  AppEnvironment environment;
  environment.services = &quiet.services;
  environment.loader = &fakeLoader;
  environment.libraryPath = "fake";
  WorkerFunction worker;
  if (mode == "bind" && argc >= 3) {
    environment.loader = &realLoader;
    environment.libraryPath = argv[2];
    worker = [](UpdateContext&, UpdateServices&, StepUi& ui) { return ArmExit(ui); };
  } else if (mode == "close-in-requests") {
    worker = [](UpdateContext&, UpdateServices&, StepUi& ui) {
      ui.ShowOnly(ViewId::kUpdate);
      PostClose();
      for (int i = 0;; i = (i + 1) % 101) ui.SetProgress(ViewId::kUpdate, i);
      return 0;
    };
  } else if (mode == "close-in-message") {
    qapp.installEventFilter(&closer);
    worker = [](UpdateContext&, UpdateServices&, StepUi& ui) {
      ui.ShowOnly(ViewId::kMain);
      ui.ShowFailureMessage("The update went incorrectly. Please try again.");
      return -1;
    };
  } else if (mode == "close-sleeping") {
    worker = [&never](UpdateContext&, UpdateServices&, StepUi& ui) {
      ui.ShowOnly(ViewId::kMain);
      PostClose();
      never.Pass();
      return 0;
    };
  } else if (mode == "exit-button") {
    worker = [](UpdateContext&, UpdateServices&, StepUi& ui) { return ArmExit(ui); };
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 64;
  }

  CVantel3UpdaterApp app(environment, worker);
  gApp = &app;
  app.SetExitHook([](int status) {
    std::fputs("abrupt exit\n", stderr);
    std::fflush(stderr);
    std::_Exit(status);
  });
  // Once the run has ended, the scripted user clicks the end button.
  if (mode == "bind" || mode == "exit-button") app.launcher().SetOnFinished(PostEndClick);
  return app.InitInstance();
}
