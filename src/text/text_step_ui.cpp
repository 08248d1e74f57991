#include "text/text_step_ui.h"

#include <algorithm>
#include <chrono>

namespace vantel3 {

LineInput::LineInput(std::istream& in) : reader_([this, &in] { ReaderLoop(in); }) {}

LineInput::LineInput() = default;

LineInput::~LineInput() {
  if (!reader_.joinable()) return;
  // A stream that is about to end (a pipe, a string) is read to its end, so the reader is
  // done with it and with this object; a reader blocked on a terminal cannot be woken, and
  // ends with the process.
  bool ended = false;
  {
    std::unique_lock lock(mutex_);
    ended = changed_.wait_for(lock, std::chrono::milliseconds(100), [this] { return ended_; });
  }
  if (ended) {
    reader_.join();
  } else {
    reader_.detach();
  }
}

void LineInput::ReaderLoop(std::istream& in) {
  std::string line;
  while (std::getline(in, line)) PushLine(line);
  PushEnd();
}

void LineInput::PushLine(std::string line) {
  std::lock_guard lock(mutex_);
  if (nextFlag_ != nullptr) {
    nextFlag_->store(kNextClicked);
    nextFlag_ = nullptr;
  } else {
    lines_.push_back(std::move(line));
  }
  changed_.notify_all();
}

void LineInput::PushEnd() {
  std::lock_guard lock(mutex_);
  ended_ = true;
  if (nextFlag_ != nullptr) {
    nextFlag_->store(kNextNeverAnswered);
    nextFlag_ = nullptr;
  }
  changed_.notify_all();
}

void LineInput::ArmNext(std::atomic<int32_t>& flag) {
  std::lock_guard lock(mutex_);
  if (!lines_.empty()) {
    lines_.pop_front();
    flag.store(kNextClicked);
  } else if (ended_) {
    flag.store(kNextNeverAnswered);
  } else {
    nextFlag_ = &flag;
  }
}

void LineInput::DisarmNext() {
  std::lock_guard lock(mutex_);
  nextFlag_ = nullptr;
}

std::optional<std::string> LineInput::ReadLine() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !lines_.empty() || ended_; });
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

TextAnswers AnswersFromInput(LineInput& input, std::atomic<int32_t>& nextPressed) {
  TextAnswers answers;
  answers.onNextShown = [&input, &nextPressed] { input.ArmNext(nextPressed); };
  answers.onNextHidden = [&input] { input.DisarmNext(); };
  answers.closeMessageBox = [&input] {
    // A message after a Next wait that ran out: the next line closes it, it clicks nothing.
    input.DisarmNext();
    (void)input.ReadLine();
  };
  return answers;
}

TextStepUi::TextStepUi(std::ostream& out, TextAnswers answers)
    : out_(out), answers_(std::move(answers)) {}

void TextStepUi::Line(const char* tag, const std::string& text) {
  out_ << tag << ' ' << text << '\n';
  out_.flush();
}

void TextStepUi::ShowOnly(ViewId view) {
  Line("[view]", ViewName(view));
}

void TextStepUi::SetMessage(ViewId, const std::string& text) {
  Line("[text]", text);
}

// A terminal has no pixels; the main view is laid out as at 96 dots per inch.
bool TextStepUi::GetMainViewDpi(int&, int&) {
  return false;
}
PixelRect TextStepUi::MainViewClientRect() {
  return {0, 0, 459, 302};
}
PixelRect TextStepUi::MainViewLabelRect() {
  return {0, 65, 459, 164};
}
void TextStepUi::PlaceNextButton(const PixelRect&) {}
void TextStepUi::SetNextButtonText(const std::string&) {}
void TextStepUi::SetNextButtonEnabled(bool) {}

void TextStepUi::SetNextButtonVisible(bool visible) {
  // Every show prints and arms, also when a failed run left the button shown.
  nextVisible_ = visible;
  if (visible) {
    out_ << "[next]\n";
    out_.flush();
    if (answers_.onNextShown) answers_.onNextShown();
  } else if (answers_.onNextHidden) {
    answers_.onNextHidden();
  }
}

void TextStepUi::SetProgress(ViewId, int percent) {
  // Like the bar: values outside 0..100 show as the nearest end.
  Line("[progress]", std::to_string(std::clamp(percent, 0, 100)));
}

void TextStepUi::ShowFailureMessage(const std::string& message) {
  Line("[error]", message);
  if (answers_.closeMessageBox) answers_.closeMessageBox();
}

void TextStepUi::ArmEndButton(const std::string& caption, EndAction action) {
  endAction_ = action;
  Line("[end]", caption);
}

}  // namespace vantel3
