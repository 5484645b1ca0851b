// A pyramid kept in a cache file (layout in cache_format.h): the reader,
// which reads tiles with pread into a bounded tile cache, and the writer,
// which fills a temporary file beside the final one and renames it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cache_format.h"
#include "marovia/platform/sysutils.h"
#include "pyramid_builder.h"
#include "tile_cache.h"

namespace marovia::pyr {

// The cache file cannot be written (directory, permissions, full disk).
class ECacheUnwritable : public EInOutError {
 public:
  using EInOutError::EInOutError;
};

class TFilePyramid : public TImagePyramid {
 public:
  // The pyramid of the cache file CacheName if it is a whole, consistent
  // file built from Key's source; null otherwise (Why says what is wrong).
  static std::unique_ptr<TFilePyramid> Load(const std::string& CacheName, const TCacheKey& Key,
                                            int64_t Budget, std::string* Why = nullptr);
  // Takes an open descriptor of a checked file.
  TFilePyramid(std::string Name, int Fd, TCacheLayout Layout, int64_t Budget);
  ~TFilePyramid() override;

  int Levels() const override { return static_cast<int>(layout_.Levels.size()); }
  int LevelWidth(int Level) const override;
  int LevelHeight(int Level) const override;
  TTilePixels Tile(int Level, int TX, int TY) const override;

 private:
  TTilePixels ReadTile(int64_t Number) const;

  std::string name_;
  int fd_;
  TCacheLayout layout_;
  mutable TTileCache cache_;
};

class TCacheWriter : public TTileSink {
 public:
  // Creates the directory of CacheName if needed and a temporary file in
  // it. ECacheUnwritable when either fails.
  TCacheWriter(const std::string& CacheName, const TCacheKey& Key, int Width, int Height);
  // Removes the temporary file unless committed.
  ~TCacheWriter() override;
  TCacheWriter(const TCacheWriter&) = delete;
  TCacheWriter& operator=(const TCacheWriter&) = delete;

  void Put(int Level, int TX, int TY, const uint32_t* Pixels) override;
  // Writes the index and header and renames the file into place; the
  // answer reads the file just written.
  std::unique_ptr<TFilePyramid> Commit(int64_t Budget);

 private:
  void Append(const uint8_t* Data, size_t Size);
  void Drain();
  [[noreturn]] void Fail(const std::string& What, int Error);

  std::string name_;
  std::string temp_;
  int fd_ = -1;
  TCacheLayout layout_;
  std::vector<std::vector<TTileEntry>> levels_;  // grows as tiles arrive
  std::map<uint32_t, uint64_t> solid_;           // colour -> offset of its bytes
  std::vector<uint8_t> buffer_;
  uint64_t pos_ = 0;  // file offset of buffer_'s start
};

}  // namespace marovia::pyr
