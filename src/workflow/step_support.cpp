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

void LogDevice(const UpdateContext& context, UpdateServices& services) {
  const char* model = context.model == 1 ? "VO3" : context.model == 2 ? "RU3R" : "none";
  services.log.Event("device " + (context.deviceRoot.empty() ? "(no drive)" : context.deviceRoot) +
                     ": model " + std::to_string(context.model) + " (" + model + "), generation " +
                     std::to_string(context.generation) + ", versionFile2Found " +
                     std::to_string(context.versionFile2Found) + ", btUpdateNeeded " +
                     std::to_string(context.btUpdateNeeded) + ", btUpdateOverUsb " +
                     std::to_string(context.btUpdateOverUsb));
}

int WaitFor(UpdateServices& services, const char* what, void* context, uint32_t timeoutMs,
            Predicate predicate, uint32_t pollMs) {
  EventLog& log = services.log;
  const std::string limit =
      timeoutMs == kNoTimeLimit ? std::string("no limit") : std::to_string(timeoutMs) + " ms";
  log.Event(std::string("wait started: ") + what + " (limit " + limit + ", poll " +
            std::to_string(pollMs) + " ms)");
  const uint32_t start = services.clock.NowMs();
  const int result = WaitUntil(services.clock, context, timeoutMs, std::move(predicate), pollMs);
  const std::string after = std::to_string(static_cast<uint32_t>(services.clock.NowMs() - start));
  if (result != 0) {
    log.Event(std::string("wait ended: ") + what + ": condition met after " + after + " ms");
  } else {
    log.Notice(std::string("wait ended: ") + what + ": time limit reached after " + after + " ms");
  }
  return result;
}

int RunDfuUpgrade(const DfuApi& api, UpdateServices& services,
                  const std::function<void(uint8_t percent)>& report) {
  // The library takes the image path as a narrow string in a 260-byte buffer.
  std::string image;
  if (PackagePath(services, kBluetoothImageName, image) == 0 || image.size() > kMaxPathChars) {
    return 0;
  }
  EventLog& log = services.log;
  const int32_t started = api.hidDfuUpgrade(image.c_str(), 1);
  log.Notice("library hidDfuUpgrade(\"" + image + "\", 1) = " + std::to_string(started));
  if (started != 0) return 0;

  Clock& clock = services.clock;
  uint8_t last = 0;
  uint32_t lastChange = clock.NowMs();
  bool first = true;
  for (;;) {
    const int32_t progress = api.hidDfuGetProgress();
    const auto percent = static_cast<uint8_t>(progress & 0xFF);
    report(percent);
    if (first || percent != last) {
      log.Event("library hidDfuGetProgress() = " + std::to_string(progress) + " (" +
                std::to_string(percent) + " %)");
      first = false;
      last = percent;
      lastChange = clock.NowMs();
    }
    clock.SleepMs(1000);
    if (percent >= 100) break;
    // A library that stops moving would otherwise hold the run for ever.
    if (static_cast<uint32_t>(clock.NowMs() - lastChange) >= kDfuProgressStallMs) {
      log.Notice("firmware upgrade stalled: progress stayed at " + std::to_string(last) +
                 " % for " + std::to_string(kDfuProgressStallMs) + " ms");
      return 0;
    }
  }
  const int32_t result = api.hidDfuGetResult();
  log.Notice("library hidDfuGetResult() = " + std::to_string(result));
  if (result != 0) return 0;
  const int32_t disconnected = api.hidDfuDisconnect();
  log.Notice("library hidDfuDisconnect() = " + std::to_string(disconnected));
  if (disconnected != 0) return 0;
  return 1;
}

}  // namespace vantel3
