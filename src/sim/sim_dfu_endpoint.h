/* The plug between the stand-in firmware-upgrade library (libhiddfu.so) and the simulated
   device living in the same process: a table of functions the library forwards its six
   entry points to. C-compatible, so the library needs nothing else. */
#ifndef VANTEL3_SIM_SIM_DFU_ENDPOINT_H_
#define VANTEL3_SIM_SIM_DFU_ENDPOINT_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Each function gets `self` first, then the arguments of the entry point of the same name;
   the results follow the entry points' conventions (0 is success). */
struct Vantel3SimDfuEndpoint {
  void* self;
  int32_t (*connect)(void* self, uint16_t vendorId, uint16_t productId, uint16_t usage,
                     uint16_t usagePage, uint32_t* device);
  int32_t (*disconnect)(void* self);
  int32_t (*upgrade)(void* self, const char* imagePath, int32_t flags);
  int32_t (*getProgress)(void* self);
  int32_t (*resetDevice)(void* self);
  int32_t (*getResult)(void* self);
};

/* The library's extra export: plugs `endpoint` in (the table must outlive the attachment);
   a null pointer unplugs. Without an endpoint every connect fails and every other call
   returns nonzero. */
typedef void (*Vantel3SimAttachFn)(const struct Vantel3SimDfuEndpoint* endpoint);

#define VANTEL3_SIM_ATTACH_EXPORT "vantel3SimAttach"

#ifdef __cplusplus
}
#endif

#endif /* VANTEL3_SIM_SIM_DFU_ENDPOINT_H_ */
