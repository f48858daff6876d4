#include "helper/coordinators/recovery_reporting.hpp"

#include "helper/context/helper.hpp"

namespace nubrik {

RecoveryReporting RecoveryReporting::production(Helper& helper) {
  return RecoveryReporting{
      .publishIdle = [&helper] { helper.sessions().writeStatusIdle(); },
      .publishPending = [&helper] { helper.sessions().writeStatusPending(); },
      .log = helper.logOperation(),
  };
}

}  // namespace nubrik
