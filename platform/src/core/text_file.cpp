// TTextFile: line-oriented 8-bit text files over stdio.
//
// Reading goes through a read-ahead buffer of the file's own, so that
// readers scanning byte by byte or run by run pay no library call per byte.
// The read position is the file's position minus the bytes still buffered.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "marovia/platform/files.h"
#include "marovia/platform/posix_io.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

constexpr size_t kReadAhead = 64 * 1024;

// Opens through posix_io (directory and file-name checks, EINTR) and wraps
// the descriptor in a stdio stream for buffered character access.
FILE* OpenText(const std::string& name, int flags, const char* mode, const char* what) {
  const int fd = posix_io::Open(name, flags, what);
  FILE* f = ::fdopen(fd, mode);
  if (f == nullptr) {
    const int err = errno;
    ::close(fd);
    throw EInOutError(name, std::string(what) + ": " + posix_io::ErrorText(err), err);
  }
  return f;
}

}  // namespace

TTextFile::~TTextFile() {
  if (f_ != nullptr) std::fclose(f_);
}

void TTextFile::AssignFile(const std::string& FileName) {
  DropReadAhead();
  if (f_ != nullptr) {
    std::fclose(f_);
    f_ = nullptr;
  }
  fileName_ = FileName;
}

void TTextFile::Reset() {
  if (f_ != nullptr) CloseFile();
  f_ = OpenText(fileName_, O_RDONLY, "rb", "cannot open");
  reading_ = true;
  DropReadAhead();
}

void TTextFile::Rewrite() {
  if (f_ != nullptr) CloseFile();
  f_ = OpenText(fileName_, O_WRONLY | O_CREAT | O_TRUNC, "wb", "cannot create");
  reading_ = false;
}

void TTextFile::Append() {
  if (f_ != nullptr) CloseFile();
  f_ = OpenText(fileName_, O_WRONLY | O_APPEND, "ab", "cannot open");
  reading_ = false;
}

void TTextFile::CloseFile() {
  if (f_ == nullptr) return;
  DropReadAhead();
  FILE* f = f_;
  f_ = nullptr;
  const bool failed = std::ferror(f) != 0;
  // fclose flushes what is still buffered; a failure there is a lost write.
  errno = 0;
  if (std::fclose(f) != 0 || (failed && !reading_)) {
    const int err = errno != 0 ? errno : EIO;
    throw EInOutError(fileName_, "write error: " + posix_io::ErrorText(err), err);
  }
}

void TTextFile::Require(bool reading) const {
  if (f_ == nullptr) throw EInOutError(fileName_, "file not open");
  if (reading && !reading_) throw EInOutError(fileName_, "file not open for input");
  if (!reading && reading_) throw EInOutError(fileName_, "file not open for output");
}

bool TTextFile::Fill() {
  if (rpos_ < rlen_) return true;
  if (rbuf_.size() != kReadAhead) rbuf_.resize(kReadAhead);
  const size_t n = std::fread(rbuf_.data(), 1, kReadAhead, f_);
  rpos_ = 0;
  rlen_ = n;
  if (n == 0 && std::ferror(f_))
    throw EInOutError(fileName_, "read error: " + posix_io::ErrorText(errno), errno);
  return n > 0;
}

int TTextFile::PeekChar() {
  Require(true);
  if (!Fill()) return -1;
  return static_cast<unsigned char>(rbuf_[rpos_]);
}

int TTextFile::ReadChar() {
  Require(true);
  if (!Fill()) return -1;
  return static_cast<unsigned char>(rbuf_[rpos_++]);
}

std::string_view TTextFile::PeekBlock() {
  Require(true);
  if (!Fill()) return {};
  return std::string_view(rbuf_.data() + rpos_, rlen_ - rpos_);
}

void TTextFile::SkipBytes(size_t Count) {
  Require(true);
  rpos_ += std::min(Count, rlen_ - rpos_);
}

bool TTextFile::Eof() {
  return PeekChar() < 0;
}

std::string TTextFile::ReadLn() {
  Require(true);
  std::string line;
  while (Fill()) {
    const std::string_view block(rbuf_.data() + rpos_, rlen_ - rpos_);
    const size_t end = std::min(block.find_first_of("\r\n"), block.size());
    line.append(block.data(), end);
    rpos_ += end;
    if (end == block.size()) continue;
    const char c = rbuf_[rpos_++];
    // CR LF is one line end, even when the LF starts the next block.
    if (c == '\r' && Fill() && rbuf_[rpos_] == '\n') ++rpos_;
    break;
  }
  return line;
}

void TTextFile::Write(std::string_view Text) {
  Require(false);
  if (Text.empty()) return;
  if (std::fwrite(Text.data(), 1, Text.size(), f_) != Text.size())
    throw EInOutError(fileName_, "write error: " + posix_io::ErrorText(errno), errno);
}

void TTextFile::WriteLn(std::string_view Text) {
  Write(Text);
  Write("\r\n");
}

int64_t TTextFile::TextPos() {
  if (f_ == nullptr) throw EInOutError(fileName_, "file not open");
  const off_t p = ::ftello(f_);
  if (p < 0) throw EInOutError(fileName_, "cannot seek: " + posix_io::ErrorText(errno), errno);
  return p - static_cast<int64_t>(rlen_ - rpos_);
}

void TTextFile::SetTextPos(int64_t Pos) {
  if (f_ == nullptr) throw EInOutError(fileName_, "file not open");
  if (Pos < 0) throw EInOutError(fileName_, "invalid text position " + std::to_string(Pos));
  DropReadAhead();
  if (::fseeko(f_, static_cast<off_t>(Pos), SEEK_SET) != 0)
    throw EInOutError(fileName_, "cannot seek: " + posix_io::ErrorText(errno), errno);
}

}  // namespace marovia
