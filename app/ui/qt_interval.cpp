#include "app/ui/qt_interval.hpp"

#include <cmath>
#include <limits>

namespace nubrik {

int qtTimerMilliseconds(double seconds) {
  const double ms = std::ceil(seconds * 1000.0);
  if (!(ms > 0)) return 0;  // also NaN
  if (ms >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(ms);
}

}  // namespace nubrik
