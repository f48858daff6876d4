// The helper's service on a private system-style bus, driven by plain sd-bus calls: the real
// glue, credentials from the bus daemon, transactions, stores and bus policy; only the network
// and the executable's place in an installation are stand-ins. Who is refused, the fail-closed
// helper and the restart are the end-to-end tests' part, with the installed executables.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "core/file_read.hpp"
#include "core/nubrik_xpc.hpp"
#include "core/public_status.hpp"
#include "core/state_paths.hpp"
#include "core/xpc_result_codes.hpp"
#include "helper/context/helper.hpp"
#include "helper/coordinators/session_start_coordinator.hpp"
#include "helper/service/helper_xpc_service.hpp"
#include "helper/service/restart_coordinator.hpp"
#include "helper/store/session_store.hpp"
#include "tests/support/private_system_bus.hpp"

namespace nubrik {
namespace {

using test::PrivateSystemBus;

const std::string team = "TEAM123";
const std::string prefix = "/opt/nubrik-test";
// The group of the stand-in installation's setgid app, carried by the test's own connections.
constexpr gid_t appGroup = 4242;
// The texts are the wire contract's (pinned by its own test); here only which one arrives.
const std::string busyText(xpcBusyMessage);

std::string ownExecutable() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// This test binary, wherever it runs, passes for the app of an installation under /opt, whose
// app is setgid to appGroup; the credentials and /proc/PID/exe of every caller are still the
// real ones.
CodeIdentity testInstallation() {
  const CodeIdentityDependencies real = CodeIdentity::production().dependencies();
  const std::string self = ownExecutable();
  return CodeIdentity({
      [real](const std::string& path) -> std::optional<PathStatus> {
        if (path == prefix + "/bin/tamsel") {
          return PathStatus{false, false, true, 0, S_IFREG | 02755, appGroup};
        }
        if (path == "/" || path == "/opt" || path.rfind(prefix, 0) == 0) {
          const bool file = path.ends_with("/com.nubrik.helper");
          return PathStatus{false, !file, file, 0, 0755};
        }
        return real.statPath(path);
      },
      [real, self](const std::string& path) -> std::optional<std::string> {
        if (path == "/proc/self/exe") return prefix + "/libexec/nubrik/com.nubrik.helper";
        const auto target = real.readLink(path);
        if (target && *target == self) return prefix + "/bin/tamsel";
        return target;
      },
      team,
  });
}

struct MessageDeleter {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageDeleter>;

class HelperServiceBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus.running()) GTEST_SKIP() << "no private bus: " << bus.failure();
    ASSERT_GE(sd_event_new(&event), 0);
    try {
      owner = std::make_unique<HelperXPCListenerOwner>(
          helper,
          HelperXPCService(
              XPCClientValidator::withCodeIdentityForTest(team, testInstallation(),
                                                          helper.logOperation()),
              [this] { return HelperXPCExportedObject::withDependencies(dependencies()); }),
          HelperXPCListenerOwner::busAtAddressForTest(bus.address()));
      owner->start(event);
    } catch (const std::system_error& failure) {
      if (failure.code().value() == EACCES || failure.code().value() == EPERM)
        GTEST_SKIP() << "the bus policy lets only root own the helper's name";
      throw;
    }
    // The client connects as the setgid app would: with the app's group among its groups.
    ASSERT_TRUE(carryAppGroup(true)) << "cannot change this process's groups";
    ASSERT_GE(HelperXPCListenerOwner::busAtAddressForTest(bus.address())(&client), 0);
    ASSERT_GE(sd_bus_attach_event(client, event, 0), 0);
  }

  void TearDown() override {
    if (client != nullptr) sd_bus_flush_close_unref(client);
    if (savedGroups) (void)::setgroups(savedGroups->size(), savedGroups->data());
    owner.reset();
    if (event != nullptr) sd_event_unref(event);
  }

  // Production handlers, except that the network is never touched, no exit is ever scheduled and
  // no daemon loop is woken (whether one is asked to is the handlers' unit tests' business).
  HelperXPCHandlerDependencies dependencies() {
    HelperXPCHandlerDependencies d = HelperXPCHandlerDependencies::production(helper);
    d.startSession = [this](double duration) {
      SessionStartDependencies start = SessionStartDependencies::production(helper);
      start.captureSnapshot = [] {
        return CapturedSnapshot{{{"NetworkManager", true}}, {}, {{"eth0", true}}};
      };
      start.activateOffline = [] { return ActivationOutcome::activated; };
      return SessionStartCoordinator(start).start(duration);
    };
    d.prepareRestart = [this] {
      RestartDependencies restart = RestartDependencies::production(helper);
      restart.scheduleExit = [] {};
      return RestartCoordinator(restart).prepareRestart();
    };
    d.requestTick = [] {};
    return d;
  }

