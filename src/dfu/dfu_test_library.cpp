// A stand-in firmware-upgrade library for the binding tests: the six entry points with
// trivial bodies. Built once complete and once without "hidDfuGetResult"
// (VANTEL3_TEST_DFU_WITHOUT_GET_RESULT).
#include "dfu/dfu_api.h"

extern "C" {

// Opens a "device" only for the firmware-upgrade vendor and product ids.
VANTEL3_DFU_EXPORT int32_t hidDfuConnect(uint16_t vendorId, uint16_t productId, uint16_t, uint16_t,
                                         uint32_t* device) {
  if (vendorId != vantel3::kDfuVendorId || productId != vantel3::kDfuProductId) return 1;
  if (device != nullptr) *device = 0x5EA1u;
  return 0;
}

VANTEL3_DFU_EXPORT int32_t hidDfuDisconnect(void) {
  return 0;
}

VANTEL3_DFU_EXPORT int32_t hidDfuUpgrade(const char* imagePath, int32_t flags) {
  return imagePath != nullptr && flags == 1 ? 0 : 1;
}

VANTEL3_DFU_EXPORT int32_t hidDfuGetProgress(void) {
  return 100;
}

VANTEL3_DFU_EXPORT int32_t hidDfuResetDevice(void) {
  return 0;
}

#ifndef VANTEL3_TEST_DFU_WITHOUT_GET_RESULT
VANTEL3_DFU_EXPORT int32_t hidDfuGetResult(void) {
  return 0;
}
#endif

}  // extern "C"
