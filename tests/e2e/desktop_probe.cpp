// Stands in for the installed desktop program: it reports, one "key=value" line each, what it
// was started with (its groups, secure execution, the variables it must not see, its broker),
// then asks the helper for a health check through the session client as the desktop app does,
// and sends one raw HealthCheck of its own to show the helper's verdict by name.
//
//   nubrik-e2e-desktop-probe
//
// Started by `tamsel gui` it uses the broker that tamsel left it; started directly it has none
// and connects to the system bus itself.
#include <stdlib.h>
#include <sys/auxv.h>
#include <sys/prctl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/blocking_session_client.hpp"
#include "app/broker_client.hpp"
#include "app/bus_broker.hpp"
#include "app/session_client.hpp"
#include "core/peer_authorization.hpp"

namespace {

std::string variable(const char* name) {
  const char* value = ::getenv(name);
  return value ? value : "unset";
}

std::string groups() {
  std::vector<gid_t> list(static_cast<std::size_t>(::getgroups(0, nullptr)) + 1);
  const int count = ::getgroups(static_cast<int>(list.size()), list.data());
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(list[i]);
  return text;
}

// The parent of a process, from /proc/PID/stat (readable for any process).
pid_t parentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 1));
  char state = 0;
  pid_t parent = -1;
  fields >> state >> parent;
  return parent;
}

// "ready VERSION", or "failed" for any other result.
std::string healthText(const nubrik::HealthProbeResult& result) {
  return result.kind == nubrik::HealthProbeResult::Kind::ready ? "ready " + result.version
                                                               : "failed";
}

// A HealthCheck on a connection of the probe's own, and the pid the bus recorded for it.
void rawHealthCheck(const nubrik::BusOpener& open) {
  sd_bus* bus = nullptr;
  const int opened = open ? open(&bus) : sd_bus_open_system(&bus);
  if (opened < 0) {
    std::cout << "raw=error: " << std::strerror(-opened) << "\n";
    return;
  }
  const char* unique = nullptr;
  sd_bus_error error{};
  sd_bus_message* reply = nullptr;
  uint32_t pid = 0;
  if (sd_bus_get_unique_name(bus, &unique) >= 0 &&
      sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "GetConnectionUnixProcessID", &error, &reply, "s",
                         unique) >= 0 &&
      sd_bus_message_read(reply, "u", &pid) >= 0) {
    const pid_t recorded = static_cast<pid_t>(pid);
    if (recorded == ::getpid()) {
      std::cout << "bus-pid=self\n";
    } else {
      std::cout << "bus-pid=" << (parentOf(recorded) == ::getpid() ? "child" : "other") << "\n";
      std::cout << "broker-pid=" << recorded << "\n";
    }
  }
  reply = sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  const int result = sd_bus_call_method(bus, "com.nubrik.helper.xpc", "/com/nubrik/helper",
                                        "com.nubrik.HelperXPC", "HealthCheck", &error, &reply, "");
  if (result >= 0) {
    std::cout << "raw=served\n";
  } else if (error.name != nullptr) {
    std::cout << "raw=refused: " << error.name << "\n";
  } else {
    std::cout << "raw=error: " << std::strerror(-result) << "\n";
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  sd_bus_flush_close_unref(bus);
}

}  // namespace

int main() {
  std::cout << "gid=" << ::getgid() << " egid=" << ::getegid() << "\n";
  std::cout << "groups=" << groups() << "\n";
  std::cout << "secure=" << ::getauxval(AT_SECURE) << "\n";
  std::cout << "no-new-privs=" << ::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) << "\n";
  for (const char* name : {"QT_PLUGIN_PATH", "GTK_MODULES", "LD_PRELOAD"}) {
    std::cout << name << "=" << variable(name) << "\n";
  }

  std::shared_ptr<nubrik::BrokerClient> broker;
  try {
    broker = nubrik::BrokerClient::fromEnvironment();
    std::cout << "broker=" << (broker ? "adopted" : "none") << "\n";
  } catch (const std::exception& error) {
    std::cout << "broker=error: " << error.what() << "\n";
  }
  std::cout << "broker-variable=" << variable(nubrik::brokerFdVariable) << "\n";
  std::cout << "dumpable=" << ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) << "\n";
  const auto team = nubrik::CodeIdentity::currentTeamID();
  std::cout << "team=" << team.value_or("none") << "\n";

  const nubrik::BusOpener open = broker ? nubrik::BrokerClient::opener(broker) : nullptr;
  try {
    nubrik::BlockingSessionClient client([&open](nubrik::EventLoop& loop) {
      return nubrik::SessionClient::production(loop, loop, open);
    });
    std::cout << "health=" << healthText(client.probeHealth()) << "\n";
  } catch (const std::exception& error) {
    std::cout << "health=error: " << error.what() << "\n";
  }
  rawHealthCheck(open);
  return 0;
}
