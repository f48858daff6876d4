#pragma once

#include <array>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/bus_broker.hpp"

namespace nubrik {

// `tamsel` (or `tamsel gui`) starts the desktop program, which must never run with the group
// `tamsel` is setgid to: a toolkit reads plugin paths and themes from the environment and the
// user's files, and libdbus ignores the session bus's address in a secure-execution process. So
// `tamsel` forks the bus broker (bus_broker.hpp), which keeps the group and makes the bus
// connections, gives up the group for good itself, and execs the desktop program with its end of
// the broker's socket. The process the user started becomes the desktop app; the broker ends
// with it.

// Variables that make the desktop program load code from a directory or file they name. The
// dynamic loader's own (LD_*, GCONV_PATH, ...) are already gone: glibc drops them from the
// environment of a secure-execution process.
inline constexpr std::array<std::string_view, 13> desktopUnsafeVariables = {
    // Qt's plugins, the platform plugin among them.
    "QT_PLUGIN_PATH",
    "QT_QPA_PLATFORM_PLUGIN_PATH",
    // GTK and GIO modules, loaded when the desktop's platform theme brings in GTK.
    "GTK_MODULES",
    "GTK3_MODULES",
    "GTK_PATH",
    "GIO_EXTRA_MODULES",
    // GStreamer plugins, loaded by Qt Multimedia for the completion chime.
    "GST_PLUGIN_PATH",
    "GST_PLUGIN_PATH_1_0",
    "GST_PLUGIN_SYSTEM_PATH",
    "GST_PLUGIN_SYSTEM_PATH_1_0",
    // OpenGL and EGL drivers, loaded by the platform plugin at start-up.
    "LIBGL_DRIVERS_PATH",
    "__EGL_VENDOR_LIBRARY_DIRS",
    "__EGL_VENDOR_LIBRARY_FILENAMES",
};

// Where the desktop program lives, relative to the directory of a `tamsel` that is not installed.
inline constexpr std::string_view desktopProgramName = "tamsel-desktop";

// The desktop program for the `tamsel` at selfExecutable (the target of /proc/self/exe):
// <prefix>/libexec/nubrik/tamsel-desktop of the installation it belongs to. A process that is not
// in secure execution and finds no such regular file is a build run from its tree, and uses the
// tamsel-desktop next to its tamsel. None when no place can be told.
std::optional<std::string> desktopProgramPath(
    std::string_view selfExecutable, bool secureExecution,
    const std::function<bool(const std::string& path)>& isRegularFile);

// The desktop program's environment: `environment` ("NAME=value" entries) without the unsafe
// variables and without any NUBRIK_BROKER_FD a caller set, with NUBRIK_BROKER_FD=brokerFd added.
std::vector<std::string> desktopEnvironment(const std::vector<std::string>& environment,
                                            int brokerFd);

// What launching needs of the system.
struct DesktopLaunchDependencies {
  // The target of /proc/self/exe; none when it cannot be read.
  std::function<std::optional<std::string>()> selfExecutable;
  // getauxval(AT_SECURE): the process runs setgid (or otherwise with privileges).
  std::function<bool()> secureExecution;
  std::function<bool(const std::string& path)> isRegularFile;
  // DBUS_SYSTEM_BUS_ADDRESS; read only when not in secure execution.
  std::function<std::optional<std::string>()> systemBusAddress;
  // startBusBroker; throws std::system_error.
  std::function<BrokerProcess(const std::string& busSocketPath)> startBroker;
  // Gives up the group (and any other privilege) for good and forbids new privileges; throws
  // std::runtime_error saying what failed.
  std::function<void()> dropPrivileges;
  // This process's environment.
  std::function<std::vector<std::string>()> environment;
  // Clears close-on-exec on the broker's socket, so that the desktop program inherits it, and
  // nothing else; returns 0 or an errno value.
  std::function<int(int fd)> inheritDescriptor;
  // Replaces this process with the program; returns only on failure, with the errno value.
  std::function<int(const std::string& path, const std::vector<std::string>& environment)> exec;

  static DesktopLaunchDependencies production();
};

// Starts the desktop program in place of this process. Returns only when it cannot, with
// tamselExitDesktopUnavailable after an "error: " line on err; the broker, if it was started,
// then sees its peer go and ends.
int launchDesktop(std::ostream& err, const DesktopLaunchDependencies& dependencies);

// The production dropPrivileges: the real group (and user) become the effective and saved ones,
// the group is shown to be gone for good (taking it back fails), and PR_SET_NO_NEW_PRIVS is set,
// so that nothing the desktop program runs gains privileges from a setuid or setgid bit.
void dropPrivilegesForGood();

}  // namespace nubrik
