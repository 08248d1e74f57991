// The six entry points of the HID firmware-upgrade library ("libhiddfu.so" in the package
// folder), as C functions, and the table the updater keeps them in once bound.
// Our own declaration, written from what the updater passes to the library and relies on.
#pragma once

#include <cstdint>

// Marks an entry point as exported by a library that implements them (ours: the stand-in
// and the test libraries).
#ifdef _WIN32
#define VANTEL3_DFU_EXPORT __declspec(dllexport)
#else
#define VANTEL3_DFU_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// 0: a firmware-upgrade device (vendorId:productId, HID usage / usage page) is open;
// anything else: none. The library may fill *device; its value is never used.
typedef int32_t (*HidDfuConnectFn)(uint16_t vendorId, uint16_t productId, uint16_t usage,
                                   uint16_t usagePage, uint32_t* device);
// 0: the open device was closed cleanly.
typedef int32_t (*HidDfuDisconnectFn)(void);
// 0: the upgrade with the image at `imagePath` (narrow string) has started and runs on
// inside the library. The updater always passes 1 as `flags`.
typedef int32_t (*HidDfuUpgradeFn)(const char* imagePath, int32_t flags);
// Progress percentage of the running upgrade in the low 8 bits.
typedef int32_t (*HidDfuGetProgressFn)(void);
// Never called by the updater; the library must only export it.
typedef int32_t (*HidDfuResetDeviceFn)(void);
// 0: the finished upgrade succeeded.
typedef int32_t (*HidDfuGetResultFn)(void);

}  // extern "C"

namespace vantel3 {

// Export names, in the order they are resolved.
inline constexpr const char* kDfuEntryPointNames[6] = {
    "hidDfuConnect",     "hidDfuDisconnect",  "hidDfuUpgrade",
    "hidDfuGetProgress", "hidDfuResetDevice", "hidDfuGetResult",
};

inline constexpr uint16_t kDfuVendorId = 0x0A12;
inline constexpr uint16_t kDfuProductId = 0xFFFE;
inline constexpr uint16_t kDfuUsage = 1;
inline constexpr uint16_t kDfuUsagePage = 0xFF00;

struct DfuApi {
  void* module = nullptr;
  HidDfuConnectFn hidDfuConnect = nullptr;
  HidDfuDisconnectFn hidDfuDisconnect = nullptr;
  HidDfuUpgradeFn hidDfuUpgrade = nullptr;
  HidDfuGetProgressFn hidDfuGetProgress = nullptr;
  HidDfuResetDeviceFn hidDfuResetDevice = nullptr;
  HidDfuGetResultFn hidDfuGetResult = nullptr;
};

}  // namespace vantel3
