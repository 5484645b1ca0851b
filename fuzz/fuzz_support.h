// Helpers shared by the fuzz targets.
//
// What counts as a finding: a crash, a sanitizer report, a hang, a leak, an
// allocation beyond the limit the runner sets, any exception that is not a
// clean refusal, and any broken invariant a target checks (Finding). A
// reader that refuses its input with a marovia::Exception (or, in the tools,
// with their documented error types) has done its job.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "marovia/platform/streams.h"
#include "marovia/platform/sysutils.h"

namespace marovia::fuzz {

// Reports a broken invariant and stops the run, so that libFuzzer keeps the
// input as a crash.
[[noreturn]] inline void Finding(const char* What) {
  std::fprintf(stderr, "FINDING: %s\n", What);
  std::fflush(stderr);
  abort();
}

inline void Check(bool Holds, const char* What) {
  if (!Holds) Finding(What);
}

// Runs Body; a marovia::Exception is a clean refusal of the input. Answers
// true when Body ran to its end.
template <class F>
bool Refusing(F&& Body) {
  try {
    Body();
    return true;
  } catch (const marovia::Exception&) {
    return false;
  }
}

inline std::string_view AsText(const uint8_t* Data, size_t Size) {
  return {reinterpret_cast<const char*>(Data), Size};
}

// The input as the whole of a memory stream, positioned at its start.
inline void Fill(marovia::TMemoryStream& Stream, const uint8_t* Data, size_t Size) {
  Stream.WriteBuffer(Data, static_cast<int64_t>(Size));
  Stream.SetPosition(0);
}

// A directory of this process for the files a target must write, made on
// first use below TMPDIR (or /dev/shm when it exists, to spare the disk) and
// removed when the process ends normally.
inline const std::filesystem::path& ScratchDir() {
  static const std::filesystem::path dir = [] {
    std::string base = "/tmp";
    if (const char* t = std::getenv("TMPDIR"); t != nullptr && *t != '\0')
      base = t;
    else if (std::filesystem::is_directory("/dev/shm"))
      base = "/dev/shm";
    std::string pattern = base + "/marovia_fuzz_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) Finding("cannot create a scratch directory");
    static const std::string made = pattern;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(made, ec);
    });
    return std::filesystem::path(pattern);
  }();
  return dir;
}

// Writes Bytes to Path, replacing it.
inline void WriteFile(const std::filesystem::path& Path, std::string_view Bytes) {
  FILE* f = std::fopen(Path.c_str(), "wb");
  if (f == nullptr) Finding("cannot write a scratch file");
  if (!Bytes.empty() && std::fwrite(Bytes.data(), 1, Bytes.size(), f) != Bytes.size())
    Finding("cannot write a scratch file");
  std::fclose(f);
}

// Splits Input at every occurrence of Marker.
inline std::vector<std::string_view> SplitAt(std::string_view Input, std::string_view Marker) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = Input.find(Marker);
    parts.push_back(Input.substr(0, at));
    if (at == std::string_view::npos) return parts;
    Input.remove_prefix(at + Marker.size());
  }
}

// Writes seed files into the directory named by MAROVIA_FUZZ_SEED_DIR and
// ends the process, when that variable is set: targets whose input is a
// container of the target's own (not a plain file format) make their seeds
// this way from LLVMFuzzerInitialize.
template <class F>
void MakeSeedsIfAsked(F&& MakeSeeds) {
  const char* dir = std::getenv("MAROVIA_FUZZ_SEED_DIR");
  if (dir == nullptr || *dir == '\0') return;
  std::filesystem::create_directories(dir);
  MakeSeeds(std::filesystem::path(dir));
  std::exit(0);
}

}  // namespace marovia::fuzz
