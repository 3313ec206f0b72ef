#include "io/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace focustrack {

std::string temporaryPath(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return path;
  return path + ".part";
}

bool publishFile(const std::string& temporary, const std::string& path, std::string* reason) {
  if (temporary == path) return true;
  if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  *reason = std::string("cannot rename the finished file: ") + std::strerror(errno);
  discardFile(temporary, path);
  return false;
}

void discardFile(const std::string& temporary, const std::string& path) {
  if (temporary != path) unlink(temporary.c_str());
}

}  // namespace focustrack
