// The stand-in firmware-upgrade library (libhiddfu.so): the six entry points of the vendor
// library, forwarded to a simulated device that plugs itself in through vantel3SimAttach.
// With nothing plugged in there is no firmware-upgrade device.
#include <atomic>
#include <type_traits>

#include "dfu/dfu_api.h"
#include "sim/sim_dfu_endpoint.h"

namespace {
std::atomic<const Vantel3SimDfuEndpoint*> gEndpoint{nullptr};
constexpr int32_t kNoDevice = -1;
}  // namespace

extern "C" {

VANTEL3_DFU_EXPORT void vantel3SimAttach(const Vantel3SimDfuEndpoint* endpoint) {
  gEndpoint.store(endpoint);
}

VANTEL3_DFU_EXPORT int32_t hidDfuConnect(uint16_t vendorId, uint16_t productId, uint16_t usage,
                                         uint16_t usagePage, uint32_t* device) {
  const Vantel3SimDfuEndpoint* e = gEndpoint.load();
  return e ? e->connect(e->self, vendorId, productId, usage, usagePage, device) : kNoDevice;
}

VANTEL3_DFU_EXPORT int32_t hidDfuDisconnect(void) {
  const Vantel3SimDfuEndpoint* e = gEndpoint.load();
  return e ? e->disconnect(e->self) : kNoDevice;
}

VANTEL3_DFU_EXPORT int32_t hidDfuUpgrade(const char* imagePath, int32_t flags) {
  const Vantel3SimDfuEndpoint* e = gEndpoint.load();
  return e ? e->upgrade(e->self, imagePath, flags) : kNoDevice;
}

VANTEL3_DFU_EXPORT int32_t hidDfuGetProgress(void) {
  const Vantel3SimDfuEndpoint* e = gEndpoint.load();
  return e ? e->getProgress(e->self) : 0;
}

VANTEL3_DFU_EXPORT int32_t hidDfuResetDevice(void) {
  const Vantel3SimDfuEndpoint* e = gEndpoint.load();
  return e ? e->resetDevice(e->self) : kNoDevice;
}

VANTEL3_DFU_EXPORT int32_t hidDfuGetResult(void) {
  const Vantel3SimDfuEndpoint* e = gEndpoint.load();
  return e ? e->getResult(e->self) : kNoDevice;
}

}  // extern "C"

// The exports have exactly the types the updater binds them as.
static_assert(std::is_same_v<decltype(&hidDfuConnect), HidDfuConnectFn>);
static_assert(std::is_same_v<decltype(&hidDfuDisconnect), HidDfuDisconnectFn>);
static_assert(std::is_same_v<decltype(&hidDfuUpgrade), HidDfuUpgradeFn>);
static_assert(std::is_same_v<decltype(&hidDfuGetProgress), HidDfuGetProgressFn>);
static_assert(std::is_same_v<decltype(&hidDfuResetDevice), HidDfuResetDeviceFn>);
static_assert(std::is_same_v<decltype(&hidDfuGetResult), HidDfuGetResultFn>);
static_assert(std::is_same_v<decltype(&vantel3SimAttach), Vantel3SimAttachFn>);
