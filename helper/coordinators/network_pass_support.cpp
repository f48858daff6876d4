#include "helper/coordinators/network_pass_support.hpp"

#include <exception>
#include <memory>
#include <mutex>
#include <optional>

namespace nubrik {

namespace {

char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Holds the one backend instance of a production record; built by the first operation called.
class DeferredNetwork {
 public:
  const NetworkOperations& get() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!network_) network_ = NetworkOperations::production();
    return *network_;
  }

 private:
  std::mutex mutex_;
  std::optional<NetworkOperations> network_;
};

}  // namespace

bool containsLoopback(std::string_view name) {
  static constexpr std::string_view needle = "loopback";
  if (name.size() < needle.size()) return false;
  for (std::size_t start = 0; start + needle.size() <= name.size(); ++start) {
    bool matches = true;
    for (std::size_t i = 0; i < needle.size(); ++i) {
      if (asciiLower(name[start + i]) != needle[i]) {
        matches = false;
        break;
      }
    }
    if (matches) return true;
  }
  return false;
}

bool isSpared(const SparePredicate& sparesInterface, const std::string& name) {
  try {
    return sparesInterface && sparesInterface(name);
  } catch (...) {
    return false;
  }
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
    log(message);
  } catch (...) {
  }
}

bool applyChange(const ChangeOperation& change, const std::string& name, bool on) {
  try {
    return change(name, on);
  } catch (...) {
    return false;
  }
}

void runGuarded(const std::function<void()>& operation) {
  try {
    operation();
  } catch (...) {
  }
}

NetworkOperations deferredProductionNetwork() {
  auto shared = std::make_shared<DeferredNetwork>();
  NetworkOperations ops;
  ops.discoverEnabledServices = [shared] { return shared->get().discoverEnabledServices(); };
  ops.discoverAllServices = [shared] { return shared->get().discoverAllServices(); };
  ops.discoverSnapshotServices = [shared] { return shared->get().discoverSnapshotServices(); };
  ops.discoverInterfaces = [shared] { return shared->get().discoverInterfaces(); };
  ops.discoverSnapshotInterfaces = [shared] { return shared->get().discoverSnapshotInterfaces(); };
  ops.discoverWifiDevices = [shared] { return shared->get().discoverWifiDevices(); };
  ops.sparesInterface = [shared](const std::string& name) {
    try {
      return shared->get().sparesInterface(name);
    } catch (...) {
      return false;
    }
  };
  ops.queryServiceEnabledState = [shared](const std::string& name) {
    return shared->get().queryServiceEnabledState(name);
  };
  ops.queryWifiPowerState = [shared](const std::string& name) {
    return shared->get().queryWifiPowerState(name);
  };
  ops.queryInterfaceUpState = [shared](const std::string& name) {
    return shared->get().queryInterfaceUpState(name);
  };
  // The optional and boolean forms never throw: a backend that cannot start means "cannot tell"
  // and "did not change".
  ops.wifiPowerState = [shared](const std::string& name) -> std::optional<bool> {
    try {
      return shared->get().wifiPowerState(name);
    } catch (...) {
      return std::nullopt;
    }
  };
  ops.interfaceAdminState = [shared](const std::string& name) -> std::optional<bool> {
    try {
      return shared->get().interfaceAdminState(name);
    } catch (...) {
      return std::nullopt;
    }
  };
  ops.setServiceEnabled = [shared](const std::string& name, bool on) {
    try {
      return shared->get().setServiceEnabled(name, on);
    } catch (...) {
      return false;
    }
  };
  ops.setWifiPower = [shared](const std::string& name, bool on) {
    try {
      return shared->get().setWifiPower(name, on);
    } catch (...) {
      return false;
    }
  };
  ops.setInterfaceUp = [shared](const std::string& name, bool up) {
    try {
      return shared->get().setInterfaceUp(name, up);
    } catch (...) {
      return false;
    }
  };
  return ops;
}

std::optional<NetworkListings> takeListings(const std::function<NameList()>& discoverServices,
                                            const std::function<NameList()>& discoverWifiDevices,
                                            const std::function<NameList()>& discoverInterfaces,
                                            const LogOperation& log, std::string_view area,
                                            std::string_view suffix) {
  const struct {
    const std::function<NameList()>& discover;
    const char* what;
  } listings[] = {{discoverServices, "service"},
                  {discoverWifiDevices, "Wi-Fi"},
                  {discoverInterfaces, "interface"}};
  NetworkListings result;
  NameList* targets[] = {&result.services, &result.devices, &result.interfaces};
  for (std::size_t i = 0; i < std::size(listings); ++i) {
    try {
      *targets[i] = listings[i].discover();
    } catch (...) {
      logLine(log, std::string(area) + ": " + listings[i].what + " discovery failed (" +
                       describeCurrentException() + ")" + std::string(suffix));
      return std::nullopt;
    }
  }
  return result;
}

}  // namespace nubrik
