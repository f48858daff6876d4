// The installed system on a system bus of its own: the build is installed into a root-owned tmpfs
// inside the test's mount namespace (so the installation is a trusted tree and nothing is left
// behind), its `tamsel` setgid to a spare group as an administrator would install it, and a
// dbus-daemon configured like the system bus carries the installed bus policy. The bus listens at
// the system bus's own address, on the namespace's private /run: a setgid `tamsel` ignores
// DBUS_SYSTEM_BUS_ADDRESS, so that is the one place where everyone finds it. The bus runs in the
// same PID namespace as everything else, so the process ids it reports are the ones the helper
// and the app look up in /proc.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/e2e/namespace_harness.hpp"

namespace nubrik::test {

inline const std::string tamselBinary = NUBRIK_BINARY_DIR "/bin/tamsel";

// Shell functions for scripts run by BusTest::runOnBus, sourced after the namespace prelude; read
// from the source tree when the test runs.
inline const std::string busPrelude = NUBRIK_E2E_BUS_PRELUDE;

class BusTest : public NamespaceTest {
 protected:
  void SetUp() override {
    NamespaceTest::SetUp();
    if (IsSkipped()) return;
    if (::access(tamselBinary.c_str(), X_OK) != 0) GTEST_SKIP() << "no tamsel at " << tamselBinary;
    // The mount point of the private installation; it exists on every Debian system.
    if (::access("/srv", F_OK) != 0) GTEST_SKIP() << "no /srv to mount the installation on";
    ASSERT_EQ(::access(busPrelude.c_str(), R_OK), 0) << "cannot read " << busPrelude;
  }

  void runOnBus(const std::string& script) {
    runIsolated("BUILD='" NUBRIK_BINARY_DIR "'\nSOURCE='" NUBRIK_SOURCE_DIR "'\n" +
                sourceLine(busPrelude) + script);
  }
};

}  // namespace nubrik::test
