// What the update worker may ask of the screen. Every call is synchronous: it returns once
// the request has been carried out (on the GUI thread, for the window), and a failure
// message returns only once the user has closed it.
#pragma once

#include <string>

namespace vantel3 {

// In the order in which a view switch handles them.
enum class ViewId { kMain, kRestore, kUpdate, kCheck, kEnd };

// The view's name in transcripts and logs: "main", "restore", "update", "check", "end".
inline const char* ViewName(ViewId view) {
  switch (view) {
    case ViewId::kMain: return "main";
    case ViewId::kRestore: return "restore";
    case ViewId::kUpdate: return "update";
    case ViewId::kCheck: return "check";
    case ViewId::kEnd: return "end";
  }
  return "?";
}

// What the end view's button does when clicked.
enum class EndAction { kNone, kRetry, kClose };

// Pixels, in a view's client coordinates; right and bottom are exclusive.
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

class StepUi {
 public:
  virtual ~StepUi() = default;

  // Shows `view` and hides the four others.
  virtual void ShowOnly(ViewId view) = 0;
  // Sets the text of the view's message label ("\n" is a line break).
  virtual void SetMessage(ViewId view, const std::string& text) = 0;

  // The main view's pixel densities; false when none can be had (the caller uses 96).
  virtual bool GetMainViewDpi(int& horizontal, int& vertical) = 0;
  // The main view's client rectangle and its message label's rectangle.
  virtual PixelRect MainViewClientRect() = 0;
  virtual PixelRect MainViewLabelRect() = 0;
  // The main view's Next button.
  virtual void PlaceNextButton(const PixelRect& rect) = 0;
  virtual void SetNextButtonText(const std::string& text) = 0;
  virtual void SetNextButtonEnabled(bool enabled) = 0;
  virtual void SetNextButtonVisible(bool visible) = 0;

  // The progress message to the update or restore view: the bar's new position, 0..100.
  virtual void SetProgress(ViewId view, int percent) = 0;

  // A failure message box (stop icon, one OK); returns once it has been closed.
  virtual void ShowFailureMessage(const std::string& message) = 0;

  // The end view's button caption and the action its click runs.
  virtual void ArmEndButton(const std::string& caption, EndAction action) = 0;
};

}  // namespace vantel3
