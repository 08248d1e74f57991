// Windows: the program's path by GetModuleFileNameW; "fa.bin" beside the .exe, or under
// %LOCALAPPDATA%\Vantel3 Updater\ where the program's folder takes no files.
#include <windows.h>

#include <string>

#include "platform/process.h"
#include "platform/program_path.h"
#include "platform/win32_text.h"

namespace vantel3 {

namespace {

constexpr const char* kUserFolderName = "Vantel3 Updater";

std::string ModuleFileName() {
  // Any length: the buffer grows until the whole path fits.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return Narrow(buffer);
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

// Whether a file can be made in `folder` (ACLs, a read-only medium, a folder under
// "Program Files" for a user who is not elevated): a probe file that deletes itself.
bool FolderTakesFiles(const std::string& folder) {
  const std::wstring probe =
      Widen(folder) + L".vantel3-write-probe-" + std::to_wstring(::GetCurrentProcessId());
  HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

bool CreateFolders(const std::string& folder) {
  std::wstring path = Widen(folder);
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != L'\\' && path[i] != L'/') continue;
    const std::wstring part = path.substr(0, i);
    if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string EnvironmentValue(const char* name) {
  const std::wstring wide = Widen(name);
  const DWORD n = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  const DWORD got = ::GetEnvironmentVariableW(wide.c_str(), value.data(), n);
  if (got == 0 || got >= n) return {};
  value.resize(got);
  return Narrow(value);
}

}  // namespace

std::string RunningProgramPath() {
  return ModuleFileName();
}

UserWritableProgramPath::UserWritableProgramPath()
    : environment_{ModuleFileName, FolderTakesFiles, EnvironmentValue, CreateFolders} {}

std::string UserWritableProgramPath::ExecutablePath() {
  if (resolved_) return path_;
  resolved_ = true;
  path_ = environment_.executablePath();
  const std::size_t separator = path_.find_last_of("\\/");
  if (separator == std::string::npos) return path_;
  const std::string folder = path_.substr(0, separator + 1);
  if (environment_.isWritable(folder)) return path_;

  std::string local = environment_.getEnv("LOCALAPPDATA");
  if (local.empty()) return path_;  // nowhere better: keep the program's own folder
  if (local.back() != '\\' && local.back() != '/') local.push_back('\\');
  const std::string userFolder = local + kUserFolderName + "\\";
  if (!environment_.createFolders(userFolder)) return path_;
  path_ = userFolder + path_.substr(separator + 1);
  return path_;
}

}  // namespace vantel3
