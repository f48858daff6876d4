#pragma once

#include <string>
#include <string_view>

namespace nubrik {

// Replaces a world-readable file (mode 0644) whole: readers, who take no lock, see either the
// old content or the new, never a partial write.
class AtomicPublicFile {
 public:
  // Writes the bytes to a unique temporary file beside the target, flushes it to stable
  // storage and renames it over the target. Throws std::system_error carrying the errno; no
  // temporary file is left behind either way.
  static void write(std::string_view bytes, const std::string& path);
};

}  // namespace nubrik
