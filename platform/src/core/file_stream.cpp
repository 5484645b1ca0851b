// TFileStream: a stream over an operating-system file descriptor.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "marovia/platform/posix_io.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

TFileStream::TFileStream(const std::string& FileName, TFileOpenMode Mode) : fileName_(FileName) {
  switch (Mode) {
    case fmCreate:
      fd_ = posix_io::Open(FileName, O_RDWR | O_CREAT | O_TRUNC, "cannot create");
      break;
    case fmOpenRead:
      fd_ = posix_io::Open(FileName, O_RDONLY, "cannot open");
      break;
    case fmOpenWrite:
      fd_ = posix_io::Open(FileName, O_WRONLY, "cannot open");
      break;
    case fmOpenReadWrite:
      fd_ = posix_io::Open(FileName, O_RDWR, "cannot open");
      break;
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  return posix_io::ReadAll(fd_, Buffer, Count, -1, fileName_);
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  posix_io::WriteAll(fd_, Buffer, Count, -1, fileName_);
  return Count;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = 0;
  switch (Origin) {
    case soBeginning:
      base = 0;
      break;
    case soCurrent:
      base = ::lseek(fd_, 0, SEEK_CUR);
      break;
    case soEnd:
      base = posix_io::FileSize(fd_, fileName_);
      break;
  }
  if (base < 0) throw EInOutError(fileName_, "cannot seek: " + posix_io::ErrorText(errno), errno);
  const int64_t target = CheckedPosition(base, Offset, fileName_);
  const off_t r = ::lseek(fd_, static_cast<off_t>(target), SEEK_SET);
  if (r < 0) throw EInOutError(fileName_, "cannot seek: " + posix_io::ErrorText(errno), errno);
  return r;
}

int64_t TFileStream::Size() {
  return posix_io::FileSize(fd_, fileName_);
}

void TFileStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size " + std::to_string(NewSize));
  posix_io::Truncate(fd_, NewSize, fileName_);
  if (Position() > NewSize) Seek(0, soEnd);
}

}  // namespace marovia
