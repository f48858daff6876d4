#pragma once

#include <string>

#include "tests/support/private_dbus_daemon.hpp"

namespace nubrik::test {

// A session bus of the test's own: `dbus-daemon --session` with the system's session
// configuration. It lives as long as the object; the destructor ends exactly the daemon it
// started.
class PrivateSessionBus {
 public:
  PrivateSessionBus() { daemon_.start("--session"); }

  // Whether the daemon runs; when not, why (for GTEST_SKIP).
  bool running() const { return daemon_.running(); }
  const std::string& failure() const { return daemon_.failure(); }

  // The address the daemon printed, for DBUS_SESSION_BUS_ADDRESS or a connection of one's own.
  const std::string& address() const { return daemon_.address(); }

 private:
  PrivateDbusDaemon daemon_;
};

}  // namespace nubrik::test
