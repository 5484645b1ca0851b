// Checked POSIX file calls (see marovia/platform/posix_io.h).
#include "marovia/platform/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

#include "marovia/platform/sysutils.h"

namespace marovia::posix_io {
namespace {

// Largest single transfer handed to read/write; Linux caps one call near
// 2 GiB anyway, and the loops below continue from there.
constexpr int64_t kMaxChunk = int64_t{1} << 30;

[[noreturn]] void Raise(const std::string& name, const std::string& what, int err) {
  throw EInOutError(name, what + ": " + ErrorText(err), err);
}

}  // namespace

std::string ErrorText(int err) {
  return std::generic_category().message(err);
}

void CheckFileName(const std::string& name) {
  if (name.empty()) throw EInOutError(name, "no file name given");
  if (name.find('\0') != std::string::npos)
    throw EInOutError(name, "invalid file name: contains a NUL byte");
}

int Open(const std::string& name, int flags, const char* what) {
  CheckFileName(name);
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) Raise(name, what, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    Raise(name, what, err);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    Raise(name, what, EISDIR);
  }
  return fd;
}

void Close(int fd, const std::string& name) {
  // A close interrupted by a signal has released the descriptor on Linux;
  // retrying could close a descriptor opened meanwhile by another thread.
  if (::close(fd) != 0 && errno != EINTR) Raise(name, "cannot close", errno);
}

int64_t ReadAll(int fd, void* buf, int64_t count, int64_t offset, const std::string& name) {
  auto* p = static_cast<char*>(buf);
  int64_t done = 0;
  while (done < count) {
    const int64_t want = std::min(count - done, kMaxChunk);
    ssize_t n = offset < 0 ? ::read(fd, p + done, static_cast<size_t>(want))
                           : ::pread(fd, p + done, static_cast<size_t>(want), offset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Raise(name, "read error", errno);
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

void WriteAll(int fd, const void* buf, int64_t count, int64_t offset, const std::string& name) {
  const auto* p = static_cast<const char*>(buf);
  int64_t done = 0;
  while (done < count) {
    const int64_t want = std::min(count - done, kMaxChunk);
    ssize_t n = offset < 0 ? ::write(fd, p + done, static_cast<size_t>(want))
                           : ::pwrite(fd, p + done, static_cast<size_t>(want), offset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Raise(name, "write error", errno);
    }
    // A write that makes no progress would loop for ever; the system
    // reports no reason, so the usual one is named.
    if (n == 0) Raise(name, "write error", ENOSPC);
    done += n;
  }
}

int64_t FileSize(int fd, const std::string& name) {
  struct stat st;
  if (::fstat(fd, &st) != 0) Raise(name, "cannot examine", errno);
  return static_cast<int64_t>(st.st_size);
}

void Truncate(int fd, int64_t size, const std::string& name) {
  int rc;
  do {
    rc = ::ftruncate(fd, static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) Raise(name, "cannot truncate", errno);
}

int64_t CheckedBytes(int64_t records, int64_t recSize, const std::string& name) {
  int64_t bytes;
  if (records < 0 || recSize <= 0 || __builtin_mul_overflow(records, recSize, &bytes))
    throw EInOutError(name, "invalid record count " + std::to_string(records));
  return bytes;
}

}  // namespace marovia::posix_io
