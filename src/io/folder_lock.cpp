#include "io/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/output_paths.h"

namespace focustrack {

namespace {

constexpr const char* kLockName = ".focustrack.lock";
// A run that ends removes its lock file; a run that opened the file just
// before then locks a file no longer in the folder and tries again.
constexpr int kLockTries = 5;

bool sameFile(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

std::string FolderLock::lockPath(const std::string& folder) { return outputPath(folder, kLockName); }

bool FolderLock::acquire(const std::string& folder, std::string* reason) {
  release();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      *reason = "cannot create output folder '" + folder + "': " + ec.message();
      return false;
    }
  }
  const std::string path = lockPath(folder);
  const std::string shown = folder.empty() ? "." : folder;
  for (int attempt = 0; attempt < kLockTries; ++attempt) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      *reason = "cannot create the lock file '" + path + "': " + std::strerror(errno);
      return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      if (error == EWOULDBLOCK) {
        *reason = "output folder '" + shown + "' is in use by another focustrack run (it holds '" +
                  path + "'); use another output folder or wait for that run to end";
        return false;
      }
      return true;  // no locks on this file system
    }
    if (sameFile(fd, path)) {
      fd_ = fd;
      path_ = path;
      return true;
    }
    close(fd);
  }
  *reason = "cannot lock output folder '" + shown + "': its lock file keeps changing";
  return false;
}

void FolderLock::release() {
  if (fd_ < 0) return;
  // Removed while still locked, so that no other run can lock the old file
  // and believe it holds the folder.
  unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace focustrack
