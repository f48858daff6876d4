#include "app/completion_chime.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>

namespace nubrik {

namespace {

constexpr std::uint32_t sampleRate = 44100;
constexpr double durationSeconds = 3.0;
constexpr std::uint32_t sampleCount = 132300;  // durationSeconds at sampleRate
constexpr std::uint16_t bitsPerSample = 16;
constexpr std::uint16_t channels = 1;
constexpr std::uint16_t blockAlign = channels * bitsPerSample / 8;
constexpr std::uint32_t dataBytes = sampleCount * blockAlign;
constexpr double fadeSeconds = 0.3;
constexpr double secondStrikeAt = 0.35;

// A struck bell: a 15 ms attack, then an exponential decay.
double strikeEnvelope(double s) {
  return std::min(s / 0.015, 1.0) * std::exp(-s / 0.9);
}

// A fundamental with its second and third partials, each given as written so that no product
// moves a frequency by a rounding step.
double partials(double first, double second, double third, double s) {
  constexpr double twoPi = 2.0 * std::numbers::pi;
  return std::sin(twoPi * first * s) + 0.3 * std::sin(twoPi * second * s) +
         0.1 * std::sin(twoPi * third * s);
}

double sampleAt(double t) {
  double value = strikeEnvelope(t) * partials(523.25, 1046.5, 1569.75, t);
  if (t >= secondStrikeAt) {
    const double s = t - secondStrikeAt;
    value += strikeEnvelope(s) * partials(783.99, 1567.98, 2351.97, s);
  }
  value = std::clamp(value * 0.3, -1.0, 1.0);
  return value * std::min((durationSeconds - t) / fadeSeconds, 1.0);
}

void appendLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void appendTag(std::vector<std::uint8_t>& out, std::string_view tag) {
  out.insert(out.end(), tag.begin(), tag.end());
}

}  // namespace

std::vector<std::uint8_t> completionChimeWAVData() {
  std::vector<std::uint8_t> wav;
  wav.reserve(44 + dataBytes);
  appendTag(wav, "RIFF");
  appendLittleEndian(wav, 36 + dataBytes, 4);
  appendTag(wav, "WAVE");
  appendTag(wav, "fmt ");
  appendLittleEndian(wav, 16, 4);
  appendLittleEndian(wav, 1, 2);  // PCM
  appendLittleEndian(wav, channels, 2);
  appendLittleEndian(wav, sampleRate, 4);
  appendLittleEndian(wav, sampleRate * blockAlign, 4);
  appendLittleEndian(wav, blockAlign, 2);
  appendLittleEndian(wav, bitsPerSample, 2);
  appendTag(wav, "data");
  appendLittleEndian(wav, dataBytes, 4);

  for (std::uint32_t n = 0; n < sampleCount; ++n) {
    const double t = static_cast<double>(n) / sampleRate;
    // Truncated toward zero, then held to the 16-bit range.
    const double scaled = std::trunc(sampleAt(t) * 32767.0);
    const auto sample = static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
    appendLittleEndian(wav, static_cast<std::uint16_t>(sample), 2);
  }
  return wav;
}

}  // namespace nubrik
