// A StepUi for tests: records every request as a line with the virtual time it came at, and
// plays the user: clicks Next a given time after the button shows (or never).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "workflow/step_ui.h"
#include "workflow/update_context.h"

namespace vantel3::testing {

class RecordingStepUi final : public StepUi {
 public:
  RecordingStepUi(VirtualClock& clock, UpdateContext& context) : clock_(clock), context_(context) {}

  struct Event {
    uint64_t atMs;
    std::string line;  // "[view] main", "[text] ...", "[progress] 10", "[next]", ...
  };

  // Ms after each show of the Next button until the click; nullopt: never.
  std::optional<uint32_t> nextAfterMs = 1000;
  int dpiX = 96;
  int dpiY = 96;
  bool haveDpi = true;

  // Forgets what was recorded, for the next case of a table.
  void Reset() {
    events_.clear();
    nextVisible = false;
    nextEnabled = false;
    endAction = EndAction::kNone;
  }

  const std::vector<Event>& events() const { return events_; }
  std::vector<std::string> Lines(const std::string& prefix = "") const;
  std::vector<int> Progress() const;
  std::vector<std::string> Errors() const;
  PixelRect nextButtonRect;
  bool nextVisible = false;
  bool nextEnabled = false;
  EndAction endAction = EndAction::kNone;

  void ShowOnly(ViewId view) override;
  void SetMessage(ViewId view, const std::string& text) override;
  bool GetMainViewDpi(int& horizontal, int& vertical) override;
  PixelRect MainViewClientRect() override { return {0, 0, 459, 279}; }
  PixelRect MainViewLabelRect() override { return {0, 60, 459, 152}; }
  void PlaceNextButton(const PixelRect& rect) override { nextButtonRect = rect; }
  void SetNextButtonText(const std::string& text) override { Record("[next-text] " + text); }
  void SetNextButtonEnabled(bool enabled) override { nextEnabled = enabled; }
  void SetNextButtonVisible(bool visible) override;
  void SetProgress(ViewId view, int percent) override;
  void ShowFailureMessage(const std::string& message) override { Record("[error] " + message); }
  void ArmEndButton(const std::string& caption, EndAction action) override;

 private:
  void Record(std::string line) { events_.push_back({clock_.ElapsedMs(), std::move(line)}); }

  VirtualClock& clock_;
  UpdateContext& context_;
  std::vector<Event> events_;
  uint64_t nextToken_ = 0;
};

}  // namespace vantel3::testing
