#include "app/desktop_launch.hpp"

#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "app/command_line.hpp"
#include "core/peer_authorization.hpp"

extern char** environ;

namespace nubrik {

namespace {

std::string_view variableName(std::string_view entry) {
  return entry.substr(0, entry.find('='));
}

std::string errnoText(int error) {
  return std::strerror(error);
}

std::optional<std::string> readSelfExecutable() {
  // The same reading that tells the installation its prefix.
  return CodeIdentity::production().selfExecutable();
}

bool regularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> currentEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    entries.emplace_back(*entry);
  }
  return entries;
}

int clearCloseOnExec(int fd) {
  const int flags = ::fcntl(fd, F_GETFD);
  if (flags < 0 || ::fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC) != 0) return errno;
  return 0;
}

int execProgram(const std::string& path, const std::vector<std::string>& environment) {
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  ::execve(path.c_str(), argv, envp.data());
  return errno;
}

int failed(std::ostream& err, const std::string& text) {
  err << "error: " << text << "\n";
  return tamselExitDesktopUnavailable;
}

}  // namespace

std::optional<std::string> desktopProgramPath(
    std::string_view selfExecutable, bool secureExecution,
    const std::function<bool(const std::string& path)>& isRegularFile) {
  if (const auto prefix = installationPrefixOf(selfExecutable)) {
    const std::string installed = *prefix + std::string(desktopExecutableInstallPath);
    if (secureExecution || isRegularFile(installed)) return installed;
  }
  // Only a build without privileges may look beside itself; the installed app has one place.
  if (secureExecution || selfExecutable.empty() || selfExecutable.front() != '/') {
    return std::nullopt;
  }
  const std::size_t slash = selfExecutable.rfind('/');
  return std::string(selfExecutable.substr(0, slash + 1)) + std::string(desktopProgramName);
}

std::vector<std::string> desktopEnvironment(const std::vector<std::string>& environment,
                                            int brokerFd) {
  std::vector<std::string> result;
  for (const std::string& entry : environment) {
    const std::string_view name = variableName(entry);
    if (name.size() == entry.size() || name == brokerFdVariable) continue;
    if (std::find(desktopUnsafeVariables.begin(), desktopUnsafeVariables.end(), name) !=
        desktopUnsafeVariables.end()) {
      continue;
    }
    result.push_back(entry);
  }
  result.push_back(std::string(brokerFdVariable) + "=" + std::to_string(brokerFd));
  return result;
}

void dropPrivilegesForGood() {
  const gid_t group = ::getgid();
  const gid_t privilegedGroup = ::getegid();
  if (::setresgid(group, group, group) != 0) {
    throw std::runtime_error("setresgid: " + errnoText(errno));
  }
  gid_t real = 0;
  gid_t effective = 0;
  gid_t saved = 0;
  if (::getresgid(&real, &effective, &saved) != 0 || real != group || effective != group ||
      saved != group) {
    throw std::runtime_error("the group is still held");
  }
  if (privilegedGroup != group && ::setegid(privilegedGroup) == 0) {
    throw std::runtime_error("the group could be taken back");
  }
  // tamsel is never setuid; should it ever be, the user's privilege goes the same way.
  const uid_t user = ::getuid();
  if (::geteuid() != user && ::setresuid(user, user, user) != 0) {
    throw std::runtime_error("setresuid: " + errnoText(errno));
  }
  if (::geteuid() != user) throw std::runtime_error("the user is still held");
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    throw std::runtime_error("PR_SET_NO_NEW_PRIVS: " + errnoText(errno));
  }
}

DesktopLaunchDependencies DesktopLaunchDependencies::production() {
  return DesktopLaunchDependencies{
      readSelfExecutable,
      [] { return ::getauxval(AT_SECURE) != 0; },
      regularFile,
      []() -> std::optional<std::string> {
        // Asked only outside secure execution, where getenv and secure_getenv agree.
        const char* value = ::secure_getenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (value == nullptr) return std::nullopt;
        return std::string(value);
      },
      startBusBroker,
      dropPrivilegesForGood,
      currentEnvironment,
      clearCloseOnExec,
      execProgram,
  };
}

int launchDesktop(std::ostream& err, const DesktopLaunchDependencies& dependencies) {
  const std::optional<std::string> self = dependencies.selfExecutable();
  const bool secure = dependencies.secureExecution();
  const std::optional<std::string> program =
      self ? desktopProgramPath(*self, secure, dependencies.isRegularFile) : std::nullopt;
  if (!program) {
    return failed(err, "cannot tell where the desktop app is installed: tamsel runs from " +
                           (self ? *self : std::string("an unknown place")));
  }
  const std::optional<std::string> address =
      secure ? std::nullopt : dependencies.systemBusAddress();
  const std::optional<std::string> busSocket =
      brokerBusSocketPath(secure, address ? address->c_str() : nullptr);
  if (!busSocket) {
    return failed(err,
                  "the desktop app can reach the system bus only at a unix:path= address, not "
                  "DBUS_SYSTEM_BUS_ADDRESS=" +
                      address.value_or(""));
  }

  BrokerProcess broker;
  try {
    broker = dependencies.startBroker(*busSocket);
  } catch (const std::exception& error) {
    return failed(err, std::string("cannot start the bus broker: ") + error.what());
  }
  // From here the broker holds the group; this process gives it up before anything else runs.
  try {
    dependencies.dropPrivileges();
  } catch (const std::exception& error) {
    return failed(err, std::string("cannot give up the group of tamsel: ") + error.what());
  }
  if (const int error = dependencies.inheritDescriptor(broker.socket); error != 0) {
    return failed(err, "cannot pass the bus broker on: " + errnoText(error));
  }
  const int error =
      dependencies.exec(*program, desktopEnvironment(dependencies.environment(), broker.socket));
  return failed(err, "cannot start the desktop app at " + *program + ": " + errnoText(error));
}

}  // namespace nubrik
