#include "helper/coordinators/switch_pass.hpp"

#include <array>
#include <exception>

namespace nubrik {

namespace {

char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string stepText(SwitchKind kind, const SwitchStep& step, bool done) {
  const std::string noun(switchNoun(kind));
  switch (step.wording) {
    case SwitchStep::Wording::plain:
      return switchChangeText(kind, step.name, step.on, done);
    case SwitchStep::Wording::restored:
      return (done ? "restored " : "restore ") + noun + " " + step.name;
    case SwitchStep::Wording::addedDuringSession:
      return switchChangeText(kind, step.name, step.on, done) + " added during session";
    case SwitchStep::Wording::legacyFailOpen:
      return done ? "legacy fail-open " + switchChangeText(kind, step.name, step.on, true)
                  : "legacy fail-open for " + noun + " " + step.name;
  }
  return step.name;
}

// A changed step's line: "<area>: disabled service A", or "<area>: FAILED to disable service
// A<retry>"; the legacy wording reads "FAILED legacy fail-open for ...".
std::string changeLine(const SwitchPass& pass, SwitchKind kind, const SwitchStep& step,
                       bool succeeded) {
  const std::string area = std::string(pass.area) + ": ";
  if (succeeded) return area + stepText(kind, step, true);
  const char* failed =
      step.wording == SwitchStep::Wording::legacyFailOpen ? "FAILED " : "FAILED to ";
  return area + failed + stepText(kind, step, false) + std::string(pass.retry);
}

void takeStep(NetworkSwitches& network, const SwitchPass& pass, SwitchKind kind,
              const SwitchStep& step, const LogOperation& log, SwitchPassResult& result) {
  const std::string area = std::string(pass.area) + ": ";
  switch (step.action) {
    case SwitchStep::Action::vanished:
      logLine(log, area + std::string(switchDeviceNoun(kind)) + " " + step.name +
                       " no longer present; skipping");
      return;
    case SwitchStep::Action::stateUnknown:
      logLine(log, area + std::string(switchNoun(kind)) + " state query failed for " + step.name +
                       std::string(pass.retry));
      result.failed = true;
      return;
    case SwitchStep::Action::change:
      break;
  }
  bool succeeded = false;
  try {
    succeeded = network.set(kind, step.name, step.on);
  } catch (...) {
    // A change that throws counts as a failed change.
  }
  logLine(log, changeLine(pass, kind, step, succeeded));
  (succeeded ? result.changed : result.failed) = true;
}

}  // namespace

bool containsLoopback(std::string_view name) {
  static constexpr std::string_view needle = "loopback";
  for (std::size_t start = 0; start + needle.size() <= name.size(); ++start) {
    bool matches = true;
    for (std::size_t i = 0; i < needle.size() && matches; ++i) {
      matches = asciiLower(name[start + i]) == needle[i];
    }
    if (matches) return true;
  }
  return false;
}

bool skipsSwitch(NetworkSwitches& network, SwitchKind kind, const std::string& name) {
  switch (kind) {
    case SwitchKind::service:
      return containsLoopback(name);
    case SwitchKind::wifi:
      return false;
    case SwitchKind::interface:
      try {
        return network.sparesInterface(name);
      } catch (...) {
        return false;
      }
  }
  return false;
}

std::string describeCurrentException() {
  try {
    throw;
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "unknown error";
  }
}

void logLine(const LogOperation& log, const std::string& message) {
  try {
    if (log) log(message);
  } catch (...) {
  }
}

void runGuarded(const std::function<void()>& operation) {
  try {
    if (operation) operation();
  } catch (...) {
  }
}

SwitchPassResult runSwitchPass(NetworkSwitches& network, const SwitchPass& pass,
                               const LogOperation& log) {
  SwitchPassResult result;
  std::array<SwitchReadings, std::size(switchKinds)> listed;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const SwitchKind kind = switchKinds[i];
    try {
      for (SwitchReading& reading : network.read(kind, pass.listing)) {
        if (!skipsSwitch(network, kind, reading.name)) listed[i].push_back(std::move(reading));
      }
    } catch (...) {
      logLine(log, std::string(pass.area) + ": " + std::string(switchNoun(kind)) +
                       " discovery failed (" + describeCurrentException() + ")" +
                       std::string(pass.retry));
      result.failed = true;
      return result;
    }
  }
  result.listed = true;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    SwitchSteps steps;
    try {
      steps = pass.plan(switchKinds[i], listed[i]);
    } catch (...) {
      result.failed = true;  // out of memory: the next pass tries again
      continue;
    }
    for (const SwitchStep& step : steps) {
      takeStep(network, pass, switchKinds[i], step, log, result);
    }
  }
  return result;
}

SwitchPassResult applySwitchSteps(NetworkSwitches& network, const SwitchPass& pass, SwitchKind kind,
                                  const SwitchSteps& steps, const LogOperation& log) {
  SwitchPassResult result;
  result.listed = true;
  for (const SwitchStep& step : steps) takeStep(network, pass, kind, step, log, result);
  return result;
}

SwitchPlan everyListedSwitch(bool on) {
  return [on](SwitchKind, const SwitchReadings& listed) {
    SwitchSteps steps;
    for (const SwitchReading& reading : listed) {
      steps.push_back({SwitchStep::Action::change, reading.name, on});
    }
    return steps;
  };
}

}  // namespace nubrik
