#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace nubrik {

// The bus broker: a small process that `tamsel` leaves behind, still holding the app's group,
// when it hands the terminal over to the desktop program. The bus records the group of whoever
// calls connect(), so the broker makes the connections and the desktop program, which never
// holds the group, speaks on them.
//
// The two talk over an anonymous SOCK_SEQPACKET socket pair. Each request is one byte,
// brokerRequestByte. Each reply is one byte: 0 with the connected socket attached
// (SCM_RIGHTS), or an errno value (1 to 255) saying why the connection could not be made. The
// broker never reads anything else, never authenticates on the bus and never runs other code;
// it ends when its peer closes its end or sends anything but a request.

// The variable through which `tamsel` tells the desktop program its end of the socket pair.
inline constexpr const char* brokerFdVariable = "NUBRIK_BROKER_FD";
inline constexpr char brokerRequestByte = 'c';
// The system bus's socket; the only place a secure-execution process ever connects to.
inline constexpr std::string_view systemBusSocketPath = "/run/dbus/system_bus_socket";

// The socket path of a D-Bus address that names exactly one socket in the file system
// ("unix:path=/some/socket", with an optional guid, %-escapes decoded); none for anything else,
// such as an abstract socket, a list of addresses or a relative path.
std::optional<std::string> unixSocketPathOfAddress(std::string_view address);

// The socket the broker connects to. A secure-execution process (the installed, setgid `tamsel`)
// always uses the system bus's own socket, as libdbus and sd-bus do; only a process without
// privileges, such as a build run from its tree, follows DBUS_SYSTEM_BUS_ADDRESS, and then only
// an address of one socket path. None when the variable is set to anything else.
std::optional<std::string> brokerBusSocketPath(bool secureExecution, const char* systemBusAddress);

// A running broker: its process and the other end of its socket (close on exec).
struct BrokerProcess {
  pid_t pid = -1;
  int socket = -1;
};

// Forks the broker, which serves connections to the socket at busSocketPath until its peer
// goes. In the child every other descriptor is closed, the terminal's SIGINT, SIGQUIT and
// SIGHUP are ignored (the broker ends with its peer, not with a keystroke meant for the window),
// and the working directory becomes "/". The parent's end is never one of the standard
// descriptors. Throws std::system_error when the pair or the process cannot be made.
BrokerProcess startBusBroker(const std::string& busSocketPath);

}  // namespace nubrik
