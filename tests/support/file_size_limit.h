// While an object lives, writes that would make a file of this process
// larger than a limit fail (EFBIG) instead of raising SIGXFSZ: a way to make
// a save fail midway.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace marovia::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t Bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    active_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
    rlimit small = old_;
    small.rlim_cur = Bytes;
    active_ = active_ && ::setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() {
    if (active_) ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  // False when the limit could not be set (the test cannot run).
  bool Active() const { return active_; }

 private:
  rlimit old_{};
  bool active_ = false;
  void (*oldHandler_)(int) = SIG_DFL;
};

}  // namespace marovia::test
