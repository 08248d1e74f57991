#include "ui/qt_step_ui.h"

#include <QMetaObject>
#include <QThread>
#include <utility>

#include "ui/message_box.h"

namespace vantel3 {

namespace {

QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

PixelRect FromQRect(const QRect& rect) {
  return PixelRect{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

}  // namespace

QtStepUi::QtStepUi(StepViewSet views, std::function<void()> retryRun,
                   std::function<void()> closeApplication)
    : views_(views),
      retryRun_(std::move(retryRun)),
      closeApplication_(std::move(closeApplication)) {}

CStepView* QtStepUi::View(ViewId view) const {
  switch (view) {
    case ViewId::kMain:
      return views_.mainView;
    case ViewId::kRestore:
      return views_.restoreView;
    case ViewId::kUpdate:
      return views_.updateView;
    case ViewId::kCheck:
      return views_.checkView;
    case ViewId::kEnd:
      return views_.endView;
  }
  return nullptr;
}

void QtStepUi::OnGuiThread(const std::function<void()>& request) {
  QObject* const gui = views_.owner;
  if (QThread::currentThread() == gui->thread()) {
    request();
    return;
  }
  // The GUI thread never waits for a worker, so this cannot deadlock; should the window be
  // closed meanwhile, the process ends with this thread still waiting here.
  QMetaObject::invokeMethod(gui, request, Qt::BlockingQueuedConnection);
}

void QtStepUi::ShowOnly(ViewId view) {
  OnGuiThread([this, view] {
    CStepView* shown = nullptr;
    for (ViewId id :
         {ViewId::kMain, ViewId::kRestore, ViewId::kUpdate, ViewId::kCheck, ViewId::kEnd}) {
      CStepView* v = View(id);
      if (id == view) {
        v->show();
        shown = v;
      } else {
        v->hide();
      }
    }
    if (shown != nullptr) shown->FocusLabel();
  });
}

void QtStepUi::SetMessage(ViewId view, const std::string& text) {
  const QString qtext = ToQString(text);
  OnGuiThread([this, view, &qtext] { View(view)->SetMessageText(qtext); });
}

bool QtStepUi::GetMainViewDpi(int& horizontal, int& vertical) {
  bool ok = false;
  OnGuiThread([this, &horizontal, &vertical, &ok] {
    const int x = views_.mainView->logicalDpiX();
    const int y = views_.mainView->logicalDpiY();
    if (x > 0 && y > 0) {
      horizontal = x;
      vertical = y;
      ok = true;
    }
  });
  return ok;
}

PixelRect QtStepUi::MainViewClientRect() {
  PixelRect rect;
  OnGuiThread([this, &rect] { rect = FromQRect(views_.mainView->rect()); });
  return rect;
}

PixelRect QtStepUi::MainViewLabelRect() {
  PixelRect rect;
  OnGuiThread([this, &rect] { rect = FromQRect(views_.mainView->messageLabel()->geometry()); });
  return rect;
}

void QtStepUi::PlaceNextButton(const PixelRect& rect) {
  OnGuiThread([this, rect] {
    QPushButton* button = views_.mainView->nextButton();
    button->setGeometry(rect.left, rect.top, rect.width(), rect.height());
    button->update();
  });
}

void QtStepUi::SetNextButtonText(const std::string& text) {
  const QString qtext = ToQString(text);
  OnGuiThread([this, &qtext] { views_.mainView->nextButton()->setText(qtext); });
}

void QtStepUi::SetNextButtonEnabled(bool enabled) {
  OnGuiThread([this, enabled] { views_.mainView->nextButton()->setEnabled(enabled); });
}

void QtStepUi::SetNextButtonVisible(bool visible) {
  OnGuiThread([this, visible] {
    QPushButton* button = views_.mainView->nextButton();
    button->setVisible(visible);
    // Enter or Space answers the button as soon as it shows.
    if (visible && button->isEnabled() && views_.mainView->isVisible()) {
      button->setFocus(Qt::OtherFocusReason);
    }
  });
}

void QtStepUi::SetProgress(ViewId view, int percent) {
  OnGuiThread([this, view, percent] {
    if (view == ViewId::kUpdate) views_.updateView->OnUpdateProgress(percent);
    if (view == ViewId::kRestore) views_.restoreView->OnUpdateProgress(percent);
  });
}

void QtStepUi::ShowFailureMessage(const std::string& message) {
  const QString qtext = ToQString(message);
  OnGuiThread([this, &qtext] { ShowFailureBox(views_.owner, qtext); });
}

void QtStepUi::ArmEndButton(const std::string& caption, EndAction action) {
  const QString qtext = ToQString(caption);
  OnGuiThread([this, &qtext, action] {
    CEndView* end = views_.endView;
    end->SetButtonText(qtext);
    switch (action) {
      case EndAction::kNone:
        end->SetButtonAction(nullptr);
        break;
      case EndAction::kRetry:
        end->SetButtonAction(retryRun_);
        break;
      case EndAction::kClose:
        end->SetButtonAction(closeApplication_);
        break;
    }
  });
}

}  // namespace vantel3
