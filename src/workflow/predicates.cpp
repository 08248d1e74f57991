#include "workflow/predicates.h"

#include <cstdio>
#include <string>

#include "formats/device_drive.h"

namespace vantel3 {

int ConnectDfuDevice(const DfuApi& api, int32_t* libraryResult) {
  if (api.hidDfuConnect == nullptr) return 0;
  uint32_t device = 0;  // filled by the library; never used
  const int32_t result =
      api.hidDfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &device);
  if (libraryResult != nullptr) *libraryResult = result;
  return result == 0 ? 1 : 0;
}

std::string DfuConnectCallText() {
  char text[64];
  std::snprintf(text, sizeof text, "hidDfuConnect(0x%04X, 0x%04X, %u, 0x%04X)", kDfuVendorId,
                kDfuProductId, static_cast<unsigned>(kDfuUsage), kDfuUsagePage);
  return text;
}

void PolledCallLog::Record(EventLog& log, const std::string& call, int32_t result) {
  if (any_ && result == last_) {
    ++repeats_;
    return;
  }
  std::string text = "library " + call + " = " + std::to_string(result);
  if (any_ && repeats_ > 0) {
    text += " (the " + std::to_string(repeats_) + " calls before answered " +
            std::to_string(last_) + ")";
  }
  log.Event(text);
  any_ = true;
  last_ = result;
  repeats_ = 0;
}

Predicate IsDrivePresent(VolumeSource& volumes) {
  return [&volumes](void* context) {
    return FindDeviceDrive(volumes, *static_cast<std::string*>(context));
  };
}

Predicate IsDriveAbsent(VolumeSource& volumes) {
  return [&volumes](void* context) {
    return FindDeviceDrive(volumes, *static_cast<std::string*>(context)) == 0 ? 1 : 0;
  };
}

Predicate IsDfuDevicePresent(const DfuApi& api, EventLog& log) {
  return [&api, &log, connects = PolledCallLog()](void*) mutable {
    int32_t result = 0;
    const int present = ConnectDfuDevice(api, &result);
    if (api.hidDfuConnect != nullptr) connects.Record(log, DfuConnectCallText(), result);
    return present;
  };
}

Predicate IsDriveOrDfuDevicePresent(VolumeSource& volumes, const DfuApi& api, EventLog& log) {
  return [&volumes, &api, &log, disconnects = PolledCallLog(),
          connects = PolledCallLog()](void* context) mutable {
    auto& root = *static_cast<std::string*>(context);
    root.clear();
    if (FindDeviceDrive(volumes, root) != 0) return 1;
    if (api.hidDfuDisconnect != nullptr) {
      disconnects.Record(log, "hidDfuDisconnect()", api.hidDfuDisconnect());
    }
    int32_t result = 0;
    const int present = ConnectDfuDevice(api, &result);
    if (api.hidDfuConnect != nullptr) connects.Record(log, DfuConnectCallText(), result);
    return present;
  };
}

Predicate IsNextPressed(const UpdateContext& context) {
  return [&context](void*) { return context.nextPressed.load() != 0 ? 1 : 0; };
}

Predicate IsPathMissing(FileSystem& fs) {
  return [&fs](void* context) {
    const auto* path = static_cast<const std::string*>(context);
    return path == nullptr || !fs.Exists(*path) ? 1 : 0;
  };
}

Predicate IsDriveWritablePredicate(FileSystem& fs) {
  return [&fs](void* context) {
    return IsDriveWritable(fs, static_cast<const std::string*>(context));
  };
}

}  // namespace vantel3
