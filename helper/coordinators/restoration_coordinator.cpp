#include "helper/coordinators/restoration_coordinator.hpp"

#include <algorithm>
#include <set>
#include <utility>

#include "helper/context/helper.hpp"
#include "helper/coordinators/switch_pass.hpp"

namespace nubrik {

namespace {

// The recorded switches of one kind, name and state, in the record's order. None for a record
// from before interfaces were captured.
std::optional<std::vector<std::pair<std::string, bool>>> recorded(const OfflineSession& session,
                                                                  SwitchKind kind) {
  std::vector<std::pair<std::string, bool>> states;
  switch (kind) {
    case SwitchKind::service:
      for (const ServiceState& service : session.services) {
        states.emplace_back(service.name, service.wasEnabled);
      }
      break;
    case SwitchKind::wifi:
      states.assign(session.wifiPower.begin(), session.wifiPower.end());
      break;
    case SwitchKind::interface:
      if (!session.interfaces) return std::nullopt;
      for (const InterfaceState& interface : *session.interfaces) {
        states.emplace_back(interface.name, interface.wasUp);
      }
      break;
  }
  return states;
}

// Recorded switches go back to how they were, on or off; whatever appeared during the session is
// switched on, so a restore never leaves a new adapter off. A record from before interfaces were
// captured does not say which were down: every interface is brought up.
SwitchPlan restoreRecord(NetworkSwitches& network, const OfflineSession& session) {
  return [&network, &session](SwitchKind kind, const SwitchReadings& listed) {
    using Step = SwitchStep;
    SwitchSteps steps;
    const auto record = recorded(session, kind);
    if (!record) {
      for (const SwitchReading& reading : listed) {
        steps.push_back({Step::Action::change, reading.name, true, Step::Wording::legacyFailOpen});
      }
      return steps;
    }
    std::set<std::string> present;
    for (const SwitchReading& reading : listed) present.insert(reading.name);
    std::set<std::string> inRecord;
    for (const auto& [name, wasOn] : *record) {
      inRecord.insert(name);
      // Recorded names are asked about too: a record holds the skipped switches as well.
      if (skipsSwitch(network, kind, name)) continue;
      steps.push_back({present.contains(name) ? Step::Action::change : Step::Action::vanished, name,
                       wasOn, Step::Wording::restored});
    }
    for (const SwitchReading& reading : listed) {
      if (inRecord.contains(reading.name)) continue;
      steps.push_back(
          {Step::Action::change, reading.name, true, Step::Wording::addedDuringSession});
    }
    return steps;
  };
}

}  // namespace

RestorationCoordinator::RestorationCoordinator(NetworkSwitches& network,
                                               RecoveryReporting reporting,
                                               std::function<void()> deleteSession,
                                               std::function<void()> notifyRestored)
    : network_(network),
      reporting_(std::move(reporting)),
      deleteSession_(std::move(deleteSession)),
      notifyRestored_(std::move(notifyRestored)) {}

bool RestorationCoordinator::restore(const OfflineSession& session) const {
  const RecoveryReporting& r = reporting_;
  logLine(r.log, "restoration: restoring expired session " + session.id);

  const SwitchPassResult result = runSwitchPass(
      network_,
      {"restoration", "; will retry", Listing::switchable, restoreRecord(network_, session)},
      r.log);
  if (result.failed) {
    // The record stays exactly as it was: it is the only account of what to restore.
    runGuarded(r.publishPending);
    return false;
  }
  try {
    deleteSession_();
  } catch (...) {
    logLine(r.log, "restoration: network restore succeeded but session could not be deleted (" +
                       describeCurrentException() + "); will retry");
    runGuarded(r.publishPending);
    return false;
  }
  // The session is gone and the network is back; a failed publication or notification changes
  // neither, so it must not turn this into a failure or escape the tick.
  runGuarded(r.publishIdle);
  runGuarded(notifyRestored_);
  logLine(r.log, "restoration: succeeded; session deleted, network restored");
  return true;
}

RestorationCoordinator restorationCoordinator(Helper& helper, RecoveryReporting reporting,
                                              std::function<void()> notifyRestored) {
  return RestorationCoordinator(
      helper.network(), std::move(reporting), [&helper] { helper.sessions().deleteSession(); },
      std::move(notifyRestored));
}

}  // namespace nubrik
