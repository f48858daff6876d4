#include "app/login_item_autostart.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "core/posix_file.hpp"
#include "core/utf8_text.hpp"

namespace nubrik {

namespace {

constexpr const char* autostartDirName = "autostart";
// An entry is a few hundred bytes; anything much larger is not one the app can judge.
constexpr size_t entryReadLimit = 64 * 1024;

std::string errnoText(int error) {
  return std::strerror(error);
}

[[noreturn]] void fail(const std::string& what, int error) {
  throw LoginItemError(what + ": " + errnoText(error));
}

bool isAbsolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

// The Exec value for one program path: quoted when it holds a character the Exec syntax
// reserves, '%' doubled, and every backslash doubled once more for the entry's string escapes.
std::string execValue(const std::string& path) {
  constexpr std::string_view reserved = " \t\"'\\><~|&;$*?#()`";
  const bool quoted = path.find_first_of(reserved) != std::string::npos;
  std::string argument;
  for (const char c : path) {
    if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
    argument += c;
    if (c == '%') argument += '%';
  }
  if (quoted) argument = '"' + argument + '"';
  std::string value;
  for (const char c : argument) value += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return value;
}

// The configuration home, made (0700) when it is missing and `create` is set. An invalid
// descriptor with errno set when it cannot be opened.
UniqueFd openConfigHome(const std::string& configHome, bool create) {
  UniqueFd fd = openDirectory(configHome);
  if (fd.valid() || errno != ENOENT || !create) return fd;
  if (::mkdir(configHome.c_str(), 0700) != 0 && errno != EEXIST) return UniqueFd();
  return openDirectory(configHome);
}

// The autostart directory itself, never through a symbolic link.
UniqueFd openAutostartDir(int configFd, bool create) {
  if (create && ::mkdirat(configFd, autostartDirName, 0700) != 0 && errno != EEXIST) {
    return UniqueFd();
  }
  return openNoFollow(configFd, autostartDirName, O_RDONLY | O_DIRECTORY);
}

std::string trimmed(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r");
  return std::string(text.substr(begin, end - begin + 1));
}

// Whether the entry's [Desktop Entry] group turns it off.
bool entryIsTurnedOff(std::string_view text) {
  bool inMainGroup = false;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    const std::string line = trimmed(text.substr(0, newline));
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    const size_t equals = line.find('=');
    if (!inMainGroup || equals == std::string::npos) continue;
    const std::string key = trimmed(std::string_view(line).substr(0, equals));
    const std::string value = trimmed(std::string_view(line).substr(equals + 1));
    if (key == "Hidden" && value == "true") return true;
    if (key == "X-GNOME-Autostart-enabled" && value == "false") return true;
  }
  return false;
}

std::string temporaryName() {
  static constexpr std::string_view letters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  // Not ending in ".desktop", so that a leftover is never read as an entry.
  std::string name = std::string(".") + autostartEntryName + ".";
  std::uniform_int_distribution<size_t> pick(0, letters.size() - 1);
  for (int i = 0; i < 12; ++i) name += letters[pick(random)];
  return name;
}

}  // namespace

std::string userConfigHome() {
  if (const char* config = ::secure_getenv("XDG_CONFIG_HOME"); isAbsolute(config)) return config;
  std::string home;
  if (const char* fromEnvironment = ::secure_getenv("HOME"); isAbsolute(fromEnvironment)) {
    home = fromEnvironment;
  } else {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        isAbsolute(found->pw_dir)) {
      home = found->pw_dir;
    }
  }
  if (home.empty()) return {};
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return (home == "/" ? "" : home) + "/.config";
}

std::string currentExecutablePath() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) return {};
  std::string path(buffer.data(), static_cast<size_t>(length));
  // The kernel marks an executable replaced on disk since it started; the entry wants the path.
  constexpr std::string_view deleted = " (deleted)";
  if (path.ends_with(deleted)) path.resize(path.size() - deleted.size());
  return path;
}

std::string loginItemProgram(const std::string& executable) {
  constexpr std::string_view desktopProgram = "/tamsel-desktop";
  constexpr std::string_view installedDir = "/libexec/nubrik";
  if (!std::string_view(executable).ends_with(desktopProgram)) return executable;
  const std::string dir = executable.substr(0, executable.size() - desktopProgram.size());
  if (std::string_view(dir).ends_with(installedDir)) {
    return dir.substr(0, dir.size() - installedDir.size()) + "/bin/tamsel";
  }
  return dir + "/tamsel";
}

