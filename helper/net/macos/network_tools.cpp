#include "helper/net/macos/network_tools.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/unique_fd.hpp"
#include "helper/net/macos/tool_text.hpp"
#include "helper/net/network_errors.hpp"

extern char** environ;

namespace nubrik::macos {

namespace {

// The tools print a few kilobytes at most; anything past this is not a tool output we can use
// and is drained but dropped, so that a runaway child cannot exhaust the daemon's memory.
constexpr size_t maximumOutputBytes = 16 * 1024 * 1024;

// Keeps a pipe end clear of the standard descriptors: a daemon may run with 0-2 closed, and the
// child's dup2 onto the same number would then leave the descriptor close-on-exec.
bool moveAboveStandardDescriptors(UniqueFd& fd) {
  if (fd.get() > STDERR_FILENO) return true;
  const int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) return false;
  fd.reset(moved);
  return true;
}

std::vector<std::string> childEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    bool overridden = false;
    for (const auto& [name, value] : stableProcessEnvironment) {
      if (text.size() > name.size() && text.compare(0, name.size(), name) == 0 &&
          text[name.size()] == '=') {
        overridden = true;
      }
    }
    if (!overridden) entries.emplace_back(text);
  }
  for (const auto& [name, value] : stableProcessEnvironment) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> pointerArray(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

struct SpawnSetup {
  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attributes{};
  bool actionsReady = false;
  bool attributesReady = false;
  ~SpawnSetup() {
    if (actionsReady) posix_spawn_file_actions_destroy(&actions);
    if (attributesReady) posix_spawnattr_destroy(&attributes);
  }
};

int32_t terminationStatus(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return WTERMSIG(waitStatus);
  return -1;
}

}  // namespace

ShellResult shellResult(const std::string& executable, const std::vector<std::string>& arguments) {
  const ShellResult notStarted{"", -1};

  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return notStarted;
  UniqueFd readEnd(pipeEnds[0]);
  UniqueFd writeEnd(pipeEnds[1]);
  if (!moveAboveStandardDescriptors(readEnd) || !moveAboveStandardDescriptors(writeEnd)) {
    return notStarted;
  }

  SpawnSetup setup;
  if (posix_spawn_file_actions_init(&setup.actions) != 0) return notStarted;
  setup.actionsReady = true;
  if (posix_spawnattr_init(&setup.attributes) != 0) return notStarted;
  setup.attributesReady = true;

  // The tools read nothing; their diagnostics are never shown, so standard error goes nowhere.
  if (posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) !=
          0 ||
      posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), STDOUT_FILENO) != 0 ||
      posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) !=
          0) {
    return notStarted;
  }

  // The daemon blocks and ignores signals for its own event loop; a tool must start with the
  // defaults so that it behaves as it would from a shell.
  sigset_t noSignals;
  sigset_t allSignals;
  sigemptyset(&noSignals);
  sigfillset(&allSignals);
  if (posix_spawnattr_setsigmask(&setup.attributes, &noSignals) != 0 ||
      posix_spawnattr_setsigdefault(&setup.attributes, &allSignals) != 0 ||
      posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) !=
          0) {
    return notStarted;
  }

  std::vector<std::string> argv;
  argv.reserve(arguments.size() + 1);
  argv.push_back(executable);
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> argvPointers = pointerArray(argv);
  std::vector<std::string> environment = childEnvironment();
  std::vector<char*> environmentPointers = pointerArray(environment);

  pid_t child = -1;
  if (posix_spawn(&child, executable.c_str(), &setup.actions, &setup.attributes,
                  argvPointers.data(), environmentPointers.data()) != 0) {
    return notStarted;
  }
  writeEnd.reset();  // only the child may hold the write end, or the read below never ends

  std::string output;
  bool outputUsable = true;
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(readEnd.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      outputUsable = false;
      break;
    }
    if (n == 0) break;
    if (output.size() + static_cast<size_t>(n) > maximumOutputBytes) {
      outputUsable = false;
      output.clear();
      continue;  // drained to the end so that the child is never blocked on a full pipe
    }
    if (outputUsable) output.append(chunk, static_cast<size_t>(n));
  }
  readEnd.reset();

  int waitStatus = 0;
  pid_t waited;
  do {
    waited = ::waitpid(child, &waitStatus, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited != child) return notStarted;

  if (!outputUsable || !isValidUtf8(output)) output.clear();
  return ShellResult{std::move(output), terminationStatus(waitStatus)};
}

std::string runChecked(const ShellRunner& runner, const std::string& executable,
                       const std::vector<std::string>& arguments) {
  ShellResult result = runner(executable, arguments);
  if (result.status != 0) throw NetworkQueryError::commandFailed(executable, result.status);
  return std::move(result.output);
}

void requireServiceBanner(const std::string& output) {
  if (output.find(serviceListBanner) == std::string::npos) {
    throw NetworkStateError::malformedOutput("listallnetworkservices");
  }
}

}  // namespace nubrik::macos
