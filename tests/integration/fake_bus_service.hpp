#pragma once

#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/bus_address.hpp"
#include "app/bus_wait.hpp"
#include "core/sd_handles.hpp"
#include "core/unique_fd.hpp"

namespace nubrik::test {

// A system service of the test's own (systemd's manager, PackageKit, the desktop's notification
// service) on a private bus: its objects are set up before start(), then it serves them from a
// thread of its own until it goes. Its handlers record the calls they received as `Call`s.
// An owner declares it last, so that its thread ends before the state its handlers use.
template <typename Call = std::string>
class FakeBusService {
 public:
  explicit FakeBusService(const std::string& address)
      : bus_(connect(address)), stop_(::eventfd(0, EFD_CLOEXEC)) {}
  ~FakeBusService() {
    const std::uint64_t one = 1;
    (void)!::write(stop_.get(), &one, sizeof one);
    if (thread_.joinable()) thread_.join();
  }
  FakeBusService(const FakeBusService&) = delete;
  FakeBusService& operator=(const FakeBusService&) = delete;

  // A started client connection to the bus at `address`; empty on failure.
  static FlushingBusHandle connect(const std::string& address) {
    FlushingBusHandle bus;
    if (openBusAtAddress(address, out(bus)) < 0) return {};
    return bus;
  }

  sd_bus* bus() const { return bus_.get(); }

  // Serves `vtable` at `path`; also from a handler, for objects made on demand.
  bool addObject(const char* path, const char* interface, const sd_bus_vtable* vtable,
                 void* userdata) {
    BusSlotHandle slot;
    if (!bus_) return false;
    if (sd_bus_add_object_vtable(bus_.get(), out(slot), path, interface, vtable, userdata) < 0) {
      return false;
    }
    slots_.push_back(std::move(slot));
    return true;
  }

  // Takes the well-known name and starts serving; false when either failed.
  bool start(const char* name) {
    if (!bus_ || !stop_.valid() || thread_.joinable() ||
        sd_bus_request_name(bus_.get(), name, 0) < 0) {
      return false;
    }
    thread_ = std::thread([this] {
      (void)processBusUntil(
          bus_.get(), [] { return false; }, stop_.get());
    });
    return true;
  }

  void record(Call call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  std::vector<Call> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

  // Keeps the call unanswered until the service goes, as a hung service would; the handler's
  // return value.
  int hold(sd_bus_message* message) {
    held_.emplace_back(sd_bus_message_ref(message));
    return 1;
  }

 private:
  // Destroyed in reverse: held calls and objects go before the connection closes.
  FlushingBusHandle bus_;
  UniqueFd stop_;
  // Touched on the service's thread only, and before it starts or after it ended.
  std::vector<BusSlotHandle> slots_;
  std::vector<BusMessageHandle> held_;
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::thread thread_;
};

}  // namespace nubrik::test
