#include "ui/message_box.h"

#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "ui/ui_texts.h"

namespace vantel3 {

std::unique_ptr<QMessageBox> MakeFailureBox(QWidget* owner, const QString& text) {
  auto box =
      std::make_unique<QMessageBox>(QMessageBox::Critical, QString(), text, QMessageBox::Ok, owner);
  box->setTextFormat(Qt::PlainText);
  box->setWindowModality(Qt::ApplicationModal);
  return box;
}

void ShowFailureBox(QWidget* owner, const QString& text, bool closeAtOnce) {
  std::unique_ptr<QMessageBox> box = MakeFailureBox(owner, text);
  if (closeAtOnce || std::getenv(ui_text::kAutoCloseMessagesEnv) != nullptr) {
    std::fprintf(stderr, "%s: %s\n", ui_text::kApplicationName, text.toUtf8().constData());
    std::fflush(stderr);
    QTimer::singleShot(0, box.get(), &QMessageBox::accept);
  }
  box->exec();
}

}  // namespace vantel3
