#include "tests/support/private_session_bus.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace nubrik::test {

PrivateSessionBus::PrivateSessionBus() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    failure_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  std::vector<std::string> arguments = {"dbus-daemon", "--session",  "--nofork",
                                        "--nopidfile", "--nosyslog", "--print-address=3"};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int spawned = ::posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    pid_ = -1;
    ::close(fds[0]);
    failure_ = std::string("dbus-daemon could not be started: ") + std::strerror(spawned);
    return;
  }
  // The daemon prints its address once it listens; a bound keeps a broken daemon from hanging
  // the test run.
  std::string printed;
  char buffer[512];
  while (printed.find('\n') == std::string::npos) {
    pollfd waiting{fds[0], POLLIN, 0};
    if (::poll(&waiting, 1, 10'000) <= 0) break;
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    printed.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  const std::size_t newline = printed.find('\n');
  if (newline == std::string::npos) {
    failure_ = "dbus-daemon did not report its address";
    return;
  }
  address_ = printed.substr(0, newline);
}

PrivateSessionBus::~PrivateSessionBus() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace nubrik::test
