// Replacing a file whole, so that a failed save never destroys the file it
// was meant to replace.
//
// The new contents go to a fresh temporary file in the target's folder (so
// that the final rename stays on one file system); Commit flushes it to disk
// and renames it over the target in one step. Until then the target is
// untouched; a replacement dropped without Commit (an exception while
// writing) deletes its temporary file. A target that is a symbolic link has
// the file it points to replaced, and an existing target's permission bits
// carry over to the new file.
//
// Every error is an EInOutError naming the target file, never the
// temporary one.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "marovia/platform/files.h"

namespace marovia {

class TFileReplacement {
 public:
  // Creates the temporary file and opens it for writing.
  explicit TFileReplacement(const std::string& Target);
  // Deletes the temporary file unless Commit succeeded.
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  // The open temporary file. Errors raised by writing to it directly name
  // the temporary file; WriteLn and ReplaceFileContents name the target.
  TTextFile& File() { return file_; }
  // Writes a UTF-8 line as Windows-1252 bytes and CR LF.
  void WriteLn(std::string_view Line);
  // Closes the temporary file, forces it to disk and renames it over the
  // target. Nothing can be written afterwards.
  void Commit();

  const std::string& Target() const { return target_; }
  const std::string& TempName() const { return tempName_; }

 private:
  std::string target_;    // as the caller named it: errors name this
  std::string resolved_;  // the file that is replaced (links followed)
  std::string tempName_;
  TTextFile file_;
  bool committed_ = false;
};

// Writes a whole file through a TFileReplacement: runs Write on the open
// temporary file and commits. An EInOutError raised inside Write is raised
// again naming the target; any other exception passes through unchanged.
// Either way the target keeps its old contents.
void ReplaceFileContents(const std::string& Target, const std::function<void(TTextFile&)>& Write);

}  // namespace marovia
