#include "app/ui/qt_sound_player.hpp"

#include <gtest/gtest.h>

#include "app/completion_chime.hpp"

namespace nubrik {
namespace {

TEST(QtSoundPlayerTest, EmptySoundPlaysNothing) {
  QtSoundPlayer player;
  EXPECT_FALSE(player.play({}, 0.7));
  EXPECT_FALSE(qtSoundPlayingForTest());
}

TEST(QtSoundPlayerTest, WithoutAnAudioOutputPlaysNothingAndSaysSo) {
  if (QtSoundPlayer::hasAudioOutput()) GTEST_SKIP() << "this system has an audio output";
  QtSoundPlayer player;
  const std::vector<std::uint8_t> chime = completionChimeWAVData();
  for (double volume : {0.0, 0.7, 1.0, 5.0}) {
    EXPECT_FALSE(player.play(chime, volume)) << volume;
    EXPECT_FALSE(qtSoundPlayingForTest());
  }
}

}  // namespace
}  // namespace nubrik
