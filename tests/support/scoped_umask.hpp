#pragma once

#include <sys/stat.h>

namespace nubrik::test {

// Sets the process's umask and puts back the one before when it goes out of scope, even when an
// assertion or an exception leaves the test early.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

}  // namespace nubrik::test
