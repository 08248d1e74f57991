#include "win32/scripted_window_user.h"

#include <cstdio>

#include "ui/ui_texts.h"

namespace vantel3 {

ScriptedWindowUser::ScriptedWindowUser(Win32StepUi& window, VirtualClock& clock, SimulatedUser user)
    : window_(window), user_(clock, std::move(user)) {}

void ScriptedWindowUser::SetNextButtonVisible(bool visible) {
  window_.SetNextButtonVisible(visible);
  if (!visible) {
    user_.NextHidden();
    return;
  }
  // Runs on the worker's thread while it sleeps on the clock; the click itself goes through
  // the real button on the window's thread.
  user_.NextShown([this] {
    window_.OnGuiThread([this] {
      HWND next = window_.views().mainView->nextButton();
      if (IsWindowVisible(next) && IsWindowEnabled(next)) SendMessageW(next, BM_CLICK, 0, 0);
    });
  });
}

void ScriptedWindowUser::ShowFailureMessage(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", ui_text::kApplicationName, message.c_str());
  std::fflush(stderr);
}

void ScriptedWindowUser::ArmEndButton(const std::string& caption, EndAction action) {
  window_.ArmEndButton(caption, action);
  armed_ = action;
}

void ScriptedWindowUser::OnRunEnded() {
  const std::size_t run = runsEnded_++;
  const EndAction armed = armed_.load();
  const bool retry = armed == EndAction::kRetry && user_.WantsRetry(run);
  if (armed == EndAction::kClose || retry) {
    SendMessageW(window_.views().endView->endButton(), BM_CLICK, 0, 0);
  } else {
    PostMessageW(window_.views().owner, WM_CLOSE, 0, 0);
  }
}

}  // namespace vantel3
