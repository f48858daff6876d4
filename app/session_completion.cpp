#include "app/session_completion.hpp"

#include <utility>

#include "app/completion_chime.hpp"
#include "core/uuid.hpp"

namespace nubrik {

SessionCompletionAlert::SessionCompletionAlert(std::shared_ptr<SoundPlayer> player,
                                               std::shared_ptr<NotificationPoster> poster)
    : player_(std::move(player)), poster_(std::move(poster)) {}

void SessionCompletionAlert::fire() const {
  // A computer without sound still gets the notification.
  if (player_) {
    try {
      (void)player_->play(completionChimeWAVData(), chimeVolume);
    } catch (...) {
    }
  }
  if (poster_) {
    try {
      (void)poster_->post(title, body, identifierPrefix + newUUIDString());
    } catch (...) {
    }
  }
}

}  // namespace nubrik
