// The window on the offscreen platform: views, buttons, progress, message boxes, the About
// item, accessibility, and how the process ends.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/about_dlg.h"
#include "app/app_session.h"
#include "app/vantel3_updater_app.h"
#include "gui_test_support.h"
#include "ui/step_views.h"
#include "ui/ui_texts.h"
#include "ui/view_layout.h"
#include "workflow/messages.h"

using namespace vantel3;

namespace {

// What assistive technology was told.
std::vector<std::pair<QObject*, QAccessible::Event>> gAccessibleEvents;
void RecordAccessibleEvent(QAccessibleEvent* event) {
  gAccessibleEvents.emplace_back(event->object(), event->type());
}

bool Saw(QObject* object, QAccessible::Event type) {
  for (const auto& [o, t] : gAccessibleEvents) {
    if (o == object && t == type) return true;
  }
  return false;
}

// The application with a scripted worker and nothing real behind it.
struct Harness {
  explicit Harness(WorkerFunction worker, bool libraryLoads = true) {
    loader.loads = libraryLoads;
    AppEnvironment environment;
    environment.services = &quiet.services;
    environment.loader = &loader;
    environment.libraryPath = "fake";
    app = std::make_unique<CVantel3UpdaterApp>(environment, std::move(worker));
    app->SetExitHook([this](int status) { abruptExits.push_back(status); });
  }
  ~Harness() {
    gate.Open();
    if (app == nullptr) return;
    // A worker may be waiting for a request; keep the GUI thread answering until it ends (also
    // after a failed check, when the QTRY macros no longer wait).
    QDeadlineTimer deadline(30000);
    while (app->launcher().Running() && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (app->launcher().Running()) qFatal("a fake worker did not end");
  }
  CVantel3UpdaterDlg& dialog() { return *app->dialog(); }
  QtStepUi& ui() { return *app->stepUi(); }

  guitest::QuietServices quiet;
  guitest::FakeLoader loader;
  guitest::Gate gate;
  std::unique_ptr<CVantel3UpdaterApp> app;
  std::vector<int> abruptExits;
};

int Idle(UpdateContext&, UpdateServices&, StepUi&) {
  return 0;
}

std::vector<CStepView*> AllViews(CVantel3UpdaterDlg& d) {
  return {d.mainView(), d.restoreView(), d.updateView(), d.checkView(), d.endView()};
}

// Runs `work` on a thread of its own, as a worker would, while the GUI thread answers.
void OnWorkerThread(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(done.load(), 30000);
  worker.join();
}

// Runs `action` once `ready` holds, checked at every few ms from inside whatever event loop
// runs (a modal box runs its own); given up when `context` goes.
void WhenReady(QObject* context, std::function<bool()> ready, std::function<void()> action) {
  auto* timer = new QTimer(context);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, context, [timer, ready, action] {
    if (!ready()) return;
    timer->stop();
    timer->deleteLater();
    action();
  });
  timer->start();
}

QString TestApp() {
  return qEnvironmentVariable("VANTEL3_GUI_TEST_APP");
}

}  // namespace

class GuiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    NameApplication();
    QAccessible::installUpdateHandler(RecordAccessibleEvent);
    QAccessible::setActive(true);
  }
  void init() { gAccessibleEvents.clear(); }

  void allViewsHiddenUntilTheWorkerShowsOne() {
    // The worker is held back until the views have been inspected.
    guitest::Gate gate;
    Harness held([&gate](UpdateContext&, UpdateServices&, StepUi& ui) {
      gate.Pass();
      ui.ShowOnly(ViewId::kMain);
      return 0;
    });
    QCOMPARE(held.app->Start(), 0);
    held.dialog().show();
    for (CStepView* view : AllViews(held.dialog())) QVERIFY(!view->isVisible());
    gate.Open();
    QTRY_VERIFY(held.dialog().mainView()->isVisible());

    // One view at a time, in every switch; the Next button stays hidden meanwhile.
    for (ViewId shown :
         {ViewId::kRestore, ViewId::kUpdate, ViewId::kCheck, ViewId::kEnd, ViewId::kMain}) {
      OnWorkerThread([&] { held.ui().ShowOnly(shown); });
      for (CStepView* view : AllViews(held.dialog())) {
        QCOMPARE(view->isVisible(), view->viewId() == shown);
      }
    }
    QVERIFY(!held.dialog().mainView()->nextButton()->isVisible());
  }

  void viewsAreLaidOutFromTheDialogFont() {
    Harness h(Idle);
    QCOMPARE(h.app->Start(), 0);
    CVantel3UpdaterDlg& d = h.dialog();
    const DialogBaseUnits units = d.baseUnits();
    QVERIFY(units.x > 0 && units.y > 0);
    const DialogBaseUnits measured = MeasureDialogBaseUnits(DialogFont(), &d);
    QCOMPARE(units.x, measured.x);
    QCOMPARE(units.y, measured.y);

    // Fixed size, 320 x 200 dialog units; the views in the frame at (7, 7), 306 x 186.
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QCOMPARE(d.width(), DluToPixelsX(320, units));
    QCOMPARE(d.height(), DluToPixelsY(200, units));
    const PixelRect frame = DluRectToPixels(7, 7, 306, 186, units);
    const int dpi = d.logicalDpiY();
    for (CStepView* view : AllViews(d)) {
      QCOMPARE(view->geometry(), QRect(frame.left, frame.top, frame.width(), frame.height()));
      const ViewLayout layout = LayoutView(view->viewId(), view->width(), view->height(), units);
      const QRect label = view->messageLabel()->geometry();
      QCOMPARE(label, QRect(layout.label.left, layout.label.top, layout.label.width(),
                            layout.label.height()));
      QCOMPARE(view->messageLabel()->font().pixelSize(),
               FontPixelHeight(ViewFontPoints(view->viewId()), dpi));
      QCOMPARE(view->messageLabel()->alignment(), Qt::AlignHCenter | Qt::AlignTop);
      QVERIFY(view->messageLabel()->wordWrap());
      QCOMPARE(view->palette().color(QPalette::Window), QColor(Qt::white));
      QVERIFY(view->autoFillBackground());
    }
    const ViewLayout end =
        LayoutView(ViewId::kEnd, d.endView()->width(), d.endView()->height(), units);
    QCOMPARE(d.endView()->endButton()->geometry(),
             QRect(end.second.left, end.second.top, end.second.width(), end.second.height()));
    QCOMPARE(d.endView()->endButton()->font().pixelSize(), FontPixelHeight(18, dpi));
    QCOMPARE(d.mainView()->nextButton()->font().pixelSize(), FontPixelHeight(17, dpi));
    const ViewLayout update =
        LayoutView(ViewId::kUpdate, d.updateView()->width(), d.updateView()->height(), units);
    QCOMPARE(d.updateView()->progressBar()->geometry(),
             QRect(update.second.left, update.second.top, update.second.width(),
                   update.second.height()));
    QCOMPARE(d.updateView()->progressBar()->value(), 0);
    QCOMPARE(d.restoreView()->progressBar()->value(), 0);
    // A Hangul face: "맑은 고딕" where installed, else Noto Sans CJK KR.
    QCOMPARE(ChooseMessageFontFamily({"DejaVu Sans", "Noto Sans CJK KR"}),
             QStringLiteral("Noto Sans CJK KR"));
    QCOMPARE(ChooseMessageFontFamily({"Noto Sans CJK KR", "맑은 고딕"}),
             QStringLiteral("맑은 고딕"));
    QCOMPARE(ChooseMessageFontFamily({"Malgun Gothic"}), QStringLiteral("Malgun Gothic"));
    // A text that needs more lines than the label holds in the stand-in face: no line is cut
    // off and the bar stays directly below the label.
    for (CProgressView* view : {static_cast<CProgressView*>(d.restoreView()),
                                static_cast<CProgressView*>(d.updateView())}) {
      const QRect laidOutBar = view->progressBar()->geometry();
      view->SetMessageText(QStringLiteral(
          "We're cleaning up a previously interrupted update. Please be patient and don't "
          "unplug your cable. We're cleaning up a previously interrupted update."));
      const QRect label = view->messageLabel()->geometry();
      QVERIFY(label.height() >= view->messageLabel()->heightForWidth(label.width()));
      const QRect bar = view->progressBar()->geometry();
      QCOMPARE(bar.top(), std::max(laidOutBar.top(), label.top() + label.height()));
      QCOMPARE(bar.height(), laidOutBar.height());
    }
    // A text with line breaks keeps them.
    d.mainView()->SetMessageText(QStringLiteral("one\ntwo"));
    QCOMPARE(d.mainView()->messageLabel()->text(), QStringLiteral("one\ntwo"));
    QCOMPARE(d.mainView()->messageLabel()->textFormat(), Qt::PlainText);
  }

  void windowTitleFlagsAndEscape() {
    Harness h(Idle);
    QCOMPARE(h.app->Start(), 0);
    CVantel3UpdaterDlg& d = h.dialog();
    QCOMPARE(d.windowTitle(), QStringLiteral("Vantel3 Update tool"));
    QVERIFY(!(d.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(d.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(d.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!d.windowIcon().isNull());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::keyClick(&d, Qt::Key_Escape);
    QVERIFY(d.isVisible());
    QCOMPARE(QApplication::applicationName(), QStringLiteral("vantel3-updater"));
  }

  void nextClickRaisesTheFlagOnceAndHidesTheButton() {
    Harness h(Idle);
    QCOMPARE(h.app->Start(), 0);
    CVantel3UpdaterDlg& d = h.dialog();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QtStepUi& ui = h.ui();
    QPushButton* next = d.mainView()->nextButton();
    QCOMPARE(next->text(), QStringLiteral(" 다음"));
    std::atomic<int32_t>& flag = h.app->context().nextPressed;

    auto offer = [&] {
      ui.ShowOnly(ViewId::kMain);
      ui.PlaceNextButton(PixelRect{10, 300, 160, 340});
      ui.SetNextButtonText("Next");
      ui.SetNextButtonEnabled(true);
      ui.SetNextButtonVisible(true);
      flag = 0;
    };
    offer();
    QCOMPARE(next->geometry(), QRect(10, 300, 150, 40));
    QVERIFY(next->isVisible());
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(flag.load(), 1);
    QVERIFY(!next->isVisible());
    QVERIFY(!next->isEnabled());
    // A second click meets a hidden, disabled button.
    flag = 0;
    next->click();
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(flag.load(), 0);

    // From the keyboard: the shown button has the focus; Space and Enter press it.
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
      offer();
      QCOMPARE(d.focusWidget(), next);
      QTest::keyClick(next, key);
      QCOMPARE(flag.load(), 1);
      QVERIFY(!next->isVisible());
    }
  }

  void endButtonRunsOnlyAnArmedAction() {
    std::atomic<int> runs{0};
    Harness h([&runs](UpdateContext&, UpdateServices&, StepUi& ui) {
      ++runs;
      ui.ShowOnly(ViewId::kEnd);
      return 0;
    });
    QCOMPARE(h.app->Start(), 0);
    CVantel3UpdaterDlg& d = h.dialog();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTRY_VERIFY(!h.app->launcher().Running());
    QCOMPARE(runs.load(), 1);
    CEndView* end = d.endView();
    QVERIFY(!end->hasButtonAction());
    end->messageLabel()->setFocus();
    QCOMPARE(d.focusWidget(), end->messageLabel());
    // Nothing armed: the click only moves the focus to the button.
    end->endButton()->click();
    QCOMPARE(d.focusWidget(), end->endButton());
    QVERIFY(d.isVisible());
    QCOMPARE(h.app->launcher().StartedCount(), 1);

    // Retry starts a new run.
    h.ui().ArmEndButton("Retry", EndAction::kRetry);
    QCOMPARE(end->endButton()->text(), QStringLiteral("Retry"));
    QTest::keyClick(end->endButton(), Qt::Key_Space);
    QCOMPARE(h.app->launcher().StartedCount(), 2);
    QTRY_VERIFY(!h.app->launcher().Running());
    QCOMPARE(runs.load(), 2);

    // Exit posts a close; the window closes with no worker running, so no abrupt end.
    h.ui().ArmEndButton("Exit", EndAction::kClose);
    QTest::keyClick(end->endButton(), Qt::Key_Return);
    QVERIFY(d.isVisible());  // posted, not done at once
    QTRY_VERIFY(!d.isVisible());
    QVERIFY(h.abruptExits.empty());
  }

  void doubleRetryLeavesOneWorker() {
    std::atomic<int> runs{0};
    guitest::Gate* gate = nullptr;
    Harness h([&runs, &gate](UpdateContext&, UpdateServices&, StepUi& ui) {
      const int run = ++runs;
      ui.ShowOnly(ViewId::kMain);
      if (run > 1) gate->Pass();
      ui.SetMessage(ViewId::kEnd, "VANTEL 3.5.2 version update failed, please try again.");
      ui.ArmEndButton("Retry", EndAction::kRetry);
      ui.ShowOnly(ViewId::kEnd);
      return -1;
    });
    gate = &h.gate;
    QCOMPARE(h.app->Start(), 0);
    CVantel3UpdaterDlg& d = h.dialog();
    d.show();
    QTRY_VERIFY(!h.app->launcher().Running());
    QVERIFY(d.endView()->isVisible());

    QPushButton* retry = d.endView()->endButton();
    QTest::mouseClick(retry, Qt::LeftButton);
    // The second run shows the main view and then waits; a quick second click meets the
    // armed Retry of the first run while that worker still runs.
    QTRY_COMPARE(h.gate.Waiting(), 1);
    QVERIFY(d.mainView()->isVisible());
    QVERIFY(!d.endView()->isVisible());
    d.endView()->OnEndButtonClicked();
    d.endView()->OnEndButtonClicked();
    QCOMPARE(h.app->launcher().StartedCount(), 2);
    QCOMPARE(runs.load(), 2);
    // The window keeps answering meanwhile.
    OnWorkerThread([&] { h.ui().SetProgress(ViewId::kUpdate, 5); });
    QCOMPARE(d.updateView()->progressBar()->value(), 5);

    h.gate.Open();
    QTRY_VERIFY(!h.app->launcher().Running());
    QCOMPARE(runs.load(), 2);
    QVERIFY(d.endView()->isVisible());
  }

  void progressFromTheWorker() {
    Harness h(Idle);
    QCOMPARE(h.app->Start(), 0);
    CVantel3UpdaterDlg& d = h.dialog();
    struct Step {
      ViewId view;
      int sent;
      int shown;
    };
    const Step steps[] = {
        {ViewId::kUpdate, 10, 10},    {ViewId::kUpdate, 43, 43},   {ViewId::kUpdate, 43, 43},
        {ViewId::kUpdate, 100, 100},  {ViewId::kUpdate, 150, 100}, {ViewId::kUpdate, 0, 0},
        {ViewId::kUpdate, -7, 0},     {ViewId::kRestore, 37, 37},  {ViewId::kRestore, 100, 100},
        {ViewId::kRestore, 255, 100}, {ViewId::kRestore, 10, 10},
    };
    for (const Step& step : steps) {
      // The request is complete when the worker's call returns.
      std::atomic<int> seen{-1};
      OnWorkerThread([&] {
        h.ui().SetProgress(step.view, step.sent);
        QMetaObject::invokeMethod(
            &d,
            [&] {
              seen = step.view == ViewId::kUpdate ? d.updateView()->progressBar()->value()
                                                  : d.restoreView()->progressBar()->value();
            },
            Qt::BlockingQueuedConnection);
      });
      QCOMPARE(seen.load(), step.shown);
    }
    // Each view has its own bar.
    QCOMPARE(d.updateView()->progressBar()->value(), 0);
  }

  void failureBoxHoldsTheWorkerUntilClosed() {
    std::atomic<bool> returned{false};
    Harness h([&returned](UpdateContext&, UpdateServices&, StepUi& ui) {
      ui.ShowOnly(ViewId::kMain);
      ui.ShowFailureMessage("SD0 has not closed.\nThe MCU may not have switched to update mode.");
      returned = true;
      return -1;
    });
    QCOMPARE(h.app->Start(), 0);
    h.dialog().show();
    // The box runs its own loop on the GUI thread; look at it from inside that loop.
    bool inspected = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || inspected) return;
      inspected = true;
      QCOMPARE(
          box->text(),
          QStringLiteral("SD0 has not closed.\nThe MCU may not have switched to update mode."));
      QCOMPARE(box->icon(), QMessageBox::Critical);
      QCOMPARE(box->windowTitle(), QString());
      QCOMPARE(box->buttons().size(), 1);
      QCOMPARE(box->standardButtons(), QMessageBox::Ok);
      QCOMPARE(box->parentWidget(), &h.dialog());
      QVERIFY(!returned.load());
      QTest::keyClick(box, Qt::Key_Return);
    });
    poll.start();
    QTRY_VERIFY(returned.load());
    QVERIFY(inspected);
  }

  void accessibleNamesRolesAndAnnouncements() {
    Harness h(Idle);
    QCOMPARE(h.app->Start(), 0);
    CVantel3UpdaterDlg& d = h.dialog();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QtStepUi& ui = h.ui();
    ui.ShowOnly(ViewId::kMain);
    ui.SetMessage(ViewId::kMain, "After connecting Vantel to the USB cable, click “Next.”");
    ui.SetNextButtonText("Next");
    ui.SetNextButtonEnabled(true);
    ui.SetNextButtonVisible(true);
    ui.SetMessage(ViewId::kUpdate, "The update is in progress.");
    ui.SetMessage(ViewId::kEnd, "VANTEL 3.5.2 version update failed, please try again.");
    ui.ArmEndButton("Retry", EndAction::kRetry);

    struct Expect {
      QWidget* widget;
      QAccessible::Role role;
      QString name;
    };
    const Expect expects[] = {
        {d.mainView()->messageLabel(), QAccessible::StaticText,
         QStringLiteral("After connecting Vantel to the USB cable, click “Next.”")},
        {d.mainView()->nextButton(), QAccessible::Button, QStringLiteral("Next")},
        {d.updateView()->messageLabel(), QAccessible::StaticText,
         QStringLiteral("The update is in progress.")},
        {d.updateView()->progressBar(), QAccessible::ProgressBar,
         QStringLiteral("Update progress")},
        {d.restoreView()->progressBar(), QAccessible::ProgressBar,
         QStringLiteral("Restore progress")},
        {d.endView()->messageLabel(), QAccessible::StaticText,
         QStringLiteral("VANTEL 3.5.2 version update failed, please try again.")},
        {d.endView()->endButton(), QAccessible::Button, QStringLiteral("Retry")},
    };
    for (const Expect& e : expects) {
      QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(e.widget);
      QVERIFY(iface != nullptr);
      QCOMPARE(iface->role(), e.role);
      QCOMPARE(iface->text(QAccessible::Name), e.name);
    }
    // The bar tells its value.
    ui.SetProgress(ViewId::kUpdate, 43);
    QAccessibleInterface* bar =
        QAccessible::queryAccessibleInterface(d.updateView()->progressBar());
    QVERIFY(bar->valueInterface() != nullptr);
    QCOMPARE(bar->valueInterface()->currentValue().toInt(), 43);
    // Every text change is announced as a change of the label's name (observable only where
    // an accessibility bridge is active; the offscreen platform has none).
    if (QAccessible::isActive()) {
      QVERIFY(Saw(d.mainView()->messageLabel(), QAccessible::NameChanged));
      QVERIFY(Saw(d.endView()->messageLabel(), QAccessible::NameChanged));
    }
  }

  void labelsStayReadableUnderADarkTheme() {
    const QPalette saved = QApplication::palette();
    QPalette dark = saved;
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Text, Qt::yellow);
    QApplication::setPalette(dark);
    {
      Harness h(Idle);
      QCOMPARE(h.app->Start(), 0);
      for (CStepView* view : AllViews(h.dialog())) {
        const QPalette p = view->messageLabel()->palette();
        QCOMPARE(p.color(QPalette::Window), QColor(Qt::white));
        QVERIFY(p.color(QPalette::WindowText).lightness() < 100);
        QVERIFY(p.color(QPalette::Text).lightness() < 100);
      }
    }
    QApplication::setPalette(saved);
  }

  void labelTakesTheFocusExceptInTheMainView() {
    Harness h(Idle);
    QCOMPARE(h.app->Start(), 0);
    CVantel3UpdaterDlg& d = h.dialog();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QtStepUi& ui = h.ui();
    for (ViewId id : {ViewId::kRestore, ViewId::kUpdate, ViewId::kEnd}) {
      ui.ShowOnly(ViewId::kMain);
      d.setFocus();
      ui.ShowOnly(id);
      CStepView* view = ui.View(id);
      QCOMPARE(d.focusWidget(), view->messageLabel());
      // A new text while the view shows brings the focus back to the label.
      if (id == ViewId::kEnd) {
        view->setFocus();
        ui.ArmEndButton("Retry", EndAction::kNone);
        d.endView()->endButton()->setFocus();
        ui.SetMessage(id, "changed");
        QCOMPARE(d.focusWidget(), view->messageLabel());
      }
      if (QAccessible::isActive()) QVERIFY(Saw(view->messageLabel(), QAccessible::Focus));
    }
    // The main view leaves the focus where it is (here on the Next button).
    ui.ShowOnly(ViewId::kMain);
    ui.SetNextButtonEnabled(true);
    ui.SetNextButtonVisible(true);
    QCOMPARE(d.focusWidget(), d.mainView()->nextButton());
    ui.SetMessage(ViewId::kMain, "text");
    QCOMPARE(d.focusWidget(), d.mainView()->nextButton());
  }

  void aboutBoxFromCommandsMenuAndF1() {
    Harness h(Idle);
    QCOMPARE(h.app->Start(), 0);
    CVantel3UpdaterDlg& d = h.dialog();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));

    int opened = 0;
    auto closeWhenOpen = [&] {
      WhenReady(
          &d, [&] { return d.openAboutBox() != nullptr; },
          [&] {
            QDialog* about = d.openAboutBox();
            ++opened;
            auto* box = static_cast<CAboutDlg*>(about);
            QCOMPARE(box->windowTitle(), QStringLiteral("Vantel3Updater 정보"));
            QCOMPARE(box->textLabel()->text(), QStringLiteral("Vantel3Updater, 버전 1.0"));
            QCOMPARE(box->okButton()->text(), QStringLiteral("확인"));
            QVERIFY(box->okButton()->isDefault());
            QVERIFY(!box->iconLabel()->pixmap().isNull());
            QCOMPARE(box->minimumSize(), box->maximumSize());
            QCOMPARE(box->width(), DluToPixelsX(170, d.baseUnits()));
            QCOMPARE(box->height(), DluToPixelsY(62, d.baseUnits()));
            QTest::keyClick(box->okButton(), Qt::Key_Return);
          });
    };
    for (int id : {16, 17, 24, 31}) {
      closeWhenOpen();
      QVERIFY(d.OnSysCommand(id));
    }
    QCOMPARE(opened, 4);
    for (int id : {0, 15, 32, 0xF060}) QVERIFY(!d.OnSysCommand(id));

    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    closeWhenOpen();
    QTest::keyClick(&d, Qt::Key_F1);
    QCOMPARE(opened, 5);

    // Right click anywhere in the window (here on a label): the window menu with the About item.
    d.mainView()->show();
    auto chooseAbout = [&] {
      WhenReady(
          &d, [&] { return d.openWindowMenu() != nullptr; },
          [&] {
            QMenu* menu = d.openWindowMenu();
            QCOMPARE(menu->actions().size(), 1);
            QCOMPARE(menu->actions().front()->text(), QStringLiteral("Vantel3Updater 정보(&A)..."));
            closeWhenOpen();
            menu->actions().front()->trigger();
            menu->close();
          });
    };
    chooseAbout();
    QWidget* label = d.mainView()->messageLabel();
    QContextMenuEvent mouse(QContextMenuEvent::Mouse, QPoint(5, 5),
                            label->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(label, &mouse);
    QCOMPARE(opened, 6);
    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    chooseAbout();
    QTest::keyClick(&d, Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(opened, 7);
  }

  void missingLibraryShowsNoWindowAndStartsNoWorker() {
    qputenv(ui_text::kAutoCloseMessagesEnv, "1");
    for (const char* missing : {"", "hidDfuGetResult", "hidDfuConnect"}) {
      std::atomic<int> runs{0};
      Harness h([&runs](UpdateContext&, UpdateServices&, StepUi&) { return ++runs; },
                /*libraryLoads=*/missing[0] != '\0');
      h.loader.missing = missing;
      QCOMPARE(h.app->Start(), -1);
      QVERIFY(!h.dialog().isVisible());
      QVERIFY(!h.dialog().testAttribute(Qt::WA_WState_ExplicitShowHide));
      QCOMPARE(h.app->launcher().StartedCount(), 0);
      QCOMPARE(runs.load(), 0);
    }
    qunsetenv(ui_text::kAutoCloseMessagesEnv);
  }

  void libraryFailuresEndWithStatus255_data() {
    QTest::addColumn<QString>("content");
    QTest::newRow("missing") << QString();
    QTest::newRow("one entry point missing") << qEnvironmentVariable("VANTEL3_INCOMPLETE_DFU");
    QTest::newRow("not a library") << QStringLiteral("text:not a shared object");
  }
  void libraryFailuresEndWithStatus255() {
    QFETCH(QString, content);
    QTemporaryDir cwd;
    QVERIFY(cwd.isValid());
    QVERIFY(QDir(cwd.path()).mkdir("data"));
    const QString library = cwd.path() + "/data/libhiddfu.so";
    if (content.startsWith("text:")) {
      QFile file(library);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(content.mid(5).toUtf8());
    } else if (!content.isEmpty()) {
      QVERIFY(QFile::copy(content, library));
    }
    QProcess process;
    process.setWorkingDirectory(cwd.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(ui_text::kAutoCloseMessagesEnv, "1");
    process.setProcessEnvironment(env);
    process.start(TestApp(), {"bind", "./data/libhiddfu.so"});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 255);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains("vantel3-updater: Could not load dfu libary.\n"), qPrintable(err));
  }

  // The program itself: its command line, and a current folder without the package.
  void theProgramsExitStatuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("no package here")
        << QStringList{} << 255 << QString()
        << QStringLiteral("vantel3-updater: Could not load dfu libary.\n");
    QTest::newRow("help") << QStringList{"--help"} << 0
                          << QStringLiteral("Usage: vantel3-updater [--simulate SCENARIO")
                          << QString();
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << QStringLiteral("vantel3-updater 1.0\n") << QString();
    const QString scenarios = QStringLiteral(VANTEL3_SOURCE_DIR "/scenarios/");
    QTest::newRow("simulated update")
        << QStringList{"--simulate", scenarios + "ru3r-gen2-usb.json", "--virtual-clock"} << 0
        << QString() << QString();
    QTest::newRow("simulated failure, failure box text on stderr")
        << QStringList{"--simulate", scenarios + "sd0-never-closes.json", "--virtual-clock"} << 0
        << QString() << QStringLiteral("vantel3-updater: SD0 has not closed.\n");
    QTest::newRow("simulated package without library")
        << QStringList{"--simulate", scenarios + "no-library.json", "--virtual-clock"} << 255
        << QString() << QStringLiteral("vantel3-updater: Could not load dfu libary.\n");
    QTest::newRow("unreadable scenario")
        << QStringList{"--simulate", scenarios + "no-such-scenario.json"} << 2 << QString()
        << QStringLiteral("vantel3-updater: ");
    QTest::newRow("unknown option")
        << QStringList{"--bogus"} << 2 << QString()
        << QStringLiteral("vantel3-updater: unknown option '--bogus' (try --help)\n");
  }
  void theProgramsExitStatuses() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir cwd;
    QProcess process;
    process.setWorkingDirectory(cwd.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(ui_text::kAutoCloseMessagesEnv, "1");
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("VANTEL3_UPDATER"), args);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QString stdoutText = QString::fromUtf8(process.readAllStandardOutput());
    const QString stderrText = QString::fromUtf8(process.readAllStandardError());
    if (!out.isEmpty()) QVERIFY2(stdoutText.startsWith(out), qPrintable(stdoutText));
    if (!err.isEmpty()) QVERIFY2(stderrText.contains(err), qPrintable(stderrText));
    if (status == 2) {
      // One line of complaint (the toolkit may add its own notes).
      QCOMPARE(stderrText.count(QStringLiteral("vantel3-updater: ")), 1);
    }
  }

  // Whole updates on the simulated device, through the real window and the real worker, on
  // the virtual clock with the scenario's user clicking.
  void simulatedUpdateThroughTheWindow_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("endText");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("updateProgress");
    const QString success = QString::fromUtf8(msg::kSuccess);
    const QString failed = QStringLiteral("VANTEL 3.5.2 version update failed, please try again.");
    QTest::newRow("second generation, own Bluetooth upgrade")
        << QStringLiteral("ru3r-gen2-usb") << success << QStringLiteral("Exit") << 1 << 100;
    QTest::newRow("first generation")
        << QStringLiteral("gen1-vo3") << success << QStringLiteral("Exit") << 1 << 100;
    QTest::newRow("device in firmware-upgrade mode at start")
        << QStringLiteral("dfu-mode-at-start") << success << QStringLiteral("Exit") << 1 << 100;
    QTest::newRow("SD0 never closes")
        << QStringLiteral("sd0-never-closes") << failed << QStringLiteral("Retry") << 1 << 30;
    QTest::newRow("SD1 never opens, one retry")
        << QStringLiteral("sd1-never-opens") << failed << QStringLiteral("Retry") << 2 << 30;
  }
  void simulatedUpdateThroughTheWindow() {
    QFETCH(QString, scenario);
    QFETCH(QString, endText);
    QFETCH(QString, caption);
    QFETCH(int, workers);
    QFETCH(int, updateProgress);
    AppOptions options;
    options.simulate = true;
    options.virtualClock = true;
    options.scenario =
        std::string(VANTEL3_SOURCE_DIR) + "/scenarios/" + scenario.toStdString() + ".json";
    std::string error;
    int status = 0;
    std::unique_ptr<SystemServices> system = MakeSystemServices();
    std::unique_ptr<AppSession> session = AppSession::Create(options, *system, error, status);
    QVERIFY2(session != nullptr, error.c_str());
    CVantel3UpdaterApp app(session->Environment(), session->Worker());
    std::vector<int> abrupt;
    app.SetExitHook([&abrupt](int s) { abrupt.push_back(s); });
    session->Attach(app);
    QCOMPARE(app.Start(), 0);
    CVantel3UpdaterDlg& d = *app.dialog();
    d.show();
    // The scripted user ends every run with Exit (or by closing the window after a failure).
    QTRY_VERIFY_WITH_TIMEOUT(!d.isVisible(), 60000);
    QTRY_VERIFY(!app.launcher().Running());
    QVERIFY(abrupt.empty());
    QCOMPARE(app.launcher().StartedCount(), workers);
    // The person retrying restarts the device first, once before each new run.
    const std::vector<std::string> events = session->session().workspace()->device().Events();
    const auto restarts = std::count_if(events.begin(), events.end(), [](const std::string& e) {
      return e.find("restarted by the user") != std::string::npos;
    });
    QCOMPARE(static_cast<int>(restarts), workers - 1);
    QVERIFY(d.endView()->isVisible() || d.endView()->isVisibleTo(&d));
    QCOMPARE(d.endView()->messageLabel()->text(), endText);
    QCOMPARE(d.endView()->endButton()->text(), caption);
    QCOMPARE(d.updateView()->progressBar()->value(), updateProgress);
    QVERIFY(d.checkView()->isHidden());
  }

  void closingTheWindowEndsTheProcess_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("abrupt");
    QTest::newRow("worker sending requests") << QStringLiteral("close-in-requests") << true;
    QTest::newRow("failure box open") << QStringLiteral("close-in-message") << true;
    QTest::newRow("worker blocked elsewhere") << QStringLiteral("close-sleeping") << true;
    QTest::newRow("Exit after the run") << QStringLiteral("exit-button") << false;
  }
  void closingTheWindowEndsTheProcess() {
    QFETCH(QString, mode);
    QFETCH(bool, abrupt);
    QProcess process;
    process.start(TestApp(), {mode});
    // A hang fails here instead of the test waiting for ever.
    QVERIFY2(process.waitForFinished(60000), qPrintable(mode));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(err.contains("abrupt exit"), abrupt);
  }
};

QTEST_MAIN(GuiTest)
#include "gui_test.moc"
