#include "workflow/predicates.h"

#include <string>

#include "formats/device_drive.h"

namespace vantel3 {

int ConnectDfuDevice(const DfuApi& api) {
  if (api.hidDfuConnect == nullptr) return 0;
  uint32_t device = 0;  // filled by the library; never used
  return api.hidDfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &device) == 0 ? 1
                                                                                                : 0;
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

Predicate IsDfuDevicePresent(const DfuApi& api) {
  return [&api](void*) { return ConnectDfuDevice(api); };
}

Predicate IsDriveOrDfuDevicePresent(VolumeSource& volumes, const DfuApi& api) {
  return [&volumes, &api](void* context) {
    auto& root = *static_cast<std::string*>(context);
    root.clear();
    if (FindDeviceDrive(volumes, root) != 0) return 1;
    if (api.hidDfuDisconnect != nullptr) (void)api.hidDfuDisconnect();
    return ConnectDfuDevice(api);
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
