#pragma once

// An in-memory network for the coordinator tests. Every call is journaled ("list wifi",
// "query interface en0", "set service A off") so that tests can check order and absence.

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "helper/net/network_operations.hpp"

namespace nubrik::test {

struct FakeNetwork {
  // Listed names by kind: "services", "wifi", "interfaces".
  std::map<std::string, NameList> listed;
  // Listings that throw; the error's what() is "<kind> down".
  std::set<std::string> failingListings;
  // Live state by "service A", "wifi en0", "interface en0"; a missing entry fails its query.
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

  std::function<NameList()> list(const std::string& kind) {
    return [this, kind] {
      calls.push_back("list " + kind);
      if (failingListings.contains(kind)) throw std::runtime_error(kind + " down");
      return listed[kind];
    };
  }
  std::function<std::optional<bool>(const std::string&)> stateOf(const std::string& kind) {
    return [this, kind](const std::string& name) -> std::optional<bool> {
      calls.push_back("query " + kind + " " + name);
      const auto found = state.find(kind + " " + name);
      return found == state.end() ? std::nullopt : std::optional<bool>(found->second);
    };
  }
  std::function<bool(const std::string&)> query(const std::string& kind) {
    return [probe = stateOf(kind)](const std::string& name) {
      if (const auto value = probe(name)) return *value;
      throw std::runtime_error("query failed");
    };
  }
  std::function<bool(const std::string&, bool)> set(const std::string& kind) {
    return [this, kind](const std::string& name, bool on) {
      const std::string key = kind + " " + name;
      const char* word = kind == "interface" ? (on ? "up" : "down") : (on ? "on" : "off");
      calls.push_back("set " + key + " " + word);
      if (failingChanges.contains(key)) return false;
      state[key] = on;
      return true;
    };
  }
  std::function<bool(const std::string&)> spares() {
    return [this](const std::string& name) { return sparing(name); };
  }
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
