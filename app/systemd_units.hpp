#pragma once

#include <functional>
#include <string>

namespace nubrik {

// The answer to one request of systemd's manager (org.freedesktop.systemd1.Manager).
struct SystemdCallResult {
  // 0 when an answer came; otherwise the errno of the bus failure: no bus to connect to, a
  // request that could not be sent or read, or ECANCELED when the caller gave up waiting.
  int transportError = 0;
  // An error answer: its D-Bus error name and text. Empty on success.
  std::string errorName;
  std::string errorMessage;
  // GetUnitFileState: the unit file's state ("enabled", "disabled", "masked", ...).
  std::string state;
  // EnableUnitFiles: false when the unit has nothing to enable (no [Install] section).
  bool carriesInstallInfo = true;

  bool succeeded() const { return transportError == 0 && errorName.empty(); }

  static SystemdCallResult success() { return {}; }
  static SystemdCallResult unitFileState(std::string state);
  static SystemdCallResult error(std::string name, std::string message = {});
  static SystemdCallResult transportFailure(int error);
};

// The manager's requests that register the helper's service, one function each. They block until
// systemd answers (or its time-out passes), so they run off the main queue; the functions of one
// set share a connection and are called from one thread at a time.
struct SystemdUnits {
  // GetUnitFileState(unit).
  std::function<SystemdCallResult(const std::string& unit)> getUnitFileState;
  // EnableUnitFiles([unit], runtime = false, force = false).
  std::function<SystemdCallResult(const std::string& unit)> enableUnitFiles;
  // DisableUnitFiles([unit], runtime = false).
  std::function<SystemdCallResult(const std::string& unit)> disableUnitFiles;
  // Reload().
  std::function<SystemdCallResult()> reload;
  // StartUnit(unit, "replace").
  std::function<SystemdCallResult(const std::string& unit)> startUnit;
  // StopUnit(unit, "replace").
  std::function<SystemdCallResult(const std::string& unit)> stopUnit;
};

struct SystemdBusOptions {
  // The bus to talk on; empty means the system bus (DBUS_SYSTEM_BUS_ADDRESS when the process may
  // trust its environment).
  std::string address;
  // When this descriptor becomes readable, a request still waiting gives up with ECANCELED.
  int stopFd = -1;
  // The unit file state is a plain lookup.
  double queryTimeoutSeconds = 10.0;
  // Changes go through polkit, which may ask an administrator for a password first.
  double changeTimeoutSeconds = 120.0;
};

// The requests over sd-bus, allowing polkit to ask for authorization interactively. The
// connection opens at the first request and again after it broke.
SystemdUnits systemdBusUnits(SystemdBusOptions options);

}  // namespace nubrik
