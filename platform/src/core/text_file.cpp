// TTextFile: line-oriented 8-bit text files over stdio.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "marovia/platform/files.h"
#include "marovia/platform/sysutils.h"
#include "posix_io.h"

namespace marovia {
namespace {

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

int TTextFile::PeekChar() {
  Require(true);
  const int c = std::getc(f_);
  if (c == EOF) {
    if (std::ferror(f_))
      throw EInOutError(fileName_, "read error: " + posix_io::ErrorText(errno), errno);
    return -1;
  }
  std::ungetc(c, f_);
  return c;
}

int TTextFile::ReadChar() {
  Require(true);
  const int c = std::getc(f_);
  if (c == EOF) {
    if (std::ferror(f_))
      throw EInOutError(fileName_, "read error: " + posix_io::ErrorText(errno), errno);
    return -1;
  }
  return c;
}

bool TTextFile::Eof() {
  return PeekChar() < 0;
}

std::string TTextFile::ReadLn() {
  Require(true);
  std::string line;
  for (;;) {
    int c = getc_unlocked(f_);
    if (c == EOF || c == '\n') break;
    if (c == '\r') {
      c = getc_unlocked(f_);
      if (c != '\n' && c != EOF) std::ungetc(c, f_);
      break;
    }
    line.push_back(static_cast<char>(c));
  }
  if (std::ferror(f_))
    throw EInOutError(fileName_, "read error: " + posix_io::ErrorText(errno), errno);
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
  return p;
}

void TTextFile::SetTextPos(int64_t Pos) {
  if (f_ == nullptr) throw EInOutError(fileName_, "file not open");
  if (Pos < 0) throw EInOutError(fileName_, "invalid text position " + std::to_string(Pos));
  if (::fseeko(f_, static_cast<off_t>(Pos), SEEK_SET) != 0)
    throw EInOutError(fileName_, "cannot seek: " + posix_io::ErrorText(errno), errno);
}

}  // namespace marovia
