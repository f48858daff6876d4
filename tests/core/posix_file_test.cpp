#include "core/posix_file.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/scoped_umask.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

std::vector<std::string> entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t modeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

TEST(PosixFile, ReplacesWholeWithTheCallersModeWhateverTheUmask) {
  const test::ScopedUmask mask(0077);
  for (const mode_t mode : {mode_t{0600}, mode_t{0644}}) {
    for (const bool existed : {false, true}) {
      TempDir dir;
      if (existed) dir.write("state.json", "an older and longer content");
      replaceFileAtomically("new", dir.file("state.json"), mode);
      EXPECT_EQ(dir.read("state.json"), "new");
      EXPECT_EQ(modeOf(dir.file("state.json")), mode);
      EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"state.json"});
    }
  }
}

TEST(PosixFile, AFailedReplacementLeavesTheTargetAndNoTemporaryFile) {
  TempDir dir;
  // A non-empty directory in the target's place cannot be renamed over.
  std::filesystem::create_directory(dir.file("state.json"));
  dir.write("state.json/inside", "kept");
  try {
    replaceFileAtomically("new", dir.file("state.json"), 0600);
    FAIL() << "the rename over a directory succeeded";
  } catch (const std::system_error& error) {
    EXPECT_EQ(std::string(error.what()).rfind("rename " + dir.file("state.json."), 0), 0)
        << error.what();
  }
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"state.json"});
  EXPECT_EQ(dir.read("state.json/inside"), "kept");
}

TEST(PosixFile, ReplacesRelativeToADirectoryAndReportsTheFailingStep) {
  TempDir dir;
  const UniqueFd directory = openDirectory(dir.path());
  ASSERT_TRUE(directory.valid());
  int names = 0;
  const auto nextName = [&names] { return ".entry." + std::to_string(names++ % 2); };
  dir.write(".entry.0", "someone else's");

  // The first name is taken, so the second is used; the taken one is never touched.
  TemporaryFile file = createFreshFile(directory.get(), nextName, 4, 0600);
  ASSERT_TRUE(file.fd.valid());
  EXPECT_EQ(file.name, ".entry.1");
  EXPECT_FALSE(replaceWith(std::move(file), directory.get(), "entry", "content", 0640));
  EXPECT_EQ(dir.read("entry"), "content");
  EXPECT_EQ(modeOf(dir.file("entry")), mode_t{0640});
  EXPECT_EQ(dir.read(".entry.0"), "someone else's");

  // Every name taken: nothing is created.
  dir.write(".entry.1", "");
  EXPECT_FALSE(createFreshFile(directory.get(), nextName, 4, 0600).fd.valid());
  EXPECT_EQ(errno, EEXIST);

  std::filesystem::create_directory(dir.file("blocked"));
  dir.write("blocked/inside", "");
  TemporaryFile blocked = createFreshFile(
      directory.get(), [] { return std::string(".blocked.new"); }, 1, 0600);
  const auto failure = replaceWith(std::move(blocked), directory.get(), "blocked", "x", 0600);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->step, ReplaceStep::rename);
  EXPECT_FALSE(std::filesystem::exists(dir.file(".blocked.new")));
}

TEST(PosixFile, NoFollowOpenRefusesALinkAndWriteAllReportsTheErrno) {
  TempDir dir;
  dir.write("real", "");
  ASSERT_EQ(::symlink(dir.file("real").c_str(), dir.file("link").c_str()), 0);
  EXPECT_FALSE(openNoFollow(AT_FDCWD, dir.file("link"), O_WRONLY).valid());
  EXPECT_EQ(errno, ELOOP);

  const UniqueFd real = openNoFollow(AT_FDCWD, dir.file("real"), O_WRONLY);
  ASSERT_TRUE(real.valid());
  EXPECT_NE(::fcntl(real.get(), F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(writeAll(real.get(), "bytes"), 0);
  EXPECT_EQ(dir.read("real"), "bytes");
  const UniqueFd readOnly = openNoFollow(AT_FDCWD, dir.file("real"), O_RDONLY);
  EXPECT_EQ(writeAll(readOnly.get(), "bytes"), EBADF);
  EXPECT_EQ(syncDirectory(dir.file("missing")), ENOENT);
}

TEST(PosixFile, MoveAsideNeverOverwritesEarlierEvidence) {
  TempDir dir;
  dir.write("kept", "first");
  dir.write("kept-1", "second");
  dir.write("bad", "third");
  EXPECT_EQ(moveAside(dir.file("bad"), dir.path(), "kept"), dir.file("kept-2"));
  EXPECT_EQ(dir.read("kept"), "first");
  EXPECT_EQ(dir.read("kept-1"), "second");
  EXPECT_EQ(dir.read("kept-2"), "third");
  EXPECT_FALSE(std::filesystem::exists(dir.file("bad")));
}

}  // namespace
}  // namespace nubrik
