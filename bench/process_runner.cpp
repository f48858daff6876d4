#include "bench/process_runner.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace nubrik::bench {

namespace {

// A fixed environment keeps the tool's output grammar stable whatever the caller's locale is,
// and keeps the caller's bus addresses and confirmations away from the programs run here.
char pathEntry[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
char localeEntry[] = "LC_ALL=C";
char* fixedEnvironment[] = {pathEntry, localeEntry, nullptr};

unsigned long startedCount = 0;

class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

int waitFor(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::vector<std::string> childEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> entries = {pathEntry, localeEntry};
  entries.insert(entries.end(), extra.begin(), extra.end());
  return entries;
}

CommandResult runCommand(const std::vector<std::string>& argv, const CommandOptions& options) {
  CommandResult result;
  if (argv.empty()) return result;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;

  FileActions actions;
  // dup2 clears close-on-exec on the target, so only the write end survives into the child.
  posix_spawn_file_actions_adddup2(actions.get(), pipeFds[1], STDOUT_FILENO);
  if (options.captureStandardError) {
    posix_spawn_file_actions_adddup2(actions.get(), pipeFds[1], STDERR_FILENO);
  } else {
    posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  std::vector<char*> arguments;
  arguments.reserve(argv.size() + 1);
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  // The common case (the ip tool, measured per pass) needs no environment to be built.
  std::vector<std::string> environment;
  std::vector<char*> environmentPointers;
  char** envp = fixedEnvironment;
  if (!options.extraEnvironment.empty()) {
    environment = childEnvironment(options.extraEnvironment);
    for (std::string& entry : environment) environmentPointers.push_back(entry.data());
    environmentPointers.push_back(nullptr);
    envp = environmentPointers.data();
  }

  pid_t child = -1;
  const int spawned =
      ::posix_spawn(&child, arguments[0], actions.get(), nullptr, arguments.data(), envp);
  ::close(pipeFds[1]);
  if (spawned == 0) ++startedCount;
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return result;
  }

  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.output.append(buffer, static_cast<size_t>(n));
  }
  ::close(pipeFds[0]);
  result.exitStatus = waitFor(child);
  return result;
}

unsigned long commandsStarted() {
  return startedCount;
}

const std::string& ipTool() {
  static const std::string path = [] {
    for (const char* candidate : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
      if (::access(candidate, X_OK) == 0) return std::string(candidate);
    }
    throw std::runtime_error("the ip tool (iproute2) is not installed");
  }();
  return path;
}

}  // namespace nubrik::bench
