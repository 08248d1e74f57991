#include "app/scripted_user.h"

#include <QString>

#include "ui/message_box.h"

namespace vantel3 {

ScriptedUserUi::ScriptedUserUi(QtStepUi& window, VirtualClock& clock, SimulatedUser user)
    : window_(window), user_(clock, std::move(user)) {}

void ScriptedUserUi::SetNextButtonVisible(bool visible) {
  window_.SetNextButtonVisible(visible);
  if (!visible) {
    user_.NextHidden();
    return;
  }
  // Runs on the worker's thread while it sleeps on the clock; the click itself is carried out
  // on the GUI thread like any other request, through the real button.
  user_.NextShown([this] {
    window_.OnGuiThread([this] {
      QPushButton* next = window_.views().mainView->nextButton();
      if (next->isVisible() && next->isEnabled()) next->click();
    });
  });
}

void ScriptedUserUi::ShowFailureMessage(const std::string& message) {
  const QString text = QString::fromStdString(message);
  window_.OnGuiThread([this, &text] { ShowFailureBox(window_.views().owner, text, true); });
}

void ScriptedUserUi::ArmEndButton(const std::string& caption, EndAction action) {
  window_.ArmEndButton(caption, action);
  armed_ = action;
}

void ScriptedUserUi::OnRunEnded() {
  const std::size_t run = runsEnded_++;
  const EndAction armed = armed_.load();
  const bool retry = armed == EndAction::kRetry && user_.WantsRetry(run);
  if (armed == EndAction::kClose || retry) {
    window_.views().endView->endButton()->click();
  } else {
    window_.views().owner->close();
  }
}

}  // namespace vantel3
