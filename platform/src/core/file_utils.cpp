// File-system helpers: existence tests, deletion, renaming, directories and
// file-name parts.
//
// File-name parts accept both '/' and '\' as directory separators, so that
// names written into files on Windows split correctly here too.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "marovia/platform/files.h"

namespace marovia {
namespace {

bool Usable(const std::string& name) {
  return !name.empty() && name.find('\0') == std::string::npos;
}

bool Stat(const std::string& name, struct stat& st) {
  return Usable(name) && ::stat(name.c_str(), &st) == 0;
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Index just past the last directory separator (0 when there is none).
size_t NameStart(const std::string& s) {
  for (size_t i = s.size(); i > 0; --i)
    if (IsSeparator(s[i - 1])) return i;
  return 0;
}

// Index of the extension's dot in the last name part, or npos.
size_t ExtStart(const std::string& s) {
  const size_t start = NameStart(s);
  const size_t dot = s.rfind('.');
  return (dot != std::string::npos && dot >= start) ? dot : std::string::npos;
}

}  // namespace

bool FileExists(const std::string& FileName) {
  struct stat st;
  return Stat(FileName, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& Dir) {
  struct stat st;
  return Stat(Dir, st) && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& FileName) {
  return Usable(FileName) && ::unlink(FileName.c_str()) == 0;
}

bool RenameFile(const std::string& OldName, const std::string& NewName) {
  return Usable(OldName) && Usable(NewName) && std::rename(OldName.c_str(), NewName.c_str()) == 0;
}

bool ForceDirectories(const std::string& Dir) {
  if (!Usable(Dir)) return false;
  std::error_code ec;
  std::filesystem::create_directories(Dir, ec);
  return DirectoryExists(Dir);
}

int64_t FileSizeByName(const std::string& FileName) {
  struct stat st;
  if (!Stat(FileName, st) || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::string ExtractFileName(const std::string& FileName) {
  return FileName.substr(NameStart(FileName));
}

std::string ExtractFilePath(const std::string& FileName) {
  return FileName.substr(0, NameStart(FileName));
}

std::string ExtractFileExt(const std::string& FileName) {
  const size_t dot = ExtStart(FileName);
  return dot == std::string::npos ? std::string() : FileName.substr(dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Ext) {
  const size_t dot = ExtStart(FileName);
  return (dot == std::string::npos ? FileName : FileName.substr(0, dot)) + Ext;
}

}  // namespace marovia
