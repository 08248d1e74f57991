// The window side of StepUi: every request of the worker is carried out on the GUI thread,
// and the worker waits until it is done. Called on the GUI thread itself, a request runs
// directly.
#pragma once

#include <QObject>
#include <QWidget>
#include <functional>

#include "ui/step_views.h"
#include "workflow/step_ui.h"

namespace vantel3 {

// The views a run drives and the window that owns its message boxes.
struct StepViewSet {
  QWidget* owner = nullptr;
  CMainView* mainView = nullptr;
  CRestoreView* restoreView = nullptr;
  CUpdateView* updateView = nullptr;
  CCheckView* checkView = nullptr;
  CEndView* endView = nullptr;
};

class QtStepUi final : public StepUi {
 public:
  // `retryRun` and `closeApplication` are the actions that ArmEndButton puts on the end button;
  // both run on the GUI thread.
  QtStepUi(StepViewSet views, std::function<void()> retryRun,
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
  [[nodiscard]] const StepViewSet& views() const { return views_; }

  // Runs `request` on the GUI thread and returns when it is done (directly when called there).
  void OnGuiThread(const std::function<void()>& request);

 private:
  StepViewSet views_;
  std::function<void()> retryRun_;
  std::function<void()> closeApplication_;
};

}  // namespace vantel3
