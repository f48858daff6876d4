#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace nubrik::test {

// Sets an environment variable (removes it, given nullptr) and puts back what was there before
// when it goes out of scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const char* value) : name_(std::move(name)) {
    if (const char* old = ::getenv(name_.c_str())) old_ = old;
    set(value);
  }
  ~ScopedEnvironment() { set(old_ ? old_->c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  void set(const char* value) const {
    (void)(value != nullptr ? ::setenv(name_.c_str(), value, 1) : ::unsetenv(name_.c_str()));
  }

  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace nubrik::test
