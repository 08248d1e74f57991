#include "fake_dfu.h"

namespace vantel3::testing {

namespace {
FakeDfu* live = nullptr;

extern "C" int32_t FakeConnect(uint16_t vendorId, uint16_t productId, uint16_t usage,
                               uint16_t usagePage, uint32_t* device) {
  ++live->connects;
  const bool ids = vendorId == kDfuVendorId && productId == kDfuProductId && usage == kDfuUsage &&
                   usagePage == kDfuUsagePage && device != nullptr;
  return live->present && ids ? 0 : 1;
}
extern "C" int32_t FakeDisconnect() {
  ++live->disconnects;
  return live->disconnectResult;
}
extern "C" int32_t FakeUpgrade(const char* path, int32_t flags) {
  ++live->upgrades;
  live->imagePath = path;
  return flags == 1 ? live->upgradeResult : 99;
}
extern "C" int32_t FakeGetProgress() {
  const auto& p = live->progress;
  const std::size_t i = static_cast<std::size_t>(live->progressPolls++);
  return p.empty() ? 0 : p[i < p.size() ? i : p.size() - 1];
}
extern "C" int32_t FakeReset() {
  return 0;
}
extern "C" int32_t FakeGetResult() {
  ++live->results;
  return live->result;
}
}  // namespace

DfuApi FakeDfu::Bind() {
  live = this;
  DfuApi api;
  api.module = this;
  api.hidDfuConnect = FakeConnect;
  api.hidDfuDisconnect = FakeDisconnect;
  api.hidDfuUpgrade = FakeUpgrade;
  api.hidDfuGetProgress = FakeGetProgress;
  api.hidDfuResetDevice = FakeReset;
  api.hidDfuGetResult = FakeGetResult;
  return api;
}

FakeDfu::~FakeDfu() {
  if (live == this) live = nullptr;
}

}  // namespace vantel3::testing
