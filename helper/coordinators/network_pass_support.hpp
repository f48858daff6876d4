#pragma once

// Helpers shared by the coordinators that walk the network configuration. Not part of the
// coordinators' interface; only their own sources include this.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "helper/net/network_operations.hpp"

namespace nubrik {

using LogOperation = std::function<void(const std::string&)>;
using ChangeOperation = std::function<bool(const std::string&, bool)>;
using SparePredicate = std::function<bool(const std::string&)>;

// Services whose name contains "loopback" in any letter case are never switched. The folding is
// ASCII-only: service names are ASCII in practice, and a wider folding would gain nothing here.
bool containsLoopback(std::string_view name);

// Whether the backend never switches the interface; which ones it spares is its own rule. A
// predicate that is missing or throws spares nothing beyond what the listings already leave
// out: the restoring passes then fail open, and the passes that switch things off only ever see
// listings from which the backend has left its spared interfaces out.
bool isSpared(const SparePredicate& sparesInterface, const std::string& name);

// The description of the exception being handled: its what() (by house convention its default
// textual form), or a generic text for anything that is not a std::exception. Call only from
// inside a catch handler.
std::string describeCurrentException();

// A log line must never break a pass, whatever the log operation does.
void logLine(const LogOperation& log, const std::string& message);

// A change that throws (or is missing) counts as a failed change.
bool applyChange(const ChangeOperation& change, const std::string& name, bool on);

// Runs a publication or notification; its failure must not undo or interrupt the decision
// already taken, so it is swallowed.
void runGuarded(const std::function<void()>& operation);

// The three listings a pass takes before it changes anything.
struct NetworkListings {
  NameList services;
  NameList devices;
  NameList interfaces;
};

// Lists services, Wi-Fi devices and interfaces, in that order. The first listing that fails is
// logged as "<area>: <service|Wi-Fi|interface> discovery failed (<error>)<suffix>" and nothing
// is returned, so a failed listing never leads to a change.
std::optional<NetworkListings> takeListings(const std::function<NameList()>& discoverServices,
                                            const std::function<NameList()>& discoverWifiDevices,
                                            const std::function<NameList()>& discoverInterfaces,
                                            const LogOperation& log, std::string_view area,
                                            std::string_view suffix);

// The production network operations, built on first use rather than up front. A production
// record can then always be built (and a coordinator always run): a backend that cannot start
// surfaces as a failed listing of the pass that needed it, which every pass already handles.
NetworkOperations deferredProductionNetwork();

}  // namespace nubrik
