// Running the fault driver, with or without the shim, and snapshots of the
// files of a folder.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace marovia::faults {

namespace fs = std::filesystem;

struct TShim {
  std::string Mode;   // "" (no shim), count, fail, record
  std::string Op;     // fail: write, fsync, rename
  long At = 0;        // fail: the k-th call
  std::string Errno;  // fail: ENOSPC, EIO
  std::string Log;    // count, record
};

struct TRun {
  int Status = -1;     // exit status; -1 when it did not exit normally
  std::string Stderr;  // what it printed
};

// A fresh folder for one test, on a memory file system where there is one:
// the runs force thousands of writes to the disk, and what they check does
// not depend on where the files are.
class TScratch {
 public:
  TScratch() {
    static int counter = 0;
    const fs::path shm = "/dev/shm";
    std::error_code ec;
    const fs::path base = fs::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0
                              ? shm
                              : fs::temp_directory_path();
    do {
      path_ =
          base / ("marovia_faults_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    } while (!fs::create_directory(path_, ec) && !ec);
  }
  ~TScratch() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TScratch(const TScratch&) = delete;
  TScratch& operator=(const TScratch&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// Runs fault_driver Writer Folder Variant under the shim.
inline TRun RunDriver(const std::string& Writer, const fs::path& Folder, int Variant,
                      const TShim& Shim = {}) {
  const fs::path err = Folder.parent_path() / (Folder.filename().string() + ".stderr");
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    if (!Shim.Mode.empty()) {
      setenv("LD_PRELOAD", MAROVIA_SHIM_PRELOAD, 1);
      setenv("MAROVIA_SHIM_DIR", Folder.c_str(), 1);
      setenv("MAROVIA_SHIM_MODE", Shim.Mode.c_str(), 1);
      setenv("MAROVIA_SHIM_OP", Shim.Op.c_str(), 1);
      setenv("MAROVIA_SHIM_AT", std::to_string(Shim.At).c_str(), 1);
      setenv("MAROVIA_SHIM_ERRNO", Shim.Errno.c_str(), 1);
      setenv("MAROVIA_SHIM_LOG", Shim.Log.c_str(), 1);
      // The sanitizers' runtime comes first; a leak report of a program cut
      // short by a failure is not what these runs look for.
      setenv("ASAN_OPTIONS", "detect_leaks=0:verify_asan_link_order=0", 1);
    }
    const std::string variant = std::to_string(Variant);
    execl(MAROVIA_FAULT_DRIVER, MAROVIA_FAULT_DRIVER, Writer.c_str(), Folder.c_str(),
          variant.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  TRun run;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    run.Status = WEXITSTATUS(status);
  std::ifstream in(err);
  run.Stderr.assign(std::istreambuf_iterator<char>(in), {});
  fs::remove(err);
  return run;
}

// Relative path -> bytes of every file below Folder.
using TSnapshot = std::map<std::string, std::string>;

inline TSnapshot Snapshot(const fs::path& Folder) {
  TSnapshot out;
  for (const auto& e : fs::recursive_directory_iterator(Folder)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    out[fs::relative(e.path(), Folder).string()].assign(std::istreambuf_iterator<char>(in), {});
  }
  return out;
}

inline void Restore(const TSnapshot& Files, const fs::path& Folder) {
  fs::remove_all(Folder);
  fs::create_directories(Folder);
  for (const auto& [name, bytes] : Files) {
    fs::create_directories((Folder / name).parent_path());
    std::ofstream(Folder / name, std::ios::binary) << bytes;
  }
}

// The calls of each kind a run makes: "write N fsync N rename N".
inline std::map<std::string, long> Counts(const std::string& Log) {
  std::map<std::string, long> out;
  std::ifstream in(Log);
  std::string kind;
  long n;
  while (in >> kind >> n) out[kind] = n;
  return out;
}

}  // namespace marovia::faults
