#include "app/helper_setup.hpp"

#include <utility>

#include "core/nubrik_xpc.hpp"

namespace nubrik {

// Every continuation holds the controller only weakly, so a sheet closed meanwhile simply drops
// the late answers; and each carries the epoch it was started under.
class HelperSetup::Impl : public std::enable_shared_from_this<Impl> {
 public:
  explicit Impl(HelperSetupDependencies dependencies) : deps_(std::move(dependencies)) {}

  HelperSetupDependencies deps_;
  HelperSetupState state_ = HelperSetupState::notInstalled();
  bool working_ = false;
  // The refresh outstanding, if any; its answers are dropped once another one has begun.
  std::optional<std::uint64_t> refreshInFlight_;
  std::uint64_t refreshCount_ = 0;
  std::uint64_t epoch_ = 0;
  std::function<void()> onChange_;

  void changed() const {
    if (onChange_) onChange_();
  }

  void setState(HelperSetupState state) {
    state_ = std::move(state);
    changed();
  }

  // Clears isWorking and shows `state`.
  void finish(HelperSetupState state) {
    working_ = false;
    setState(std::move(state));
  }

  bool isBlocked() const { return working_ || refreshInFlight_.has_value(); }

  // An operation's continuation goes on only under its own epoch and while it is still working.
  bool operationIsCurrent(std::uint64_t epoch) const { return epoch == epoch_ && working_; }

  // Wraps a member continuation so that it runs only while the controller exists.
  template <typename... Args, typename Method>
  auto weakly(Method method, auto... bound) {
    return [weak = weak_from_this(), method, bound...](Args... args) {
      if (const auto self = weak.lock()) ((*self).*method)(bound..., std::move(args)...);
    };
  }

  // --- refresh ---------------------------------------------------------------------------------

  void refresh() {
    if (isBlocked()) return;
    const std::uint64_t id = ++refreshCount_;
    refreshInFlight_ = id;
    changed();
    deps_.registrationStatus(
        weakly<RegistrationStatus>(&Impl::onRefreshStatus, id, std::uint64_t{epoch_}));
  }

  // Ends the refresh `id`; false when it was no longer the one outstanding.
  bool endRefresh(std::uint64_t id) {
    if (refreshInFlight_ != id) return false;
    refreshInFlight_.reset();
    return true;
  }

  bool refreshMayApply(std::uint64_t epoch) const { return epoch == epoch_ && !working_; }

  void onRefreshStatus(std::uint64_t id, std::uint64_t epoch, RegistrationStatus status) {
    if (refreshInFlight_ != id) return;
    if (status != RegistrationStatus::enabled || !refreshMayApply(epoch)) {
      endRefresh(id);
      if (refreshMayApply(epoch)) {
        setState(mapHelperSetupState(status));
      } else {
        changed();
      }
      return;
    }
    deps_.probeHealth(weakly<HealthProbeResult>(&Impl::onRefreshProbe, id, epoch));
  }

  void onRefreshProbe(std::uint64_t id, std::uint64_t epoch, HealthProbeResult health) {
    if (refreshInFlight_ != id) return;
    if (!refreshMayApply(epoch)) {
      endRefresh(id);
      changed();
      return;
    }
    // The registration may have changed while the helper was asked; the state pairs the answer
    // with the registration as it is now.
    deps_.registrationStatus([weak = weak_from_this(), id, epoch,
                              health = std::move(health)](RegistrationStatus status) {
      const auto self = weak.lock();
      if (!self || !self->endRefresh(id)) return;
      if (self->refreshMayApply(epoch)) {
        self->setState(resolveSetupState(status, health, nubrikHelperVersion));
      } else {
        self->changed();
      }
    });
  }

  // --- install ---------------------------------------------------------------------------------

  void install() {
    if (isBlocked() || !helperInstallationIsAvailable(state_)) return;
    // Working already while the registration is read, so that nothing else starts meanwhile.
    working_ = true;
    changed();
    deps_.registrationStatus(
        weakly<RegistrationStatus>(&Impl::onInstallStatus, std::uint64_t{epoch_}));
  }

  void onInstallStatus(std::uint64_t epoch, RegistrationStatus status) {
    if (!operationIsCurrent(epoch)) return;
    if (status != RegistrationStatus::notRegistered && status != RegistrationStatus::notFound) {
      working_ = false;
      changed();
      refresh();
      return;
    }
    if (deps_.developerHelperExists()) {
      finish(HelperSetupState::registrationFailed(std::string(developerHelperExistsMessage)));
      return;
    }
    const std::uint64_t current = ++epoch_;
    deps_.registerHelper(
        weakly<std::optional<HelperRegistrationError>>(&Impl::onInstallRegistered, current));
  }

  void onInstallRegistered(std::uint64_t epoch, std::optional<HelperRegistrationError> error) {
    if (!operationIsCurrent(epoch)) return;
    if (error) {
      finish(HelperSetupState::registrationFailed(error->message));
      return;
    }
    working_ = false;
    changed();
    refresh();
  }

  // --- update ----------------------------------------------------------------------------------

  void updateHelper() {
    if (isBlocked() || state_.kind != HelperSetupState::Kind::helperUpdateAvailable) return;
    const std::uint64_t current = ++epoch_;
    working_ = true;
    changed();
    deps_.requestRestart(weakly<HelperRestartOutcome>(&Impl::onRestartOutcome, current));
  }

