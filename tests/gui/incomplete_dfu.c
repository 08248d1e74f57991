/* A firmware-upgrade library that exports five of the six entry points ("hidDfuGetResult" is
   missing), for the test that such a library is refused like a missing one. */
#include <stdint.h>

int32_t hidDfuConnect(uint16_t v, uint16_t p, uint16_t u, uint16_t up, uint32_t* d) {
  (void)v, (void)p, (void)u, (void)up, (void)d;
  return 1;
}
int32_t hidDfuDisconnect(void) {
  return 0;
}
int32_t hidDfuUpgrade(const char* path, int32_t flags) {
  (void)path, (void)flags;
  return 1;
}
int32_t hidDfuGetProgress(void) {
  return 0;
}
int32_t hidDfuResetDevice(void) {
  return 0;
}
