// The advisory locks of a database's file set (described in gdbjournal.h):
// byte 0 of the lock file for the one writer, byte 1 for changing the files.
// The locks belong to the open file description, so two components of one
// process exclude each other as two processes do, and closing other
// descriptors of the same file (the index writer does) releases nothing.
#pragma once

#include <string>

#include "raw_file.h"

namespace marovia::gdb {

class TSetLock {
 public:
  // Opens the lock file; Writable creates it when missing. A reader's lock
  // file that does not exist answers false (there is no writer to exclude).
  bool Open(const std::string& FileName, bool Writable);
  void Close() { file_.CloseQuietly(); }
  bool IsOpen() const { return file_.IsOpen(); }
  bool Writable() const { return writable_; }

  // The writer's lock, without waiting: false when another holds it.
  bool TryLockWriter();
  // Changing the files: waits for readers to finish.
  void LockChanging();
  // Reading the set: shared; waits up to TimeoutMs for a writer to finish
  // its change, then answers false.
  bool TryLockReading(int TimeoutMs);
  // Turns a reader's shared lock into the exclusive one, without waiting.
  bool TryUpgradeReading();
  void UnlockBusy();
  // The same where nothing can be reported: the lock goes with the
  // descriptor when the database closes.
  void UnlockBusyQuietly() noexcept;

 private:
  bool Set(int Type, int Byte, bool Wait);
  TRawFile file_;
  bool writable_ = false;
  bool noLocks_ = false;  // the file system has none: everything succeeds
};

}  // namespace marovia::gdb
