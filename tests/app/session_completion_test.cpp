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

std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}
std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}
std::string tag(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
}
TEST(CompletionChime, IsAThreeSecondMonoPCMWave) {
  const std::vector<std::uint8_t> wav = completionChimeWAVData();
  ASSERT_EQ(wav.size(), 264644u);
  EXPECT_EQ(tag(wav, 0), "RIFF");
  EXPECT_EQ(le32(wav, 4), 264636u);
  EXPECT_EQ(tag(wav, 8), "WAVE");
  EXPECT_EQ(le16(wav, 20), 1u) << "PCM";
  EXPECT_EQ(le16(wav, 22), 1u) << "channels";
  EXPECT_EQ(le32(wav, 24), 44100u);
  EXPECT_EQ(le16(wav, 34), 16u) << "bits per sample";
  EXPECT_EQ(completionChimeWAVData(), wav) << "the same bytes every time";
}

struct Recorder {
  std::vector<std::string> events;
};

class RecordingPlayer : public SoundPlayer {
 public:
  RecordingPlayer(Recorder& recorder, int failure) : recorder_(recorder), failure_(failure) {}
  bool play(const std::vector<std::uint8_t>& wav, double volume) override {
    recorder_.events.push_back("play " + std::to_string(wav.size()) + " at " +
                               std::to_string(volume).substr(0, 3));
    if (failure_ == 2) throw std::runtime_error("no audio device");
    return failure_ == 0;
  }

 private:
  Recorder& recorder_;
  int failure_;
};

class RecordingPoster : public NotificationPoster {
 public:
  explicit RecordingPoster(Recorder& recorder, bool fails) : recorder_(recorder), fails_(fails) {}
  bool post(const std::string& title, const std::string& body,
            const std::string& identifier) override {
    recorder_.events.push_back("post " + title + " | " + body);
    identifiers.push_back(identifier);
    if (fails_) throw std::runtime_error("no notification service");
    return true;
  }
  std::vector<std::string> identifiers;

 private:
  Recorder& recorder_;
  bool fails_;
};

TEST(SessionCompletionAlert, ChimesThenPostsWhateverFails) {
  struct Case {
    const char* name;
    int playerFailure;  // 0: plays, 1: no player, 2: throws
    bool posterFails;
  };
  const std::vector<Case> cases = {
      {"both work", 0, false},
      {"no player could be made", 1, false},
      {"the player throws", 2, false},
      {"posting fails", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder recorder;
    auto poster = std::make_shared<RecordingPoster>(recorder, c.posterFails);
    const SessionCompletionAlert alert(std::make_shared<RecordingPlayer>(recorder, c.playerFailure),
                                       poster);
    EXPECT_NO_THROW(alert.fire());
    EXPECT_EQ(recorder.events, (std::vector<std::string>{
                                   "play 264644 at 0.7",
                                   "post Tamsel | Your computer is back online.",
                               }));
  }
}

// The identifier's form reaches the notification service in the bus test.
TEST(SessionCompletionAlert, EachNotificationHasAFreshIdentifierEvenWithoutAPlayer) {
  Recorder recorder;
  auto poster = std::make_shared<RecordingPoster>(recorder, false);
  const SessionCompletionAlert alert(nullptr, poster);
  alert.fire();
  alert.fire();
  ASSERT_EQ(poster->identifiers.size(), 2u);
  EXPECT_NE(poster->identifiers[0], poster->identifiers[1]);
  EXPECT_EQ(recorder.events.size(), 2u);
}

}  // namespace
}  // namespace nubrik
