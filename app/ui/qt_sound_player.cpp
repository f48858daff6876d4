#include "app/ui/qt_sound_player.hpp"

#include <algorithm>

#ifdef NUBRIK_HAVE_QT_MULTIMEDIA
#include <QAudioDevice>
#include <QAudioOutput>
#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPointer>
#include <QUrl>
#endif

namespace nubrik {

#ifdef NUBRIK_HAVE_QT_MULTIMEDIA

namespace {

// One sound being played: its bytes, the output and the player, which live and die together.
// Owned by the application object, so that nothing outlives it even if a sound never ends.
class Playback final : public QObject {
 public:
  Playback(const std::vector<std::uint8_t>& wav, double volume)
      : QObject(QCoreApplication::instance()),
        bytes_(reinterpret_cast<const char*>(wav.data()), static_cast<qsizetype>(wav.size())),
        buffer_(&bytes_, this),
        output_(this),
        player_(this) {
    buffer_.open(QIODevice::ReadOnly);
    output_.setVolume(static_cast<float>(std::clamp(volume, 0.0, 1.0)));
    player_.setAudioOutput(&output_);
    // The name only tells the backend what kind of data the stream holds.
    player_.setSourceDevice(&buffer_, QUrl(QStringLiteral("chime.wav")));
  }

  QMediaPlayer& player() { return player_; }

 private:
  QByteArray bytes_;
  QBuffer buffer_;
  QAudioOutput output_;
  QMediaPlayer player_;
};

// The process's one current sound, kept alive until it has finished or a new one replaces it.
QPointer<Playback>& currentPlayback() {
  static QPointer<Playback> current;
  return current;
}

// Let go of a sound. Later, not now: this may be called from the player's own signals.
void release(Playback* playback) {
  if (currentPlayback() == playback) currentPlayback() = nullptr;
  playback->player().stop();
  playback->deleteLater();
}

}  // namespace

bool QtSoundPlayer::hasAudioOutput() {
  return !QMediaDevices::audioOutputs().isEmpty();
}

bool QtSoundPlayer::play(const std::vector<std::uint8_t>& wav, double volume) {
  if (wav.empty() || QCoreApplication::instance() == nullptr || !hasAudioOutput()) return false;

  if (Playback* previous = currentPlayback()) release(previous);
  auto* playback = new Playback(wav, volume);
  QMediaPlayer& player = playback->player();
  QObject::connect(
      &player, &QMediaPlayer::mediaStatusChanged, playback,
      [playback](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::EndOfMedia || status == QMediaPlayer::InvalidMedia) {
          release(playback);
        }
      });
  QObject::connect(&player, &QMediaPlayer::errorOccurred, playback,
                   [playback](QMediaPlayer::Error, const QString&) { release(playback); });
  currentPlayback() = playback;
  player.play();
  return true;
}

bool qtSoundPlayingForTest() {
  return !currentPlayback().isNull();
}

#else

bool QtSoundPlayer::hasAudioOutput() {
  return false;
}

bool QtSoundPlayer::play(const std::vector<std::uint8_t>&, double) {
  return false;
}

bool qtSoundPlayingForTest() {
  return false;
}

#endif

}  // namespace nubrik
