// A file descriptor with checked positional transfers, for the database's
// writer (file_store.h), its journal and its locks. Every failure raises
// EInOutError naming the file; interrupted calls are retried and short
// transfers continued.
#pragma once

#include <cstdint>
#include <string>

namespace marovia::gdb {

class TRawFile {
 public:
  TRawFile() = default;
  ~TRawFile() { CloseQuietly(); }
  TRawFile(const TRawFile&) = delete;
  TRawFile& operator=(const TRawFile&) = delete;

  // open(2) with Flags (O_CLOEXEC added; O_CREAT creates with mode 0666 less
  // the umask). "cannot open" / "cannot create" name the cause.
  void Open(const std::string& Name, int Flags);
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  const std::string& Name() const { return name_; }
  // Releases the descriptor; a failure reported by close raises.
  void Close();
  void CloseQuietly();

  int64_t Size() const;
  // Exactly Count bytes at Offset, or "read past end of file".
  void ReadAt(int64_t Offset, void* Buffer, int64_t Count) const;
  // Up to Count bytes at Offset; fewer only at the end of the file.
  int64_t ReadSome(int64_t Offset, void* Buffer, int64_t Count) const;
  void WriteAt(int64_t Offset, const void* Buffer, int64_t Count);
  void Resize(int64_t Size);
  // Forces the file's data and size to the disk (fdatasync).
  void Sync();

 private:
  int fd_ = -1;
  std::string name_;
};

// Forces a folder's entries (files created, renamed, deleted) to the disk.
void SyncFolder(const std::string& Folder);
// The folder of a file name ("." for a bare name).
std::string FolderOf(const std::string& FileName);
// Deletes a file; a file that is not there is no error.
void RemoveFileIfExists(const std::string& FileName);

}  // namespace marovia::gdb
