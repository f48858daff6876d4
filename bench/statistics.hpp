#pragma once

// Order statistics of measured samples.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace nubrik::bench {

// Nearest-rank percentile of sorted, non-empty values.
inline double percentile(const std::vector<double>& sorted, double fraction) {
  const size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
  return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

// Median of sorted, non-empty values.
inline double median(const std::vector<double>& sorted) {
  const size_t n = sorted.size();
  return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

inline std::vector<double> sortedCopy(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values;
}

}  // namespace nubrik::bench
