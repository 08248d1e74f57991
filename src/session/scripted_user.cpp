#include "session/scripted_user.h"

namespace vantel3 {

void ScriptedUser::NextShown(std::function<void()> click) {
  const uint64_t token = ++nextToken_;
  if (!user_.nextAfterMs) return;
  clock_.ScheduleAt(clock_.ElapsedMs() + *user_.nextAfterMs,
                    [this, token, click = std::move(click)] {
                      if (token == nextToken_.load()) click();
                    });
}

}  // namespace vantel3
