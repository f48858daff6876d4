#pragma once

#include <sys/types.h>

#include <string>

namespace nubrik::test {

// A session bus of the test's own: `dbus-daemon --session` with the system's session
// configuration. It lives as long as the object; the destructor ends exactly the daemon it
// started.
class PrivateSessionBus {
 public:
  PrivateSessionBus();
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  // Whether the daemon runs; when not, why (for GTEST_SKIP).
  bool running() const { return pid_ > 0 && !address_.empty(); }
  const std::string& failure() const { return failure_; }

  // The address the daemon printed, for DBUS_SESSION_BUS_ADDRESS or a connection of one's own.
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
  std::string failure_;
};

}  // namespace nubrik::test
