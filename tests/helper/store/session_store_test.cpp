#include "helper/store/session_store.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <system_error>

#include "core/helper_status.hpp"
#include "core/session.hpp"
#include "helper/store/session_load_result.hpp"
#include "tests/helper/transaction/state_fixture.hpp"
#include "tests/support/scoped_umask.hpp"

namespace nubrik {
namespace {

OfflineSession sampleSession() {
  OfflineSession session;
  session.expirationDate = addSeconds(std::chrono::system_clock::now(), 3600);
  return session;
}

const RecoveryPendingMarker kMarker{Date{}, CorruptReason::unreadable, std::nullopt};

class SessionStoreTest : public test::StateFixture {
 protected:
  std::string stamp() const {
    return std::to_string(std::chrono::floor<std::chrono::seconds>(now).time_since_epoch().count());
  }
};

TEST_F(SessionStoreTest, UndecodableSessionIsQuarantinedBehindAPrivateMarker) {
  dir.write("session.json", "not json");
  const SessionLoadResult result = sessions.loadSession();

  const auto* info = std::get_if<CorruptSessionInfo>(&result);
  ASSERT_TRUE(info && info->quarantinedPath && info->pendingPersisted) << describe(result);
  const std::string name = "session.corrupt." + stamp();
  EXPECT_EQ(*info->quarantinedPath, dir.file(name));
  EXPECT_EQ(dir.read(name), "not json");
  EXPECT_EQ(modeOf(dir.file("recovery-pending.json")), 0600u);

  // The next load reports the pending recovery and touches nothing.
  const auto files = entries();
  EXPECT_TRUE(std::holds_alternative<RecoveryPendingMarker>(sessions.loadSession()));
  EXPECT_EQ(entries(), files);
}

TEST_F(SessionStoreTest, FinishingARecoveryKeepsAnyRemainingRecordAsEvidence) {
  EXPECT_NO_THROW(sessions.finishRecovery());  // nothing stored is success
  {
    const test::ScopedUmask mask(0);
    snapshot.statusPublished();
    sessions.save(sampleSession());
    sessions.writePendingMarker(kMarker);
  }
  EXPECT_FALSE(snapshot.isFinal());
  EXPECT_EQ(modeOf(dir.file("session.json")), 0600u);
  EXPECT_EQ(modeOf(dir.file("recovery-pending.json")), 0600u);
  const std::string record = dir.read("session.json");

  // The record the helper could not trust is moved aside, never deleted; the marker goes.
  sessions.finishRecovery();
  const std::set<std::string> left = entries();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left.begin()->rfind("session.corrupt.", 0), 0u);
  EXPECT_EQ(dir.read(*left.begin()), record);
}

TEST_F(SessionStoreTest, StatusPublicationMarksTheSnapshotOnlyWhenItLands) {
  {
    const test::ScopedUmask mask(077);
    sessions.writeStatus(sampleSession());
  }
  EXPECT_TRUE(snapshot.isFinal());
  EXPECT_EQ(modeOf(dir.file("status.json")), 0644u);
  EXPECT_GT(decodeStatus(dir.read("status.json")).remainingSeconds.value_or(0), 3500);

  std::filesystem::remove(dir.file("status.json"));
  occupyWithDirectory("status.json");
  sessions.writeStatusIdle();
  EXPECT_FALSE(snapshot.isFinal());
  EXPECT_EQ(entries(), std::set<std::string>{"status.json"});  // no temporary file left behind
}

}  // namespace
}  // namespace nubrik
