#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
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
  struct Delayed {
    double seconds;
    std::function<void()> work;
  };
  std::deque<Delayed> scheduled;
  std::vector<double> delays;

  HelperSetupDependencies dependencies() {
    HelperSetupDependencies deps;
    deps.registrationStatus = [this](std::function<void(RegistrationStatus)> done) {
      calls.push_back("status");
      if (holdStatusReads) {
        statusReads.push_back(std::move(done));
      } else {
        done(registration);
      }
    };
    deps.registerHelper = [this](RegistrationCompletion done) {
      calls.push_back("register");
      registers.push_back(std::move(done));
    };
    deps.unregisterHelper = [this](RegistrationCompletion done) {
      calls.push_back("unregister");
      unregisters.push_back(std::move(done));
    };
    deps.probeHealth = [this](std::function<void(HealthProbeResult)> done) {
      calls.push_back("probe");
      probes.push_back(std::move(done));
    };
    deps.requestRestart = [this](std::function<void(HelperRestartOutcome)> done) {
      calls.push_back("restart");
      restarts.push_back(std::move(done));
    };
    deps.developerHelperExists = [this] { return developerHelper; };
    deps.schedule = [this](double seconds, std::function<void()> work) {
      delays.push_back(seconds);
      scheduled.push_back({seconds, std::move(work)});
    };
    deps.publicStatus = [this] { return status; };
    deps.now = [this] { return now; };
    deps.openLoginItems = [this] { calls.push_back("openLoginItems"); };
    return deps;
  }

  // Hands `value` to the oldest completion waiting in `pending`; false when none waits.
  template <typename Completion, typename Value>
  static bool answerOldest(std::deque<Completion>& pending, Value value) {
    if (pending.empty()) return false;
    Completion completion = std::move(pending.front());
    pending.pop_front();
    completion(std::move(value));
    return true;
  }
  bool answerProbe(HealthProbeResult result) { return answerOldest(probes, std::move(result)); }
};

}  // namespace nubrik::test
