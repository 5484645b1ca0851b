// Exceptions and the exact integer conversions of the host runtime.
//
// Every error of the platform is an Exception; file and device failures are
// EInOutError and always name the file. Round and Trunc are defined for every
// double: NaN, infinities and values outside the 64-bit range raise
// EInvalidOp instead of invoking undefined behaviour.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace marovia {

// Base of every exception raised by the platform, the companion packages and
// the library. The message is UTF-8.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& msg) : std::runtime_error(msg) {}
  std::string Message() const { return what(); }
};

// Input/output failure of a file; FileName() names it, ErrorCode() is the
// operating system's error number (0 when the failure is not the system's,
// for example a short read).
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& fileName, const std::string& cause, int errorCode = 0);
  const std::string& FileName() const { return fileName_; }
  int ErrorCode() const { return errorCode_; }

 private:
  std::string fileName_;
  int errorCode_;
};

// Invalid floating-point operation (NaN, infinity, overflow of an integer
// conversion).
class EInvalidOp : public Exception {
 public:
  using Exception::Exception;
};

// A value cannot be converted (text to number, one class to another).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Argument out of range (list index, bitmap size, ...).
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

// Stream errors: reading past the end, writing to a read-only stream.
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// Round to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2). Raises EInvalidOp for NaN, infinities and results
// outside int64_t.
int64_t Round(double x);

// Truncate toward zero. Raises EInvalidOp like Round.
int64_t Trunc(double x);

// Round and Trunc for 32-bit results (pixel coordinates, record fields):
// EInvalidOp also when the result leaves int32_t.
int32_t Round32(double x);
int32_t Trunc32(double x);

}  // namespace marovia
