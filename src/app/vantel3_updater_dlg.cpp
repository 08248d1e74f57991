#include "app/vantel3_updater_dlg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QPalette>
#include <QShortcut>

#include "app/about_dlg.h"
#include "app/app_icon.h"
#include "ui/ui_texts.h"

namespace vantel3 {

QFont DialogFont() {
  QFont font = QApplication::font();
  font.setPointSize(9);
  return font;
}

DialogBaseUnits MeasureDialogBaseUnits(const QFont& font, QPaintDevice* device) {
  const QFontMetrics metrics(font, device);
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnitsFromMetrics(alphabet, metrics.height());
}

CVantel3UpdaterDlg::CVantel3UpdaterDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      icon_(MakeAppIcon()) {}

void CVantel3UpdaterDlg::OnInitDialog(std::atomic<int32_t>& nextPressed) {
  setWindowIcon(icon_);
  setWindowTitle(QString::fromUtf8(ui_text::kMainWindowTitle));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);

  dialogFont_ = DialogFont();
  setFont(dialogFont_);
  units_ = MeasureDialogBaseUnits(dialogFont_, this);
  setFixedSize(DluToPixelsX(kMainDialogClientDlu.width, units_),
               DluToPixelsY(kMainDialogClientDlu.height, units_));

  const PixelRect frame = DluRectToPixels(kViewFrameDlu.x, kViewFrameDlu.y, kViewFrameDlu.width,
                                          kViewFrameDlu.height, units_);
  const int dpiY = logicalDpiY();
  auto place = [&](CStepView* view, int templateId) {
    view->setObjectName(QStringLiteral("view%1").arg(templateId));
    view->setGeometry(frame.left, frame.top, frame.width(), frame.height());
    view->OnInitialUpdate(dpiY, units_);
    view->hide();
  };
  mainView_ = new CMainView(this);
  mainView_->SetNextFlag(&nextPressed);
  place(mainView_, 103);
  restoreView_ = new CRestoreView(this);
  place(restoreView_, 107);
  updateView_ = new CUpdateView(this);
  place(updateView_, 104);
  checkView_ = new CCheckView(this);
  place(checkView_, 108);
  endView_ = new CEndView(this);
  place(endView_, 106);

  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, [this] { OnSysCommand(ui_text::kAboutCommand); });
  // The Menu key reaches contextMenuEvent by itself; Shift+F10 is its usual twin.
  auto* menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
  connect(menuKey, &QShortcut::activated, this, [this] {
    QWidget* focus = focusWidget() != nullptr ? focusWidget() : this;
    ShowWindowMenu(focus->mapToGlobal(focus->rect().center()));
  });
}

StepViewSet CVantel3UpdaterDlg::Views() {
  return StepViewSet{this, mainView_, restoreView_, updateView_, checkView_, endView_};
}

bool CVantel3UpdaterDlg::OnSysCommand(int id) {
  if ((id & ~0xF) != ui_text::kAboutCommand) return false;
  if (aboutBox_ != nullptr) return true;
  CAboutDlg about(this, dialogFont_, units_);
  about.setWindowIcon(icon_);
  aboutBox_ = &about;
  // A nested run: the worker's requests are still carried out while the box is open.
  about.exec();
  aboutBox_ = nullptr;
  return true;
}

void CVantel3UpdaterDlg::ShowWindowMenu(const QPoint& globalPos) {
  if (windowMenu_ != nullptr) return;
  QMenu menu(this);
  QAction* about = menu.addAction(QString::fromUtf8(ui_text::kAboutMenuItem));
  bool chosen = false;
  connect(about, &QAction::triggered, &menu, [&chosen] { chosen = true; });
  windowMenu_ = &menu;
  menu.exec(globalPos);
  windowMenu_ = nullptr;
  // The About box opens once the menu has gone.
  if (chosen) OnSysCommand(ui_text::kAboutCommand);
}

void CVantel3UpdaterDlg::contextMenuEvent(QContextMenuEvent* event) {
  ShowWindowMenu(event->globalPos());
  event->accept();
}

void CVantel3UpdaterDlg::keyPressEvent(QKeyEvent* event) {
  // Escape must not end an update run by accident; the window closes only on purpose (its
  // close button, the window menu, or Exit).
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CVantel3UpdaterDlg::done(int result) {
  QDialog::done(result);
  if (onClosed_) onClosed_();
}

}  // namespace vantel3
