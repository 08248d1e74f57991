// The About box: the icon, "Vantel3Updater, 버전 1.0" and the "확인" button that closes it.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "ui/view_layout.h"

namespace vantel3 {

class CAboutDlg final : public QDialog {
  Q_OBJECT

 public:
  // Sized in dialog units of `units` (the main window's dialog font, `dialogFont`).
  CAboutDlg(QWidget* parent, const QFont& dialogFont, const DialogBaseUnits& units);

  [[nodiscard]] QLabel* iconLabel() const { return icon_; }
  [[nodiscard]] QLabel* textLabel() const { return text_; }
  [[nodiscard]] QPushButton* okButton() const { return ok_; }

 private:
  QLabel* icon_;
  QLabel* text_;
  QPushButton* ok_;
};

}  // namespace vantel3
