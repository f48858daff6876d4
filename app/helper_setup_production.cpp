#include "app/helper_setup_production.hpp"

#include <chrono>
#include <memory>
#include <utility>

#include "app/helper_setup_systemd.hpp"
#include "app/helper_setup_worker.hpp"
#include "core/file_read.hpp"
#include "core/paths.hpp"

namespace nubrik {

namespace {

// Runs blocking calls on the worker, one at a time, and delivers each result on the main queue.
class WorkerCalls {
 public:
  WorkerCalls(MainQueue& mainQueue, std::shared_ptr<SerialWorker> worker)
      : mainQueue_(&mainQueue), worker_(std::move(worker)) {}

  template <typename Result>
  void run(std::function<Result()> call, std::function<void(Result)> completion) const {
    worker_->post(
        [queue = mainQueue_, call = std::move(call), completion = std::move(completion)]() mutable {
          Result result = call();
          queue->post([completion = std::move(completion), result = std::move(result)]() mutable {
            completion(std::move(result));
          });
        });
  }

 private:
  MainQueue* mainQueue_;
  std::shared_ptr<SerialWorker> worker_;
};

}  // namespace

HelperSetupProductionOptions HelperSetupProductionOptions::standard() {
  HelperSetupProductionOptions options;
  options.unitName = helperServiceUnitName;
  options.developerUnitPath = NubrikPaths::daemonPlist;
  return options;
}

HelperSetupDependencies productionHelperSetupDependencies(MainQueue& mainQueue,
                                                          SessionClient client,
                                                          std::function<GuiStatus()> publicStatus,
                                                          HelperSetupProductionOptions options) {
  auto worker = std::make_shared<SerialWorker>();
  options.bus.stopFd = worker->stopFd();
  auto units = std::make_shared<const SystemdUnits>(systemdBusUnits(options.bus));
  const WorkerCalls calls(mainQueue, worker);
  const std::string unit = options.unitName;
  auto sharedClient = std::make_shared<const SessionClient>(std::move(client));
  MainQueue* queue = &mainQueue;

  HelperSetupDependencies deps;
  deps.registrationStatus = [calls, units, unit](std::function<void(RegistrationStatus)> done) {
    calls.run<RegistrationStatus>([units, unit] { return helperServiceStatus(*units, unit); },
                                  std::move(done));
  };
  deps.registerHelper = [calls, units, unit](RegistrationCompletion done) {
    calls.run<std::optional<HelperRegistrationError>>(
        [units, unit] { return registerHelperService(*units, unit); }, std::move(done));
  };
  deps.unregisterHelper = [calls, units, unit](RegistrationCompletion done) {
    calls.run<std::optional<HelperRegistrationError>>(
        [units, unit] { return unregisterHelperService(*units, unit); }, std::move(done));
  };
  deps.probeHealth = [sharedClient](std::function<void(HealthProbeResult)> done) {
    sharedClient->probeHealth(SessionClient::xpcRequestTimeout, std::move(done));
  };
  deps.requestRestart = [sharedClient](std::function<void(HelperRestartOutcome)> done) {
    sharedClient->requestHelperRestart(SessionClient::xpcRequestTimeout, std::move(done));
  };
  deps.developerHelperExists = [path = options.developerUnitPath] { return pathExists(path); };
  deps.schedule = [queue](double seconds, std::function<void()> work) {
    queue->postAfter(seconds, std::move(work));
  };
  deps.publicStatus = std::move(publicStatus);
  deps.now = [] { return std::chrono::system_clock::now(); };
  // systemd asks through polkit when it needs an administrator; there is no settings page for
  // the app to open.
  deps.openLoginItems = {};
  return deps;
}

}  // namespace nubrik
