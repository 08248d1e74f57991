// The libFuzzer entry of one fuzz program; VANTEL3_FUZZ_TARGET names the function it runs.
#include <cstddef>
#include <cstdint>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vantel3::VANTEL3_FUZZ_TARGET(data, size);
}
