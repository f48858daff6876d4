#include "helper/coordinators/recovery_reporting.hpp"

#include "helper/context/helper.hpp"
#include "helper/store/session_store.hpp"

namespace nubrik {

RecoveryReporting RecoveryReporting::production(Helper& helper) {
  return RecoveryReporting{
      .publishIdle = [] { SessionStore::writeStatusIdle(); },
      .publishPending = [] { SessionStore::writeStatusPending(); },
      .log = helper.logOperation(),
  };
}

}  // namespace nubrik