std::string autostartDesktopEntry(const std::string& executable) {
  if (executable.empty() || executable[0] != '/') {
    throw LoginItemError("the program path is not absolute: " + executable);
  }
  for (const char c : executable) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      throw LoginItemError("the program path holds a control character");
    }
  }
  if (!isValidUtf8(executable)) throw LoginItemError("the program path is not UTF-8");
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Tamsel\n"
         "Icon=tamsel\n"
         "Exec=" +
         execValue(executable) +
         "\n"
         "Terminal=false\n"
         "NoDisplay=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

RegistrationStatus autostartStatus(const std::string& configHome) {
  if (configHome.empty()) return RegistrationStatus::unknown;
  const UniqueFd config = openConfigHome(configHome, false);
  if (!config.valid()) {
    return errno == ENOENT ? RegistrationStatus::notRegistered : RegistrationStatus::unknown;
  }
  const UniqueFd dir = openAutostartDir(config.get(), false);
  if (!dir.valid()) {
    return errno == ENOENT ? RegistrationStatus::notRegistered : RegistrationStatus::unknown;
  }
  const UniqueFd file = openNoFollow(dir.get(), autostartEntryName, O_RDONLY | O_NONBLOCK);
  if (!file.valid()) {
    // A link in the entry's place is not an entry of the app's; registering replaces it.
    return errno == ENOENT || errno == ELOOP ? RegistrationStatus::notRegistered
                                             : RegistrationStatus::unknown;
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<size_t>(info.st_size) > entryReadLimit) {
    return RegistrationStatus::unknown;
  }
  std::string text(entryReadLimit + 1, '\0');
  size_t total = 0;
  for (;;) {
    const ssize_t n = ::read(file.get(), text.data() + total, text.size() - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return RegistrationStatus::unknown;
    if (n == 0) break;
    total += static_cast<size_t>(n);
    if (total > entryReadLimit) return RegistrationStatus::unknown;
  }
  text.resize(total);
  return entryIsTurnedOff(text) ? RegistrationStatus::requiresApproval
                                : RegistrationStatus::enabled;
}

void registerAutostart(const std::string& configHome, const std::string& executable) {
  const std::string entry = autostartDesktopEntry(executable);
  if (configHome.empty()) throw LoginItemError("no configuration home");
  const UniqueFd config = openConfigHome(configHome, true);
  if (!config.valid()) fail("cannot open " + configHome, errno);
  const UniqueFd dir = openAutostartDir(config.get(), true);
  if (!dir.valid()) fail("cannot open " + configHome + "/" + autostartDirName, errno);

  TemporaryFile file = createFreshFile(dir.get(), temporaryName, 16, 0644);
  if (!file.fd.valid()) fail("cannot create a temporary login entry", errno);
  // Readable by the desktop whatever the umask.
  const auto failure = replaceWith(std::move(file), dir.get(), autostartEntryName, entry, 0644);
  if (!failure) return;
  switch (failure->step) {
    case ReplaceStep::mode:
      fail("cannot set the login entry's mode", failure->error);
    case ReplaceStep::write:
      fail("cannot write the login entry", failure->error);
    case ReplaceStep::sync:
      fail("cannot sync the login entry", failure->error);
    case ReplaceStep::rename:
      fail("cannot put the login entry in place", failure->error);
    case ReplaceStep::syncDirectory:
      // The rename itself survives a crash only once the directory is synced.
      fail("cannot sync the autostart directory", failure->error);
  }
}

void unregisterAutostart(const std::string& configHome) {
  if (configHome.empty()) throw LoginItemError("no configuration home");
  const UniqueFd config = openConfigHome(configHome, false);
  if (!config.valid()) {
    if (errno == ENOENT) return;
    fail("cannot open " + configHome, errno);
  }
  const UniqueFd dir = openAutostartDir(config.get(), false);
  if (!dir.valid()) {
    if (errno == ENOENT) return;
    fail("cannot open " + configHome + "/" + autostartDirName, errno);
  }
  if (::unlinkat(dir.get(), autostartEntryName, 0) != 0) {
    if (errno == ENOENT) return;
    fail("cannot remove the login entry", errno);
  }
  if (::fsync(dir.get()) != 0) fail("cannot sync the autostart directory", errno);
}

LoginItemDependencies autostartLoginItem(std::string configHome, std::string executable) {
  LoginItemDependencies deps;
  deps.status = [configHome] { return autostartStatus(configHome); };
  deps.registerItem = [configHome, executable] { registerAutostart(configHome, executable); };
  deps.unregisterItem = [configHome] { unregisterAutostart(configHome); };
  return deps;
}

LoginItemDependencies productionLoginItem() {
  return autostartLoginItem(userConfigHome(), loginItemProgram(currentExecutablePath()));
}

}  // namespace nubrik
