// A caller that borrows the app's identity: it connects to the system bus, and then the very
// process that connected (the one whose pid the bus records) execs the app, while a child forked
// before the exec sends a request over that connection. To a check of /proc/PID/exe alone the
// request comes from the app.
//
//   nubrik-e2e-borrowed-connection METHOD APP [ARGUMENT...]
//
// METHOD is StartSessionWithDuration (sent with 1800 seconds), PrepareRestart or HealthCheck. APP
// runs with its standard input on a pipe that the child holds open until its request has been
// answered, so an app that reads its input (`tamsel schedules set -`) is still running then.
// The child prints "served" or "refused: ERROR-NAME" on standard output; the process's exit
// status is the app's.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* systemBusSocket = "/run/dbus/system_bus_socket";

int connectToSystemBus() {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, systemBusSocket, sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// In the child, once the parent runs the app: authenticate on the inherited connection, send the
// request and say what came of it.
int sendOverBorrowedConnection(int fd, const std::string& method) {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0 || sd_bus_set_fd(bus, fd, fd) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
      sd_bus_start(bus) < 0) {
    std::printf("error: cannot use the connection\n");
    return 2;
  }
  sd_bus_error error{};
  sd_bus_message* reply = nullptr;
  int result = 0;
  if (method == "StartSessionWithDuration") {
    result =
        sd_bus_call_method(bus, "com.nubrik.helper.xpc", "/com/nubrik/helper",
                           "com.nubrik.HelperXPC", method.c_str(), &error, &reply, "d", 1800.0);
  } else {
    result = sd_bus_call_method(bus, "com.nubrik.helper.xpc", "/com/nubrik/helper",
                                "com.nubrik.HelperXPC", method.c_str(), &error, &reply, "");
  }
  int status = 0;
  if (result >= 0) {
    std::printf("served\n");
    status = 1;
  } else if (error.name != nullptr) {
    std::printf("refused: %s\n", error.name);
  } else {
    std::printf("error: %s\n", std::strerror(-result));
    status = 2;
  }
  std::fflush(stdout);
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  sd_bus_flush_close_unref(bus);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s METHOD APP [ARGUMENT...]\n", argv[0]);
    return 2;
  }
  const std::string method = argv[1];
  const int connection = connectToSystemBus();
  if (connection < 0) {
    std::perror("connect to the system bus");
    return 2;
  }
  // Closed by the exec: end of file in the child says the app runs; a byte says it does not.
  int execed[2];
  // The app's standard input, held open by the child.
  int input[2];
  if (::pipe2(execed, O_CLOEXEC) != 0 || ::pipe2(input, O_CLOEXEC) != 0) {
    std::perror("pipe");
    return 2;
  }
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    return 2;
  }
  if (child == 0) {
    ::close(execed[1]);
    ::close(input[0]);
    char byte = 0;
    ssize_t got = 0;
    do {
      got = ::read(execed[0], &byte, 1);
    } while (got < 0 && errno == EINTR);
    if (got != 0) ::_exit(3);
    const int status = sendOverBorrowedConnection(connection, method);
    // Now the app may read its end of input and finish.
    ::close(input[1]);
    ::_exit(status);
  }
  ::close(execed[0]);
  ::close(input[1]);
  if (::dup2(input[0], STDIN_FILENO) < 0) return 2;
  ::execv(argv[2], argv + 2);
  const char failed = 1;
  (void)!::write(execed[1], &failed, 1);
  std::perror("exec");
  return 127;
}
