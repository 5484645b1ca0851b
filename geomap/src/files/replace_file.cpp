// TFileReplacement and ReplaceFileContents (see replace_file.h).
#include "files/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

namespace fs = std::filesystem;

// Attempts at finding an unused temporary name before giving up.
constexpr int kNameAttempts = 100;

[[noreturn]] void Raise(const std::string& target, const std::string& what, int err) {
  throw EInOutError(target, what + ": " + std::generic_category().message(err), err);
}

// The same failure, told about the target instead of the temporary file.
EInOutError NamingTarget(const EInOutError& e, const std::string& target) {
  const std::string prefix = "File \"" + e.FileName() + "\": ";
  std::string cause = e.Message();
  if (cause.compare(0, prefix.size(), prefix) == 0) cause.erase(0, prefix.size());
  return EInOutError(target, cause, e.ErrorCode());
}

// The file that saving under `target` must replace: for a symbolic link the
// file it points to, so that the link survives the save.
std::string ResolveLinks(const std::string& target) {
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    const fs::path real = fs::canonical(target, ec);
    if (!ec) return real.string();
  }
  return target;
}

// Flushes a file (or a folder) to disk; answers 0 or the error number.
// Folders are flushed only so that the rename survives a crash; a system
// that cannot do that loses nothing.
int SyncPath(const std::string& name, bool folder) {
  const int fd = ::open(name.c_str(), (folder ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int err = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return err;
}

}  // namespace

TFileReplacement::TFileReplacement(const std::string& Target) : target_(Target) {
  if (Target.empty()) throw EInOutError(Target, "no file name given");
  if (Target.find('\0') != std::string::npos)
    throw EInOutError(Target, "invalid file name: contains a NUL byte");
  resolved_ = ResolveLinks(Target);

  const fs::path folder = fs::path(resolved_).parent_path();
  static std::atomic<unsigned> counter{0};
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    const std::string name =
        ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
    tempName_ = folder.empty() ? name : (folder / name).string();
    fd = ::open(tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt + 1 == kNameAttempts))
      Raise(Target, "cannot create", errno);
  }
  // The new file keeps the permissions of the one it replaces.
  struct stat st;
  if (::stat(resolved_.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    (void)::fchmod(fd, st.st_mode & 07777);
  ::close(fd);

  try {
    file_.AssignFile(tempName_);
    file_.Rewrite();
  } catch (const EInOutError& e) {
    ::unlink(tempName_.c_str());
    throw NamingTarget(e, Target);
  }
}

TFileReplacement::~TFileReplacement() {
  if (committed_) return;
  try {
    file_.CloseFile();
  } catch (const EInOutError&) {
    // The contents are being thrown away; a failed flush changes nothing.
  }
  ::unlink(tempName_.c_str());
}

void TFileReplacement::WriteLn(std::string_view Line) {
  try {
    file_.WriteLn(Utf8ToCp1252(Line));
  } catch (const EInOutError& e) {
    throw NamingTarget(e, target_);
  }
}

void TFileReplacement::Commit() {
  if (committed_) return;
  try {
    file_.CloseFile();  // flushes; a delayed write error shows here
  } catch (const EInOutError& e) {
    throw NamingTarget(e, target_);
  }
  if (const int err = SyncPath(tempName_, false); err != 0) Raise(target_, "write error", err);
  if (::rename(tempName_.c_str(), resolved_.c_str()) != 0) Raise(target_, "cannot replace", errno);
  committed_ = true;
  const fs::path folder = fs::path(resolved_).parent_path();
  (void)SyncPath(folder.empty() ? "." : folder.string(), true);
}

void ReplaceFileContents(const std::string& Target, const std::function<void(TTextFile&)>& Write) {
  TFileReplacement replacement(Target);
  try {
    Write(replacement.File());
  } catch (const EInOutError& e) {
    // Failures of other files the writer touches keep their own names.
    if (e.FileName() != replacement.TempName()) throw;
    throw NamingTarget(e, Target);
  }
  replacement.Commit();
}

}  // namespace marovia
