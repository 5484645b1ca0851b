// TBinaryFile: record files and untyped files with a record size.
//
// The file position is kept here (pos_, in bytes) and every transfer uses
// pread / pwrite at that offset, so the descriptor's own offset never
// matters. Positions are always whole records.
#include <fcntl.h>
#include <unistd.h>

#include "marovia/platform/files.h"
#include "marovia/platform/posix_io.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

TBinaryFile::~TBinaryFile() {
  if (fd_ >= 0) ::close(fd_);
}

void TBinaryFile::AssignFile(const std::string& FileName, int64_t RecSize) {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (RecSize <= 0) throw EInOutError(FileName, "invalid record size " + std::to_string(RecSize));
  fileName_ = FileName;
  recSize_ = RecSize;
  pos_ = 0;
}

void TBinaryFile::Reset(TFileAccess Access) {
  if (fd_ >= 0) CloseFile();
  int flags = O_RDWR;
  if (Access == TFileAccess::faReadOnly) flags = O_RDONLY;
  if (Access == TFileAccess::faWriteOnly) flags = O_WRONLY;
  fd_ = posix_io::Open(fileName_, flags, "cannot open");
  access_ = Access;
  pos_ = 0;
}

void TBinaryFile::Rewrite() {
  if (fd_ >= 0) CloseFile();
  fd_ = posix_io::Open(fileName_, O_RDWR | O_CREAT | O_TRUNC, "cannot create");
  access_ = TFileAccess::faReadWrite;
  pos_ = 0;
}

void TBinaryFile::CloseFile() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  posix_io::Close(fd, fileName_);
}

namespace {

void RequireOpen(int fd, const std::string& name) {
  if (fd < 0) throw EInOutError(name, "file not open");
}

}  // namespace

int64_t TBinaryFile::FileSize() {
  RequireOpen(fd_, fileName_);
  return posix_io::FileSize(fd_, fileName_) / recSize_;
}

int64_t TBinaryFile::FilePos() {
  RequireOpen(fd_, fileName_);
  return pos_ / recSize_;
}

bool TBinaryFile::Eof() {
  return FilePos() >= FileSize();
}

void TBinaryFile::Seek(int64_t RecNo) {
  RequireOpen(fd_, fileName_);
  if (RecNo < 0) throw EInOutError(fileName_, "seek to negative record " + std::to_string(RecNo));
  pos_ = posix_io::CheckedBytes(RecNo, recSize_, fileName_);
}

void TBinaryFile::BlockRead(void* Buffer, int64_t Count) {
  RequireOpen(fd_, fileName_);
  if (access_ == TFileAccess::faWriteOnly) throw EInOutError(fileName_, "file not open for input");
  const int64_t bytes = posix_io::CheckedBytes(Count, recSize_, fileName_);
  if (bytes == 0) return;
  // A short read leaves the position where it was.
  const int64_t got = posix_io::ReadAll(fd_, Buffer, bytes, pos_, fileName_);
  if (got != bytes) throw EInOutError(fileName_, "read past end of file");
  pos_ += bytes;
}

void TBinaryFile::BlockRead(void* Buffer, int64_t Count, int64_t& Result) {
  RequireOpen(fd_, fileName_);
  if (access_ == TFileAccess::faWriteOnly) throw EInOutError(fileName_, "file not open for input");
  Result = 0;
  const int64_t bytes = posix_io::CheckedBytes(Count, recSize_, fileName_);
  if (bytes == 0) return;
  const int64_t got = posix_io::ReadAll(fd_, Buffer, bytes, pos_, fileName_);
  Result = got / recSize_;
  pos_ += Result * recSize_;
}

void TBinaryFile::BlockWrite(const void* Buffer, int64_t Count) {
  RequireOpen(fd_, fileName_);
  if (access_ == TFileAccess::faReadOnly) throw EInOutError(fileName_, "file not open for output");
  const int64_t bytes = posix_io::CheckedBytes(Count, recSize_, fileName_);
  if (bytes == 0) return;
  int64_t end;
  if (__builtin_add_overflow(pos_, bytes, &end)) throw EInOutError(fileName_, "file too large");
  posix_io::WriteAll(fd_, Buffer, bytes, pos_, fileName_);
  pos_ = end;
}

void TBinaryFile::Truncate() {
  RequireOpen(fd_, fileName_);
  if (access_ == TFileAccess::faReadOnly) throw EInOutError(fileName_, "file not open for output");
  posix_io::Truncate(fd_, pos_, fileName_);
}

}  // namespace marovia
