#include "app/session_completion.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <numbers>
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
int sample(const std::vector<std::uint8_t>& bytes, std::size_t n) {
  return static_cast<std::int16_t>(le16(bytes, 44 + 2 * n));
}

// The two strikes, summed and scaled, before the fade: written out from the sound's description.
double unfaded(double t) {
  const double pi2 = 2 * std::numbers::pi;
  auto env = [](double s) { return std::min(s / 0.015, 1.0) * std::exp(-s / 0.9); };
  double v = env(t) * (std::sin(pi2 * 523.25 * t) + 0.3 * std::sin(pi2 * 1046.5 * t) +
                       0.1 * std::sin(pi2 * 1569.75 * t));
  if (t >= 0.35) {
    const double s = t - 0.35;
    v += env(s) * (std::sin(pi2 * 783.99 * s) + 0.3 * std::sin(pi2 * 1567.98 * s) +
                   0.1 * std::sin(pi2 * 2351.97 * s));
  }
  return std::clamp(v * 0.3, -1.0, 1.0);
}

TEST(CompletionChime, IsAThreeSecondMonoPCMWave) {
  const std::vector<std::uint8_t> wav = completionChimeWAVData();
  ASSERT_EQ(wav.size(), 264644u);
  EXPECT_EQ(tag(wav, 0), "RIFF");
  EXPECT_EQ(le32(wav, 4), 264636u);
  EXPECT_EQ(tag(wav, 8), "WAVE");
  EXPECT_EQ(tag(wav, 12), "fmt ");
  EXPECT_EQ(le32(wav, 16), 16u);
  EXPECT_EQ(le16(wav, 20), 1u) << "PCM";
  EXPECT_EQ(le16(wav, 22), 1u) << "channels";
  EXPECT_EQ(le32(wav, 24), 44100u);
  EXPECT_EQ(le32(wav, 28), 88200u);
  EXPECT_EQ(le16(wav, 32), 2u) << "block align";
  EXPECT_EQ(le16(wav, 34), 16u) << "bits per sample";
  EXPECT_EQ(tag(wav, 36), "data");
  EXPECT_EQ(le32(wav, 40), 264600u);
  EXPECT_EQ(completionChimeWAVData(), wav) << "the same bytes every time";
}

TEST(CompletionChime, SamplesFollowTheStrikesAndFadeOutLinearly) {
  const std::vector<std::uint8_t> wav = completionChimeWAVData();
  ASSERT_EQ(wav.size(), 264644u);
  constexpr std::size_t count = 132300;
  EXPECT_EQ(sample(wav, 0), 0);

  // Throughout, each sample is the scaled sound within one step of rounding.
  int loudest = 0;
  for (std::size_t n = 0; n < count; n += 97) {
    const double t = static_cast<double>(n) / 44100;
    const double fade = std::min((3.0 - t) / 0.3, 1.0);
    EXPECT_NEAR(sample(wav, n), unfaded(t) * fade * 32767, 1.0) << "sample " << n;
    loudest = std::max(loudest, std::abs(sample(wav, n)));
  }
  EXPECT_GT(loudest, 3000) << "the chime is audible";

  // In the last 0.3 seconds the envelope falls linearly to 0: the ratio of each loud enough
  // sample to the unfaded sound is (3 - t) / 0.3, and the last samples are all but silent.
  const std::size_t fadeStart = count - 13230;
  for (std::size_t n = fadeStart; n < count; ++n) {
    const double t = static_cast<double>(n) / 44100;
    const double raw = unfaded(t) * 32767;
    if (std::abs(raw) < 500) continue;
    EXPECT_NEAR(sample(wav, n) / raw, (3.0 - t) / 0.3, 2.0 / std::abs(raw)) << "sample " << n;
  }
  EXPECT_LE(std::abs(sample(wav, count - 1)), 1);
  EXPECT_LT(std::abs(sample(wav, fadeStart - 1) - unfaded((fadeStart - 1) / 44100.0) * 32767), 1.0)
      << "no fade before the last 0.3 seconds";
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

TEST(SessionCompletionAlert, IdentifiesEachNotificationByAFreshUpperCaseUUID) {
  Recorder recorder;
  auto poster = std::make_shared<RecordingPoster>(recorder, false);
  const SessionCompletionAlert alert(nullptr, poster);
  alert.fire();
  alert.fire();
  ASSERT_EQ(poster->identifiers.size(), 2u);
  EXPECT_NE(poster->identifiers[0], poster->identifiers[1]);
  for (const auto& identifier : poster->identifiers) {
    const std::string prefix = "session-completed-";
    ASSERT_EQ(identifier.substr(0, prefix.size()), prefix);
    const std::string uuid = identifier.substr(prefix.size());
    ASSERT_EQ(uuid.size(), 36u) << uuid;
    for (std::size_t i = 0; i < uuid.size(); ++i) {
      const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
      EXPECT_TRUE(hyphen ? uuid[i] == '-'
                         : std::isdigit(uuid[i]) || (uuid[i] >= 'A' && uuid[i] <= 'F'))
          << uuid;
    }
  }
  EXPECT_EQ(recorder.events.size(), 2u) << "no player: nothing plays, the notification still goes";
}

}  // namespace
}  // namespace nubrik