  void onRestartOutcome(std::uint64_t epoch, HelperRestartOutcome outcome) {
    if (!operationIsCurrent(epoch)) return;
    switch (outcome.kind) {
      case HelperRestartOutcome::Kind::refused:
        finish(HelperSetupState::helperUpdateAvailable(outcome.message));
        return;
      case HelperRestartOutcome::Kind::failed:
        finish(HelperSetupState::healthCheckFailed(outcome.message));
        return;
      case HelperRestartOutcome::Kind::helperUnavailable:
        finish(HelperSetupState::healthCheckFailed(
            std::string(xpcDefaultMessage(XPCStartResultCode::helperUnavailable))));
        return;
      case HelperRestartOutcome::Kind::accepted:
        // A helper that never comes back is re-registered once.
        pollHealth(epoch, updateHealthPolls, updateFirstPollDelay,
                   [weak = weak_from_this(), epoch] {
                     if (const auto self = weak.lock()) self->reRegister(epoch);
                   });
        return;
    }
  }

  // --- repair ----------------------------------------------------------------------------------

  void repairHelper() {
    if (isBlocked() || state_.kind != HelperSetupState::Kind::healthCheckFailed) return;
    working_ = true;
    changed();
    deps_.registrationStatus(
        weakly<RegistrationStatus>(&Impl::onRepairStatus, std::uint64_t{epoch_}));
  }

  void onRepairStatus(std::uint64_t epoch, RegistrationStatus status) {
    if (!operationIsCurrent(epoch)) return;
    if (status != RegistrationStatus::enabled ||
        !helperRepairIsAllowed(state_, deps_.publicStatus(), deps_.now())) {
      working_ = false;
      changed();
      return;
    }
    reRegister(++epoch_);
  }

  void reRegister(std::uint64_t epoch) {
    if (!operationIsCurrent(epoch)) return;
    deps_.unregisterHelper(
        weakly<std::optional<HelperRegistrationError>>(&Impl::onUnregistered, epoch));
  }

  void onUnregistered(std::uint64_t epoch, std::optional<HelperRegistrationError> error) {
    if (!operationIsCurrent(epoch)) return;
    if (error) {
      finish(
          HelperSetupState::healthCheckFailed(helperReRegistrationFailedMessage(error->message)));
      return;
    }
    deps_.registerHelper(
        weakly<std::optional<HelperRegistrationError>>(&Impl::onReRegistered, epoch));
  }

  void onReRegistered(std::uint64_t epoch, std::optional<HelperRegistrationError> error) {
    if (!operationIsCurrent(epoch)) return;
    if (error) {
      finish(HelperSetupState::registrationFailed(error->message));
      return;
    }
    deps_.registrationStatus(
        weakly<RegistrationStatus>(&Impl::onReRegisteredStatus, std::uint64_t{epoch}));
  }

  void onReRegisteredStatus(std::uint64_t epoch, RegistrationStatus status) {
    if (!operationIsCurrent(epoch)) return;
    if (status == RegistrationStatus::requiresApproval) {
      working_ = false;
      changed();
      refresh();
      return;
    }
    pollHealth(epoch, repairHealthPolls, repairFirstPollDelay, [weak = weak_from_this(), epoch] {
      const auto self = weak.lock();
      if (self && self->operationIsCurrent(epoch)) {
        self->finish(HelperSetupState::healthCheckFailed(std::string(helperDidNotComeBackMessage)));
      }
    });
  }

  // --- health polling --------------------------------------------------------------------------

  void pollHealth(std::uint64_t epoch, int pollsRemaining, double firstDelay,
                  std::function<void()> onExhausted) {
    deps_.schedule(firstDelay, [weak = weak_from_this(), epoch, pollsRemaining,
                                onExhausted = std::move(onExhausted)]() mutable {
      const auto self = weak.lock();
      if (!self || !self->operationIsCurrent(epoch)) return;
      const int remaining = pollsRemaining - 1;
      self->deps_.probeHealth([weak, epoch, remaining, onExhausted = std::move(onExhausted)](
                                  HealthProbeResult health) mutable {
        const auto alive = weak.lock();
        if (!alive || !alive->operationIsCurrent(epoch)) return;
        if (health.kind == HealthProbeResult::Kind::ready &&
            health.version == nubrikHelperVersion) {
          alive->working_ = false;
          alive->changed();
          alive->refresh();
          return;
        }
        if (remaining <= 0) {
          onExhausted();
          return;
        }
        alive->pollHealth(epoch, remaining, healthPollInterval, std::move(onExhausted));
      });
    });
  }
};

HelperSetup::HelperSetup(HelperSetupDependencies dependencies)
    : impl_(std::make_shared<Impl>(std::move(dependencies))) {}

HelperSetup::~HelperSetup() = default;

const HelperSetupState& HelperSetup::state() const {
  return impl_->state_;
}
bool HelperSetup::isWorking() const {
  return impl_->working_;
}
bool HelperSetup::healthProbeInFlight() const {
  return impl_->refreshInFlight_.has_value();
}
std::uint64_t HelperSetup::refreshEpoch() const {
  return impl_->epoch_;
}
const HelperSetupDependencies& HelperSetup::dependencies() const {
  return impl_->deps_;
}

void HelperSetup::setOnChange(std::function<void()> onChange) {
  impl_->onChange_ = std::move(onChange);
}

void HelperSetup::refresh() {
  impl_->refresh();
}
void HelperSetup::install() {
  impl_->install();
}
void HelperSetup::updateHelper() {
  impl_->updateHelper();
}
void HelperSetup::repairHelper() {
  impl_->repairHelper();
}

void HelperSetup::openLoginItems() const {
  if (impl_->deps_.openLoginItems) impl_->deps_.openLoginItems();
}

}  // namespace nubrik
