// The helper's bus policy on a private system-style bus. The app runs as a user: the policy lets
// it call the helper (the end-to-end tests show it served, and who else is refused) but never
// own the helper's name.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <string>

#include "app/bus_address.hpp"
#include "core/nubrik_xpc.hpp"
#include "tests/support/private_system_bus.hpp"

namespace nubrik {
namespace {

TEST(HelperBusPolicy, AnUnprivilegedProcessCannotOwnTheName) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  test::PrivateSystemBus bus;
  if (!bus.running()) GTEST_SKIP() << "no private bus: " << bus.failure();
  bus.openToOtherUsers();
  const std::string address = bus.address();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0)
      ::_exit(90);
    sd_bus* own = nullptr;
    if (openBusAtAddress(address, &own) < 0) ::_exit(91);
    ::_exit(sd_bus_request_name(own, NubrikXPC::busName, 0) == -EACCES ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace nubrik
