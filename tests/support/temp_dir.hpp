#pragma once

#include <string>
#include <string_view>

namespace nubrik::test {

// A fresh directory under /tmp (mode 0700) that lives as long as the object; the destructor
// removes it with everything inside. Symbolic links inside are removed, never followed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Absolute path of the directory, without a trailing slash.
  const std::string& path() const { return path_; }
  // path() + "/" + name; the file need not exist.
  std::string file(std::string_view name) const;
  // Creates or truncates file(name) (mode 0600) and writes exactly `bytes`; throws on failure.
  void write(std::string_view name, std::string_view bytes) const;
  // Returns the whole content of file(name); throws std::system_error when it can't be read.
  std::string read(std::string_view name) const;

 private:
  std::string path_;
};

}  // namespace nubrik::test

// Unqualified use from tests of every area.
using nubrik::test::TempDir;
