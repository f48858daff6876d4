#include "helper/cli/commands.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/session.hpp"
#include "core/session_start_error.hpp"
#include "helper/context/helper.hpp"
#include "helper/transaction/helper_transaction.hpp"
#include "tests/support/scoped_environment.hpp"

namespace nubrik {
namespace {

constexpr const char* sessionId = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";

// Streams, root and environment of one invocation; every operation records itself in calls.
struct CommandHarness {
  CommandContext context() {
    return CommandContext{out, err, [this] { return root; },
                          [this](const std::string& name) -> std::optional<std::string> {
                            const auto found = environment.find(name);
                            if (found == environment.end()) return std::nullopt;
                            return found->second;
                          }};
  }

  void runTransaction(const std::function<void()>& body) {
    calls.push_back("transaction");
    if (transactionError) std::rethrow_exception(transactionError);
    body();
  }

  StartCommandOperations startOperations() {
    StartCommandOperations operations;
    operations.runTransaction = [this](const auto& body) { runTransaction(body); };
    operations.startSession = [this](double duration) {
      calls.push_back("start " + std::to_string(duration));
      if (startError) std::rethrow_exception(startError);
      OfflineSession session;
      session.id = sessionId;
      session.expirationDate = dateFromUnixSeconds(1796489491.75);
      return session;
    };
    operations.publishStatus = [this](const OfflineSession& s) {
      calls.push_back("publish " + s.id);
    };
    operations.log = [this](const std::string& line) { calls.push_back("log " + line); };
    operations.notify = [this](const std::string& title, const std::string& message) {
      calls.push_back("notify " + title + " / " + message);
    };
    operations.formattedTime = [](Date) { return std::string("16:51"); };
    return operations;
  }

  RecoverCommandOperations recoverOperations(RecoverCommandResult result) {
    RecoverCommandOperations operations;
    operations.runTransaction = [this](const auto& body) { runTransaction(body); };
    operations.runRecovery = [this, result] {
      calls.push_back("recover");
      return result;
    };
    return operations;
  }

