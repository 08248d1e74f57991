#include "workflow/step_support.h"

#include "platform/path_limit.h"
#include "workflow/transfer_tables.h"

namespace vantel3 {

int PackagePath(const UpdateServices& services, std::string_view name, std::string& out) {
  return JoinPath(services.packageDir, '/', name, out);
}

int CopyFileToDevice(FileSystem& fs, const std::string& packageFile,
                     const std::string& devicePath) {
  if (!fs.Exists(packageFile)) return 0;
  if (fs.Exists(devicePath) && fs.RemoveFile(devicePath)) return 0;
  return fs.CopyFile(packageFile, devicePath) ? 0 : 1;
}

int RunDfuUpgrade(const DfuApi& api, UpdateServices& services,
                  const std::function<void(uint8_t percent)>& report) {
  // The library takes the image path as a narrow string in a 260-byte buffer.
  std::string image;
  if (PackagePath(services, kBluetoothImageName, image) == 0 || image.size() > kMaxPathChars) {
    return 0;
  }
  if (api.hidDfuUpgrade(image.c_str(), 1) != 0) return 0;

  Clock& clock = services.clock;
  uint8_t last = 0;
  uint32_t lastChange = clock.NowMs();
  bool first = true;
  for (;;) {
    const auto percent = static_cast<uint8_t>(api.hidDfuGetProgress() & 0xFF);
    report(percent);
    if (first || percent != last) {
      first = false;
      last = percent;
      lastChange = clock.NowMs();
    }
    clock.SleepMs(1000);
    if (percent >= 100) break;
    // A library that stops moving would otherwise hold the run for ever.
    if (static_cast<uint32_t>(clock.NowMs() - lastChange) >= kDfuProgressStallMs) return 0;
  }
  if (api.hidDfuGetResult() != 0) return 0;
  if (api.hidDfuDisconnect() != 0) return 0;
  return 1;
}

}  // namespace vantel3
