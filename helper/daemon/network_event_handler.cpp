#include "helper/daemon/network_event_handler.hpp"

#include <chrono>
#include <map>
#include <utility>

#include "helper/context/helper.hpp"
#include "helper/transaction/helper_transaction.hpp"

namespace nubrik {

namespace {

// The links the batch last announced as up, each once, in the order first seen: a link announced
// up and then down again (by the daemon's own change, say) needs nothing.
SwitchReadings linksLeftUp(const ChangeBatch& batch) {
  std::map<int, const LinkChange*> last;
  std::vector<int> order;
  for (const LinkChange& link : batch.links) {
    if (last.emplace(link.index, &link).second) {
      order.push_back(link.index);
    } else {
      last[link.index] = &link;
    }
  }
  SwitchReadings up;
  for (const int index : order) {
    const LinkChange& link = *last[index];
    if (link.up && !link.loopback) up.push_back({link.name, true});
  }
  return up;
}

}  // namespace

NetworkEventDependencies NetworkEventDependencies::production(Helper& helper,
                                                              std::function<void()> requestTick) {
  NetworkEventDependencies d;
  d.finding = [&helper] { return helper.tickFinding(); };
  d.sessionStamp = [&helper] { return stampOf(helper.paths().sessionFile); };
  d.now = helper.clock();
  d.runLocked = [&helper](const std::function<void()>& body) {
    try {
      helper.transactions().run(StatusEffect::neutral, [&body](Transaction&) { body(); });
      return true;
    } catch (...) {
      return false;
    }
  };
  d.enforceLinks = [&helper](const SwitchReadings& links) {
    return EnforcementCoordinator(helper.network(), helper.correctionLogOperation())
        .enforceAnnounced(links);
  };
  d.log = helper.correctionLogOperation();
  d.requestTick = std::move(requestTick);
  return d;
}

NetworkEventHandler::NetworkEventHandler(NetworkEventDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

void NetworkEventHandler::handle(const ChangeBatch& batch) const {
  const NetworkEventDependencies& d = dependencies_;
  const TickFinding finding = d.finding();
  switch (finding.state) {
    case TickFinding::State::unknown:
      d.requestTick();
      return;
    case TickFinding::State::idle:
      // A session stored since (by the command line) is the next tick's to enforce.
      if (d.sessionStamp()) d.requestTick();
      return;
    case TickFinding::State::enforcing:
      break;
  }
  if (batch.untold || batch.radioUnblocked) d.requestTick();
  const SwitchReadings up = linksLeftUp(batch);
  if (up.empty()) return;
  // Under the state lock, so that nothing undoes a restore in progress elsewhere (the recover
  // command), and only for the very record the tick enforced, before it ends.
  const bool ran = d.runLocked([&] {
    if (d.sessionStamp() != finding.record || !finding.record || d.now() >= finding.until) {
      d.requestTick();
      return;
    }
    const EnforcementOutcome outcome = d.enforceLinks(up);
    if (const std::string summary = enforcementSummary(outcome); !summary.empty()) {
      d.log(summary);
    }
    if (outcome == EnforcementOutcome::correctionFailed) d.requestTick();
  });
  if (!ran) d.requestTick();
}

}  // namespace nubrik
