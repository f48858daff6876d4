#include "helper/service/health_coordinator.hpp"

#include <utility>

namespace nubrik {

HealthDependencies HealthDependencies::production() {
  return {nubrikHelperVersion, nubrikXPCProtocolVersion};
}

HealthCoordinator::HealthCoordinator(HealthDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

HealthCoordinator HealthCoordinator::production() {
  return HealthCoordinator(HealthDependencies::production());
}

HealthReply HealthCoordinator::health() const {
  return {dependencies_.protocolVersion, dependencies_.helperVersion,
          rawValue(HealthReadyCode::ready)};
}

}  // namespace nubrik
