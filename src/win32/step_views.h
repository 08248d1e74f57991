// The five step views of the main window, each a borderless child dialog made from its own
// template: a centred message on white in the view's own font, plus the Next button (main
// view), a progress bar (update and restore views) or the end button (end view). The views
// decide nothing about the update; the worker drives them through Win32StepUi.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "ui/view_layout.h"
#include "workflow/step_ui.h"

namespace vantel3 {

class CStepView {
 public:
  CStepView(ViewId id, int templateId, int labelId, int secondId);
  virtual ~CStepView();
  CStepView(const CStepView&) = delete;
  CStepView& operator=(const CStepView&) = delete;

  // Creates the view's window from its template as a hidden child of `parent` over `rect`
  // (parent's client pixels), with the template number as its control identifier, and runs
  // the initial update. False when the window cannot be created.
  bool Create(HINSTANCE instance, HWND parent, const RECT& rect);

  [[nodiscard]] ViewId viewId() const { return id_; }
  [[nodiscard]] HWND hwnd() const { return hwnd_; }
  [[nodiscard]] HWND messageLabel() const { return messageLabel_; }
  [[nodiscard]] HWND secondControl() const { return second_; }

  // Sets the message ("\n" breaks lines), grows the label downwards when the text needs more
  // lines than it holds, and tells assistive technology that the label's name changed. In
  // every view but the main view, the label takes the keyboard focus when it is next drawn.
  void SetMessageText(const std::wstring& text);
  // Shows or hides the view; a shown view gives the focus to what a keyboard user needs.
  void Show(bool show);
  [[nodiscard]] bool IsShown() const { return hwnd_ != nullptr && IsWindowVisible(hwnd_); }

 protected:
  // What each view adds to the initial update after the label has its font.
  virtual void InitSecondControl() {}
  // A command from one of the view's controls; true when handled.
  virtual bool OnCommand(WPARAM wParam, LPARAM lParam);
  // Any other message; true when handled, with the dialog result in `result`.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Where the focus goes when the view is shown.
  virtual void FocusOnShow();
  // Called after the label has been fitted to a new text (it may have grown downwards).
  virtual void OnLabelFitted() {}

  [[nodiscard]] HFONT font() const { return font_; }
  [[nodiscard]] const PixelRect& laidOutSecond() const { return laidOutSecond_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitialUpdate();
  HBRUSH OnCtlColorStatic(HDC dc, HWND control);

  ViewId id_;
  int templateId_;
  int labelId_;
  int secondId_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HWND messageLabel_ = nullptr;
  HWND second_ = nullptr;
  PixelRect laidOutLabel_;
  PixelRect laidOutSecond_;
  // Set by a text change; the label takes the focus the next time it is drawn.
  bool focusOnDraw_ = false;
};

class CMainView final : public CStepView {
 public:
  CMainView();
  // The flag that the Next click raises for the worker.
  void SetNextFlag(std::atomic<int32_t>* nextPressed) { nextPressed_ = nextPressed; }
  [[nodiscard]] HWND nextButton() const { return secondControl(); }
  // Shows or hides the Next button; a shown, enabled button in the shown view takes the focus.
  void ShowNextButton(bool show);

 protected:
  void InitSecondControl() override;
  bool OnCommand(WPARAM wParam, LPARAM lParam) override;
  void FocusOnShow() override;

 private:
  std::atomic<int32_t>* nextPressed_ = nullptr;
};

// The update and restore views: the label and the progress bar as one block.
class CProgressView : public CStepView {
 public:
  CProgressView(ViewId id, int templateId, int labelId, int barId, const char* barName);
  [[nodiscard]] HWND progressBar() const { return secondControl(); }

 protected:
  void InitSecondControl() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnLabelFitted() override;

 private:
  const char* barName_;
};

class CRestoreView final : public CProgressView {
 public:
  CRestoreView();

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

class CUpdateView final : public CProgressView {
 public:
  CUpdateView();
};

class CCheckView final : public CStepView {
 public:
  CCheckView();
};

class CEndView final : public CStepView {
 public:
  CEndView();
  [[nodiscard]] HWND endButton() const { return secondControl(); }
  void SetButtonText(const std::wstring& text);
  // The action the end button's click runs (UI thread); empty: the click only takes focus.
  void SetButtonAction(std::function<void()> action) { buttonAction_ = std::move(action); }

 protected:
  void InitSecondControl() override;
  bool OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  std::function<void()> buttonAction_;
};

// The dialog base units of a window made from a template: the pixels of 4 horizontal and
// 8 vertical dialog units, as the dialog manager converts them.
[[nodiscard]] DialogBaseUnits DialogUnitsOf(HWND dialog);

}  // namespace vantel3
