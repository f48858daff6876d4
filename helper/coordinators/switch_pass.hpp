#pragma once

// The one walk over the network configuration that every coordinator takes: list the three kinds
// of switch, then change what the coordinator's own rule wants, logging each step in one voice.
// Not part of the coordinators' interface; only their own sources include this.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helper/net/network_switches.hpp"

namespace nubrik {

using LogOperation = std::function<void(const std::string&)>;

// Services whose name contains "loopback" in any letter case are never switched. The folding is
// ASCII-only: service names are ASCII in practice, and a wider folding would gain nothing here.
bool containsLoopback(std::string_view name);

// Whether a pass leaves the switch alone whatever its rule: a loopback-named service, or an
// interface the backend spares (a backend that cannot tell spares nothing, so the restoring
// passes then fail open).
bool skipsSwitch(NetworkSwitches& network, SwitchKind kind, const std::string& name);

// The description of the exception being handled: its what() (by house convention its default
// textual form), or a generic text for anything that is not a std::exception. Call only from
// inside a catch handler.
std::string describeCurrentException();

// A log line must never break a pass, whatever the log operation does.
void logLine(const LogOperation& log, const std::string& message);

// Runs a publication or notification; its failure must not undo or interrupt the decision
// already taken, so it is swallowed.
void runGuarded(const std::function<void()>& operation);

// One step a pass takes for one switch.
struct SwitchStep {
  enum class Action {
    change,        // switch it to `on`
    stateUnknown,  // its state could not be read: a failure, nothing is changed
    vanished,      // recorded but no longer listed: passed over
  };
  // How a change is told in the log.
  enum class Wording {
    plain,               // "disabled service A"
    restored,            // "restored service A"
    addedDuringSession,  // "enabled service A added during session"
    legacyFailOpen,      // "legacy fail-open brought interface en0 up"
  };
  Action action = Action::change;
  std::string name;
  bool on = false;
  Wording wording = Wording::plain;
};
using SwitchSteps = std::vector<SwitchStep>;

// What a coordinator wants of the switches of one kind, given their listing with the skipped
// ones already left out.
using SwitchPlan = std::function<SwitchSteps(SwitchKind kind, const SwitchReadings& listed)>;

struct SwitchPass {
  std::string_view area;   // the log's area: "enforcement", "restoration", ...
  std::string_view retry;  // ends every failure line: "; will retry" or nothing
  Listing listing = Listing::switchable;
  SwitchPlan plan;
};

struct SwitchPassResult {
  bool listed = false;   // all three listings were taken
  bool changed = false;  // at least one change was made
  bool failed = false;   // a listing, a state or a change failed
};

// Lists services, Wi-Fi devices and interfaces, in that order, and only then changes anything:
// the first listing that fails is logged as "<area>: <service|Wi-Fi|interface> discovery failed
// (<error>)<retry>" and nothing is changed. Then, kind by kind, takes the plan's steps in order.
// Never throws.
SwitchPassResult runSwitchPass(NetworkSwitches& network, const SwitchPass& pass,
                               const LogOperation& log);

// Takes the steps for switches of one kind known without a listing (the kernel announced them),
// logging and counting as runSwitchPass does. Never throws.
SwitchPassResult applySwitchSteps(NetworkSwitches& network, const SwitchPass& pass, SwitchKind kind,
                                  const SwitchSteps& steps, const LogOperation& log);

// A plan that wants every listed switch in one state.
SwitchPlan everyListedSwitch(bool on);

}  // namespace nubrik
