// The window side of StepUi: every request of the worker is sent to the main dialog
// (SendMessageW), carried out on the window's thread, and complete before the worker goes on.
// The progress message goes straight to the view that owns the bar, as the views expect it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "win32/step_views.h"
#include "workflow/step_ui.h"

namespace vantel3 {

// The views a run drives and the window that owns its message boxes.
struct Win32Views {
  HWND owner = nullptr;
  CMainView* mainView = nullptr;
  CRestoreView* restoreView = nullptr;
  CUpdateView* updateView = nullptr;
  CCheckView* checkView = nullptr;
  CEndView* endView = nullptr;
};

// The main dialog's private messages.
inline constexpr UINT kRunRequestMessage = WM_APP + 1;  // lParam: const std::function<void()>*
inline constexpr UINT kRunEndedMessage = WM_APP + 2;    // a worker has ended

// A failure box as the program shows every one: owned by `owner`, the stop icon, one OK and
// the application's name as its caption. Returns once it is closed. With
// VANTEL3_TEST_AUTOCLOSE_MESSAGES set it closes at once and its text goes to stderr.
void ShowFailureBox(HWND owner, const std::string& text);

// The application's name: the program file's name without its extension.
[[nodiscard]] std::wstring ApplicationName();

class Win32StepUi final : public StepUi {
 public:
  // `retryRun` and `closeApplication` are the actions that ArmEndButton puts on the end button;
  // both run on the window's thread.
  Win32StepUi(Win32Views views, std::function<void()> retryRun,
              std::function<void()> closeApplication);

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

  [[nodiscard]] CStepView* View(ViewId view) const;
  [[nodiscard]] const Win32Views& views() const { return views_; }

  // Runs `request` on the window's thread and returns when it is done (directly when called
  // there). Once the window is gone nothing runs: the process is ending.
  void OnGuiThread(const std::function<void()>& request);

 private:
  Win32Views views_;
  std::function<void()> retryRun_;
  std::function<void()> closeApplication_;
};

}  // namespace vantel3
