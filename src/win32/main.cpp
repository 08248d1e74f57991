// vantel3-updater.exe: updates a Vantel 3 device from the package folder .\data, in the
// native window; --simulate SCENARIO runs it against the simulated device.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/app_options.h"
#include "platform/system_services.h"
#include "platform/win32_text.h"
#include "session/run_session.h"
#include "win32/vantel3_updater_app.h"
#include "win32/win32_step_ui.h"

namespace {

using namespace vantel3;

// Writes `text` to the standard stream when the program was started with one (from a
// console or with a redirection); a window shows it otherwise, since a windowed program
// started from Explorer has none.
void Tell(DWORD stream, const std::string& text, UINT icon) {
  HANDLE handle = GetStdHandle(stream);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode) != 0) {
      const std::wstring wide = Widen(text);
      DWORD written = 0;
      if (WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr))
        return;
    } else {
      DWORD written = 0;
      if (WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return;
    }
  }
  MessageBoxW(nullptr, Widen(text).c_str(), ApplicationName().c_str(), MB_OK | icon);
}

std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return args;
}

std::wstring EnvironmentValue(const wchar_t* name) {
  std::wstring value(32768, L'\0');
  const DWORD length =
      GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  if (length == 0 || length >= value.size()) return {};
  value.resize(length);
  return value;
}

int RunWindow(HINSTANCE instance, const AppOptions& options) {
  SessionOptions sessionOptions;
  if (options.simulate) {
    sessionOptions.scenarioPath = options.scenario;
    sessionOptions.virtualClock = options.virtualClock;
    sessionOptions.speed = options.speed;
    sessionOptions.keepDir = options.keepDir;
  }
  std::unique_ptr<SystemServices> system = MakeSystemServices();
  std::string error;
  int status = kExitFailureEnd;
  std::unique_ptr<RunSession> session = RunSession::Create(sessionOptions, *system, error, status);
  if (!session) {
    Tell(STD_ERROR_HANDLE, "vantel3-updater: " + error + "\n", MB_ICONSTOP);
    return status;
  }
  CVantel3UpdaterApp app(instance, *session, EnvironmentValue(L"VANTEL3_WINDOW_TRANSCRIPT"));
  return app.InitInstance();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // No library planted in the current or the download folder is loaded for a system one.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

  const AppOptions options = ParseAppOptions(Arguments());
  switch (options.command) {
    case AppCommand::kHelp:
      Tell(STD_OUTPUT_HANDLE, AppUsageText(), MB_ICONINFORMATION);
      return 0;
    case AppCommand::kVersion:
      Tell(STD_OUTPUT_HANDLE, std::string(kAppVersionText) + "\n", MB_ICONINFORMATION);
      return 0;
    case AppCommand::kError:
      Tell(STD_ERROR_HANDLE, options.error + "\n", MB_ICONSTOP);
      return kExitUsage;
    case AppCommand::kRun:
      break;
  }

  // The accessible names of the progress bars go through COM.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  const int status = RunWindow(instance, options);
  if (SUCCEEDED(com)) CoUninitialize();
  return status;
}
