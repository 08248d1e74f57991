#include "app/updater_main.h"

#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_options.h"
#include "app/app_session.h"
#include "app/vantel3_updater_app.h"
#include "platform/system_services.h"
#include "ui/step_views.h"
#include "ui/ui_texts.h"

namespace vantel3 {

namespace {

// The window over the session: the real device with the package in "./data", or the
// scenario's simulated device through the same library binding.
int RunWindow(const AppOptions& options) {
  std::unique_ptr<SystemServices> system = MakeSystemServices();
  std::string error;
  int status = kExitFailureEnd;
  std::unique_ptr<AppSession> session = AppSession::Create(options, *system, error, status);
  if (!session) {
    std::fprintf(stderr, "vantel3-updater: %s\n", error.c_str());
    return status;
  }
  CVantel3UpdaterApp app(session->Environment(), session->Worker());
  session->Attach(app);
  return app.InitInstance();
}

// Milliseconds since this process started (its start time in /proc/self/stat, which the
// kernel keeps on the boot-time clock in clock ticks); -1 when /proc cannot be read.
double MsSinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string line;
  if (!std::getline(stat, line)) return -1;
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  // After the command name: field 3 (state) onwards; the start time is field 22.
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  for (int i = 3; i < 22 && fields >> field; ++i) {
  }
  unsigned long long startTicks = 0;
  if (!(fields >> startTicks)) return -1;
  timespec now{};
  if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) return -1;
  const double nowMs =
      static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
  return nowMs -
         static_cast<double>(startTicks) * 1e3 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// With VANTEL3_REPORT_FIRST_VIEW=1, for start-up measurements: when a step view first paints,
// one line on stderr with the milliseconds since the process started; the program runs on.
class FirstViewReporter final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!reported_ && event->type() == QEvent::Paint &&
        qobject_cast<CStepView*>(watched) != nullptr) {
      reported_ = true;
      std::fprintf(stderr, "vantel3-updater: first view shown %.1f ms after process start\n",
                   MsSinceProcessStart());
      std::fflush(stderr);
    }
    return false;
  }

 private:
  bool reported_ = false;
};

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
  FirstViewReporter firstViewReporter;
  const char* report = std::getenv("VANTEL3_REPORT_FIRST_VIEW");
  if (report != nullptr && std::strcmp(report, "1") == 0)
    qapp.installEventFilter(&firstViewReporter);

  return RunWindow(options);
}

}  // namespace vantel3