  // Adds the app's group to this process's supplementary groups, or takes it away (the first
  // call remembers the groups to restore). Only root may.
  bool carryAppGroup(bool carry) {
    const int count = ::getgroups(0, nullptr);
    if (count < 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgroups(count, groups.data()) != count) return false;
    if (!savedGroups) savedGroups = groups;
    std::erase(groups, appGroup);
    if (carry) groups.push_back(appGroup);
    return ::setgroups(groups.size(), groups.data()) == 0;
  }

  // Dispatches the loop (both ends of the bus live on it) until `done`, within a bound.
  void runUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) (void)sd_event_run(event, 20'000);
  }

  // One call; the reply, or the error's name in `error`.
  Message call(const HelperXPCMethod& method,
               const std::function<void(sd_bus_message*)>& append = {}) {
    sd_bus_message* raw = nullptr;
    EXPECT_GE(
        sd_bus_message_new_method_call(client, &raw, NubrikXPC::busName, NubrikXPC::objectPath,
                                       NubrikXPC::interfaceName, method.member),
        0);
    const Message request(raw);
    if (append) append(request.get());
    struct Pending {
      sd_bus_message* reply = nullptr;
    } pending;
    EXPECT_GE(sd_bus_call_async(
                  client, nullptr, request.get(),
                  [](sd_bus_message* reply, void* userdata, sd_bus_error*) {
                    static_cast<Pending*>(userdata)->reply = sd_bus_message_ref(reply);
                    return 0;
                  },
                  &pending, 10'000'000),
              0);
    runUntil([&] { return pending.reply != nullptr; });
    Message reply(pending.reply);
    error.clear();
    if (reply && sd_bus_message_is_method_error(reply.get(), nullptr)) {
      error = sd_bus_message_get_error(reply.get())->name;
    }
    return reply;
  }

  // A reply read by its method's signature: the code, then the date ("xds"), the payload
  // ("xays") and the text.
  struct Reply {
    int64_t code = -1;
    double date = -1;
    std::string payload;
    std::string text;
  };
  Reply ask(const HelperXPCMethod& method,
            const std::function<void(sd_bus_message*)>& append = {}) {
    const Message message = call(method, append);
    const std::string_view signature = method.outSignature;
    Reply reply;
    const void* data = nullptr;
    size_t size = 0;
    const char* text = nullptr;
    EXPECT_GE(sd_bus_message_read(message.get(), "x", &reply.code), 0) << error;
    if (signature == "xds") {
      EXPECT_GE(sd_bus_message_read(message.get(), "d", &reply.date), 0);
    }
    if (signature == "xays") {
      EXPECT_GE(sd_bus_message_read_array(message.get(), 'y', &data, &size), 0);
      if (size > 0) reply.payload.assign(static_cast<const char*>(data), size);
    }
    EXPECT_GE(sd_bus_message_read(message.get(), "s", &text), 0);
    if (text != nullptr) reply.text = text;
    return reply;
  }
  Reply start(double duration) {
    return ask(NubrikXPC::startSessionWithDuration,
               [&](sd_bus_message* m) { sd_bus_message_append(m, "d", duration); });
  }
  Reply setSchedules(const std::string& payload) {
    return ask(NubrikXPC::setSchedules, [&](sd_bus_message* m) {
      sd_bus_message_append_array(m, 'y', payload.data(), payload.size());
    });
  }

  PrivateSystemBus bus;
  TempDir state;
  std::vector<std::string> logLines;
  Helper helper{HelperParts{
      .log = [this](const std::string& line) { logLines.push_back(line); },
      .paths = StatePaths::inDirectory(state.path()),
  }};
  sd_event* event = nullptr;
  sd_bus* client = nullptr;
  std::unique_ptr<HelperXPCListenerOwner> owner;
  std::string error;
  std::optional<std::vector<gid_t>> savedGroups;
};

