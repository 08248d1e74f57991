#include <fcntl.h>
#include <io.h>
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <string>

#include "platform/process.h"
#include "platform/win32_text.h"

namespace vantel3 {

std::vector<std::string> StartProgram(int argc, char** argv) {
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  // argv is in the ANSI code page; the wide command line has every character.
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

int MakeTempFolder(const std::string& prefix, std::string& folder, std::string& error) {
  wchar_t temp[MAX_PATH + 2];
  const DWORD n = ::GetTempPathW(MAX_PATH + 2, temp);
  if (n == 0 || n > MAX_PATH + 1) {
    error = "the temp folder (%TEMP%) cannot be had";
    return 0;
  }
  std::wstring base(temp, n);
  if (base.back() != L'\\') base.push_back(L'\\');
  base += Widen(prefix);
  // A fresh name: process id, tick count and a counter, tried until one is free.
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[32];
    swprintf(suffix, 32, L"%lx%llx%x", ::GetCurrentProcessId(),
             static_cast<unsigned long long>(::GetTickCount64()), counter++);
    const std::wstring candidate = base + suffix;
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
      folder = Narrow(candidate);
      return 1;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      error =
          "cannot create a temp folder " + Narrow(candidate) + ": " + LastWin32Error().message();
      return 0;
    }
  }
  error = "cannot create a temp folder under " + Narrow(base);
  return 0;
}

int RunHelperProgram(const std::vector<std::string>& argv, std::string& error) {
  error =
      (argv.empty() ? std::string("helper") : argv[0]) + ": helper programs are not run on Windows";
  return -1;
}

void KillThisProcess() {
  ::TerminateProcess(::GetCurrentProcess(), 137);
  ::ExitProcess(137);
}

}  // namespace vantel3
