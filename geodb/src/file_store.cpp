// TFileStore and TPendingBytes (see file_store.h).
#include "file_store.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>

#include "marovia/geodb/gdbrecords.h"
#include "marovia/platform/sysutils.h"
#include "set_lock.h"

namespace marovia::gdb {

// ---- TPendingBytes ------------------------------------------------------------

void TPendingBytes::Write(int64_t Offset, const uint8_t* Bytes, int64_t Count) {
  if (Count <= 0) return;
  const int64_t end = Offset + Count;
  auto size = [](const auto& run) { return static_cast<int64_t>(run.second.size()); };
  // The first run that overlaps or touches [Offset, end].
  auto it = runs_.upper_bound(Offset);
  if (it != runs_.begin()) {
    auto prev = std::prev(it);
    if (prev->first + size(*prev) >= Offset) it = prev;
  }
  if (it == runs_.end() || it->first > end) {
    runs_.emplace_hint(it, Offset, std::vector<uint8_t>(Bytes, Bytes + Count));
    bytes_ += Count;
    return;
  }
  auto next = std::next(it);
  if (it->first <= Offset && (next == runs_.end() || next->first > end)) {
    // Within one run or extending it: the common case of appends and of
    // rewriting a record already written.
    std::vector<uint8_t>& v = it->second;
    const int64_t runEnd = it->first + size(*it);
    if (end > runEnd) {
      v.resize(static_cast<size_t>(end - it->first));
      bytes_ += end - runEnd;
    }
    std::memcpy(v.data() + (Offset - it->first), Bytes, static_cast<size_t>(Count));
    return;
  }
  const int64_t start = std::min(it->first, Offset);
  int64_t stop = end;
  auto last = it;
  for (auto j = it; j != runs_.end() && j->first <= end; ++j) {
    stop = std::max(stop, j->first + size(*j));
    last = j;
  }
  std::vector<uint8_t> merged(static_cast<size_t>(stop - start));
  for (auto j = it;; ++j) {
    std::memcpy(merged.data() + (j->first - start), j->second.data(), j->second.size());
    bytes_ -= size(*j);
    if (j == last) break;
  }
  std::memcpy(merged.data() + (Offset - start), Bytes, static_cast<size_t>(Count));
  runs_.erase(it, std::next(last));
  runs_.emplace(start, std::move(merged));
  bytes_ += stop - start;
}

void TPendingBytes::CutAt(int64_t Size) {
  auto it = runs_.lower_bound(Size);
  for (auto j = it; j != runs_.end(); ++j) bytes_ -= static_cast<int64_t>(j->second.size());
  runs_.erase(it, runs_.end());
  if (runs_.empty()) return;
  auto& [start, v] = *std::prev(runs_.end());
  const int64_t end = start + static_cast<int64_t>(v.size());
  if (end > Size) {
    bytes_ -= end - Size;
    v.resize(static_cast<size_t>(Size - start));
  }
}

void TPendingBytes::Overlay(int64_t Offset, uint8_t* Buffer, int64_t Count) const {
  const int64_t end = Offset + Count;
  auto it = runs_.upper_bound(Offset);
  if (it != runs_.begin()) --it;
  for (; it != runs_.end() && it->first < end; ++it) {
    const int64_t from = std::max(Offset, it->first);
    const int64_t to = std::min(end, it->first + static_cast<int64_t>(it->second.size()));
    if (from < to)
      std::memcpy(Buffer + (from - Offset), it->second.data() + (from - it->first),
                  static_cast<size_t>(to - from));
  }
}

void TPendingBytes::Clear() {
  runs_.clear();
  bytes_ = 0;
}

// ---- TFileStore ---------------------------------------------------------------

TFileStore::~TFileStore() {
  End();
}

void TFileStore::Begin(bool Explicit) {
  End();
  active_ = true;
  explicit_ = Explicit;
  broken_ = false;
}

TFileStore::TFileState& TFileStore::Opened(TSetFile File) {
  TFileState& f = files_[File];
  if (!f.Opened) {
    f.File.Open(File == kTable ? names_.Table : names_.Data, O_RDWR);
    f.Opened = true;
    f.SizeKnown = false;
    f.WrittenEnd = 0;
  }
  return f;
}

TFileStore::TFileState& TFileStore::Known(TSetFile File) {
  TFileState& f = Opened(File);
  if (!f.SizeKnown) {
    f.BeginSize = f.DiskSize = f.CutTo = f.File.Size();
    f.Size = std::max(f.BeginSize, f.WrittenEnd);
    f.SizeKnown = true;
  }
  return f;
}

void TFileStore::Write(TSetFile File, int64_t Offset, const void* Bytes, int64_t Count) {
  TFileState& f = Opened(File);
  f.Pending.Write(Offset, static_cast<const uint8_t*>(Bytes), Count);
  if (f.SizeKnown)
    f.Size = std::max(f.Size, Offset + Count);
  else
    f.WrittenEnd = std::max(f.WrittenEnd, Offset + Count);
  f.Written = true;
  if (files_[kTable].Pending.Bytes() + files_[kData].Pending.Bytes() < spillBytes_) return;
  try {
    Flush();
  } catch (...) {
    RollbackQuietly();
    throw;
  }
}

void TFileStore::Truncate(TSetFile File, int64_t Size) {
  TFileState& f = Known(File);
  f.Pending.CutAt(Size);
  f.Size = Size;
  f.CutTo = std::min(f.CutTo, Size);
  f.Written = true;
}

int64_t TFileStore::Size(TSetFile File) {
  return Known(File).Size;
}

void TFileStore::Read(TSetFile File, int64_t Offset, void* Bytes, int64_t Count) {
  TFileState& f = Known(File);
  if (Offset < 0 || Count < 0 || Offset > f.Size - Count)
    throw EInOutError(f.File.Name(), "read past end of file");
  if (Count == 0) return;
  auto* out = static_cast<uint8_t*>(Bytes);
  // Below what is on disk and not cut off, the disk holds the bytes; the
  // rest is zeros until written.
  const int64_t onDisk = std::clamp(std::min(f.DiskSize, f.CutTo) - Offset, int64_t{0}, Count);
  if (onDisk > 0) f.File.ReadAt(Offset, out, onDisk);
  std::memset(out + onDisk, 0, static_cast<size_t>(Count - onDisk));
  f.Pending.Overlay(Offset, out, Count);
}

bool TFileStore::NeedsJournal() {
  if (explicit_ || durability_ != gdNone || journalCreated_) return true;
  constexpr auto kHeader = static_cast<int64_t>(sizeof(TgdbSystemData));
  for (const TSetFile i : {kTable, kData}) {
    if (!files_[i].Opened) continue;
    const auto& runs = files_[i].Pending.Runs();
    // The data file's header alone: in place whatever the file's size.
    if (i == kData && !files_[i].SizeKnown && !runs.empty() &&
        runs.rbegin()->first + static_cast<int64_t>(runs.rbegin()->second.size()) <= kHeader)
      continue;
    const TFileState& f = Known(i);
    if (f.CutTo < f.BeginSize) return true;
    for (const auto& [start, bytes] : f.Pending.Runs()) {
      if (start >= f.BeginSize) continue;
      const int64_t inPlaceEnd = std::min(start + static_cast<int64_t>(bytes.size()), f.BeginSize);
      if (i == kTable || inPlaceEnd > kHeader) return true;
    }
  }
  return false;
}

std::vector<int64_t> TFileStore::PagesToSave(const TFileState& F) const {
  std::vector<int64_t> pages;
  auto add = [&](int64_t from, int64_t to) {
    to = std::min(to, F.BeginSize);
    for (int64_t p = from / kgdbJournalPage; from < to && p * kgdbJournalPage < to; ++p)
      if (!F.Saved.count(p)) pages.push_back(p);
  };
  for (const auto& [start, bytes] : F.Pending.Runs())
    add(start, start + static_cast<int64_t>(bytes.size()));
  if (F.CutTo < F.DiskSize) add(F.CutTo, F.DiskSize);
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

void TFileStore::SaveBatchPages() {
  std::vector<uint8_t> out;
  const bool created = !journalCreated_;
  if (created) {
    // The header holds both begin sizes: both files are looked at now.
    Known(kTable);
    Known(kData);
    journal_.Open(names_.Journal, O_RDWR | O_CREAT | O_TRUNC);
    journalCreated_ = true;
    journalEnd_ = 0;
    const TgdbJournalHeader h =
        MakeJournalHeader(files_[kTable].BeginSize, files_[kData].BeginSize);
    salt_ = h.Salt;
    const auto* p = reinterpret_cast<const uint8_t*>(&h);
    out.assign(p, p + sizeof h);
  }
  std::vector<uint8_t> page(kgdbJournalPage);
  for (const TSetFile which : {kData, kTable}) {
    if (!files_[which].Opened) continue;
    TFileState& f = Known(which);
    for (const int64_t p : PagesToSave(f)) {
      const int64_t offset = p * kgdbJournalPage;
      const auto length =
          static_cast<uint32_t>(std::min<int64_t>(kgdbJournalPage, f.BeginSize - offset));
      f.File.ReadAt(offset, page.data(), length);
      AppendJournalRecord(out, salt_, which, offset, page.data(), length);
      f.Saved.insert(p);
    }
  }
  if (!out.empty()) {
    journal_.WriteAt(journalEnd_, out.data(), static_cast<int64_t>(out.size()));
    journalEnd_ += static_cast<int64_t>(out.size());
    journalSynced_ = false;
  }
  if (durability_ != gdNone && !journalSynced_) {
    journal_.Sync();
    // A journal whose name is lost at a power cut would not be found.
    if (created) SyncFolder(names_.Folder);
    journalSynced_ = true;
  }
}

void TFileStore::WriteBatch(TFileState& F) {
  if (!F.Opened) return;
  if (!F.SizeKnown) {
    // Nothing cut (a cut looks the size up): the writes alone make the file
    // what it is to be.
    for (const auto& [start, bytes] : F.Pending.Runs())
      F.File.WriteAt(start, bytes.data(), static_cast<int64_t>(bytes.size()));
    F.Pending.Clear();
    return;
  }
  if (F.CutTo < F.DiskSize) {
    F.File.Resize(F.CutTo);
    F.DiskSize = F.CutTo;
  }
  // From the end backwards: appended bytes before the data file's header,
  // so that a batch without journal that fails on a full disk has not
  // raised HighestID in the file yet.
  const auto& runs = F.Pending.Runs();
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    F.File.WriteAt(run->first, run->second.data(), static_cast<int64_t>(run->second.size()));
    F.DiskSize = std::max(F.DiskSize, run->first + static_cast<int64_t>(run->second.size()));
  }
  if (F.DiskSize != F.Size) {
    F.File.Resize(F.Size);
    F.DiskSize = F.Size;
  }
  F.Pending.Clear();
  F.CutTo = F.DiskSize;
}

void TFileStore::TakeChangingLock() {
  if (changing_) return;
  lock_.LockChanging();
  changing_ = true;
}

void TFileStore::Flush() {
  bool any = false;
  for (const TFileState& f : files_)
    any = any || (f.Opened && (!f.Pending.Empty() ||
                               (f.SizeKnown && (f.CutTo != f.DiskSize || f.Size != f.DiskSize))));
  if (!any) return;
  // Readers wait while bytes they may read change in place. A batch without
  // journal only appends (readers take whole records) and rewrites the data
  // file's header (one write within a page).
  if (NeedsJournal()) {
    TakeChangingLock();
    SaveBatchPages();
  }
  // The data before the records that point into it.
  flushed_ = true;
  WriteBatch(files_[kData]);
  WriteBatch(files_[kTable]);
}

void TFileStore::Commit() {
  if (!active_) return;
  try {
    Flush();
    for (TFileState& f : files_) {
      if (!f.Opened) continue;
      if (f.Written && durability_ != gdNone) f.File.Sync();
      f.File.Close();  // a delayed write error shows here, still undoable
    }
    if (journalCreated_) {
      journal_.Close();
      RemoveFileIfExists(names_.Journal);  // the commit point
    }
  } catch (...) {
    RollbackQuietly();
    throw;
  }
  try {
    if (journalCreated_ && durability_ == gdFull) SyncFolder(names_.Folder);
  } catch (...) {
    // Committed, but not certain to survive a power cut: the caller closes
    // the database rather than guess.
    broken_ = true;
    End();
    throw;
  }
  End();
}

void TFileStore::Rollback() {
  if (!active_) return;
  try {
    for (TFileState& f : files_) {
      f.Pending.Clear();
      if (!f.Opened || !flushed_) continue;
      if (!journalCreated_ && f.Written && f.SizeKnown) {
        // A batch without journal only appended (and rewrote the header,
        // which may keep its raised HighestID): cut the appended bytes off,
        // also those of a write that failed half-way.
        f.File.Resize(f.BeginSize);
        f.DiskSize = f.BeginSize;
      }
    }
    if (journalCreated_) {
      journal_.CloseQuietly();
      for (TFileState& f : files_) f.File.CloseQuietly();
      if (RecoverJournal(names_, durability_) == TRecovery::Mismatch)
        throw EInOutError(names_.Journal, "cannot be played back");
    }
  } catch (...) {
    broken_ = true;
    End();
    throw;
  }
  End();
}

void TFileStore::RollbackQuietly() noexcept {
  try {
    Rollback();
  } catch (...) {
    // Broken now; the first error is the one to report.
  }
}

void TFileStore::Abandon() {
  End();
}

void TFileStore::End() {
  for (TFileState& f : files_) {
    f.File.CloseQuietly();
    f.Opened = false;
    f.Written = false;
    f.Pending.Clear();
    f.Saved.clear();
  }
  journal_.CloseQuietly();
  journalCreated_ = false;
  journalEnd_ = 0;
  journalSynced_ = true;
  flushed_ = false;
  if (changing_) {
    lock_.UnlockBusyQuietly();
    changing_ = false;
  }
  active_ = false;
  explicit_ = false;
}

}  // namespace marovia::gdb
