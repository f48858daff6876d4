// Renders every screen and sheet of the desktop app to PNG files, the app driven by a fake status
// source and a fake helper: `tamsel_screenshots OUTPUT_DIR [SUFFIX]`. scripts/screenshots runs it
// on the offscreen platform at 100 % and 200 % scale.
#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <functional>
#include <string>

#include "app/ui/session_sheets.hpp"
#include "tests/app/ui/main_window_fixture.hpp"
#include "tools/screenshots/screenshot_sheets.hpp"

namespace nubrik::test {
namespace {

class Renderer {
 public:
  Renderer(QString directory, QString suffix)
      : directory_(std::move(directory)), suffix_(std::move(suffix)) {}

  void save(QWidget* widget, const QString& name) {
    if (widget == nullptr) {
      std::fprintf(stderr, "error: nothing to render for %s\n", qPrintable(name));
      ok_ = false;
      return;
    }
    widget->show();
    widget->activateWindow();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    const QString path = directory_ + "/" + name + suffix_ + ".png";
    if (!widget->grab().save(path)) {
      std::fprintf(stderr, "error: cannot write %s\n", qPrintable(path));
      ok_ = false;
      return;
    }
    std::printf("%s\n", qPrintable(path));
  }

  bool ok() const { return ok_; }

 private:
  QString directory_;
  QString suffix_;
  bool ok_ = true;
};

void renderWindow(Renderer& renderer, const QString& name,
                  const std::function<void(MainWindowFixture&)>& drive) {
  MainWindowFixture fixture;
  fixture.openWindow();
  fixture.window->resize(MainWindow::minimumWidth, 560);
  drive(fixture);
  renderer.save(fixture.window, name);
}

void renderMainScreens(Renderer& renderer) {
  renderWindow(renderer, "idle", [](MainWindowFixture& f) { f.read(MainWindowFixture::idle()); });
  renderWindow(renderer, "idle-custom-invalid", [](MainWindowFixture& f) {
    f.read(MainWindowFixture::idle());
    f.window->view().beginTypedEntry();
    f.window->view().setTypedText("4");
    f.window->view().commitTypedEntry();
  });
  renderWindow(renderer, "idle-back-online", [](MainWindowFixture& f) {
    f.read(MainWindowFixture::active(30));
    f.read(MainWindowFixture::idle());
  });
  renderWindow(renderer, "starting", [](MainWindowFixture& f) {
    f.read(MainWindowFixture::idle());
    f.window->view().startSession();
    f.now = addSeconds(fixtureNow, 10);
    f.read(MainWindowFixture::unavailable(StatusUnavailableReason::busy));
  });
  renderWindow(renderer, "active",
               [](MainWindowFixture& f) { f.read(MainWindowFixture::active(2 * 3600 + 754)); });
  renderWindow(renderer, "active-early-unlock-pending",
               [](MainWindowFixture& f) { f.read(MainWindowFixture::active(1700, true)); });
  renderWindow(renderer, "restoring",
               [](MainWindowFixture& f) { f.read(MainWindowFixture::active(-3)); });
  renderWindow(renderer, "unavailable", [](MainWindowFixture& f) {
    f.read(MainWindowFixture::unavailable(StatusUnavailableReason::missing));
  });
}

void renderSessionSheets(Renderer& renderer) {
  MainWindowFixture fixture;
  fixture.openWindow();
  ConfirmStartSheet confirm(fixture.window, "10:30");
  renderer.save(&confirm, "sheet-confirm-start");
  EarlyUnlockSheet earlyUnlock(fixture.window);
  renderer.save(&earlyUnlock, "sheet-early-unlock");
  QMessageBox alert(QMessageBox::Warning, "Could not start session",
                    "The helper refused the start request.", QMessageBox::Ok, fixture.window);
  renderer.save(&alert, "alert-start-failed");
}

QtMessageHandler defaultMessageHandler = nullptr;

// The offscreen platform says, for every window, which window-manager requests it ignores; none
// of them changes a picture.
void quietMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg && text.startsWith(QLatin1String("This plugin does not support"))) {
    return;
  }
  defaultMessageHandler(type, context, text);
}

}  // namespace
}  // namespace nubrik::test

int main(int argc, char** argv) {
  nubrik::test::defaultMessageHandler = qInstallMessageHandler(nubrik::test::quietMessageHandler);
  QApplication app(argc, argv);
  // The same pictures on every machine, whatever its language: days and times in US English.
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  if (argc < 2) {
    std::fprintf(stderr, "usage: tamsel_screenshots OUTPUT_DIR [SUFFIX]\n");
    return 2;
  }
  const QString directory = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(directory)) {
    std::fprintf(stderr, "error: cannot create %s\n", argv[1]);
    return 1;
  }
  nubrik::test::Renderer renderer(directory, argc > 2 ? QString::fromLocal8Bit(argv[2]) : "");
  nubrik::test::renderMainScreens(renderer);
  nubrik::test::renderSessionSheets(renderer);
  nubrik::test::renderOtherSheets(
      [&](QWidget* widget, const QString& name) { renderer.save(widget, name); });
  return renderer.ok() ? 0 : 1;
}
