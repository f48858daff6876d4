#pragma once

#include <optional>
#include <string>

#include "tests/support/private_dbus_daemon.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik::test {

// A dbus-daemon of the test's own, configured like the system bus and carrying the helper's bus
// policy (packaging/test/private-system-bus.conf.in). It lives as long as the object; the
// destructor ends exactly the daemon it started.
class PrivateSystemBus {
 public:
  // With `open`, anyone may also own any name and call any method, as a stand-in for other
  // services of the system bus needs.
  explicit PrivateSystemBus(bool open = false);

  // Whether the daemon runs; when not, why (for GTEST_SKIP).
  bool running() const { return daemon_.running(); }
  const std::string& failure() const {
    return configFailure_.empty() ? daemon_.failure() : configFailure_;
  }

  // "unix:path=..." of the bus socket.
  const std::string& address() const { return daemon_.address(); }
  const std::string& socketPath() const { return socketPath_; }
  // Lets processes of other users reach the socket (the directory is 0700 otherwise).
  void openToOtherUsers() const;

 private:
  TempDir dir_;
  std::string socketPath_;
  std::string configFailure_;
  // Ends before the directory with its socket and configuration goes.
  PrivateDbusDaemon daemon_;
};

}  // namespace nubrik::test
