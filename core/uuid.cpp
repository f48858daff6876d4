#include "core/uuid.hpp"

#include <uuid/uuid.h>

namespace nubrik {

std::string newUUIDString() {
  uuid_t bytes;
  uuid_generate_random(bytes);
  char text[37];  // 36 characters and the terminator
  uuid_unparse_upper(bytes, text);
  return std::string(text, 36);
}

}  // namespace nubrik
