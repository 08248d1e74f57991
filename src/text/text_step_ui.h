// The update's screen as lines of text, one per event, for terminal and braille users,
// support staff and scripted runs:
//   [view] main|restore|update|end   [text] <label>   [progress] <0..100>   [next]
//   [error] <message>   [end] Retry|Exit
// Answers (Next clicks, closing a message box) come from a LineInput, or, on the virtual
// clock, from the scenario's simulated user.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <istream>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "workflow/step_ui.h"
#include "workflow/update_context.h"

namespace vantel3 {

// The terminal's answers, from a stream read on its own thread (so that a Next click can
// arrive while the worker is busy polling), or pushed by a test. A line that arrives while
// Next waits clicks it; every other line waits in a queue, and the next question takes it:
// the Next button as soon as it shows (a line typed or piped ahead is not lost), a message
// box, the end view. Once the input has ended, every later question is answered at once
// with "no answer": Next never clicked, the message box closed, the end view's Exit.
class LineInput {
 public:
  // Reads `in` on its own thread until it ends.
  explicit LineInput(std::istream& in);
  // No reader: lines come only from PushLine and PushEnd.
  LineInput();
  ~LineInput();

  // A line has arrived / the input has ended (the reader calls them; tests may too).
  void PushLine(std::string line);
  void PushEnd();

  // The Next button shows: the first queued line clicks it at once (`flag` = kNextClicked);
  // with none, the next line that arrives does, until DisarmNext. Input that has ended, or
  // ends meanwhile, sets `flag` to kNextNeverAnswered.
  void ArmNext(std::atomic<int32_t>& flag);
  void DisarmNext();
  // The next queued line, waiting for one; empty optional once the input has ended.
  std::optional<std::string> ReadLine();

 private:
  void ReaderLoop(std::istream& in);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> lines_;
  bool ended_ = false;
  std::atomic<int32_t>* nextFlag_ = nullptr;
  std::thread reader_;
};

// How the text screen gets its answers.
struct TextAnswers {
  // Called when the Next button is shown; the front end arranges for the click.
  std::function<void()> onNextShown;
  // Called when the Next button is hidden again.
  std::function<void()> onNextHidden;
  // Called after a message box is printed; returns once it counts as closed.
  std::function<void()> closeMessageBox;
};

// Answers from `input`: a line (or the input's end) answers Next through `nextPressed`, and
// closes each message box. Both must outlive the answers.
TextAnswers AnswersFromInput(LineInput& input, std::atomic<int32_t>& nextPressed);

class TextStepUi final : public StepUi {
 public:
  TextStepUi(std::ostream& out, TextAnswers answers);

  void ShowOnly(ViewId view) override;
  void SetMessage(ViewId view, const std::string& text) override;
  bool GetMainViewDpi(int& horizontal, int& vertical) override;
  PixelRect MainViewClientRect() override;
  PixelRect MainViewLabelRect() override;
  void PlaceNextButton(const PixelRect& rect) override;
  void SetNextButtonText(const std::string& text) override;
  void SetNextButtonEnabled(bool enabled) override;
  void SetNextButtonVisible(bool visible) override;
  void SetProgress(ViewId view, int percent) override;
  void ShowFailureMessage(const std::string& message) override;
  void ArmEndButton(const std::string& caption, EndAction action) override;

  EndAction endAction() const { return endAction_; }

 private:
  void Line(const char* tag, const std::string& text);

  std::ostream& out_;
  TextAnswers answers_;
  bool nextVisible_ = false;
  EndAction endAction_ = EndAction::kNone;
};

}  // namespace vantel3
