#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nubrik {

// Whether something exists at `path` (the path itself, a symbolic link counts); never throws.
bool pathExists(const std::string& path);

// The whole content of the regular file at `path`. Refuses a symbolic link in the last component
// and anything that is not a regular file (a FIFO would block the reader), and a file longer than
// `limit` bytes (EFBIG) without reading more than the limit; throws std::system_error on any
// failure.
std::string readWholeFile(const std::string& path, size_t limit = SIZE_MAX);

// Whether a failure to read (an errno) may pass by itself: permission refused for the moment, or
// the process out of descriptors or memory. Anything else says something about the file.
bool isTransientReadError(int error);

}  // namespace nubrik
