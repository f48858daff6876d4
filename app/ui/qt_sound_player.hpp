#pragma once

#include <cstdint>
#include <vector>

#include "app/session_completion.hpp"

namespace nubrik {

// Plays WAV bytes from memory with Qt Multimedia on the default audio output. Without Qt
// Multimedia, or with no audio output at all, it plays nothing and says so. Used on the GUI
// thread only.
class QtSoundPlayer final : public SoundPlayer {
 public:
  bool play(const std::vector<std::uint8_t>& wav, double volume) override;

  // True when Qt Multimedia is built in and the system has an audio output to play on.
  static bool hasAudioOutput();
};

// True while a sound started by any QtSoundPlayer is still held for playing.
bool qtSoundPlayingForTest();

}  // namespace nubrik
