#include "bench/daemon_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "helper/cli/commands.hpp"

namespace nubrik::bench {

namespace {

void pause(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

}  // namespace

DaemonProcess::DaemonProcess(const std::string& helper) {
  const std::vector<std::string> argv = {helper, "--daemon"};
  std::vector<std::string> environment = childEnvironment();
  std::vector<char*> argvPointers, environmentPointers;
  for (const std::string& argument : argv)
    argvPointers.push_back(const_cast<char*>(argument.c_str()));
  argvPointers.push_back(nullptr);
  for (std::string& entry : environment) environmentPointers.push_back(entry.data());
  environmentPointers.push_back(nullptr);
  const int output =
      ::open(daemonOutputFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t parent = ::getpid();

  pid_ = ::fork();
  if (pid_ == 0) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
    if (input >= 0) ::dup2(input, STDIN_FILENO);
    if (output >= 0) {
      ::dup2(output, STDOUT_FILENO);
      ::dup2(output, STDERR_FILENO);
    }
    ::execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
    ::_exit(127);
  }
  if (output >= 0) ::close(output);
  if (input >= 0) ::close(input);
  if (pid_ < 0) throw std::runtime_error("fork failed for the daemon");
}

DaemonProcess::~DaemonProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    (void)reap(0);
  }
}

bool DaemonProcess::running() {
  return !exited_ && !reap(WNOHANG);
}

void DaemonProcess::hold() {
  if (!exited_) ::kill(pid_, SIGSTOP);
}

void DaemonProcess::release() {
  if (!exited_) ::kill(pid_, SIGCONT);
}

int DaemonProcess::stop() {
  if (!exited_) {
    ::kill(pid_, SIGTERM);
    ::kill(pid_, SIGCONT);  // a held daemon would never see the SIGTERM
    for (int waited = 0; waited < 500 && !reap(WNOHANG); ++waited) {
      pause(std::chrono::milliseconds(10));
    }
    if (!exited_) {
      ::kill(pid_, SIGKILL);
      (void)reap(0);
    }
  }
  return status_;
}

bool DaemonProcess::reap(int flags) {
  int status = 0;
  const pid_t reaped = ::waitpid(pid_, &status, flags);
  if (reaped != pid_) return false;
  exited_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

CommandResult helperCommand(const std::string& helper, const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment) {
  std::vector<std::string> argv = {helper};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  CommandResult result;
  for (int attempt = 0; attempt < 200; ++attempt) {
    result = runCommand(argv, {.extraEnvironment = environment, .captureStandardError = true});
    if (result.exitStatus != exit_status::transactionUnavailable) break;
    pause(std::chrono::milliseconds(10));
  }
  return result;
}

std::string describe(const CommandResult& result) {
  return "exit " + std::to_string(result.exitStatus) + ": " + result.output;
}

std::string readFile(const std::string& path) {
  std::ifstream stream(path);
  std::ostringstream content;
  content << stream.rdbuf();
  return content.str();
}

}  // namespace nubrik::bench
