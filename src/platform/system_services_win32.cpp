// Windows: wide Win32 files, drive letters, GetModuleFileNameW, LoadLibraryExW,
// SetThreadExecutionState; logs under %LOCALAPPDATA%.
#include <windows.h>

#include "dfu/dfu_binding.h"
#include "platform/program_path.h"
#include "platform/system_services.h"
#include "platform/win32_file_system.h"
#include "platform/win32_library_loader.h"
#include "platform/win32_sleep_inhibitor.h"
#include "platform/win32_text.h"
#include "platform/win32_volume_source.h"

namespace vantel3 {

namespace {

// "Windows 10.0.19045 x64", and Wine's version where it runs under Wine. RtlGetVersion tells
// the truth where GetVersionEx answers what the manifest claims.
std::string DescribeWindows() {
  std::string text = "Windows";
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto rtlGetVersion = ntdll == nullptr ? nullptr
                                        : reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(
                                              ::GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (rtlGetVersion != nullptr && rtlGetVersion(&version) == 0) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about chained operator+.
    text.append(" ").append(std::to_string(version.dwMajorVersion));
    text.append(".").append(std::to_string(version.dwMinorVersion));
    text.append(".").append(std::to_string(version.dwBuildNumber));
  }
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  text += info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? " x64"
          : info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ? " arm64"
                                                                        : " x86";
  using WineVersionFn = const char*(CDECL*)();
  auto wineVersion = ntdll == nullptr ? nullptr
                                      : reinterpret_cast<WineVersionFn>(reinterpret_cast<void*>(
                                            ::GetProcAddress(ntdll, "wine_get_version")));
  if (wineVersion != nullptr) text.append(" (Wine ").append(wineVersion()).append(")");
  return text;
}

class Win32SystemServices final : public SystemServices {
 public:
  FileSystem& fs() override { return fs_; }
  VolumeSource& volumes() override { return volumes_; }
  ProgramPath& programPath() override { return programPath_; }
  LibraryLoader& loader() override { return loader_; }
  SleepInhibitor& sleepLock() override { return sleepLock_; }
  std::string packageDir() const override { return ".\\data"; }
  std::string libraryPath() const override {
    return std::string(".\\data\\") + kDfuLibraryFileName;
  }
  std::string logFolder() const override {
    const std::string local = EnvironmentVariable("LOCALAPPDATA");
    if (local.empty()) return {};
    const bool separated = local.back() == '\\' || local.back() == '/';
    return local + (separated ? "" : "\\") + "Vantel3 Updater\\log\\";
  }
  std::string systemDescription() const override { return DescribeWindows(); }

 private:
  Win32FileSystem fs_;
  Win32VolumeSource volumes_;
  UserWritableProgramPath programPath_;
  Win32LibraryLoader loader_;
  ExecutionStateSleepInhibitor sleepLock_;
};

}  // namespace

std::unique_ptr<SystemServices> MakeSystemServices() {
  return std::make_unique<Win32SystemServices>();
}

std::unique_ptr<FileSystem> MakeNativeFileSystem() {
  return std::make_unique<Win32FileSystem>();
}

std::unique_ptr<VolumeSource> MakeCapturedVolumeSource(const std::string&) {
  return nullptr;
}

}  // namespace vantel3
