#include "tests/support/private_dbus_daemon.hpp"

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

namespace {

// The daemon prints its address once it listens; a bound keeps a broken daemon from hanging the
// test run.
std::string readAddress(int fd) {
  std::string address;
  char buffer[512];
  while (address.find('\n') == std::string::npos) {
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, 10'000) <= 0) return {};
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return {};
    address.append(buffer, static_cast<std::size_t>(n));
  }
  return address.substr(0, address.find('\n'));
}

}  // namespace

void PrivateDbusDaemon::start(const std::string& configOption) {
  if (pid_ > 0) return;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    failure_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  // setpriv asks the kernel to end the daemon with the test, should the test die before its
  // destructor runs (a sanitizer abort): a daemon left behind would keep the test's output
  // open and the test runner waiting.
  std::vector<std::string> arguments = {"setpriv",     "--pdeathsig", "TERM",
                                        "dbus-daemon", configOption,  "--nofork",
                                        "--nopidfile", "--nosyslog",  "--print-address=3"};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, "setpriv", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    failure_ = std::string("dbus-daemon could not be started: ") + std::strerror(spawned);
    return;
  }
  pid_ = pid;
  address_ = readAddress(fds[0]);
  ::close(fds[0]);
  if (address_.empty()) failure_ = "dbus-daemon did not report its address";
}

PrivateDbusDaemon::~PrivateDbusDaemon() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace nubrik::test
