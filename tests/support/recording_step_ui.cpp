#include "recording_step_ui.h"

namespace vantel3::testing {

std::vector<std::string> RecordingStepUi::Lines(const std::string& prefix) const {
  std::vector<std::string> lines;
  for (const auto& e : events_) {
    if (e.line.rfind(prefix, 0) == 0) lines.push_back(e.line);
  }
  return lines;
}

std::vector<int> RecordingStepUi::Progress() const {
  std::vector<int> values;
  for (const auto& line : Lines("[progress ")) {
    values.push_back(std::stoi(line.substr(line.find("] ") + 2)));
  }
  return values;
}

std::vector<std::string> RecordingStepUi::Errors() const {
  std::vector<std::string> errors;
  for (const auto& line : Lines("[error] ")) errors.push_back(line.substr(8));
  return errors;
}

void RecordingStepUi::ShowOnly(ViewId view) {
  Record(std::string("[view] ") + ViewName(view));
}

void RecordingStepUi::SetMessage(ViewId view, const std::string& text) {
  Record(std::string("[text ") + ViewName(view) + "] " + text);
}

bool RecordingStepUi::GetMainViewDpi(int& horizontal, int& vertical) {
  horizontal = dpiX;
  vertical = dpiY;
  return haveDpi;
}

void RecordingStepUi::SetNextButtonVisible(bool visible) {
  nextVisible = visible;
  const uint64_t token = ++nextToken_;
  if (!visible) return;
  Record("[next]");
  if (nextAfterMs) {
    clock_.ScheduleAt(clock_.ElapsedMs() + *nextAfterMs, [this, token] {
      if (token == nextToken_ && nextVisible) context_.nextPressed = 1;
    });
  }
}

void RecordingStepUi::SetProgress(ViewId view, int percent) {
  Record(std::string("[progress ") + ViewName(view) + "] " + std::to_string(percent));
}

void RecordingStepUi::ArmEndButton(const std::string& caption, EndAction action) {
  endAction = action;
  Record("[end] " + caption);
}

}  // namespace vantel3::testing
