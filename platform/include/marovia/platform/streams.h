// Byte streams of the host framework: an abstract TStream, a growable
// TMemoryStream and a TFileStream over an operating-system file.
//
// Positions and sizes are 64-bit byte counts. Read and Write move as many
// bytes as they can and answer the count; ReadBuffer and WriteBuffer move all
// or raise (EReadError / EWriteError, or EInOutError naming the file).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "marovia/platform/classes.h"

namespace marovia {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };
constexpr TSeekOrigin soBeginning = TSeekOrigin::soBeginning;
constexpr TSeekOrigin soCurrent = TSeekOrigin::soCurrent;
constexpr TSeekOrigin soEnd = TSeekOrigin::soEnd;

class TStream : public TObject {
 public:
  std::string ClassName() const override { return "TStream"; }

  // Reads up to Count bytes into Buffer; answers the number read (0 at end).
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  // Writes up to Count bytes; answers the number written.
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Moves the position; answers the new position. A position before 0
  // raises EStreamError; a position past the end is allowed (a later write
  // fills the gap with zero bytes).
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  int64_t Position();
  void SetPosition(int64_t Pos);
  virtual int64_t Size();
  // Grows or shrinks the stream; the position is kept unless it lies past
  // the new end, then it moves to the end.
  virtual void SetSize(int64_t NewSize) = 0;

  // All or nothing: raise EReadError ("Stream read error") or EWriteError.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies Count bytes from Source's position (Count 0: all of Source from
  // its beginning); answers the count.
  int64_t CopyFrom(TStream& Source, int64_t Count);

 protected:
  // Base + Offset as a new position for Seek. Raises EStreamError when it
  // would be negative or overflow; Where (may be empty) names the stream in
  // the message.
  static int64_t CheckedPosition(int64_t Base, int64_t Offset, const std::string& Where);
};

// A stream in memory. Memory() is valid until the next size change.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  std::string ClassName() const override { return "TMemoryStream"; }

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t NewSize) override;

  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  void Clear();
  // Replaces the contents by the whole of Stream / the named file; the
  // position becomes 0. File errors raise EInOutError naming the file.
  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);
  // Writes the whole contents (not only from the position).
  void SaveToStream(TStream& Stream);
  void SaveToFile(const std::string& FileName);

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

// File open modes of TFileStream (and of the file helpers).
enum class TFileOpenMode { fmCreate, fmOpenRead, fmOpenWrite, fmOpenReadWrite };
constexpr TFileOpenMode fmCreate = TFileOpenMode::fmCreate;
constexpr TFileOpenMode fmOpenRead = TFileOpenMode::fmOpenRead;
constexpr TFileOpenMode fmOpenWrite = TFileOpenMode::fmOpenWrite;
constexpr TFileOpenMode fmOpenReadWrite = TFileOpenMode::fmOpenReadWrite;

// A stream over a file. fmCreate creates or truncates the file and opens it
// for reading and writing; the other modes open an existing file. Failure
// raises EInOutError naming the file and the cause.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& FileName, TFileOpenMode Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  std::string ClassName() const override { return "TFileStream"; }

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override;
  void SetSize(int64_t NewSize) override;
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
  int fd_ = -1;
};

}  // namespace marovia
