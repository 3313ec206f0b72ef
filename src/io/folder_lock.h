// The output folder's lock: an advisory lock on a file in the folder, held
// for the whole run, so that a second run into the same folder refuses to
// start instead of emptying the first run's tables and mixing rows into them.
#pragma once

#include <string>

namespace focustrack {

class FolderLock {
 public:
  FolderLock() = default;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock() { release(); }

  // Creates the folder (with its parents) when missing, then takes the lock
  // on its lock file without waiting. False with a reason naming the folder
  // when it cannot be created or another run holds the lock. A file system
  // that has no locks at all is used without one.
  bool acquire(const std::string& folder, std::string* reason);

  // Removes the lock file and lets the lock go; nothing when none is held.
  void release();

  // The lock file of a folder ("" means the current directory).
  static std::string lockPath(const std::string& folder);

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace focustrack