TEST_F(HelperServiceBusTest, TheListenerLogsItsStartAndAnswersTheHealthCheck) {
  EXPECT_EQ(logLines, std::vector<std::string>{"xpc listener started on com.nubrik.helper.xpc"});
  const Message reply = call(NubrikXPC::healthCheck);
  int64_t protocol = 0;
  int64_t ready = -1;
  const char* version = nullptr;
  ASSERT_GE(sd_bus_message_read(reply.get(), "xsx", &protocol, &version, &ready), 0) << error;
  EXPECT_EQ(protocol, 5);
  EXPECT_STREQ(version, nubrikHelperVersion);
  EXPECT_EQ(ready, 0);
}

// The codes and texts of each outcome are the handlers' unit tests' business; here each method
// is checked once through the production bindings of store, coordinators and lifecycle.
TEST_F(HelperServiceBusTest, ASessionStartsAndAnEarlyUnlockComesAndGoes) {
  const auto before = std::chrono::system_clock::now();
  const Reply started = start(3600);
  EXPECT_EQ(started.code, 0);
  EXPECT_EQ(started.text, "");
  const Date end = dateFromUnixSeconds(started.date);
  EXPECT_GE(end, before + std::chrono::seconds(3600));
  EXPECT_LT(end, before + std::chrono::seconds(3660));
  EXPECT_TRUE(readPublicStatus(helper.paths().statusFile, helper.paths().generationFile)
                  .json.find("\"active\":true") != std::string::npos);

  // The stored session is the daemon's; a second start is refused with its code and text.
  const Reply again = start(900);
  EXPECT_EQ(again.code, 3);
  EXPECT_EQ(again.text, xpcDefaultMessage(XPCStartResultCode::activeSession));

  const Reply requested = ask(NubrikXPC::requestEarlyUnlock);
  EXPECT_EQ(requested.code, 0);
  EXPECT_LT(requested.date, started.date);
  const Reply cancelled = ask(NubrikXPC::cancelEarlyUnlock);
  EXPECT_EQ(cancelled.code, 0);
  EXPECT_DOUBLE_EQ(cancelled.date, started.date);

  // A running session keeps the helper from restarting.
  EXPECT_EQ(ask(NubrikXPC::prepareRestart).code, 1);
}

TEST_F(HelperServiceBusTest, SchedulesRoundTripThroughTheStore) {
  const Reply empty = ask(NubrikXPC::getSchedules);
  EXPECT_EQ(empty.code, 0);
  EXPECT_EQ(empty.payload, "[]");
  EXPECT_EQ(empty.text, scheduleDefaultMessage(ScheduleResultCode::accepted));

  // A payload of exactly the limit is decoded; one byte more is refused without decoding.
  const std::vector<RecurringSchedule> list = {{"A", {2, 3, 4, 5, 6}, 540, 60, true}};
  std::string payload = encodeSchedules(list);
  payload.insert(1, 65536 - payload.size(), ' ');
  const Reply saved = setSchedules(payload);
  EXPECT_EQ(saved.code, 0);
  EXPECT_EQ(saved.text, scheduleDefaultMessage(ScheduleResultCode::accepted));
  payload.insert(1, " ");
  const Reply tooLarge = setSchedules(payload);
  EXPECT_EQ(tooLarge.code, 1);
  EXPECT_EQ(tooLarge.text, scheduleDefaultMessage(ScheduleResultCode::invalid));
  const Reply stored = ask(NubrikXPC::getSchedules);
  EXPECT_EQ(stored.code, 0);
  EXPECT_EQ(decodeSchedules(stored.payload), list);
}

// Every handler runs in the production transaction; a few of them show that it takes the real
// lock, the rest map the busy state in their unit tests.
TEST_F(HelperServiceBusTest, ALockHeldByAnotherProcessMakesStateOperationsBusy) {
  int ready[2];
  int release[2];
  ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(release, O_CLOEXEC), 0);
  const std::string lockPath = helper.paths().stateLockFile;
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
    char byte = 1;
    if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
    ::close(release[1]);
    (void)::read(release[0], &byte, 1);
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  const Reply started = start(900);
  EXPECT_EQ(started.code, 3);
  EXPECT_EQ(started.text, busyText);
  const Reply schedules = ask(NubrikXPC::getSchedules);
  EXPECT_EQ(schedules.code, 4);
  EXPECT_EQ(schedules.payload, "");
  // The health check needs no lock.
  EXPECT_TRUE(call(NubrikXPC::healthCheck));
  EXPECT_EQ(error, "");

  ::close(release[1]);
  ::close(ready[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(holder, &status, 0), holder);
  EXPECT_EQ(ask(NubrikXPC::requestEarlyUnlock).code, 2);
}

