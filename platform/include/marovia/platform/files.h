// Text files, record files and untyped files of the host runtime, and the
// file-system helpers.
//
// Every failure raises EInOutError naming the file and the cause (for
// example "cannot open: No such file or directory", "read past end of file").
// An empty file name, or one holding a NUL byte, is refused rather than
// opened: it never means standard input or output here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "marovia/platform/streams.h"

namespace marovia {

// A text file of 8-bit lines (the host code page, Windows-1252). Lines are
// written with CR LF; reading accepts CR LF, LF and a lone CR as line ends.
// Lines are handed over as stored: convert with Cp1252ToUtf8 / Utf8ToCp1252.
class TTextFile {
 public:
  TTextFile() = default;
  explicit TTextFile(const std::string& FileName) { AssignFile(FileName); }
  ~TTextFile();
  TTextFile(const TTextFile&) = delete;
  TTextFile& operator=(const TTextFile&) = delete;

  // Names the file; closes a file still open.
  void AssignFile(const std::string& FileName);
  const std::string& FileName() const { return fileName_; }
  void Reset();    // open an existing file for reading
  void Rewrite();  // create or truncate, for writing
  void Append();   // open an existing file for writing at its end
  void CloseFile();
  bool IsOpen() const { return f_ != nullptr; }

  // True when no character is left to read.
  bool Eof();
  // Reads up to the next line end (removed) or the end of the file.
  std::string ReadLn();
  // The next byte (0..255) without / with consuming it; -1 at the end of the
  // file. For readers that scan text across line ends.
  int PeekChar();
  int ReadChar();
  // The bytes read ahead from the read position on, for readers that scan
  // runs of bytes: at least one byte unless the file is at its end (then
  // empty). Valid until the next call on the file. SkipBytes consumes Count
  // of them (at most as many as PeekBlock answered).
  std::string_view PeekBlock();
  void SkipBytes(size_t Count);
  void Write(std::string_view Text);
  void WriteLn(std::string_view Text = {});
  // Byte offset of the read position, and a return to a byte offset (used
  // by readers that look ahead).
  int64_t TextPos();
  void SetTextPos(int64_t Pos);

 private:
  void Require(bool reading) const;
  // Refills the read-ahead buffer when it is used up; false at the end of
  // the file.
  bool Fill();
  void DropReadAhead() { rpos_ = rlen_ = 0; }
  std::string fileName_;
  FILE* f_ = nullptr;
  bool reading_ = false;
  // Read-ahead: bytes [rpos_, rlen_) of rbuf_ come next; the file's own
  // position lies rlen_ - rpos_ bytes beyond the read position.
  std::string rbuf_;
  size_t rpos_ = 0;
  size_t rlen_ = 0;
};

// Access of Reset on record and untyped files (the runtime's FileMode).
enum class TFileAccess { faReadOnly = 0, faWriteOnly = 1, faReadWrite = 2 };

// A file of fixed-size records ("file of T") or an untyped file with a record
// size ("file", record size 128 unless given). Positions and counts are in
// records.
class TBinaryFile {
 public:
  TBinaryFile() = default;
  TBinaryFile(const std::string& FileName, int64_t RecSize) { AssignFile(FileName, RecSize); }
  ~TBinaryFile();
  TBinaryFile(const TBinaryFile&) = delete;
  TBinaryFile& operator=(const TBinaryFile&) = delete;

  void AssignFile(const std::string& FileName, int64_t RecSize = 128);
  const std::string& FileName() const { return fileName_; }
  int64_t RecSize() const { return recSize_; }
  void Reset(TFileAccess Access = TFileAccess::faReadWrite);  // open existing
  void Rewrite();                                             // create or truncate, read and write
  void CloseFile();
  bool IsOpen() const { return fd_ >= 0; }

  int64_t FileSize();  // whole records in the file
  int64_t FilePos();   // current record number
  bool Eof();
  void Seek(int64_t RecNo);
  // Reads exactly Count records or raises EInOutError ("read past end of
  // file"); the untyped-file form with Result answers the whole records read.
  void BlockRead(void* Buffer, int64_t Count);
  void BlockRead(void* Buffer, int64_t Count, int64_t& Result);
  void BlockWrite(const void* Buffer, int64_t Count);
  // Cuts the file at the current position.
  void Truncate();

 private:
  std::string fileName_;
  int64_t recSize_ = 128;
  int fd_ = -1;
  TFileAccess access_ = TFileAccess::faReadWrite;
  int64_t pos_ = 0;  // byte offset of the next record read or written
};

bool FileExists(const std::string& FileName);
bool DirectoryExists(const std::string& Dir);
bool DeleteFile(const std::string& FileName);
// Renames (replacing an existing target atomically where the system can).
bool RenameFile(const std::string& OldName, const std::string& NewName);
bool ForceDirectories(const std::string& Dir);
// Size of a file in bytes, or -1 when it cannot be examined.
int64_t FileSizeByName(const std::string& FileName);
// The name parts below take both '/' and '\' as directory separators, so
// that names stored by Windows hosts split the same way.
std::string ExtractFileName(const std::string& FileName);
std::string ExtractFilePath(const std::string& FileName);  // with trailing '/'
std::string ExtractFileExt(const std::string& FileName);   // with the dot
std::string ChangeFileExt(const std::string& FileName, const std::string& Ext);

}  // namespace marovia
