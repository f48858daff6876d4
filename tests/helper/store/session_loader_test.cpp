#include <gtest/gtest.h>

#include <stdexcept>

#include "core/session.hpp"
#include "helper/store/session_load_result.hpp"
#include "helper/store/session_store.hpp"

namespace nubrik {
namespace {

const Date kNow = dateFromUnixSeconds(1796489491);
const std::string kEvidence = "/state/session.corrupt.1796489491";

std::string sessionJSON(bool active) {
  OfflineSession session;
  session.id = "6A1D8B0E-58E4-4E0B-9A39-0D7D4C0E1F22";
  session.active = active;
  return encodeSession(session);
}

// The stored state in memory; marker writes, moves and log lines are recorded in order.
struct MemoryState {
  std::optional<std::string> marker, session;  // present = the file exists
  std::vector<bool> markerWritesSucceed = {true, true};
  std::optional<std::string> quarantineResult = kEvidence;
  std::vector<std::string> events;
  size_t markerWrites = 0;
  bool sessionRead = false;

  SessionFileSystem fileSystem() {
    return {[this] { return marker.has_value(); },
            [this] { return decodeMarker(*marker); },
            [this] { return session.has_value(); },
            [this] {
              sessionRead = true;
              if (*session == "EIO") throw std::runtime_error("EIO");
              if (*session == "EACCES") throw SessionUnreadableNow("EACCES");
              return *session;
            },
            [this](const RecoveryPendingMarker& written) {
              const size_t attempt = markerWrites++;
              const bool succeeds =
                  attempt < markerWritesSucceed.size() && markerWritesSucceed[attempt];
              events.push_back("marker " + written.quarantinedPath.value_or("-"));
              if (!succeeds) throw std::runtime_error("EROFS");
              marker = encodeMarker(written);
            },
            [this] {
              events.push_back("quarantine");
              if (quarantineResult) session.reset();
              return quarantineResult;
            },
            [this](const std::string& line) { events.push_back(line); },
            [] { return kNow; }};
  }
};

TEST(SessionLoaderTest, ClassifiesStoredStateInPrecedenceOrder) {
  const RecoveryPendingMarker stored{kNow, CorruptReason::undecodable, std::nullopt};
  const RecoveryPendingMarker madeOnTheSpot{kNow, CorruptReason::unreadable, std::nullopt};
  struct Case {
    std::optional<std::string> marker, session;
    SessionLoadResult expected;
  };
  const std::vector<Case> cases = {
      {encodeMarker(stored), sessionJSON(true), stored},
      {"", "EIO", madeOnTheSpot},
      {std::nullopt, std::nullopt, SessionAbsent{}},
      {std::nullopt, sessionJSON(false), SessionAbsent{}},
      {std::nullopt, sessionJSON(true), decodeSession(sessionJSON(true))},
      {std::nullopt, "EIO", CorruptSessionInfo{CorruptReason::unreadable, kEvidence, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.marker.value_or("(no marker)") + " / " + c.session.value_or("(no session)"));
    MemoryState state;
    state.marker = c.marker;
    state.session = c.session;
    EXPECT_EQ(SessionLoader::load(state.fileSystem()), c.expected);
    EXPECT_EQ(state.sessionRead, !c.marker && c.session);  // a marker settles the load unread
    EXPECT_EQ(state.events.empty(), !std::holds_alternative<CorruptSessionInfo>(c.expected));
  }
}

TEST(SessionLoaderTest, RecordsCorruptionWithTheMarkerBeforeTheEvidence) {
  const std::string corrupt = "corrupt session state (undecodable)";
  const std::string pending = corrupt + "; evidence: " + kEvidence + "; recovery pending";
  struct Case {
    std::vector<bool> markerWritesSucceed;
    std::optional<std::string> quarantineResult;
    std::vector<std::string> events;
    CorruptSessionInfo result;
  };
  const std::vector<Case> cases = {
      {{true, true},
       kEvidence,
       {"marker -", "quarantine", "marker " + kEvidence, pending},
       {CorruptReason::undecodable, kEvidence, true}},
      {{true},
       std::nullopt,
       {"marker -", "quarantine",
        corrupt + "; quarantine failed; original record retained as evidence; recovery pending"},
       {CorruptReason::undecodable, std::nullopt, true}},
      {{true, false},
       kEvidence,
       {"marker -", "quarantine", "marker " + kEvidence,
        corrupt + "; evidence quarantined at " + kEvidence +
            " but marker finalization failed; initial marker remains",
        pending},
       {CorruptReason::undecodable, kEvidence, true}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    MemoryState state;
    state.session = "not json";
    state.markerWritesSucceed = cases[i].markerWritesSucceed;
    state.quarantineResult = cases[i].quarantineResult;
    EXPECT_EQ(SessionLoader::load(state.fileSystem()), SessionLoadResult(cases[i].result));
    EXPECT_EQ(state.events, cases[i].events);
    // The evidence is never lost: it stays in place unless the move succeeded.
    EXPECT_EQ(state.session.has_value(), !cases[i].result.quarantinedPath.has_value());
  }
}

TEST(SessionLoaderTest, LeavesARecordThatCannotBeReadForAMomentAsItIs) {
  MemoryState state;
  state.session = "EACCES";
  EXPECT_THROW(SessionLoader::load(state.fileSystem()), SessionUnreadableNow);
  EXPECT_EQ(state.events, std::vector<std::string>{});
  EXPECT_EQ(state.session, "EACCES");
}

TEST(SessionLoaderTest, HoldsAnyRecordToTheLongestSession) {
  OfflineSession stored;
  stored.id = "6A1D8B0E-58E4-4E0B-9A39-0D7D4C0E1F22";
  stored.startDate = kNow;
  stored.expirationDate = addSeconds(kNow, 100.0 * 365 * 86400);
  stored.originalExpirationDate = addSeconds(kNow, 50.0 * 365 * 86400);
  MemoryState state;
  state.session = encodeSession(stored);
  const SessionLoadResult result = SessionLoader::load(state.fileSystem());
  const auto* session = std::get_if<OfflineSession>(&result);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(session->expirationDate, addSeconds(kNow, 86400));
  EXPECT_EQ(session->originalExpirationDate, addSeconds(kNow, 86400));
}

}  // namespace
}  // namespace nubrik
