#pragma once

#include <string>
#include <vector>

namespace nubrik {

// Removes what an atomic replacement leaves behind when the process dies between creating its
// temporary file and renaming it: regular files owned by root named "<target>.XXXXXX" beside each
// target. Links and anything else are left alone. Returns the paths removed. Call only while
// holding the state lock, so that no replacement is under way.
std::vector<std::string> removeStaleTemporaryFiles(const std::vector<std::string>& targets);

}  // namespace nubrik
