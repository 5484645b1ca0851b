// A library loaded before the C library (LD_PRELOAD) into a program under
// test: it counts, fails or records the writes, syncs and renames the
// program makes to the files of one folder. Nothing else is touched.
//
// Environment:
//   MAROVIA_SHIM_DIR    the folder (absolute); files below it are watched
//   MAROVIA_SHIM_MODE   count | fail | record
//   MAROVIA_SHIM_OP     fail: write | fsync | rename
//   MAROVIA_SHIM_AT     fail: the k-th call of that kind (1-based) fails
//   MAROVIA_SHIM_ERRNO  fail: ENOSPC (then every later call of the kind
//                       fails too: the disk stays full) or EIO (only the
//                       k-th)
//   MAROVIA_SHIM_LOG    count: "write N fsync N rename N" is written here at
//                       exit; record: the log of operations (below)
//
// Calls watched: open, creat, openat (and their 64-bit and fortified
// forms), write, pwrite, writev, pwritev, ftruncate, fsync, fdatasync,
// rename, renameat, renameat2, unlink, unlinkat, close; and stdio streams
// opened for writing on watched files (fopen, fdopen), which are replaced
// by streams whose buffer flushes go through the watched write, so that a
// failed flush fails as the system's write would.
//
// Record log, one entry per operation, little-endian:
//   u8 kind ('C' create or truncate on opening, 'W' write, 'T' truncate,
//   'S' sync of a file, 'D' sync of a folder, 'R' rename, 'U' unlink),
//   u32 length + path, u32 length + second path (rename's target, else 0),
//   i64 offset (W) or size (T), u32 length + bytes (W).
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <mutex>
#include <string>

namespace {

enum Kind { kWrite = 0, kSync = 1, kRename = 2 };

struct TState {
  bool Ready = false;
  std::string Dir;
  enum { kNone, kCount, kFail, kRecord } Mode = kNone;
  int FailKind = -1;
  long FailAt = 0;
  int FailErrno = 0;
  long Count[3] = {0, 0, 0};
  std::string Log;
  int LogFd = -1;
  std::string Paths[4096];  // watched descriptor -> path; empty: not watched
  bool IsDir[4096] = {};
};

std::recursive_mutex& Mutex() {
  static std::recursive_mutex m;
  return m;
}

template <class F>
F Real(const char* Name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, Name));
}

#define REAL(name) static const auto real_##name = Real<decltype(&::name)>(#name)

TState& State();

