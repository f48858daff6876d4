// A main window over fakes: the session client's connections are FakeHelperConnections the test
// answers, the status is whatever the test says it is, and the helper is set up and ready.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "app/session_client.hpp"
#include "app/ui/main_window.hpp"
#include "core/nubrik_xpc.hpp"
#include "tests/app/helper_setup_fakes.hpp"
#include "tests/app/session_client_fakes.hpp"

namespace nubrik::test {

inline const Date fixtureNow = dateFromUnixSeconds(1'800'000'000);

class MainWindowFixture {
 public:
  MainWindowFixture() {
    client_ = std::make_unique<SessionClient>(SessionClientDependencies{
        &queue,
        [] { return std::optional<std::string>("TEAM"); },
        [this](const HelperConnectionOptions&) -> std::shared_ptr<HelperConnection> {
          connections.push_back(std::make_shared<FakeHelperConnection>());
          return connections.back();
        },
        {},
    });
    setupFakes_.registration = RegistrationStatus::enabled;
    setup_ = std::make_unique<HelperSetup>(setupFakes_.dependencies());
    setup_->refresh();
    setupFakes_.answerProbe(HealthProbeResult::ready(nubrikHelperVersion));
  }

  // A new window; the test owns it until it closes itself.
  MainWindow* openWindow() {
    MainWindowContext context;
    context.view.mainQueue = &queue;
    context.view.client = client_.get();
    context.view.setup = setup_.get();
    context.view.readStatus = [this](std::function<void(GuiStatusDetail)> completion) {
      ++statusReads;
      if (deferReads) {
        deferred.push_back(std::move(completion));
      } else {
        completion(status);
      }
    };
    context.view.now = [this] { return now; };
    context.timeString = [](Date) { return std::string("10:30"); };
    context.onboardingSeen = [this] { return onboardingSeen; };
    context.makeOnboardingSheet = [this](QWidget* parent) {
      ++onboardingOpened;
      return new QDialog(parent);
    };
    context.runsTickTimer = false;
    window = new MainWindow(std::move(context));
    return window;
  }

  // Shows a reading and lets the window take it.
  void read(const GuiStatusDetail& detail) {
    status = detail;
    window->view().refreshStatus();
  }
  static GuiStatusDetail active(double secondsLeft, bool pending = false) {
    return {GuiStatus::confirmedActive(addSeconds(fixtureNow, secondsLeft),
                                       static_cast<std::int64_t>(secondsLeft)),
            pending};
  }
  static GuiStatusDetail idle() { return {GuiStatus::confirmedIdle(), false}; }
  static GuiStatusDetail unavailable(StatusUnavailableReason reason) {
    return {GuiStatus::unavailable(reason), false};
  }

  template <typename T>
  T* find(const char* name) const {
    return window->findChild<T*>(name);
  }
  QString text(const char* labelName) const {
    auto* label = find<QLabel>(labelName);
    return label ? label->text() : QString("<no %1>").arg(labelName);
  }

  FakeMainQueue queue;
  GuiStatusDetail status = unavailable(StatusUnavailableReason::missing);
  Date now = fixtureNow;
  bool onboardingSeen = true;
  int onboardingOpened = 0;
  int statusReads = 0;
  // Readings wait in `deferred` until the test delivers them.
  bool deferReads = false;
  std::vector<std::function<void(GuiStatusDetail)>> deferred;
  std::vector<std::shared_ptr<FakeHelperConnection>> connections;
  QPointer<MainWindow> window;

  ~MainWindowFixture() {
    delete window.data();
    for (auto& connection : connections) connection->forgetEverything();
  }

 private:
  std::unique_ptr<SessionClient> client_;
  HelperSetupFakes setupFakes_;
  std::unique_ptr<HelperSetup> setup_;
};

}  // namespace nubrik::test
