#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/helper_setup.hpp"

namespace nubrik::test {

// Helper setup's operations as a test sees them. Every call is recorded in `calls`. The
// registration status is answered at once with `registration` unless `holdStatusReads` is set;
// every other completion, and all delayed work, waits in a queue until the test answers it.
// The dependencies point back at this object, so it stays where it was made.
struct HelperSetupFakes {
  HelperSetupFakes() = default;
  HelperSetupFakes(const HelperSetupFakes&) = delete;
  HelperSetupFakes& operator=(const HelperSetupFakes&) = delete;

  RegistrationStatus registration = RegistrationStatus::notRegistered;
  bool holdStatusReads = false;
  bool developerHelper = false;
  GuiStatus status = GuiStatus::confirmedIdle();
  Date now = dateFromUnixSeconds(1'800'000'000);

  std::vector<std::string> calls;
  std::deque<std::function<void(RegistrationStatus)>> statusReads;
  std::deque<std::function<void(HealthProbeResult)>> probes;
  std::deque<RegistrationCompletion> registers;
  std::deque<RegistrationCompletion> unregisters;
  std::deque<std::function<void(HelperRestartOutcome)>> restarts;
  std::deque<std::function<void()>> scheduled;
  std::vector<double> delays;

  HelperSetupDependencies dependencies() {
    HelperSetupDependencies deps;
    deps.registrationStatus = [this](std::function<void(RegistrationStatus)> done) {
      calls.push_back("status");
      holdStatusReads ? statusReads.push_back(std::move(done)) : done(registration);
    };
    deps.registerHelper = queueIn(registers, "register");
    deps.unregisterHelper = queueIn(unregisters, "unregister");
    deps.probeHealth = queueIn(probes, "probe");
    deps.requestRestart = queueIn(restarts, "restart");
    deps.developerHelperExists = [this] { return developerHelper; };
    deps.schedule = [this](double seconds, std::function<void()> work) {
      delays.push_back(seconds);
      scheduled.push_back(std::move(work));
    };
    deps.publicStatus = [this] { return status; };
    deps.now = [this] { return now; };
    deps.openLoginItems = [this] { calls.push_back("openLoginItems"); };
    return deps;
  }

  // A request that records `name` and leaves its completion waiting in `pending`.
  template <typename Completion>
  std::function<void(Completion)> queueIn(std::deque<Completion>& pending, const char* name) {
    return [this, &pending, name](Completion done) {
      calls.push_back(name);
      pending.push_back(std::move(done));
    };
  }

  // Hands `values` to the oldest completion waiting in `pending`; false when none waits.
  template <typename Completion, typename... Values>
  static bool answerOldest(std::deque<Completion>& pending, Values... values) {
    if (pending.empty()) return false;
    Completion completion = std::move(pending.front());
    pending.pop_front();
    completion(std::move(values)...);
    return true;
  }
  bool answerProbe(HealthProbeResult result) { return answerOldest(probes, std::move(result)); }
};

}  // namespace nubrik::test
