// The main window: a fixed-size dialog titled "Vantel3 Update tool" whose client area holds
// the five step views in one place, all hidden until the worker shows one. Its context menu
// and F1 carry the About item (Linux windows have no system menu to extend).
#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QMenu>
#include <QPoint>
#include <atomic>
#include <cstdint>
#include <functional>

#include "ui/qt_step_ui.h"
#include "ui/step_views.h"
#include "ui/view_layout.h"

namespace vantel3 {

// The dialog font: the application's font at 9 points.
[[nodiscard]] QFont DialogFont();

// Dialog base units of `font` as drawn on `device`.
[[nodiscard]] DialogBaseUnits MeasureDialogBaseUnits(const QFont& font, QPaintDevice* device);

class CVantel3UpdaterDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CVantel3UpdaterDlg(QWidget* parent = nullptr);

  // Title, icon, fixed size, and the five views created in the view frame, laid out once and
  // hidden. `nextPressed` is the flag the Next click raises.
  void OnInitDialog(std::atomic<int32_t>& nextPressed);

  // A system command: 16 to 31 open the About box modally and return true; anything else is
  // left to the default handling (false).
  bool OnSysCommand(int id);

  [[nodiscard]] CMainView* mainView() const { return mainView_; }
  [[nodiscard]] CRestoreView* restoreView() const { return restoreView_; }
  [[nodiscard]] CUpdateView* updateView() const { return updateView_; }
  [[nodiscard]] CCheckView* checkView() const { return checkView_; }
  [[nodiscard]] CEndView* endView() const { return endView_; }
  [[nodiscard]] StepViewSet Views();
  [[nodiscard]] const DialogBaseUnits& baseUnits() const { return units_; }
  [[nodiscard]] const QIcon& icon() const { return icon_; }

  // Runs when the window has closed (before its modal run returns).
  void SetOnClosed(std::function<void()> onClosed) { onClosed_ = std::move(onClosed); }

  // The window menu (right click, the Menu key, Shift+F10) at `globalPos`: the About item.
  void ShowWindowMenu(const QPoint& globalPos);

  // The About box of the last OnSysCommand while it is open (tests), else null.
  [[nodiscard]] QDialog* openAboutBox() const { return aboutBox_; }
  // The window menu while it is open (tests), else null.
  [[nodiscard]] QMenu* openWindowMenu() const { return windowMenu_; }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void done(int result) override;

 private:
  QIcon icon_;
  QFont dialogFont_;
  DialogBaseUnits units_;
  CMainView* mainView_ = nullptr;
  CRestoreView* restoreView_ = nullptr;
  CUpdateView* updateView_ = nullptr;
  CCheckView* checkView_ = nullptr;
  CEndView* endView_ = nullptr;
  QDialog* aboutBox_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  std::function<void()> onClosed_;
};

}  // namespace vantel3
