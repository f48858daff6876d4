// Stands in for the service manager on the end-to-end tests' private system bus, where no init
// system runs: it owns org.freedesktop.systemd1 and says of every unit file that it is enabled,
// which is what the app asks before it trusts the helper's health check. Runs until killed.
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>

namespace {

int getUnitFileState(sd_bus_message* message, void*, sd_bus_error*) {
  const char* unit = nullptr;
  const int result = sd_bus_message_read(message, "s", &unit);
  if (result < 0) return result;
  return sd_bus_reply_method_return(message, "s", "enabled");
}

const sd_bus_vtable managerVTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetUnitFileState", "s", "s", getUnitFileState, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace

int main() {
  sd_bus* bus = nullptr;
  int result = sd_bus_open_system(&bus);
  if (result >= 0) {
    result = sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/systemd1",
                                      "org.freedesktop.systemd1.Manager", managerVTable, nullptr);
  }
  if (result >= 0) result = sd_bus_request_name(bus, "org.freedesktop.systemd1", 0);
  if (result < 0) {
    std::fprintf(stderr, "fake service manager: %s\n", std::strerror(-result));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    result = sd_bus_process(bus, nullptr);
    if (result < 0) return 1;
    if (result == 0 && sd_bus_wait(bus, UINT64_MAX) < 0) return 1;
  }
}
