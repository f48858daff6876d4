#pragma once

#include <cstdint>
#include <vector>

namespace nubrik {

// The completion chime as a complete WAV file (PCM, mono, 16-bit, 44100 Hz, 3 seconds): two
// bell-like strikes, a fifth apart, fading out over the last 0.3 seconds. Synthesised when
// needed rather than shipped as a file.
std::vector<std::uint8_t> completionChimeWAVData();

}  // namespace nubrik
