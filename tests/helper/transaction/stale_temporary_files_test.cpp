#include "helper/transaction/stale_temporary_files.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/posix_file.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

TEST(StaleTemporaryFiles, RemovesOnlyARootOwnedReplacementsLeftovers) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root's leftovers are removed; needs root";
  TempDir dir;
  for (const char* name : {"status.json.Ab12Cd", "status.json.keep", "status.json.Ab12C",
                           "status.json.Ab12C-", "other.json.Ab12Cd", "generation.json.zz99ZZ"}) {
    dir.write(name, "");
  }
  ASSERT_EQ(::symlink("/etc/hostname", dir.file("status.json.Link00").c_str()), 0);
  std::filesystem::create_directory(dir.file("status.json.Dir000"));

  std::vector<std::string> removed = removeStaleTemporaryFiles(
      {dir.file("status.json"), dir.file("generation.json"), dir.path() + "/missing/x.json"});
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (std::vector<std::string>{dir.file("generation.json.zz99ZZ"),
                                               dir.file("status.json.Ab12Cd")}));
  for (const char* kept : {"status.json.keep", "status.json.Ab12C", "status.json.Ab12C-",
                           "other.json.Ab12Cd", "status.json.Link00", "status.json.Dir000"}) {
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(dir.file(kept)))) << kept;
  }
}

TEST(StaleTemporaryFiles, FindsWhatAnInterruptedReplacementLeaves) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root's leftovers are removed; needs root";
  TempDir dir;
  const std::string left = createTemporaryBeside(dir.file("status.json")).name;
  EXPECT_EQ(removeStaleTemporaryFiles({dir.file("status.json")}), std::vector<std::string>{left});
}

}  // namespace
}  // namespace nubrik
