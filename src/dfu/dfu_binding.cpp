#include "dfu/dfu_binding.h"

#include <string>

namespace vantel3 {

int BindDfuLibrary(LibraryLoader& loader, const std::filesystem::path& libraryPath, DfuApi& api) {
  std::string error;
  api.module = loader.Open(libraryPath, error);
  if (api.module != nullptr) {
    api.hidDfuConnect = reinterpret_cast<HidDfuConnectFn>(loader.Symbol(api.module, kDfuEntryPointNames[0]));
    api.hidDfuDisconnect = reinterpret_cast<HidDfuDisconnectFn>(loader.Symbol(api.module, kDfuEntryPointNames[1]));
    api.hidDfuUpgrade = reinterpret_cast<HidDfuUpgradeFn>(loader.Symbol(api.module, kDfuEntryPointNames[2]));
    api.hidDfuGetProgress = reinterpret_cast<HidDfuGetProgressFn>(loader.Symbol(api.module, kDfuEntryPointNames[3]));
    api.hidDfuResetDevice = reinterpret_cast<HidDfuResetDeviceFn>(loader.Symbol(api.module, kDfuEntryPointNames[4]));
    api.hidDfuGetResult = reinterpret_cast<HidDfuGetResultFn>(loader.Symbol(api.module, kDfuEntryPointNames[5]));
  }
  const bool complete = api.module != nullptr && api.hidDfuConnect != nullptr &&
                        api.hidDfuDisconnect != nullptr && api.hidDfuUpgrade != nullptr &&
                        api.hidDfuGetProgress != nullptr && api.hidDfuResetDevice != nullptr &&
                        api.hidDfuGetResult != nullptr;
  return complete ? 1 : 0;
}

}  // namespace vantel3
