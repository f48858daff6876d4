#pragma once

#include <string>

namespace nubrik {

// A fresh random UUID in canonical upper-case text form (36 characters with hyphens).
std::string newUUIDString();

}  // namespace nubrik