  std::ostringstream out;
  std::ostringstream err;
  bool root = true;
  std::map<std::string, std::string> environment{{"NUBRIK_FORCE", "YES"}};
  std::exception_ptr transactionError;
  std::exception_ptr startError;
  std::vector<std::string> calls;
};

TEST(StartCommand, SuccessPublishesLogsAndNotifiesInsideTheTransaction) {
  CommandHarness harness;
  EXPECT_EQ(doStart(900.5, harness.context(), harness.startOperations()), 0);
  EXPECT_EQ(harness.calls, (std::vector<std::string>{
                               "transaction",
                               "start 900.500000",
                               std::string("publish ") + sessionId,
                               std::string("log session started id=") + sessionId +
                                   " until 2026-12-05 16:51:31 +0000",
                               "notify Tamsel / Offline until 16:51.",
                           }));
  EXPECT_EQ(harness.out.str() + harness.err.str(), "");
}

// Each kind's text and status are the error's own (checked with the session model); the
// command prints them, and anything else is a failure to persist.
TEST(StartCommand, MapsEachFailureToItsTextAndStatus) {
  OfflineSession saved;
  saved.id = sessionId;
  const struct {
    std::exception_ptr error;
    std::string text;
    int status;
  } cases[] = {
      {std::make_exception_ptr(SessionStartError::activationPending(saved)),
       "session saved but the network lock is still being applied; it will take effect "
       "shortly\n",
       9},
      {std::make_exception_ptr(std::runtime_error("writeFailed(path: \"/var/lib/x\")")),
       "error: could not persist session: writeFailed(path: \"/var/lib/x\")\n", 5},
  };
  for (const auto& c : cases) {
    CommandHarness harness;
    harness.startError = c.error;
    EXPECT_EQ(doStart(900, harness.context(), harness.startOperations()), c.status) << c.text;
    EXPECT_EQ(harness.err.str(), c.text);
    // Only a pending activation is logged; no failure publishes or notifies.
    std::vector<std::string> expected = {"transaction", "start 900.000000"};
    if (c.status == 9) {
      expected.push_back(std::string("log session started id=") + sessionId +
                         " with activation pending; daemon will enforce shortly");
    }
    EXPECT_EQ(harness.calls, expected) << c.text;
  }
}

TEST(StartCommand, ALockThatCannotBeTakenExitsEleven) {
  const std::string lock = "/var/lib/nubrik/transaction.lock";
  CommandHarness harness;
  harness.transactionError = std::make_exception_ptr(
      HelperTransactionError(HelperTransactionError::Kind::acquisitionFailed, lock));
  EXPECT_EQ(doStart(900, harness.context(), harness.startOperations()), 11);
  EXPECT_EQ(harness.err.str(), "error: could not acquire helper state lock at " + lock + "\n");
}

TEST(RecoverCommand, RequiresRootAndTheExactConfirmation) {
  CommandHarness notRoot;
  notRoot.root = false;
  EXPECT_EQ(doRecover(notRoot.context(), notRoot.recoverOperations({})), 3);
  EXPECT_EQ(notRoot.err.str(), "error: --recover requires root\n");

  for (const char* value : {static_cast<const char*>(nullptr), "yes", "YES "}) {
    CommandHarness harness;
    harness.environment.clear();
    if (value != nullptr) harness.environment["NUBRIK_FORCE"] = value;
    EXPECT_EQ(doRecover(harness.context(), harness.recoverOperations({})), 6);
    EXPECT_EQ(harness.err.str(),
              "refusing: set NUBRIK_FORCE=YES to confirm deliberate recovery (see "
              "RECOVERY.md)\n");
    EXPECT_TRUE(harness.calls.empty());
  }
}

TEST(RecoverCommand, ReportsEachResultAndEveryTransactionErrorAsBusy) {
  using Kind = RecoverCommandResult::Kind;
  const struct {
    RecoverCommandResult result;
    std::string out;
    std::string err;
    int status;
    std::exception_ptr transactionError = {};
  } cases[] = {
      {{Kind::nothingToDo}, "recovered: no session state present\n", "", 0},
      // A failure to take the lock that names no errno is reported as busy too.
      {{},
       "",
       "error: another helper operation is in progress\n",
       11,
       std::make_exception_ptr(
           HelperTransactionError(HelperTransactionError::Kind::acquisitionFailed, "/x.lock"))},
      {{},
       "",
       "error: could not acquire helper state lock: boom\n",
       11,
       std::make_exception_ptr(std::runtime_error("boom"))},
  };
  for (const auto& c : cases) {
    CommandHarness harness;
    harness.transactionError = c.transactionError;
    EXPECT_EQ(doRecover(harness.context(), harness.recoverOperations(c.result)), c.status);
    EXPECT_EQ(harness.out.str(), c.out);
    EXPECT_EQ(harness.err.str(), c.err);
  }
}

TEST(CommandDispatch, PrintsUsageAndMissingDurationAndRunsTheDaemon) {
  Helper helper;
  CommandHarness usage;
  EXPECT_EQ(execute(UsageError{}, usage.context(), helper, [] { return 99; }), 1);
  EXPECT_EQ(usage.err.str(),
            "usage: nubrik-helper --daemon | --start --duration <sec> | --status | --recover\n");
  CommandHarness missing;
  EXPECT_EQ(execute(MissingDuration{}, missing.context(), helper, [] { return 99; }), 2);
  EXPECT_EQ(missing.err.str(), "error: --start requires --duration <seconds>\n");
  CommandHarness daemon;
  EXPECT_EQ(execute(RunDaemon{}, daemon.context(), helper, [] { return 0; }), 0);
}

TEST(FormattedTime, IsTheLocaleTimeWithoutSeconds) {
  const std::pair<const char*, const char*> cases[] = {
      {"%T", "%H:%M"},
      {"%r", "%I:%M %p"},
      {"%H.%M.%S", "%H.%M"},
      {"", "%H:%M"},
  };
  for (const auto& [localeFormat, expected] : cases) {
    EXPECT_EQ(shortTimeFormat(localeFormat), expected) << localeFormat;
  }

  {
    const test::ScopedEnvironment utc("TZ", "UTC");
    ::tzset();
    EXPECT_EQ(formattedTime(dateFromUnixSeconds(1796489491.75)), "16:51");  // C locale
  }
  ::tzset();
}

}  // namespace
}  // namespace nubrik
