// The failure message box: stop icon, one OK button, no caption of its own (the window system
// then shows the application's name), owned by the main window, modal.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <memory>

namespace vantel3 {

// The box, not yet shown.
[[nodiscard]] std::unique_ptr<QMessageBox> MakeFailureBox(QWidget* owner, const QString& text);

// Shows the box modally and returns once the user has closed it. With `closeAtOnce`, or with
// the environment variable VANTEL3_TEST_AUTOCLOSE_MESSAGES set, the text goes to stderr and
// the box closes as soon as it shows (unattended runs).
void ShowFailureBox(QWidget* owner, const QString& text, bool closeAtOnce = false);

}  // namespace vantel3
