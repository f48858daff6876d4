#include "helper/transaction/helper_state_executor.hpp"

namespace nubrik {

namespace {

thread_local bool onStateQueue = false;

}  // namespace

HelperStateExecutor& HelperStateExecutor::shared() {
  static HelperStateExecutor executor;
  return executor;
}

bool HelperStateExecutor::isOnQueue() {
  return onStateQueue;
}

HelperStateExecutor::QueueScope::QueueScope() {
  onStateQueue = true;
}

HelperStateExecutor::QueueScope::~QueueScope() {
  onStateQueue = false;
}

}  // namespace nubrik
