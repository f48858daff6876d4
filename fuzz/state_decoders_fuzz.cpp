// Feeds arbitrary bytes to every decoder of the files and payloads the system reads: the session
// file, the recovery-pending marker, the status and generation files, the schedules file and the
// schedules payload.
// A decoder either returns a record that encodes and decodes back to itself, or throws
// DecodingError; anything else (a crash, another exception, a record that does not survive its own
// encoding) is a fault.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/helper_status.hpp"
#include "core/json_fields.hpp"
#include "core/public_status.hpp"
#include "core/recurring_schedule.hpp"
#include "core/session.hpp"
#include "helper/store/session_load_result.hpp"

namespace {

template <typename Decode, typename Encode>
void expectDecodedOrRejected(std::string_view bytes, Decode decode, Encode encode) {
  try {
    const auto record = decode(bytes);
    if (decode(encode(record)) != record) std::abort();
  } catch (const nubrik::DecodingError&) {
  } catch (const std::invalid_argument&) {
    // Encoders refuse names that are not UTF-8 rather than write a bad file.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  expectDecodedOrRejected(bytes, nubrik::decodeSession, nubrik::encodeSession);
  expectDecodedOrRejected(bytes, nubrik::decodeMarker, nubrik::encodeMarker);
  expectDecodedOrRejected(bytes, nubrik::decodeStatus, nubrik::encodeStatus);
  expectDecodedOrRejected(bytes, nubrik::decodeGeneration, nubrik::encodeGeneration);
  expectDecodedOrRejected(bytes, nubrik::decodeSchedules, nubrik::encodeSchedules);
  expectDecodedOrRejected(bytes, nubrik::decodeScheduleState, nubrik::encodeScheduleState);
  (void)nubrik::parsePublicStatus(std::string(bytes));
  return 0;
}
