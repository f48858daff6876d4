#include "app/ui/qt_sound_player.hpp"

#include <gtest/gtest.h>

#include "app/completion_chime.hpp"

namespace nubrik {
namespace {

TEST(QtSoundPlayerTest, WithoutAnAudioOutputPlaysNothingAndSaysSo) {
  if (QtSoundPlayer::hasAudioOutput()) GTEST_SKIP() << "this system has an audio output";
  QtSoundPlayer player;
  EXPECT_FALSE(player.play(completionChimeWAVData(), 0.7));
  EXPECT_FALSE(qtSoundPlayingForTest());
}

}  // namespace
}  // namespace nubrik
