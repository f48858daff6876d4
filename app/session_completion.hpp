#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/desktop_notifications.hpp"

namespace nubrik {

// Plays a sound. The window binds it to the toolkit's audio; the logic only sees this.
class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Plays a complete WAV file at `volume` (0 to 1) and returns at once; false when no player could
  // be made, so nothing sounds. An implementation keeps its one current player alive until the
  // sound has finished, a new sound replacing the previous one.
  virtual bool play(const std::vector<std::uint8_t>& wav, double volume) = 0;
};

// What the user hears and sees when a session has ended: the chime, then a notification saying
// the computer is back online. Neither can fail the other, and nothing fails outward.
class SessionCompletionAlert {
 public:
  static constexpr double chimeVolume = 0.7;
  static constexpr const char* title = "Tamsel";
  static constexpr const char* body = "Your computer is back online.";
  static constexpr const char* identifierPrefix = "session-completed-";

  // Either may be null: that part of the alert is skipped.
  SessionCompletionAlert(std::shared_ptr<SoundPlayer> player,
                         std::shared_ptr<NotificationPoster> poster);

  void fire() const;

 private:
  std::shared_ptr<SoundPlayer> player_;
  std::shared_ptr<NotificationPoster> poster_;
};

}  // namespace nubrik
