#pragma once

#include <cstdint>
#include <string>

#include "core/xpc_result_codes.hpp"

namespace nubrik {

struct HealthDependencies {
  std::string helperVersion;
  std::int64_t protocolVersion = 0;

  // nubrikHelperVersion and nubrikXPCProtocolVersion.
  static HealthDependencies production();
};

// Answers the app's health check. It touches no state: a helper that answers at all is ready.
class HealthCoordinator {
 public:
  explicit HealthCoordinator(HealthDependencies dependencies);
  static HealthCoordinator production();

  HealthReply health() const;

 private:
  HealthDependencies dependencies_;
};

}  // namespace nubrik
