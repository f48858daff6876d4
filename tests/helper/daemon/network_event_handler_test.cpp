#include "helper/daemon/network_event_handler.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const FileStamp judged{1, 42, {100, 5}, 300};
const Date until = dateFromReferenceSeconds(1000);

// A change between ticks, with the last tick's finding and the stored record as given; every
// effect is journaled.
struct EventHarness {
  TickFinding finding{TickFinding::State::enforcing, judged, until};
  std::optional<FileStamp> stored = judged;
  Date now = dateFromReferenceSeconds(900);
  bool lockFree = true;
  EnforcementOutcome outcome = EnforcementOutcome::corrected;
  std::vector<std::string> effects;

  void handle(const ChangeBatch& batch) {
    NetworkEventHandler({
                            [this] { return finding; },
                            [this] { return stored; },
                            [this] { return now; },
                            [this](const std::function<void()>& body) {
                              if (!lockFree) return false;
                              effects.push_back("lock");
                              body();
                              return true;
                            },
                            [this](const SwitchReadings& links) {
                              std::string names = "down";
                              for (const SwitchReading& link : links) names += " " + link.name;
                              effects.push_back(names);
                              return outcome;
                            },
                            [this](const std::string& line) { effects.push_back(line); },
                            [this] { effects.push_back("tick"); },
                        })
        .handle(batch);
  }
};

ChangeBatch links(std::vector<LinkChange> changes) {
  ChangeBatch batch;
  batch.links = std::move(changes);
  return batch;
}

TEST(NetworkEventHandler, TheDaemonsOwnChangesCostNothing) {
  EventHarness h;
  // Links going down, and one that came up and went down again before the batch was read.
  h.handle(links({{2, "eth0", false}, {3, "eth1", true}, {3, "eth1", false}}));
  EXPECT_THAT(h.effects, IsEmpty());
  // Nothing stored: nothing to do whatever happens.
  h.finding = {TickFinding::State::idle, {}, {}};
  h.stored.reset();
  h.handle(links({{2, "eth0", true}}));
  EXPECT_THAT(h.effects, IsEmpty());
}

// Whenever the announcement alone cannot be trusted to say what to do, the full tick decides.
TEST(NetworkEventHandler, WhatTheAnnouncementsCannotTellIsLeftToATick) {
  const struct {
    const char* what;
    std::function<void(EventHarness&, ChangeBatch&)> arrange;
    std::vector<std::string> effects;
  } cases[] = {
      {"no tick has found anything yet",
       [](EventHarness& h, ChangeBatch&) { h.finding = {}; },
       {"tick"}},
      {"a record stored since an idle tick",
       [](EventHarness& h, ChangeBatch&) {
         h.finding = {TickFinding::State::idle, {}, {}};
       },
       {"tick"}},
      {"the record changed since the tick",
       [](EventHarness& h, ChangeBatch&) { h.stored->size = 301; },
       {"lock", "tick"}},
      {"the record is gone",
       [](EventHarness& h, ChangeBatch&) { h.stored.reset(); },
       {"lock", "tick"}},
      {"the session has ended",
       [](EventHarness& h, ChangeBatch&) { h.now = until; },
       {"lock", "tick"}},
      {"another process holds the state (a restore in progress)",
       [](EventHarness& h, ChangeBatch&) { h.lockFree = false; },
       {"tick"}},
      {"a correction failed",
       [](EventHarness& h, ChangeBatch&) { h.outcome = EnforcementOutcome::correctionFailed; },
       {"lock", "down eth0", "enforcement: correction failed; session retained, will retry",
        "tick"}},
      {"messages were lost",
       [](EventHarness&, ChangeBatch& batch) { batch.untold = true; },
       {"tick", "lock", "down eth0", "enforcement: re-applied offline lock"}},
  };
  for (const auto& c : cases) {
    EventHarness h;
    ChangeBatch batch = links({{2, "eth0", true}});
    c.arrange(h, batch);
    h.handle(batch);
    EXPECT_EQ(h.effects, c.effects) << c.what;
  }
  EventHarness radio;
  ChangeBatch radioOn;
  radioOn.radioUnblocked = true;
  radio.handle(radioOn);
  EXPECT_THAT(radio.effects, ElementsAre("tick"));
}

}  // namespace
}  // namespace nubrik
