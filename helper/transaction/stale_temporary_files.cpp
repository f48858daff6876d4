#include "helper/transaction/stale_temporary_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <string_view>

#include "core/posix_file.hpp"

namespace nubrik {

namespace {

// mkstemp's six letters and digits after "<target>."
bool isTemporaryNameOf(std::string_view name, std::string_view target) {
  constexpr size_t suffixLength = 6;
  if (name.size() != target.size() + 1 + suffixLength) return false;
  if (name.substr(0, target.size()) != target || name[target.size()] != '.') return false;
  for (const char c : name.substr(target.size() + 1)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<std::string> removeStaleTemporaryFiles(const std::vector<std::string>& targets) {
  std::vector<std::string> removed;
  for (const std::string& target : targets) {
    const std::string directory = parentDirectory(target);
    const std::string name = baseName(target);
    // The directories are the build's own (/var/run may well be a link to /run); nothing inside
    // them is followed.
    const UniqueFd directoryFd = openDirectory(directory);
    if (!directoryFd.valid()) continue;
    // fdopendir takes the descriptor over; a duplicate keeps directoryFd for unlinkat.
    DIR* listing = ::fdopendir(::fcntl(directoryFd.get(), F_DUPFD_CLOEXEC, 0));
    if (listing == nullptr) continue;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(listing)) {
      if (isTemporaryNameOf(entry->d_name, name)) stale.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    for (const std::string& entry : stale) {
      struct stat info {};
      if (::fstatat(directoryFd.get(), entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (!S_ISREG(info.st_mode) || info.st_uid != 0) continue;
      if (::unlinkat(directoryFd.get(), entry.c_str(), 0) == 0) {
        removed.push_back(joinPath(directory, entry));
      }
    }
  }
  return removed;
}

}  // namespace nubrik
