// The five step views of the main window: a centred message on white, plus the Next button
// (main view), a progress bar (update and restore views) or the end button (end view). The
// views decide nothing about the update; the worker drives them through QtStepUi.
#pragma once

#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>

#include "ui/view_layout.h"
#include "workflow/step_ui.h"

namespace vantel3 {

// The message font's family: "맑은 고딕" (also known as "Malgun Gothic") when it is among
// `installed`, else "Noto Sans CJK KR", which carries Hangul as well.
[[nodiscard]] QString ChooseMessageFontFamily(const QStringList& installed);

// The font of a view's message: `family` with an em height of points × dpi / 72 pixels.
[[nodiscard]] QFont MakeMessageFont(const QString& family, int points, int dpi);

class CStepView : public QWidget {
  Q_OBJECT

 public:
  CStepView(ViewId id, QWidget* parent);

  [[nodiscard]] ViewId viewId() const { return id_; }
  [[nodiscard]] QLabel* messageLabel() const { return messageLabel_; }
  [[nodiscard]] const QFont& messageFont() const { return font_; }

  // Creates the view's font for the screen's vertical density and lays the controls out once
  // in the view's current size (later size changes move nothing).
  void OnInitialUpdate(int dpiY, const DialogBaseUnits& units);

  // Sets the message (line feeds break lines). It becomes the label's accessible name, so a
  // screen reader hears the change; in every view but the main view the keyboard focus moves
  // to the label when the view is showing.
  void SetMessageText(const QString& text);

  // In every view but the main view, gives the keyboard focus to the label (when it shows).
  void FocusLabel();

 protected:
  // The second control, or null.
  virtual QWidget* secondControl() const { return nullptr; }
  // What the view does with its second control at initial update, after the font exists.
  virtual void InitSecondControl() {}
  // Called when the label has been fitted to a new text (it may have grown downwards).
  virtual void OnLabelFitted() {}
  [[nodiscard]] const PixelRect& laidOutSecond() const { return laidOutSecond_; }

 private:
  ViewId id_;
  QFont font_;
  QLabel* messageLabel_;
  PixelRect laidOutLabel_;
  PixelRect laidOutSecond_;
};

class CMainView final : public CStepView {
  Q_OBJECT

 public:
  explicit CMainView(QWidget* parent);

  [[nodiscard]] QPushButton* nextButton() const { return nextButton_; }
  // The flag that the Next click raises for the worker.
  void SetNextFlag(std::atomic<int32_t>* nextPressed) { nextPressed_ = nextPressed; }
  // The Next click: raises the flag once, then disables and hides the button.
  void OnNextClicked();

 protected:
  QWidget* secondControl() const override { return nextButton_; }
  void InitSecondControl() override;

 private:
  QPushButton* nextButton_;
  std::atomic<int32_t>* nextPressed_ = nullptr;
};

// The update and restore views: a message and a progress bar (0..100).
class CProgressView : public CStepView {
  Q_OBJECT

 public:
  CProgressView(ViewId id, QWidget* parent);

  [[nodiscard]] QProgressBar* progressBar() const { return progressBar_; }
  // The progress message: values above 100 show a full bar, below 0 an empty one.
  void OnUpdateProgress(int percent);

 protected:
  QWidget* secondControl() const override { return progressBar_; }
  void InitSecondControl() override;
  void OnLabelFitted() override;

 private:
  QProgressBar* progressBar_;
};

class CRestoreView final : public CProgressView {
  Q_OBJECT

 public:
  explicit CRestoreView(QWidget* parent);
};

class CUpdateView final : public CProgressView {
  Q_OBJECT

 public:
  explicit CUpdateView(QWidget* parent);
};

// Created and laid out like the others; the update run never shows it.
class CCheckView final : public CStepView {
  Q_OBJECT

 public:
  explicit CCheckView(QWidget* parent);
};

class CEndView final : public CStepView {
  Q_OBJECT

 public:
  explicit CEndView(QWidget* parent);

  [[nodiscard]] QPushButton* endButton() const { return endButton_; }
  void SetButtonText(const QString& text);
  // The action a click runs; empty (nothing runs) until the worker arms it.
  void SetButtonAction(std::function<void()> action) { buttonAction_ = std::move(action); }
  [[nodiscard]] bool hasButtonAction() const { return static_cast<bool>(buttonAction_); }
  // The end button's click: the focus goes to the button, then the armed action, if any, runs.
  void OnEndButtonClicked();

 protected:
  QWidget* secondControl() const override { return endButton_; }
  void InitSecondControl() override;

 private:
  QPushButton* endButton_;
  std::function<void()> buttonAction_;
};

}  // namespace vantel3