void WriteCounts() {
  TState& s = State();
  if (s.Mode != TState::kCount || s.Log.empty()) return;
  REAL(open);
  REAL(write);
  REAL(close);
  const int fd = real_open(s.Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  char line[128];
  const int n = snprintf(line, sizeof line, "write %ld fsync %ld rename %ld\n", s.Count[kWrite],
                         s.Count[kSync], s.Count[kRename]);
  (void)!real_write(fd, line, static_cast<size_t>(n));
  real_close(fd);
}

TState& State() {
  static TState s;
  if (s.Ready) return s;
  s.Ready = true;
  if (const char* d = getenv("MAROVIA_SHIM_DIR")) s.Dir = d;
  if (!s.Dir.empty() && s.Dir.back() != '/') s.Dir += '/';
  const char* mode = getenv("MAROVIA_SHIM_MODE");
  if (mode && !strcmp(mode, "count")) s.Mode = TState::kCount;
  if (mode && !strcmp(mode, "fail")) s.Mode = TState::kFail;
  if (mode && !strcmp(mode, "record")) s.Mode = TState::kRecord;
  if (const char* op = getenv("MAROVIA_SHIM_OP"))
    s.FailKind = !strcmp(op, "write") ? kWrite : !strcmp(op, "fsync") ? kSync : kRename;
  if (const char* at = getenv("MAROVIA_SHIM_AT")) s.FailAt = atol(at);
  if (const char* e = getenv("MAROVIA_SHIM_ERRNO")) s.FailErrno = !strcmp(e, "EIO") ? EIO : ENOSPC;
  if (const char* log = getenv("MAROVIA_SHIM_LOG")) s.Log = log;
  if (s.Mode == TState::kRecord && !s.Log.empty()) {
    REAL(open);
    s.LogFd = real_open(s.Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  if (s.Mode == TState::kCount) atexit(WriteCounts);
  return s;
}

// The absolute, lexically plain form of a path named by the program.
std::string Absolute(int DirFd, const char* Path) {
  std::string p = Path ? Path : "";
  if (p.empty() || p[0] != '/') {
    std::string base;
    if (DirFd == AT_FDCWD) {
      char cwd[PATH_MAX];
      if (getcwd(cwd, sizeof cwd)) base = cwd;
    } else if (DirFd >= 0 && DirFd < 4096) {
      base = State().Paths[DirFd];
    }
    p = base + "/" + p;
  }
  return p;
}

// The folder itself (its syncs) and everything below it.
bool Watched(const std::string& Path) {
  const TState& s = State();
  return s.Mode != TState::kNone && !s.Dir.empty() &&
         (Path + "/").compare(0, s.Dir.size(), s.Dir) == 0;
}

bool WatchedFd(int Fd) {
  return Fd >= 0 && Fd < 4096 && !State().Paths[Fd].empty();
}

// Counts a call of a kind on a watched file; true when it is to fail (errno
// set).
bool Fails(int K) {
  TState& s = State();
  const long n = ++s.Count[K];
  if (s.Mode != TState::kFail || s.FailKind != K) return false;
  const bool fail = s.FailErrno == ENOSPC ? n >= s.FailAt : n == s.FailAt;
  if (fail) errno = s.FailErrno;
  return fail;
}

void Put(std::string& Out, const void* P, size_t N) {
  Out.append(static_cast<const char*>(P), N);
}
void PutU32(std::string& Out, uint32_t V) {
  Put(Out, &V, 4);
}
void PutText(std::string& Out, const std::string& T) {
  PutU32(Out, static_cast<uint32_t>(T.size()));
  Out += T;
}

void Record(char K, const std::string& Path, const std::string& To, int64_t At, const void* Bytes,
            size_t Count) {
  TState& s = State();
  if (s.Mode != TState::kRecord || s.LogFd < 0) return;
  std::string e(1, K);
  PutText(e, Path);
  PutText(e, To);
  Put(e, &At, 8);
  PutU32(e, static_cast<uint32_t>(Count));
  if (Count) Put(e, Bytes, Count);
  REAL(write);
  size_t done = 0;
  while (done < e.size()) {
    const ssize_t n = real_write(s.LogFd, e.data() + done, e.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

void Track(int Fd, const std::string& Path, int Flags) {
  if (Fd < 0 || Fd >= 4096) return;
  TState& s = State();
  s.Paths[Fd] = Path;
  struct stat st;
  s.IsDir[Fd] = fstat(Fd, &st) == 0 && S_ISDIR(st.st_mode);
  if ((Flags & O_CREAT) || (Flags & O_TRUNC)) {
    // A created or emptied file is an operation of its own.
    Record('C', Path, "", (Flags & O_TRUNC) ? 1 : 0, nullptr, 0);
  }
}

int Opened(int Fd, int DirFd, const char* Path, int Flags) {
  if (Fd < 0) return Fd;
  const std::lock_guard lock(Mutex());
  const std::string abs = Absolute(DirFd, Path);
  if (Watched(abs)) {
    Track(Fd, abs, Flags);
  } else if (Fd < 4096) {
    State().Paths[Fd].clear();
  }
  return Fd;
}

ssize_t WatchedWrite(int Fd, const void* Buf, size_t Count, off_t Offset, bool Positional) {
  REAL(write);
  REAL(pwrite);
  const std::lock_guard lock(Mutex());
  if (!WatchedFd(Fd))
    return Positional ? real_pwrite(Fd, Buf, Count, Offset) : real_write(Fd, Buf, Count);
  if (Fails(kWrite)) return -1;
  const off_t at = Positional ? Offset : lseek(Fd, 0, SEEK_CUR);
  const ssize_t n = Positional ? real_pwrite(Fd, Buf, Count, Offset) : real_write(Fd, Buf, Count);
  if (n > 0) {
    // An append-mode descriptor writes at the end whatever the position.
    off_t where = at;
    if (!Positional && (fcntl(Fd, F_GETFL) & O_APPEND)) where = lseek(Fd, 0, SEEK_CUR) - n;
    Record('W', State().Paths[Fd], "", where, Buf, static_cast<size_t>(n));
  }
  return n;
}

// ---- stdio streams on watched files ------------------------------------------

ssize_t CookieRead(void* C, char* Buf, size_t N) {
  REAL(read);
  return real_read(static_cast<int>(reinterpret_cast<intptr_t>(C)), Buf, N);
}
ssize_t CookieWrite(void* C, const char* Buf, size_t N) {
  const ssize_t n = WatchedWrite(static_cast<int>(reinterpret_cast<intptr_t>(C)), Buf, N, 0, false);
  // stdio takes 0 as an error; the errno stays.
  return n < 0 ? 0 : n;
}
int CookieSeek(void* C, off64_t* Pos, int Whence) {
  const off_t r = lseek(static_cast<int>(reinterpret_cast<intptr_t>(C)), *Pos, Whence);
  if (r < 0) return -1;
  *Pos = r;
  return 0;
}
int CookieClose(void* C) {
  return close(static_cast<int>(reinterpret_cast<intptr_t>(C)));
}

FILE* Wrap(int Fd, const char* Mode) {
  const cookie_io_functions_t io{CookieRead, CookieWrite, CookieSeek, CookieClose};
  return fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(Fd)), Mode, io);
}

bool WritingMode(const char* Mode) {
  return Mode && (strchr(Mode, 'w') || strchr(Mode, 'a') || strchr(Mode, '+'));
}

int ModeFlags(const char* Mode) {
  const bool plus = strchr(Mode, '+') != nullptr;
  switch (Mode[0]) {
    case 'w':
      return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a':
      return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default:
      return plus ? O_RDWR : O_RDONLY;
  }
}

}  // namespace

extern "C" {

int open(const char* Path, int Flags, ...) {
  REAL(open);
  mode_t mode = 0;
  if (Flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, Flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  return Opened(real_open(Path, Flags, mode), AT_FDCWD, Path, Flags);
}
int open64(const char* Path, int Flags, ...) {
  REAL(open64);
  mode_t mode = 0;
  if (Flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, Flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  return Opened(real_open64(Path, Flags, mode), AT_FDCWD, Path, Flags);
}
int __open_2(const char* Path, int Flags) {
  return open(Path, Flags);
}
int __open64_2(const char* Path, int Flags) {
  return open64(Path, Flags);
}
int openat(int DirFd, const char* Path, int Flags, ...) {
  REAL(openat);
  mode_t mode = 0;
  if (Flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, Flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  return Opened(real_openat(DirFd, Path, Flags, mode), DirFd, Path, Flags);
}
int openat64(int DirFd, const char* Path, int Flags, ...) {
  REAL(openat64);
  mode_t mode = 0;
  if (Flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, Flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  return Opened(real_openat64(DirFd, Path, Flags, mode), DirFd, Path, Flags);
}
int __openat_2(int DirFd, const char* Path, int Flags) {
  return openat(DirFd, Path, Flags);
}
int creat(const char* Path, mode_t Mode) {
  return open(Path, O_WRONLY | O_CREAT | O_TRUNC, Mode);
}

int close(int Fd) {
  REAL(close);
  {
    const std::lock_guard lock(Mutex());
    if (Fd >= 0 && Fd < 4096) State().Paths[Fd].clear();
  }
  return real_close(Fd);
}

ssize_t write(int Fd, const void* Buf, size_t Count) {
  return WatchedWrite(Fd, Buf, Count, 0, false);
}
ssize_t pwrite(int Fd, const void* Buf, size_t Count, off_t Offset) {
  return WatchedWrite(Fd, Buf, Count, Offset, true);
}
ssize_t pwrite64(int Fd, const void* Buf, size_t Count, off64_t Offset) {
  return WatchedWrite(Fd, Buf, Count, Offset, true);
}

// Vectored writes become one gathered write, so that they count and fail
// as one.
static ssize_t Gathered(int Fd, const struct iovec* Iov, int N, off_t Offset, bool Positional) {
  std::string all;
  for (int i = 0; i < N; ++i) all.append(static_cast<const char*>(Iov[i].iov_base), Iov[i].iov_len);
  return WatchedWrite(Fd, all.data(), all.size(), Offset, Positional);
}
ssize_t writev(int Fd, const struct iovec* Iov, int N) {
  REAL(writev);
  if (!WatchedFd(Fd)) return real_writev(Fd, Iov, N);
  return Gathered(Fd, Iov, N, 0, false);
}
ssize_t pwritev(int Fd, const struct iovec* Iov, int N, off_t Offset) {
  REAL(pwritev);
  if (!WatchedFd(Fd)) return real_pwritev(Fd, Iov, N, Offset);
  return Gathered(Fd, Iov, N, Offset, true);
}
ssize_t pwritev64(int Fd, const struct iovec* Iov, int N, off64_t Offset) {
  return pwritev(Fd, Iov, N, Offset);
}

int ftruncate(int Fd, off_t Size) {
  REAL(ftruncate);
  const std::lock_guard lock(Mutex());
  const int r = real_ftruncate(Fd, Size);
  if (r == 0 && WatchedFd(Fd)) Record('T', State().Paths[Fd], "", Size, nullptr, 0);
  return r;
}
int ftruncate64(int Fd, off64_t Size) {
  return ftruncate(Fd, Size);
}

static int Sync(int Fd, int (*Real)(int)) {
  const std::lock_guard lock(Mutex());
  if (!WatchedFd(Fd)) return Real(Fd);
  if (Fails(kSync)) return -1;
  const int r = Real(Fd);
  if (r == 0) Record(State().IsDir[Fd] ? 'D' : 'S', State().Paths[Fd], "", 0, nullptr, 0);
  return r;
}
int fsync(int Fd) {
  REAL(fsync);
  return Sync(Fd, real_fsync);
}
int fdatasync(int Fd) {
  REAL(fdatasync);
  return Sync(Fd, real_fdatasync);
}

static int Renamed(int FromDir, const char* From, int ToDir, const char* To,
                   const std::function<int()>& Real) {
  const std::lock_guard lock(Mutex());
  const std::string from = Absolute(FromDir, From), to = Absolute(ToDir, To);
  if (!Watched(from) && !Watched(to)) return Real();
  if (Fails(kRename)) return -1;
  const int r = Real();
  if (r == 0) Record('R', from, to, 0, nullptr, 0);
  return r;
}
int rename(const char* From, const char* To) {
  REAL(rename);
  return Renamed(AT_FDCWD, From, AT_FDCWD, To, [&] { return real_rename(From, To); });
}
int renameat(int FromDir, const char* From, int ToDir, const char* To) {
  REAL(renameat);
  return Renamed(FromDir, From, ToDir, To, [&] { return real_renameat(FromDir, From, ToDir, To); });
}
int renameat2(int FromDir, const char* From, int ToDir, const char* To, unsigned Flags) {
  REAL(renameat2);
  return Renamed(FromDir, From, ToDir, To,
                 [&] { return real_renameat2(FromDir, From, ToDir, To, Flags); });
}

int unlink(const char* Path) {
  REAL(unlink);
  const std::lock_guard lock(Mutex());
  const int r = real_unlink(Path);
  const std::string abs = Absolute(AT_FDCWD, Path);
  if (r == 0 && Watched(abs)) Record('U', abs, "", 0, nullptr, 0);
  return r;
}
int unlinkat(int DirFd, const char* Path, int Flags) {
  REAL(unlinkat);
  const std::lock_guard lock(Mutex());
  const int r = real_unlinkat(DirFd, Path, Flags);
  const std::string abs = Absolute(DirFd, Path);
  if (r == 0 && Watched(abs) && !(Flags & AT_REMOVEDIR)) Record('U', abs, "", 0, nullptr, 0);
  return r;
}

FILE* fopen(const char* Path, const char* Mode) {
  REAL(fopen);
  {
    const std::lock_guard lock(Mutex());
    if (!WritingMode(Mode) || !Watched(Absolute(AT_FDCWD, Path))) return real_fopen(Path, Mode);
  }
  const int fd = open(Path, ModeFlags(Mode) | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  FILE* f = Wrap(fd, Mode);
  if (!f) close(fd);
  return f;
}
FILE* fopen64(const char* Path, const char* Mode) {
  return fopen(Path, Mode);
}
FILE* fdopen(int Fd, const char* Mode) {
  REAL(fdopen);
  if (!WritingMode(Mode) || !WatchedFd(Fd)) return real_fdopen(Fd, Mode);
  return Wrap(Fd, Mode);
}

}  // extern "C"
