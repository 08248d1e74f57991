// The start-up baseline: a bare Qt Widgets program that shows one QLabel. With
// VANTEL3_REPORT_FIRST_VIEW=1 it prints, as the updater does, one line on stderr when the
// label first paints, and runs on until it is killed or the window closes.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class FirstPaintReporter final : public QObject {
 public:
  explicit FirstPaintReporter(QObject* label) : label_(label) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!reported_ && watched == label_ && event->type() == QEvent::Paint) {
      reported_ = true;
      std::fputs("bare label: first view shown\n", stderr);
      std::fflush(stderr);
    }
    return false;
  }

 private:
  QObject* label_;
  bool reported_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral("Vantel 3"));
  FirstPaintReporter reporter(&label);
  const char* report = std::getenv("VANTEL3_REPORT_FIRST_VIEW");
  if (report != nullptr && std::strcmp(report, "1") == 0) app.installEventFilter(&reporter);
  label.show();
  return app.exec();
}
