// TRawFile and the folder helpers (see raw_file.h).
#include "raw_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "marovia/platform/posix_io.h"
#include "marovia/platform/sysutils.h"

namespace marovia::gdb {

namespace {

[[noreturn]] void Raise(const std::string& Name, const std::string& What, int Err) {
  throw EInOutError(Name, What + ": " + std::generic_category().message(Err), Err);
}

}  // namespace

void TRawFile::Open(const std::string& Name, int Flags) {
  CloseQuietly();
  if (Name.empty() || Name.find('\0') != std::string::npos)
    throw EInOutError(Name, "invalid file name");
  int fd;
  do {
    fd = ::open(Name.c_str(), Flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) Raise(Name, (Flags & O_CREAT) ? "cannot create" : "cannot open", errno);
  fd_ = fd;
  name_ = Name;
}

void TRawFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  posix_io::Close(fd, name_);
}

void TRawFile::CloseQuietly() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int64_t TRawFile::Size() const {
  return posix_io::FileSize(fd_, name_);
}

int64_t TRawFile::ReadSome(int64_t Offset, void* Buffer, int64_t Count) const {
  return posix_io::ReadAll(fd_, Buffer, Count, Offset, name_);
}

void TRawFile::ReadAt(int64_t Offset, void* Buffer, int64_t Count) const {
  if (ReadSome(Offset, Buffer, Count) != Count) throw EInOutError(name_, "read past end of file");
}

void TRawFile::WriteAt(int64_t Offset, const void* Buffer, int64_t Count) {
  posix_io::WriteAll(fd_, Buffer, Count, Offset, name_);
}

void TRawFile::Resize(int64_t Size) {
  posix_io::Truncate(fd_, Size, name_);
}

void TRawFile::Sync() {
  int rc;
  do {
    rc = ::fdatasync(fd_);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) Raise(name_, "cannot force to disk", errno);
}

void SyncFolder(const std::string& Folder) {
  const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Raise(Folder, "cannot open folder", errno);
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  const int err = errno;
  ::close(fd);
  // Some file systems cannot force a folder; nothing is lost by that.
  if (rc != 0 && err != EINVAL && err != ENOTSUP) Raise(Folder, "cannot force to disk", err);
}

std::string FolderOf(const std::string& FileName) {
  const std::filesystem::path parent = std::filesystem::path(FileName).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

void RemoveFileIfExists(const std::string& FileName) {
  if (::unlink(FileName.c_str()) != 0 && errno != ENOENT) Raise(FileName, "cannot delete", errno);
}

}  // namespace marovia::gdb