// What counts is the group the bus recorded when the connection was made, not the one the process
// has when it calls: a process that gains the group after connecting (as one that execs the app
// would) is refused, and one that drops it afterwards is still the app that connected.
TEST_F(HelperServiceBusTest, TheAppsGroupCountsAsItWasWhenTheConnectionWasMade) {
  struct Case {
    const char* what;
    bool groupWhenConnecting;
    bool groupWhenCalling;
    int expected;  // child's exit status: 0 served, 1 refused
  };
  const std::vector<Case> cases = {
      {"connected without the group, gained it afterwards", false, true, 1},
      {"connected without the group", false, false, 1},
      {"connected with the group, dropped it afterwards", true, false, 0},
  };
  const std::string address = bus.address();
  for (const Case& c : cases) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (!carryAppGroup(c.groupWhenConnecting)) ::_exit(90);
      sd_bus* own = nullptr;
      if (HelperXPCListenerOwner::busAtAddressForTest(address)(&own) < 0) ::_exit(91);
      if (!carryAppGroup(c.groupWhenCalling)) ::_exit(90);
      sd_bus_error failure{};
      sd_bus_message* reply = nullptr;
      const int r = sd_bus_call_method(own, NubrikXPC::busName, NubrikXPC::objectPath,
                                       NubrikXPC::interfaceName, NubrikXPC::healthCheck.member,
                                       &failure, &reply, "");
      if (r >= 0) ::_exit(0);
      ::_exit(sd_bus_error_has_name(&failure, SD_BUS_ERROR_ACCESS_DENIED) ? 1 : 92);
    }
    int status = -1;
    bool reaped = false;
    runUntil([&] {
      reaped = ::waitpid(child, &status, WNOHANG) == child;
      return reaped;
    });
    if (!reaped) {
      ::kill(child, SIGKILL);
      (void)::waitpid(child, &status, 0);
    }
    EXPECT_TRUE(WIFEXITED(status)) << c.what;
    EXPECT_EQ(WEXITSTATUS(status), c.expected) << c.what;
  }
  // This process's own connection was made with the group.
  EXPECT_TRUE(call(NubrikXPC::healthCheck));
  EXPECT_EQ(error, "");
}

// The app runs as a user: the bus policy lets it call (the installed system's tests show it
// served) but never own the helper's name.
TEST_F(HelperServiceBusTest, AnUnprivilegedProcessCannotOwnTheName) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  bus.openToOtherUsers();
  const std::string address = bus.address();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0)
      ::_exit(90);
    sd_bus* own = nullptr;
    if (HelperXPCListenerOwner::busAtAddressForTest(address)(&own) < 0) ::_exit(91);
    ::_exit(sd_bus_request_name(own, NubrikXPC::busName, 0) == -EACCES ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(HelperServiceBusTest, NotificationsBecomeSignals) {
  std::vector<std::pair<std::string, std::string>> received;
  const std::string match = std::string("type='signal',interface='") + NubrikXPC::interfaceName +
                            "',member='" + NubrikXPC::notificationSignal + "'";
  ASSERT_GE(sd_bus_add_match(
                client, nullptr, match.c_str(),
                [](sd_bus_message* message, void* userdata, sd_bus_error*) {
                  const char* title = nullptr;
                  const char* text = nullptr;
                  if (sd_bus_message_read(message, "ss", &title, &text) >= 0) {
                    static_cast<std::vector<std::pair<std::string, std::string>>*>(userdata)
                        ->emplace_back(title, text);
                  }
                  return 0;
                },
                &received),
            0);
  // Make sure the match is in place before the signal goes out.
  call(NubrikXPC::healthCheck);
  helper.notify("Tamsel", "Network access restored.");
  runUntil([&] { return !received.empty(); });
  EXPECT_EQ(
      received,
      (std::vector<std::pair<std::string, std::string>>{{"Tamsel", "Network access restored."}}));

  // A stopped listener no longer routes notifications to the bus.
  owner->stop();
  helper.notify("Tamsel", "again");
  call(NubrikXPC::healthCheck);
  EXPECT_EQ(received.size(), 1u);
}

}  // namespace
}  // namespace nubrik
