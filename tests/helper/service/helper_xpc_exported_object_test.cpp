#include "helper/service/helper_xpc_exported_object.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/nubrik_xpc.hpp"
#include "core/session.hpp"
#include "core/session_start_error.hpp"
#include "core/xpc_result_codes.hpp"
#include "helper/store/schedule_store.hpp"
#include "helper/transaction/helper_transaction.hpp"

namespace nubrik {
namespace {

constexpr StatusEffect publishes = StatusEffect::publishes;
constexpr StatusEffect neutral = StatusEffect::neutral;

using std::chrono::seconds;

const Date kEnd = dateFromUnixSeconds(1'900'000'000.0);
// Each reply's text is the wire contract's, whose own test pins the wording; here only which text
// goes out with which code.
const std::string busyText(xpcBusyMessage);
std::string text(XPCStartResultCode code) {
  return std::string(xpcDefaultMessage(code));
}
std::string text(EarlyUnlockResultCode code) {
  return std::string(earlyUnlockDefaultMessage(code));
}
std::string text(ScheduleResultCode code) {
  return std::string(scheduleDefaultMessage(code));
}

OfflineSession sessionEndingAt(Date end) {
  OfflineSession session;
  session.id = "S";
  session.startDate = end - seconds(900);
  session.expirationDate = end;
  return session;
}

RecurringSchedule schedule(const std::string& id) {
  return {id, {2, 3, 4, 5, 6}, 540, 60, true};
}

// Every operation in memory; each records what the handlers asked of it.
struct Harness {
  enum class Lock { free, busy, broken };
  Lock lock = Lock::free;
  std::vector<StatusEffect> transactions;  // the status effect of each transaction entered
  bool restarting = false;
  std::function<OfflineSession(double)> start = [](double d) {
    return sessionEndingAt(kEnd + seconds(static_cast<long>(d)));
  };
  std::vector<OfflineSession> published;
  std::function<EarlyUnlockResult()> request = [] {
    return EarlyUnlockResult{EarlyUnlockResultCode::accepted, kEnd};
  };
  std::function<EarlyUnlockResult()> cancel = [] {
    return EarlyUnlockResult{EarlyUnlockResultCode::accepted, kEnd};
  };
  ScheduleState stored;
  int loads = 0;
  std::function<void(const ScheduleState&)> save = [this](const ScheduleState& s) { stored = s; };
  int ticks = 0;

  HelperXPCExportedObject object() {
    HelperXPCHandlerDependencies d;
    d.runTransaction = [this](const std::function<void()>& body, StatusEffect effect) {
      if (lock == Lock::busy)
        throw HelperTransactionError(HelperTransactionError::Kind::lockUnavailable, "/l");
      if (lock == Lock::broken)
        throw HelperTransactionError(HelperTransactionError::Kind::acquisitionFailed, "/l");
      transactions.push_back(effect);
      body();
    };
    d.isRestarting = [this] { return restarting; };
    d.startSession = [this](double duration) { return start(duration); };
    d.publishStatus = [this](const OfflineSession& s) { published.push_back(s); };
    d.health = [] { return HealthReply{5, nubrikHelperVersion, 0}; };
    d.prepareRestart = [] { return HelperRestartResultCode::accepted; };
    d.requestEarlyUnlock = [this] { return request(); };
    d.cancelEarlyUnlock = [this] { return cancel(); };
    d.loadSchedules = [this] {
      ++loads;
      return stored;
    };
    d.saveSchedules = [this](const ScheduleState& s) { save(s); };
    d.requestTick = [this] { ++ticks; };
    return HelperXPCExportedObject::withDependencies(std::move(d));
  }
};

TEST(StartHandler, StartsPublishesAndRepliesWithTheEnd) {
  Harness h;
  const XPCStartReply reply = h.object().startHandler(900);
  EXPECT_EQ(reply, (XPCStartReply{0, secondsSince1970(kEnd + seconds(900)), ""}));
  ASSERT_EQ(h.published.size(), 1u);
  EXPECT_EQ(h.transactions, std::vector<StatusEffect>{publishes});
  // The daemon loop is asked to follow the new session at once.
  EXPECT_EQ(h.ticks, 1);
}

// Each error kind's code is the wire contract's (checked there); the handler sends it with its
// text and publishes nothing.
TEST(StartHandler, AStartErrorRepliesItsCodeAndText) {
  using Kind = SessionStartError::Kind;
  const auto throwing = [](auto error) {
    return [error](double) -> OfflineSession { throw error; };
  };
  const std::vector<std::pair<std::function<OfflineSession(double)>, XPCStartReply>> table = {
      {throwing(SessionStartError(Kind::invalidDuration)),
       {2, 0, text(XPCStartResultCode::invalidDuration)}},
      {throwing(std::runtime_error("disk full")), {8, 0, text(XPCStartResultCode::requestFailed)}},
      {throwing(42), {8, 0, text(XPCStartResultCode::requestFailed)}},
  };
  for (const auto& [start, expected] : table) {
    Harness h;
    h.start = start;
    EXPECT_EQ(h.object().startHandler(900), expected);
    EXPECT_TRUE(h.published.empty());
  }
}

TEST(StartHandler, ActivationPendingCarriesTheSavedEnd) {
  Harness h;
  h.start = [](double) -> OfflineSession {
    throw SessionStartError::activationPending(sessionEndingAt(kEnd));
  };
  EXPECT_EQ(
      h.object().startHandler(900),
      (XPCStartReply{1, secondsSince1970(kEnd), text(XPCStartResultCode::activationPending)}));
  // The pending status is the coordinator's to publish, not the handler's.
  EXPECT_TRUE(h.published.empty());
  EXPECT_EQ(h.ticks, 1);
}

// A lock held elsewhere or one that cannot be taken at all: each handler answers busy with its
// own code, and nothing is asked of the stored state.
TEST(Handlers, EveryStateOperationAnswersBusyWithItsOwnCode) {
  for (const auto lock : {Harness::Lock::busy, Harness::Lock::broken}) {
    Harness h;
    h.lock = lock;
    HelperXPCExportedObject object = h.object();
    EXPECT_EQ(object.startHandler(900), (XPCStartReply{3, 0, busyText}));
    EXPECT_EQ(object.restartHandler(), (XPCRestartReply{3, busyText}));
    EXPECT_EQ(object.earlyUnlockRequestHandler(), (XPCEarlyUnlockReply{6, 0, busyText}));
    EXPECT_EQ(object.earlyUnlockCancelHandler(), (XPCEarlyUnlockReply{6, 0, busyText}));
    EXPECT_EQ(object.scheduleSetHandler("[]"), (XPCScheduleSetReply{4, busyText}));
    EXPECT_EQ(object.scheduleGetHandler(), (XPCScheduleGetReply{4, "", busyText}));
    EXPECT_EQ(h.ticks + h.loads, 0);
    // The health check alone needs no transaction.
    EXPECT_EQ(object.healthHandler(), (HealthReply{5, nubrikHelperVersion, 0}));
    EXPECT_TRUE(h.transactions.empty());
  }
  // A restart under way turns a new session away before it is started (a start would answer 8).
  Harness restarting;
  restarting.restarting = true;
  restarting.start = [](double) -> OfflineSession { throw std::logic_error("started"); };
  EXPECT_EQ(restarting.object().startHandler(900),
            (XPCStartReply{10, 0, text(XPCStartResultCode::helperRestarting)}));
}

TEST(EarlyUnlockHandlers, RequestAndCancelHaveTheirOwnTexts) {
  Harness h;
  EXPECT_EQ(
      h.object().earlyUnlockRequestHandler(),
      (XPCEarlyUnlockReply{0, secondsSince1970(kEnd), text(EarlyUnlockResultCode::accepted)}));
  EXPECT_EQ(h.object().earlyUnlockCancelHandler(),
            (XPCEarlyUnlockReply{0, secondsSince1970(kEnd),
                                 "Early unlock cancelled. The session continues."}));
  EXPECT_EQ(h.transactions, (std::vector<StatusEffect>{publishes, publishes}));
  EXPECT_EQ(h.ticks, 2);

  h.cancel = [] { return EarlyUnlockResult{EarlyUnlockResultCode::notPending, kEnd}; };
  EXPECT_EQ(
      h.object().earlyUnlockCancelHandler(),
      (XPCEarlyUnlockReply{4, secondsSince1970(kEnd), text(EarlyUnlockResultCode::notPending)}));
  h.request = []() -> EarlyUnlockResult { throw std::runtime_error("boom"); };
  EXPECT_EQ(h.object().earlyUnlockRequestHandler(),
            (XPCEarlyUnlockReply{7, 0, text(EarlyUnlockResultCode::failed)}));
}

// A JSON array of schedules padded with blanks to exactly `size` bytes.
std::string payloadOfSize(std::size_t size) {
  std::string payload = encodeSchedules({schedule("A")});
  payload.insert(1, size - payload.size(), ' ');
  return payload;
}

TEST(SetSchedulesHandler, PayloadLimitIsInclusive) {
  Harness h;
  EXPECT_EQ(h.object().scheduleSetHandler(payloadOfSize(65536)),
            (XPCScheduleSetReply{0, text(ScheduleResultCode::accepted)}));
  EXPECT_EQ(h.stored.schedules, std::vector<RecurringSchedule>{schedule("A")});

  Harness over;
  EXPECT_EQ(over.object().scheduleSetHandler(payloadOfSize(65537)),
            (XPCScheduleSetReply{1, text(ScheduleResultCode::invalid)}));
  // Refused before the stored state is even read.
  EXPECT_EQ(over.loads, 0);
  EXPECT_EQ(over.transactions, std::vector<StatusEffect>{neutral});
}

TEST(SetSchedulesHandler, DecodingAndStoreRefusalsMapToCodes) {
  Harness h;
  EXPECT_EQ(h.object().scheduleSetHandler("[{\"id\":\"A\"}]"),
            (XPCScheduleSetReply{1, text(ScheduleResultCode::invalid)}));
  const std::vector<std::pair<ScheduleStoreError::Kind, XPCScheduleSetReply>> table = {
      {ScheduleStoreError::Kind::invalidSchedule, {1, text(ScheduleResultCode::invalid)}},
      {ScheduleStoreError::Kind::duplicateID, {3, text(ScheduleResultCode::duplicate)}},
      {ScheduleStoreError::Kind::tooManySchedules, {2, text(ScheduleResultCode::tooMany)}},
  };
  for (const auto& [kind, expected] : table) {
    Harness refusing;
    refusing.save = [kind = kind](const ScheduleState&) { throw ScheduleStoreError(kind); };
    EXPECT_EQ(refusing.object().scheduleSetHandler(encodeSchedules({schedule("A")})), expected);
  }
  Harness diskFull;
  diskFull.save = [](const ScheduleState&) { throw std::runtime_error("disk full"); };
  EXPECT_EQ(diskFull.object().scheduleSetHandler("[]"),
            (XPCScheduleSetReply{5, text(ScheduleResultCode::failed)}));
}

TEST(SchedulesHandlers, ReplacingTheListKeepsTheFiredWindowsAndGetRepliesIt) {
  Harness h;
  const Date fired = dateFromUnixSeconds(1'800'000'000.0);
  h.stored = {{schedule("A"), schedule("B")}, {{"A", fired}, {"B", fired}}};
  ASSERT_EQ(h.object().scheduleSetHandler(encodeSchedules({schedule("C"), schedule("A")})).code, 0);
  EXPECT_EQ(h.stored.schedules, (std::vector<RecurringSchedule>{schedule("C"), schedule("A")}));
  EXPECT_EQ(h.stored.firedWindows, (std::map<std::string, Date>{{"A", fired}, {"B", fired}}));
  // Schedules touch neither the status nor the session.
  EXPECT_EQ(h.object().scheduleGetHandler(),
            (XPCScheduleGetReply{0, encodeSchedules({schedule("C"), schedule("A")}),
                                 text(ScheduleResultCode::accepted)}));
  EXPECT_EQ(h.transactions, (std::vector<StatusEffect>{neutral, neutral}));
  EXPECT_EQ(h.ticks, 0);
}

}  // namespace
}  // namespace nubrik
