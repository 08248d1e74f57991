// vantel3-screenshots [DIR]: renders the window in each of its states, the About box and a
// failure message box to PNG files in DIR (default docs/screenshots), on the offscreen
// platform unless another is chosen.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <atomic>
#include <cstdio>
#include <string>

#include "app/about_dlg.h"
#include "app/vantel3_updater_app.h"
#include "app/vantel3_updater_dlg.h"
#include "ui/message_box.h"
#include "ui/qt_step_ui.h"
#include "ui/ui_texts.h"
#include "workflow/connect_device.h"
#include "workflow/messages.h"
#include "workflow/update_worker.h"

namespace {

bool Save(QWidget& widget, const QString& dir, const char* name) {
  QApplication::processEvents();
  const QString path = dir + "/" + name;
  if (!widget.grab().save(path, "PNG")) {
    std::fprintf(stderr, "vantel3-screenshots: cannot write %s\n", path.toUtf8().constData());
    return false;
  }
  std::printf("%s\n", path.toUtf8().constData());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vantel3;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  PrepareToolkit();
  QApplication qapp(argc, argv);
  NameApplication();
  const QString dir =
      argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "vantel3-screenshots: cannot create %s\n", dir.toUtf8().constData());
    return 1;
  }

  std::atomic<int32_t> nextPressed{0};
  CVantel3UpdaterDlg dialog;
  dialog.OnInitDialog(nextPressed);
  QtStepUi ui(
      dialog.Views(), [] {}, [] {});
  dialog.show();
  bool ok = true;

  // The main view as it asks for the Next click.
  ui.ShowOnly(ViewId::kMain);
  ui.SetMessage(ViewId::kMain, msg::kConnectCable);
  int dpiX = 96;
  int dpiY = 96;
  if (!ui.GetMainViewDpi(dpiX, dpiY)) dpiX = dpiY = 96;
  ui.PlaceNextButton(
      ComputeNextButtonRect(dpiX, dpiY, ui.MainViewClientRect(), ui.MainViewLabelRect()));
  ui.SetNextButtonText(msg::kNextCaption);
  ui.SetNextButtonEnabled(true);
  ui.SetNextButtonVisible(true);
  ok = Save(dialog, dir, "main_next.png") && ok;

  ui.SetNextButtonVisible(false);
  ui.SetMessage(ViewId::kMain, msg::kSwitchToUpdateMode);
  ok = Save(dialog, dir, "main_switch_mode.png") && ok;

  ui.ShowOnly(ViewId::kRestore);
  ui.SetMessage(ViewId::kRestore, msg::kCleaningUp);
  ui.SetProgress(ViewId::kRestore, 37);
  ok = Save(dialog, dir, "restore.png") && ok;

  ui.ShowOnly(ViewId::kUpdate);
  ui.SetMessage(ViewId::kUpdate, msg::kInProgress);
  ui.SetProgress(ViewId::kUpdate, 43);
  ok = Save(dialog, dir, "update_43.png") && ok;

  UpdateContext context;
  context.targetVersion = "3.5.2";
  ShowFailure(context, ui);
  ui.ShowOnly(ViewId::kEnd);
  ok = Save(dialog, dir, "end_retry.png") && ok;

  ui.SetMessage(ViewId::kEnd, msg::kSuccess);
  ui.ArmEndButton(msg::kExitCaption, EndAction::kClose);
  ok = Save(dialog, dir, "end_exit.png") && ok;

  CAboutDlg about(&dialog, DialogFont(), dialog.baseUnits());
  about.show();
  ok = Save(about, dir, "about.png") && ok;
  about.hide();

  std::unique_ptr<QMessageBox> box = MakeFailureBox(&dialog, QString::fromUtf8(msg::kSd0NotClosed));
  box->setWindowModality(Qt::NonModal);
  box->show();
  ok = Save(*box, dir, "failure_message.png") && ok;
  box->hide();

  return ok ? 0 : 1;
}
