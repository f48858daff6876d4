#pragma once

#include <string>

#include "tests/support/private_dbus_daemon.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik::test {

// A session bus of the test's own, with a minimal configuration: no activatable services, so a
// name nobody owns stays unowned. It lives as long as the object; the destructor ends exactly the
// daemon it started.
class PrivateSessionBus {
 public:
  PrivateSessionBus() {
    dir_.write("session.conf", R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" + dir_.file("bus") +
                                   R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
    daemon_.start("--config-file=" + dir_.file("session.conf"));
  }

  // Whether the daemon runs; when not, why (for GTEST_SKIP).
  bool running() const { return daemon_.running(); }
  const std::string& failure() const { return daemon_.failure(); }

  // The address the daemon printed, for DBUS_SESSION_BUS_ADDRESS or a connection of one's own.
  const std::string& address() const { return daemon_.address(); }
  // An address at which no bus listens.
  std::string unusedAddress() const { return "unix:path=" + dir_.file("nobody-listens"); }

 private:
  TempDir dir_;
  // Ends before the directory with its socket and configuration goes.
  PrivateDbusDaemon daemon_;
};

}  // namespace nubrik::test
