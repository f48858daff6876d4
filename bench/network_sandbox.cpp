#include "bench/network_sandbox.hpp"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "bench/link_control.hpp"
#include "bench/process_runner.hpp"

namespace nubrik::bench {

namespace {

std::string describeErrno(int error) {
  return std::strerror(error);
}

void mountEmpty(const char* directory) {
  if (::mount("tmpfs", directory, "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0) {
    throw std::runtime_error(std::string("mount tmpfs on ") + directory + ": " +
                             describeErrno(errno));
  }
}

bool isDirectory(const char* path) {
  struct stat info {};
  return ::lstat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

void run(const std::vector<std::string>& argv) {
  const CommandResult result =
      runCommand(argv, {.extraEnvironment = {}, .captureStandardError = true});
  if (result.exitStatus != 0) {
    std::string command;
    for (const std::string& part : argv) command += (command.empty() ? "" : " ") + part;
    throw std::runtime_error(command + " failed (" + std::to_string(result.exitStatus) +
                             "): " + result.output);
  }
}

// Whether the kernel can create links of this kind (its driver may be missing or not loadable
// in here); tried with one link that is removed again.
bool kernelHasLinkKind(const std::string& kind) {
  const std::string& ip = ipTool();
  const std::string probe = "probe-" + kind;
  const CommandResult added = runCommand({ip, "link", "add", "name", probe, "type", kind},
                                         {.extraEnvironment = {}, .captureStandardError = true});
  if (added.exitStatus != 0) return false;
  run({ip, "link", "del", "dev", probe});
  return true;
}

}  // namespace

std::optional<std::string> enterPrivateNamespaces() {
  if (::geteuid() != 0) return "needs root to create network and mount namespaces";
  if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
    return "network and mount namespaces are not permitted here (unshare: " + describeErrno(errno) +
           ")";
  }
  // Nothing mounted from here on may propagate back to the host's mount namespace.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    throw std::runtime_error("mount --make-rprivate /: " + describeErrno(errno));
  }
  for (const char* directory : {"/var/lib", "/var/log", "/run"}) mountEmpty(directory);
  // /var/run is normally a link to /run; where it is not, it needs its own empty mount.
  if (isDirectory("/var/run")) mountEmpty("/var/run");
  // rfkill is not namespaced: hide the host's radios so no pass in here can switch them.
  if (isDirectory("/sys/class/rfkill")) mountEmpty("/sys/class/rfkill");
  for (const char* directory : {"/var/lib/nubrik", "/var/log/nubrik"}) {
    if (::mkdir(directory, 0755) != 0) {
      throw std::runtime_error(std::string("mkdir ") + directory + ": " + describeErrno(errno));
    }
  }
  return std::nullopt;
}

std::vector<SandboxLink> createSandboxLinks(size_t count) {
  const std::string& ip = ipTool();
  LinkControl control;
  control.setUp(linkIndex("lo"), true);

  // A few of each kind the daemon meets on a real machine; veth pairs make up the rest.
  std::vector<SandboxLink> links;
  for (const char* bridge : {"br0", "br1"}) {
    if (links.size() >= count) break;
    run({ip, "link", "add", "name", bridge, "type", "bridge"});
    links.push_back({bridge, "bridge"});
  }
  for (const char* tap : {"tap0", "tap1"}) {
    if (links.size() >= count) break;
    run({ip, "tuntap", "add", "dev", tap, "mode", "tap"});
    links.push_back({tap, "tap"});
  }
  for (int pair = 0; links.size() < count; ++pair) {
    const std::string near = "veth" + std::to_string(2 * pair);
    const std::string far = "veth" + std::to_string(2 * pair + 1);
    run({ip, "link", "add", "name", near, "type", "veth", "peer", "name", far});
    links.push_back({near, "veth"});
    if (links.size() < count) links.push_back({far, "veth"});
  }
  return links;
}

void addStandInLinks(std::vector<SandboxLink>& links, size_t total) {
  if (links.size() >= total) return;
  const std::string kind = kernelHasLinkKind("dummy") ? "dummy" : "ifb";
  // The sandbox's own /run: nothing else writes there.
  constexpr const char* batchPath = "/run/nubrik-bench-links.batch";
  std::string batch;
  std::vector<SandboxLink> added;
  for (size_t number = 0; links.size() + added.size() < total; ++number) {
    const std::string name = kind + std::to_string(number);
    batch += "link add name " + name + " type " + kind + "\n";
    added.push_back({name, kind});
  }
  const int fd = ::open(batchPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0)
    throw std::runtime_error(std::string("open ") + batchPath + ": " + describeErrno(errno));
  const ssize_t written = ::write(fd, batch.data(), batch.size());
  const int writeError = errno;
  ::close(fd);
  if (written != static_cast<ssize_t>(batch.size())) {
    ::unlink(batchPath);
    throw std::runtime_error(std::string("write ") + batchPath + ": " + describeErrno(writeError));
  }
  try {
    run({ipTool(), "-batch", batchPath});
  } catch (...) {
    ::unlink(batchPath);
    throw;
  }
  ::unlink(batchPath);
  links.insert(links.end(), added.begin(), added.end());
}

}  // namespace nubrik::bench
