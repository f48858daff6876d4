// A library to preload into the app, as someone would who wants their code to run as the app:
// when loaded, it writes NUBRIK_E2E_MARKER and, over a connection of the process it runs in,
// asks the helper to restart, appending what came of it to the marker. The dynamic loader
// ignores the preload in a setgid program, so in the installed app none of this happens.
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstdlib>

namespace {

__attribute__((constructor)) void onLoad() {
  const char* marker = std::getenv("NUBRIK_E2E_MARKER");
  if (marker == nullptr) return;
  std::FILE* out = std::fopen(marker, "w");
  if (out == nullptr) return;
  std::fprintf(out, "loaded\n");
  std::fflush(out);
  sd_bus* bus = nullptr;
  sd_bus_error error{};
  sd_bus_message* reply = nullptr;
  if (sd_bus_open_system(&bus) < 0) {
    std::fprintf(out, "no bus\n");
  } else if (sd_bus_call_method(bus, "com.nubrik.helper.xpc", "/com/nubrik/helper",
                                "com.nubrik.HelperXPC", "PrepareRestart", &error, &reply,
                                "") >= 0) {
    std::fprintf(out, "restart served\n");
  } else {
    std::fprintf(out, "restart refused: %s\n", error.name != nullptr ? error.name : "?");
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  sd_bus_flush_close_unref(bus);
  std::fclose(out);
}

}  // namespace
