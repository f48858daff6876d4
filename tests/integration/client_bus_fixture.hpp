#pragma once

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/blocking_session_client.hpp"
#include "app/event_loop.hpp"
#include "app/helper_bus_connection.hpp"
#include "app/session_client.hpp"
#include "helper/context/helper.hpp"
#include "helper/service/helper_xpc_service.hpp"
#include "tests/support/private_system_bus.hpp"
#include "tests/support/scoped_environment.hpp"

namespace nubrik::test {

// An event loop on a thread of its own, standing in for the helper's main thread.
class ServerThread {
 public:
  ServerThread() : thread_([this] { loop_.run(); }) {}
  ~ServerThread() {
    loop_.stop();
    thread_.join();
  }
  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;

  // Runs work on the server's thread and waits for it.
  template <typename Work>
  auto call(Work work) -> decltype(work()) {
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    loop_.post([&task] { task(); });
    return result.get();
  }

  sd_event* event() const { return loop_.event(); }

 private:
  EventLoop loop_;
  std::thread thread_;
};

// What the test helper received, guarded because the server thread writes it.
struct ServerRecord {
  std::mutex mutex;
  std::vector<std::string> calls;
  std::vector<std::string> senders;
  std::optional<double> duration;
  std::optional<std::size_t> payloadSize;

  void add(std::string call, std::string sender = {}) {
    std::lock_guard guard(mutex);
    calls.push_back(std::move(call));
    if (!sender.empty()) senders.push_back(std::move(sender));
  }
  std::vector<std::string> callsSoFar() {
    std::lock_guard guard(mutex);
    return calls;
  }
};

// A private system bus with the helper's real bus service on it (served from its own thread with
// handlers of the test's choosing), and a client whose identity rules are the test's.
class ClientBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may own the helper's name on the bus";
    if (!bus_.running()) GTEST_SKIP() << "no private bus: " << bus_.failure();
    systemBus_.emplace("DBUS_SYSTEM_BUS_ADDRESS", bus_.address().c_str());
    object_ = defaultObject();
  }

  void TearDown() override {
    releaseServer();
    if (server_) server_->call([this] { owner_.reset(); });
    server_.reset();
    systemBus_.reset();
  }

  // Handlers answering like an idle helper of this version; the tests ask no others.
  HelperXPCExportedObject defaultObject() {
    ServerRecord* record = &record_;
    HelperXPCExportedObject object;
    object.startHandler = [record](double duration) {
      record->add("start");
      std::lock_guard guard(record->mutex);
      record->duration = duration;
      return XPCStartReply{0, 2'000'000'000.0, ""};
    };
    object.healthHandler = [record] {
      record->add("health");
      return HealthReply{nubrikXPCProtocolVersion, nubrikHelperVersion, 0};
    };
    object.scheduleSetHandler = [record](std::string_view payload) {
      record->add("set");
      std::lock_guard guard(record->mutex);
      record->payloadSize = payload.size();
      return XPCScheduleSetReply{0, "Schedules saved."};
    };
    object.scheduleGetHandler = [record] {
      record->add("get");
      return XPCScheduleGetReply{
          0,
          R"([{"id":"A","weekdays":[2],"startMinute":60,"durationMinutes":30,"isEnabled":true}])",
          "Schedules saved."};
    };
    return object;
  }

  // Puts the helper's service on the bus; it records and accepts every caller.
  void startServer() {
    server_ = std::make_unique<ServerThread>();
    HelperXPCExportedObject object = object_;
    ServerRecord* record = &record_;
    XPCClientValidator validator{[record](const XPCCaller& caller) {
      record->add("validate", caller.sender);
      return true;
    }};
    server_->call([&] {
      owner_ = std::make_unique<HelperXPCListenerOwner>(
          helper_, HelperXPCService(validator, [object] { return object; }),
          HelperXPCListenerOwner::busAtAddressForTest(bus_.address()));
      owner_->start(server_->event());
    });
  }

  // Makes the given handler hang until the test ends, as a stopped helper would.
  void stallHealthCheck() {
    std::shared_future<void> released = release_.get_future().share();
    object_.healthHandler = [released, record = &record_] {
      record->add("health (stalled)");
      released.wait();
      return HealthReply{nubrikXPCProtocolVersion, nubrikHelperVersion, 0};
    };
  }

  void releaseServer() {
    if (!released_) {
      released_ = true;
      release_.set_value();
    }
  }

  // A client that trusts exactly this test process as the helper.
  std::unique_ptr<BlockingSessionClient> makeClient() {
    HelperOwnerCheck ownerCheck = [this](pid_t pid, uid_t uid) {
      std::lock_guard guard(record_.mutex);
      ownerSeen_ = {pid, uid};
      return pid == ::getpid() && uid == ::geteuid()
                 ? PeerAuthorization::authorized()
                 : PeerAuthorization::rejected("not the test's helper");
    };
    auto client = std::make_unique<BlockingSessionClient>([ownerCheck](EventLoop& loop) {
      return SessionClient(SessionClientDependencies{
          &loop,
          [] { return std::optional<std::string>("TEAM0001"); },
          [&loop, ownerCheck](
              const HelperConnectionOptions& options) -> std::shared_ptr<HelperConnection> {
            return std::make_shared<HelperBusConnection>(loop, options, ownerCheck);
          },
          {},
      });
    });
    // No test waits the real 15 seconds for an answer that is not coming.
    client->setRequestTimeoutForTest(5);
    return client;
  }

  PrivateSystemBus bus_;
  ServerRecord record_;
  std::optional<std::pair<pid_t, uid_t>> ownerSeen_;
  HelperXPCExportedObject object_;
  std::unique_ptr<ServerThread> server_;
  // The service logs its start; the test's helper has no log file.
  Helper helper_{HelperParts{.log = [](const std::string&) {}}};
  std::unique_ptr<HelperXPCListenerOwner> owner_;
  std::promise<void> release_;
  bool released_ = false;
  std::optional<ScopedEnvironment> systemBus_;
};

}  // namespace nubrik::test
