// Feeds arbitrary bytes to the parsers of what the kernel announces to the daemon (rtnetlink
// datagrams and rfkill events): they never read past the bytes given, and every link they report
// carries a usable name.

#include <cstdint>
#include <cstdlib>

#include "helper/daemon/change_source.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nubrik::ChangeBatch batch;
  nubrik::parseLinkMessages(data, size, batch);
  nubrik::parseRfkillEvents(data, size, batch);
  for (const nubrik::LinkChange& link : batch.links) {
    if (link.name.empty() || link.name.size() >= 16 || link.index <= 0) std::abort();
  }
  return 0;
}
