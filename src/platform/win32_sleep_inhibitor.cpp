#include "platform/win32_sleep_inhibitor.h"

#include <windows.h>

namespace vantel3 {

ExecutionStateSleepInhibitor::~ExecutionStateSleepInhibitor() {
  if (holders_ > 0) ::SetThreadExecutionState(ES_CONTINUOUS);
}

int ExecutionStateSleepInhibitor::Acquire() {
  if (holders_ == 0 && ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
    return 0;
  }
  ++holders_;
  return 1;
}

void ExecutionStateSleepInhibitor::Release() {
  if (holders_ == 0) return;
  if (--holders_ == 0) ::SetThreadExecutionState(ES_CONTINUOUS);
}

std::unique_ptr<SleepInhibitor> MakeSystemSleepInhibitor() {
  return std::make_unique<ExecutionStateSleepInhibitor>();
}

}  // namespace vantel3
