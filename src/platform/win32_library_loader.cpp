#include "platform/win32_library_loader.h"

#include <windows.h>

#include "platform/win32_text.h"

namespace vantel3 {

namespace {

std::string Win32Message(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = n != 0 ? Narrow(std::wstring_view(text, n)) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  if (message.empty()) message = "error " + std::to_string(error);
  return message;
}

}  // namespace

void* Win32LibraryLoader::Open(const std::filesystem::path& path, std::string& error) {
  const std::wstring given = WidePath(path);
  std::wstring full(MAX_PATH + 1, L'\0');
  DWORD n =
      ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n + 1);
    n = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) {
    error = Narrow(given) + ": " + Win32Message(::GetLastError());
    return nullptr;
  }
  full.resize(n);
  // No box for a library on a drive without a medium.
  const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryExW(
      full.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  const DWORD loadError = ::GetLastError();
  ::SetErrorMode(oldMode);
  if (module == nullptr) error = Narrow(full) + ": " + Win32Message(loadError);
  return reinterpret_cast<void*>(module);
}

void* Win32LibraryLoader::Symbol(void* module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace vantel3
