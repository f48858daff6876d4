// Put in the place of the installed desktop program by the desktop end-to-end test: the real app,
// started by `tamsel gui` as any user starts it, driven through its window as a person would. It
// writes what it sees, step by step, to $NUBRIK_DRIVER_OUT/driver.log, leaves a marker file
// there at each step the test waits for, and exits 0 once every step passed (1 on the first that
// did not come within its time).
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/status_monitor.hpp"
#include "app/ui/desktop_app.hpp"
#include "app/ui/desktop_main.hpp"
#include "app/ui/glowing_countdown.hpp"
#include "app/ui/main_window.hpp"

namespace nubrik {
namespace {

QString outDirectory() {
  return qEnvironmentVariable("NUBRIK_DRIVER_OUT", "/tmp");
}

void note(const QString& line) {
  QFile log(outDirectory() + "/driver.log");
  if (log.open(QIODevice::Append | QIODevice::Text)) log.write((line + "\n").toUtf8());
}

void mark(const QString& name) {
  QFile marker(outDirectory() + "/" + name);
  if (marker.open(QIODevice::WriteOnly)) marker.close();
}

// One step: a condition to wait for and what to do once it holds.
struct Step {
  QString name;
  std::function<bool()> ready;
  std::function<void()> act;
  int timeoutSeconds = 30;
};

class Scenario final : public QObject {
 public:
  explicit Scenario(DesktopApp& app) : app_(app) {
    steps_ = {
        // A first start shows how the app works, over the idle screen.
        {"onboarding", [this] { return sheetButton("gotItButton") != nullptr; },
         [this] { sheetButton("gotItButton")->click(); }},
        {"idle screen, Go Offline enabled",
         [this] {
           return screen() == "idleScreen" && button("goOfflineButton") &&
                  button("goOfflineButton")->isEnabled();
         },
         [this] {
           button("presetCustom")->click();
           auto* entry = window()->findChild<QLineEdit*>("durationEntry");
           entry->clear();
           QTest::keyClicks(entry, "20");
           QTest::keyClick(entry, Qt::Key_Return);
           note("caption: " + label("durationCaption"));
           button("goOfflineButton")->click();
         }},
        {"confirm sheet", [this] { return sheetButton("startOfflineSessionButton") != nullptr; },
         [this] {
           note("confirm: " + window()->openSheet()->findChild<QLabel*>("sheetMessage")->text());
           sheetButton("startOfflineSessionButton")->click();
         }},
        {"active screen", [this] { return screen() == "activeScreen"; },
         [this] {
           auto* countdown = window()->findChild<GlowingCountdown*>("countdown");
           note("countdown: " + countdown->numerals() + " / " + countdown->label());
           note("back online: " + label("backOnlineLabel"));
           mark("active");
           button("requestEarlyUnlockButton")->click();
         }},
        {"early-unlock sheet",
         [this] { return sheetButton("requestEarlyUnlockConfirmButton") != nullptr; },
         [this] { sheetButton("requestEarlyUnlockConfirmButton")->click(); }},
        {"early unlock pending",
         [this] {
           return visible("earlyUnlockPendingLabel") && visible("cancelEarlyUnlockButton");
         },
         [this] {
           note("pending: " + label("earlyUnlockPendingLabel"));
           button("cancelEarlyUnlockButton")->click();
         }},
        {"early unlock cancelled",
         [this] {
           // The status monitor, which raises the completion alert, has seen the session too.
           return visible("requestEarlyUnlockButton") && !visible("earlyUnlockPendingLabel") &&
                  app_.monitor().status().isConfirmedActive();
         },
         [this] {
           note("cancelled: request offered again");
           mark("awaiting-recovery");
         }},
        {"back online",
         [this] {
           return screen() == "idleScreen" && label("idleHeading") == "You're back online.";
         },
         [this] { note("idle: " + label("idleHeading")); }},
        // The alert goes out on the bus thread; give it a moment before leaving.
        {"settled", [this] { return ++settleTicks_ > 60; }, [] { QApplication::exit(0); }},
    };
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_.start();
    clock_.start();
  }

 private:
  MainWindow* window() const { return app_.window(); }
  QString screen() const {
    return window() && window()->currentScreen() ? window()->currentScreen()->objectName()
                                                 : QString();
  }
  QPushButton* button(const char* name) const {
    return window() ? window()->findChild<QPushButton*>(name) : nullptr;
  }
  QPushButton* sheetButton(const char* name) const {
    QDialog* sheet = window() ? window()->openSheet() : nullptr;
    return sheet ? sheet->findChild<QPushButton*>(name) : nullptr;
  }
  QString label(const char* name) const {
    auto* found = window() ? window()->findChild<QLabel*>(name) : nullptr;
    return found ? found->text() : QString();
  }
  bool visible(const char* name) const {
    auto* widget = window() ? window()->findChild<QWidget*>(name) : nullptr;
    return widget && !widget->isHidden();
  }

  void poll() {
    if (next_ >= steps_.size()) return;
    Step& step = steps_[next_];
    if (step.ready()) {
      note("step: " + step.name);
      ++next_;
      clock_.restart();
      step.act();
      return;
    }
    if (clock_.elapsed() > step.timeoutSeconds * 1000) {
      note("timed out: " + step.name + " (screen " + screen() + ")");
      QApplication::exit(1);
    }
  }

  DesktopApp& app_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int settleTicks_ = 0;
  QTimer timer_;
  QElapsedTimer clock_;
};

}  // namespace
}  // namespace nubrik

int main(int argc, char** argv) {
  std::unique_ptr<nubrik::Scenario> scenario;
  return nubrik::runDesktopApp(argc, argv, [&scenario](nubrik::DesktopApp& app) {
    scenario = std::make_unique<nubrik::Scenario>(app);
  });
}
