// The scenario's person in front of the window, on the virtual clock: clicks the real Next
// button (BM_CLICK) when the scripted user does, closes failure boxes at once (their text goes
// to stderr), and answers the end view with Retry or Exit.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/clock.h"
#include "session/scripted_user.h"
#include "sim/scenario.h"
#include "win32/win32_step_ui.h"
#include "workflow/step_ui.h"

namespace vantel3 {

class ScriptedWindowUser final : public StepUi {
 public:
  ScriptedWindowUser(Win32StepUi& window, VirtualClock& clock, SimulatedUser user);

  void ShowOnly(ViewId view) override { window_.ShowOnly(view); }
  void SetMessage(ViewId view, const std::string& text) override { window_.SetMessage(view, text); }
  bool GetMainViewDpi(int& horizontal, int& vertical) override {
    return window_.GetMainViewDpi(horizontal, vertical);
  }
  PixelRect MainViewClientRect() override { return window_.MainViewClientRect(); }
  PixelRect MainViewLabelRect() override { return window_.MainViewLabelRect(); }
  void PlaceNextButton(const PixelRect& rect) override { window_.PlaceNextButton(rect); }
  void SetNextButtonText(const std::string& text) override { window_.SetNextButtonText(text); }
  void SetNextButtonEnabled(bool enabled) override { window_.SetNextButtonEnabled(enabled); }
  // Showing the button schedules the click; hiding it cancels a click not yet made.
  void SetNextButtonVisible(bool visible) override;
  void SetProgress(ViewId view, int percent) override { window_.SetProgress(view, percent); }
  void ShowFailureMessage(const std::string& message) override;
  void ArmEndButton(const std::string& caption, EndAction action) override;

  // Window's thread, once a worker has ended: the answer for this run. Exit (or a successful
  // run) clicks the end button; Retry clicks it when the scenario says so; otherwise the
  // person closes the window.
  void OnRunEnded();

 private:
  Win32StepUi& window_;
  ScriptedUser user_;
  std::atomic<EndAction> armed_{EndAction::kNone};
  std::size_t runsEnded_ = 0;
};

}  // namespace vantel3
