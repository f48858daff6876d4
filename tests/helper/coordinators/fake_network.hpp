#pragma once

// An in-memory network for the coordinator tests. Every listing and change is journaled
// ("list wifi", "set service A off") so that tests can check order and absence.

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "helper/net/network_switches.hpp"

namespace nubrik::test {

struct FakeNetwork final : NetworkSwitches {
  // Listed names by kind: "services", "wifi", "interfaces".
  std::map<std::string, NameList> listed;
  // Listings that throw; the error's what() is "<kind> down".
  std::set<std::string> failingListings;
  // Live state by "service A", "wifi en0", "interface en0"; a missing entry cannot be told.
  std::map<std::string, bool> state;
  // Changes that report failure, by the same keys.
  std::set<std::string> failingChanges;

  // The backend's rule of which interfaces it never switches; by default the tools' rule, every
  // name beginning "lo". Not journaled: it is a rule, not a call on the system.
  std::function<bool(const std::string&)> sparing = [](const std::string& name) {
    return name.starts_with("lo");
  };

  std::vector<std::string> calls;
  std::vector<std::string> logLines;

  static std::string listingName(SwitchKind kind) {
    return kind == SwitchKind::service ? "services"
           : kind == SwitchKind::wifi  ? "wifi"
                                       : "interfaces";
  }
  static std::string stateName(SwitchKind kind) {
    return kind == SwitchKind::service ? "service"
           : kind == SwitchKind::wifi  ? "wifi"
                                       : "interface";
  }

  SwitchReadings read(SwitchKind kind, Listing) override {
    const std::string name = listingName(kind);
    calls.push_back("list " + name);
    if (failingListings.contains(name)) throw std::runtime_error(name + " down");
    SwitchReadings readings;
    for (const std::string& listedName : listed[name]) {
      const auto found = state.find(stateName(kind) + " " + listedName);
      readings.push_back(
          {listedName, found == state.end() ? std::nullopt : std::optional<bool>(found->second)});
    }
    return readings;
  }
  bool set(SwitchKind kind, const std::string& name, bool on) override {
    const std::string key = stateName(kind) + " " + name;
    const char* word = kind == SwitchKind::interface ? (on ? "up" : "down") : (on ? "on" : "off");
    calls.push_back("set " + key + " " + word);
    if (failingChanges.contains(key)) return false;
    state[key] = on;
    return true;
  }
  bool sparesInterface(const std::string& name) override { return sparing && sparing(name); }

  std::function<void(const std::string&)> log() {
    return [this](const std::string& line) { logLines.push_back(line); };
  }

  std::vector<std::string> changes() const {
    std::vector<std::string> out;
    for (const std::string& call : calls) {
      if (call.starts_with("set ")) out.push_back(call);
    }
    return out;
  }
};

}  // namespace nubrik::test
