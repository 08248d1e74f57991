#include "text/text_step_ui.h"

#include <algorithm>

namespace vantel3 {

LineInput::LineInput(std::istream& in) : in_(in), reader_([this] { ReaderLoop(); }) {}

LineInput::~LineInput() {
  // A reader blocked on a terminal cannot be woken; it ends with the process.
  if (reader_.joinable()) reader_.detach();
}

void LineInput::ReaderLoop() {
  std::string line;
  while (std::getline(in_, line)) {
    std::lock_guard lock(mutex_);
    if (nextFlag_ != nullptr) {
      nextFlag_->store(1);
      nextFlag_ = nullptr;
    } else {
      lines_.push_back(line);
    }
    changed_.notify_all();
  }
  std::lock_guard lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

void LineInput::ArmNext(std::atomic<int32_t>& flag) {
  std::lock_guard lock(mutex_);
  // A line typed ahead (before the button showed) counts as the click.
  if (!lines_.empty()) {
    lines_.pop_front();
    flag.store(1);
    return;
  }
  nextFlag_ = &flag;
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
