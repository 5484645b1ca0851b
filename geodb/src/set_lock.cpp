// TSetLock (see set_lock.h).
#include "set_lock.h"

#include <fcntl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "marovia/platform/sysutils.h"

namespace marovia::gdb {

namespace {
constexpr int kWriterByte = 0;
constexpr int kBusyByte = 1;
}  // namespace

bool TSetLock::Open(const std::string& FileName, bool Writable) {
  writable_ = Writable;
  noLocks_ = false;
  try {
    file_.Open(FileName, Writable ? (O_RDWR | O_CREAT) : O_RDONLY);
  } catch (const EInOutError& e) {
    if (!Writable && e.ErrorCode() == ENOENT) return false;
    throw;
  }
  return true;
}

bool TSetLock::Set(int Type, int Byte, bool Wait) {
  if (noLocks_ || !file_.IsOpen()) return true;
  struct flock fl {};
  fl.l_type = static_cast<short>(Type);
  fl.l_whence = SEEK_SET;
  fl.l_start = Byte;
  fl.l_len = 1;
  for (;;) {
    if (::fcntl(file_.Fd(), Wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
    const int err = errno;
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EACCES) return false;
    if (err == EINVAL || err == ENOLCK || err == EOPNOTSUPP) {
      noLocks_ = true;
      return true;
    }
    throw EInOutError(file_.Name(), "cannot lock: " + std::generic_category().message(err), err);
  }
}

bool TSetLock::TryLockWriter() {
  return Set(F_WRLCK, kWriterByte, false);
}

void TSetLock::LockChanging() {
  Set(F_WRLCK, kBusyByte, true);
}

bool TSetLock::TryLockReading(int TimeoutMs) {
  // A writer holds the lock for the few milliseconds of a commit, or for a
  // whole transaction once it wrote a batch: polled with a growing pause.
  long pauseUs = 100;
  long waitedUs = 0;
  for (;;) {
    if (Set(F_RDLCK, kBusyByte, false)) return true;
    if (waitedUs >= TimeoutMs * 1000L) return false;
    timespec ts{0, pauseUs * 1000};
    nanosleep(&ts, nullptr);
    waitedUs += pauseUs;
    pauseUs = std::min(pauseUs * 2, 50000L);
  }
}

bool TSetLock::TryUpgradeReading() {
  return Set(F_WRLCK, kBusyByte, false);
}

void TSetLock::UnlockBusy() {
  Set(F_UNLCK, kBusyByte, false);
}

void TSetLock::UnlockBusyQuietly() noexcept {
  try {
    UnlockBusy();
  } catch (...) {
    // Released with the descriptor.
  }
}

}  // namespace marovia::gdb
