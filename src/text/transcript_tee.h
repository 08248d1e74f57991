// A StepUi that passes every request on to the screen and writes it as a transcript line as
// well ([view], [text], [progress], [next], [error], [end], as the terminal prints them), so
// that a run through a window can be compared with the same run in the terminal.
#pragma once

#include <ostream>

#include "text/text_step_ui.h"
#include "workflow/step_ui.h"

namespace vantel3 {

class TranscriptTee final : public StepUi {
 public:
  // `screen` carries the requests out first; `out` gets the line once it has.
  TranscriptTee(StepUi& screen, std::ostream& out) : screen_(screen), transcript_(out, {}) {}

  void ShowOnly(ViewId view) override {
    screen_.ShowOnly(view);
    transcript_.ShowOnly(view);
  }
  void SetMessage(ViewId view, const std::string& text) override {
    screen_.SetMessage(view, text);
    transcript_.SetMessage(view, text);
  }
  bool GetMainViewDpi(int& horizontal, int& vertical) override {
    return screen_.GetMainViewDpi(horizontal, vertical);
  }
  PixelRect MainViewClientRect() override { return screen_.MainViewClientRect(); }
  PixelRect MainViewLabelRect() override { return screen_.MainViewLabelRect(); }
  void PlaceNextButton(const PixelRect& rect) override { screen_.PlaceNextButton(rect); }
  void SetNextButtonText(const std::string& text) override { screen_.SetNextButtonText(text); }
  void SetNextButtonEnabled(bool enabled) override { screen_.SetNextButtonEnabled(enabled); }
  void SetNextButtonVisible(bool visible) override {
    screen_.SetNextButtonVisible(visible);
    transcript_.SetNextButtonVisible(visible);
  }
  void SetProgress(ViewId view, int percent) override {
    screen_.SetProgress(view, percent);
    transcript_.SetProgress(view, percent);
  }
  void ShowFailureMessage(const std::string& message) override {
    // The line first: the box may wait for a person.
    transcript_.ShowFailureMessage(message);
    screen_.ShowFailureMessage(message);
  }
  void ArmEndButton(const std::string& caption, EndAction action) override {
    screen_.ArmEndButton(caption, action);
    transcript_.ArmEndButton(caption, action);
  }

 private:
  StepUi& screen_;
  TextStepUi transcript_;
};

}  // namespace vantel3
