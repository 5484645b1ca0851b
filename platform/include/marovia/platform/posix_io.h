// Thin, checked wrappers over the POSIX file calls shared by the file
// streams, the record files and the item database's raw files. Every failure raises EInOutError
// naming the file; interrupted calls are retried and short transfers continued.
#pragma once

#include <cstdint>
#include <string>

namespace marovia::posix_io {

// The operating system's text for an error number.
std::string ErrorText(int err);

// Raises EInOutError for a name that must never reach open(): empty (which
// some runtimes take as standard input or output) or holding a NUL byte
// (which would silently cut the path short).
void CheckFileName(const std::string& name);

// open() with EINTR retried. Directories are refused (EISDIR) even when the
// system would open them for reading. `what` prefixes the cause ("cannot
// open", "cannot create").
int Open(const std::string& name, int flags, const char* what);

// close() that raises when the system reports a failure (for example a
// delayed write error); the descriptor is released either way.
void Close(int fd, const std::string& name);

// Reads up to count bytes at offset (pread) or, when offset < 0, at the
// descriptor's position (read). Stops early only at the end of the file.
int64_t ReadAll(int fd, void* buf, int64_t count, int64_t offset, const std::string& name);

// Writes all count bytes at offset (pwrite) or at the descriptor's position
// when offset < 0; raises when the system refuses (disk full, ...).
void WriteAll(int fd, const void* buf, int64_t count, int64_t offset, const std::string& name);

// Size in bytes of an open file.
int64_t FileSize(int fd, const std::string& name);

// ftruncate with EINTR retried.
void Truncate(int fd, int64_t size, const std::string& name);

// a * b, raising EInOutError on overflow of int64_t or a negative result.
int64_t CheckedBytes(int64_t records, int64_t recSize, const std::string& name);

}  // namespace marovia::posix_io
