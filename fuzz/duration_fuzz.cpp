// Feeds arbitrary text to the typed-duration grammar of the app: it either yields a number of
// minutes within the session bounds or nothing, and never crashes or overflows.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/duration.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto minutes =
      nubrik::parseDuration(std::string_view(reinterpret_cast<const char*>(data), size));
  if (minutes &&
      (*minutes < nubrik::minimumSessionMinutes || *minutes > nubrik::maximumSessionMinutes)) {
    std::abort();
  }
  return 0;
}
