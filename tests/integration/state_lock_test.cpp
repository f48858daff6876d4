#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "helper/transaction/helper_transaction.hpp"
#include "tests/helper/transaction/state_fixture.hpp"

namespace nubrik {
namespace {

class StateLockTest : public test::StateFixture {};

TEST_F(StateLockTest, LockHeldByAnotherProcessMakesRunFailAtOnceUntilReleased) {
  const std::string lock = dir.file("transaction.lock");
  int ready[2], release[2];
  ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(release, O_CLOEXEC), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {  // only system calls after fork()
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const char status = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'L' : 'E';
    (void)!::write(ready[1], &status, 1);
    ::close(release[1]);
    (void)!::read(release[0], ready, 1);  // returns once the parent closes its end
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char status = 0;
  ASSERT_EQ(::read(ready[0], &status, 1), 1);
  ASSERT_EQ(status, 'L');

  bool ran = false;
  try {
    HelperTransaction::run([&] { ran = true; });
  } catch (const HelperTransactionError& error) {
    EXPECT_EQ(error.kind(), HelperTransactionError::Kind::lockUnavailable);
    EXPECT_EQ(error.path(), lock);
  }
  EXPECT_FALSE(ran);
  EXPECT_FALSE(has("generation.json"));

  ::close(release[1]);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  HelperTransaction::run([&] { ran = true; });
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace nubrik
