#include "app/updater_main.h"

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_options.h"
#include "app/simulated_session.h"
#include "app/vantel3_updater_app.h"
#include "dfu/dfu_binding.h"
#include "platform/clock.h"
#include "platform/library_loader.h"
#include "platform/linux_volume_source.h"
#include "platform/posix_file_system.h"
#include "platform/program_path.h"
#include "platform/sleep_inhibitor.h"
#include "ui/ui_texts.h"
#include "workflow/update_worker.h"

namespace vantel3 {

namespace {

// A run against the real device: the package folder "./data" relative to the current folder.
int RunWithRealDevice() {
  SteadyClock clock;
  PosixFileSystem fs;
  LinuxVolumeSource volumes;
  // "fa.bin" beside the program, or in the user's state folder when that folder is read-only.
  UserWritableProgramPath programPath;
  DlLibraryLoader loader;
  UpdateServices services{clock, fs, volumes, programPath, "./data"};
  AppEnvironment environment;
  environment.services = &services;
  environment.loader = &loader;
  environment.libraryPath = std::string("./data/") + kDfuLibraryFileName;
  // The computer must not fall asleep while a real device is halfway through an update.
  std::unique_ptr<SleepInhibitor> sleepLock = MakeSystemSleepInhibitor();
  WorkerFunction worker = [&sleepLock](UpdateContext& context, UpdateServices& runServices,
                                       StepUi& ui) {
    SleepInhibitGuard awake(*sleepLock);
    return UpdateWorker(context, runServices, ui);
  };
  CVantel3UpdaterApp app(environment, worker);
  return app.InitInstance();
}

// A run against the scenario's simulated device, through the same library binding.
int RunWithSimulatedDevice(const AppOptions& options) {
  std::string error;
  int status = 1;
  std::unique_ptr<SimulatedSession> session = SimulatedSession::Create(options, error, status);
  if (!session) {
    std::fprintf(stderr, "vantel3-updater: %s\n", error.c_str());
    return status;
  }
  CVantel3UpdaterApp app(session->Environment(), UpdateWorker);
  session->Attach(app);
  return app.InitInstance();
}

}  // namespace

int UpdaterMain(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const AppOptions options = ParseAppOptions(args);
  switch (options.command) {
    case AppCommand::kHelp:
      std::fputs(AppUsageText().c_str(), stdout);
      return 0;
    case AppCommand::kVersion:
      std::printf("%s\n", kAppVersionText);
      return 0;
    case AppCommand::kError:
      std::fprintf(stderr, "%s\n", options.error.c_str());
      return 2;
    case AppCommand::kRun:
      break;
  }

  PrepareToolkit();
  QApplication qapp(argc, argv);
  NameApplication();

  if (options.simulate) return RunWithSimulatedDevice(options);
  return RunWithRealDevice();
}

}  // namespace vantel3
