#include "dfu/dfu_binding.h"

#include <string>

namespace vantel3 {

int BindDfuLibrary(LibraryLoader& loader, const std::filesystem::path& libraryPath, DfuApi& api) {
  // Nothing from an earlier binding survives a failed one.
  api = DfuApi{};
  std::string error;
  api.module = loader.Open(libraryPath, error);
  if (api.module == nullptr) return 0;

  // Every entry point is looked up, in its order, before any is tested.
  void* found[6];
  for (int i = 0; i < 6; ++i) found[i] = loader.Symbol(api.module, kDfuEntryPointNames[i]);
  api.hidDfuConnect = reinterpret_cast<HidDfuConnectFn>(found[0]);
  api.hidDfuDisconnect = reinterpret_cast<HidDfuDisconnectFn>(found[1]);
  api.hidDfuUpgrade = reinterpret_cast<HidDfuUpgradeFn>(found[2]);
  api.hidDfuGetProgress = reinterpret_cast<HidDfuGetProgressFn>(found[3]);
  api.hidDfuResetDevice = reinterpret_cast<HidDfuResetDeviceFn>(found[4]);
  api.hidDfuGetResult = reinterpret_cast<HidDfuGetResultFn>(found[5]);
  for (void* entryPoint : found) {
    if (entryPoint == nullptr) return 0;
  }
  return 1;
}

}  // namespace vantel3
