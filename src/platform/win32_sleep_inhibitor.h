// Windows: keeps the computer awake with SetThreadExecutionState(ES_CONTINUOUS |
// ES_SYSTEM_REQUIRED). The state belongs to the calling thread, so Acquire and Release are
// called on the thread that runs the update (SleepInhibitGuard does). Windows only.
#pragma once

#include "platform/sleep_inhibitor.h"

namespace vantel3 {

class ExecutionStateSleepInhibitor final : public SleepInhibitor {
 public:
  ~ExecutionStateSleepInhibitor() override;
  int Acquire() override;
  void Release() override;

 private:
  int holders_ = 0;
};

}  // namespace vantel3
