#include "app/session_completion.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/completion_chime.hpp"

namespace nubrik {
namespace {

// Player and poster in one, recording both into `events`.
struct Recorder : SoundPlayer, NotificationPoster {
  Recorder(int playerFailure, bool posterFails)
      : playerFailure_(playerFailure), posterFails_(posterFails) {}
  bool play(const std::vector<std::uint8_t>& wav, double volume) override {
    events.push_back("play " + std::to_string(wav.size()) + " at " +
                     std::to_string(volume).substr(0, 3));
    if (playerFailure_ == 2) throw std::runtime_error("no audio device");
    return playerFailure_ == 0;
  }
  bool post(const std::string& title, const std::string& body,
            const std::string& identifier) override {
    events.push_back("post " + title + " | " + body);
    identifiers.push_back(identifier);
    if (posterFails_) throw std::runtime_error("no notification service");
    return true;
  }
  std::vector<std::string> events;
  std::vector<std::string> identifiers;

 private:
  int playerFailure_;  // 0: plays, 1: no player, 2: throws
  bool posterFails_;
};

TEST(SessionCompletionAlert, ChimesThenPostsWhateverFails) {
  struct Case {
    const char* name;
    int playerFailure;
    bool posterFails;
  };
  const std::vector<Case> cases = {{"both work", 0, false},
                                   {"no player could be made", 1, false},
                                   {"the player throws", 2, false},
                                   {"posting fails", 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto recorder = std::make_shared<Recorder>(c.playerFailure, c.posterFails);
    const SessionCompletionAlert alert(recorder, recorder);
    EXPECT_NO_THROW(alert.fire());
    EXPECT_EQ(recorder->events, (std::vector<std::string>{
                                    "play 264644 at 0.7",
                                    "post Tamsel | Your computer is back online.",
                                }));
  }
}

// The identifier's form reaches the notification service in the bus test.
TEST(SessionCompletionAlert, EachNotificationHasAFreshIdentifierEvenWithoutAPlayer) {
  auto poster = std::make_shared<Recorder>(0, false);
  const SessionCompletionAlert alert(nullptr, poster);
  alert.fire();
  alert.fire();
  ASSERT_EQ(poster->identifiers.size(), 2u);
  EXPECT_NE(poster->identifiers[0], poster->identifiers[1]);
  EXPECT_EQ(poster->events.size(), 2u);
}

}  // namespace
}  // namespace nubrik
