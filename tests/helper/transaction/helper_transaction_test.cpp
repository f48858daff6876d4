#include "helper/transaction/helper_transaction.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

#include "core/public_status.hpp"
#include "helper/transaction/state_file_lock.hpp"
#include "tests/helper/transaction/state_fixture.hpp"

namespace nubrik {
namespace {

constexpr const char* kEpoch = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";

class HelperTransactionTest : public test::StateFixture {
 protected:
  StatusGeneration generation() const {
    return StatusGeneration::read(dir.file("generation.json"));
  }
  void storeGeneration(std::uint64_t sequence) const {
    dir.write("generation.json", encodeGeneration({kEpoch, sequence}));
  }
  bool lockIsFree() const { return StateFileLock(dir.file("transaction.lock")).acquire(false); }
};

TEST_F(HelperTransactionTest, BracketsAPublishingBodyWithOddThenEvenGenerations) {
  struct Case {
    std::string previous;  // generation file content; empty: none
    std::uint64_t inProgress;
    bool newEpoch;
  };
  const std::vector<Case> cases = {
      {"", 1, true},
      {"{\"epoch\":", 1, true},
      {encodeGeneration({kEpoch, 6}), 7, false},
      {encodeGeneration({kEpoch, 18446744073709551612u}), 18446744073709551613u, false},
      {encodeGeneration({kEpoch, 18446744073709551613u}), 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.previous);
    std::filesystem::remove(dir.file("generation.json"));
    if (!c.previous.empty()) dir.write("generation.json", c.previous);

    StatusGeneration during;
    transact([&](Transaction& tx) {
      during = generation();
      tx.sessions().writeStatusIdle();
    });
    EXPECT_EQ(during.sequence, c.inProgress);
    EXPECT_EQ(during.epoch != kEpoch, c.newEpoch);
    EXPECT_EQ(generation(), (StatusGeneration{during.epoch, c.inProgress + 1}));
    EXPECT_EQ(modeOf(dir.file("generation.json")), 0644u);
  }
}

TEST_F(HelperTransactionTest, OnlyAFinalPublicationFinishesTheGeneration) {
  storeGeneration(4);
  transact([](Transaction& tx) {
    tx.sessions().writeStatusIdle();
    tx.sessions().deleteSession();
  });
  EXPECT_EQ(generation(), (StatusGeneration{kEpoch, 5}));

  // A status-neutral transaction leaves the generation file alone.
  transact([](Transaction& tx) { tx.sessions().writeStatusIdle(); }, StatusEffect::neutral);
  EXPECT_EQ(dir.read("generation.json"), encodeGeneration({kEpoch, 5}));
}

TEST_F(HelperTransactionTest, NestedRunExecutesInlineWithoutLockOrGeneration) {
  storeGeneration(2);
  int innerRuns = 0;
  EXPECT_THROW(runner.current(), std::logic_error);
  transact([&](Transaction& outer) {
    // A second flock from a new descriptor would be refused even in this process.
    transact([&](Transaction& inner) { innerRuns += &inner == &outer; });
    transact([&](Transaction& inner) { innerRuns += &inner == &runner.current(); },
             StatusEffect::neutral);
  });
  EXPECT_EQ(innerRuns, 2);
  EXPECT_EQ(generation().sequence, 4u);  // one bracket: 3 while running, 4 after
}

TEST_F(HelperTransactionTest, ThrowingBodyStillFinishesAPublishedGeneration) {
  storeGeneration(10);
  struct BodyFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
  };
  const auto body = [](Transaction& tx) {
    tx.sessions().writeStatusIdle();
    throw BodyFailure("capture failed");
  };
  EXPECT_THROW(transact(body), BodyFailure);
  EXPECT_EQ(generation(), (StatusGeneration{kEpoch, 12}));
  EXPECT_TRUE(lockIsFree());
}

TEST_F(HelperTransactionTest, ABodyThatChangesNothingLeavesTheStatusFinal) {
  // A refused start changes no state and publishes nothing: readers must not see it as busy.
  storeGeneration(6);
  transact([](Transaction&) {});
  EXPECT_EQ(generation(), (StatusGeneration{kEpoch, 8}));

  // But a status already unfinished before stays unfinished until someone publishes.
  storeGeneration(7);
  transact([](Transaction&) {});
  EXPECT_EQ(generation(), (StatusGeneration{kEpoch, 9}));
}

TEST_F(HelperTransactionTest, AnUnusableLockFileFallsBackToTheDirectoryLockOnlyWhenAsked) {
  occupyWithDirectory("transaction.lock");
  try {
    transact([](Transaction&) { ADD_FAILURE() << "body ran"; });
    ADD_FAILURE() << "entered";
  } catch (const HelperTransactionError& error) {
    EXPECT_EQ(error.kind(), HelperTransactionError::Kind::acquisitionFailed);
    EXPECT_EQ(error.error(), EISDIR);
  }

  bool ran = false;
  runner.run(
      StatusEffect::publishes,
      [&](Transaction& tx) {
        ran = true;
        // Still exclusive across processes: the directory is held.
        EXPECT_FALSE(StateDirectoryLock(dir.path()).acquire());
        tx.sessions().writeStatusIdle();
      },
      WhenUnwritable::proceed);
  EXPECT_TRUE(ran);
  EXPECT_EQ(generation().sequence % 2, 0u);
  EXPECT_EQ(dir.read("status.json"), "{\"active\":false}");

  // Whoever holds the directory lock keeps every transaction out, whichever lock it could take.
  StateDirectoryLock holder(dir.path());
  ASSERT_TRUE(holder.acquire());
  EXPECT_THROW(runner.run(
                   StatusEffect::publishes, [](Transaction&) {}, WhenUnwritable::proceed),
               HelperTransactionError);
  std::filesystem::remove_all(dir.file("transaction.lock"));
  try {
    transact([](Transaction&) { ADD_FAILURE() << "body ran"; });
    ADD_FAILURE() << "entered";
  } catch (const HelperTransactionError& error) {
    EXPECT_EQ(error.kind(), HelperTransactionError::Kind::lockUnavailable);
  }
}

TEST_F(HelperTransactionTest, LockFailuresAreReportedWithoutWaiting) {
  const auto failure = [this](const std::string& directory) -> std::string {
    try {
      TransactionRunner(StatePaths::inDirectory(directory), clock, log)
          .run(StatusEffect::publishes, [](Transaction&) { ADD_FAILURE() << "body ran"; });
    } catch (const HelperTransactionError& error) {
      return error.what();
    }
    return "entered";
  };
  StateFileLock holder(dir.file("transaction.lock"));
  ASSERT_TRUE(holder.acquire(false));
  EXPECT_EQ(failure(dir.path()), "lockUnavailable(path: \"" + holder.path() + "\")");
  // A refused transaction has not touched the generation.
  EXPECT_FALSE(has("generation.json"));
  dir.write("plain", "");
  EXPECT_EQ(failure(dir.file("plain")),
            "acquisitionFailed(path: \"" + dir.file("plain/transaction.lock") + "\")");
}

}  // namespace
}  // namespace nubrik
