#pragma once

#include <sys/types.h>

#include <string>

namespace nubrik::test {

// One dbus-daemon of the test's own, started with the given configuration option
// ("--session", "--config-file=..."). It lives as long as the object; the destructor ends
// exactly the daemon it started.
class PrivateDbusDaemon {
 public:
  PrivateDbusDaemon() = default;
  ~PrivateDbusDaemon();
  PrivateDbusDaemon(const PrivateDbusDaemon&) = delete;
  PrivateDbusDaemon& operator=(const PrivateDbusDaemon&) = delete;

  // Starts the daemon and waits for its address; at most once per object.
  void start(const std::string& configOption);

  // Whether the daemon runs; when not, why (for GTEST_SKIP).
  bool running() const { return pid_ > 0 && !address_.empty(); }
  const std::string& failure() const { return failure_; }
  // The address the daemon printed.
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
  std::string failure_;
};

}  // namespace nubrik::test
