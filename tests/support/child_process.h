// Runs the focustrack program as a child process, for what only a separate
// process can show: signals, kills at any moment, a file size limit.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace focustrack {

struct ChildOptions {
  std::string stdoutPath = "/dev/null";
  std::string stderrPath = "/dev/null";
  long long fileSizeLimit = -1;  // bytes any one file may reach; -1 for none
};

// Starts the program with the words (program name not included). Returns the
// process id, or -1 when no process could be started.
inline pid_t startFocustrack(const std::vector<std::string>& words, const ChildOptions& options = {}) {
  std::vector<std::string> all{FOCUSTRACK_BIN};
  all.insert(all.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (std::string& w : all) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // The child: streams to files, then the limits, then the program.
  const int out = open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open(options.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
  if (options.fileSizeLimit >= 0) {
    // A write beyond the limit fails with EFBIG, like a full disk, instead
    // of ending the process (an ignored signal stays ignored across exec).
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  }
  execv(argv[0], argv.data());
  _exit(127);
}

// Waits for the child: its exit status, or 1000 + the signal that ended it.
inline int waitForChild(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) continue;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 1000 + WTERMSIG(status);
}

// True once the child has ended (and is reaped, its status in `exitStatus`).
inline bool childEnded(pid_t pid, int* exitStatus) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) != pid) return false;
  *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  return true;
}

inline int runFocustrackChild(const std::vector<std::string>& words, const ChildOptions& options = {}) {
  const pid_t pid = startFocustrack(words, options);
  return pid < 0 ? -1 : waitForChild(pid);
}

}  // namespace focustrack
