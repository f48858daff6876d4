#pragma once

#include <string>

namespace nubrik {

// Whether something exists at `path` (the path itself, a symbolic link counts); never throws.
bool pathExists(const std::string& path);

// The whole content of the regular file at `path`. Refuses a symbolic link in the last component
// and anything that is not a regular file (a FIFO would block the reader); throws
// std::system_error on any failure.
std::string readWholeFile(const std::string& path);

}  // namespace nubrik
