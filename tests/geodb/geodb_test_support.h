// Shared helpers of the database tests: a fresh temporary directory per
// test, and byte access to the files of a database.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "marovia/geodb/geodb.h"
#include "support/temp_dir.h"

namespace marovia::testing {

namespace fs = std::filesystem;

inline std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const fs::path& p, const std::vector<uint8_t>& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline int32_t I32At(const std::vector<uint8_t>& b, size_t off) {
  int32_t v;
  std::memcpy(&v, b.data() + off, 4);
  return v;
}

inline float F32At(const std::vector<uint8_t>& b, size_t off) {
  float v;
  std::memcpy(&v, b.data() + off, 4);
  return v;
}

// Empty when two byte strings are equal; otherwise their sizes and the
// first offset where they differ (gtest would print every byte).
inline std::string Difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a == b) return {};
  const size_t n = std::min(a.size(), b.size());
  size_t at = 0;
  while (at < n && a[at] == b[at]) ++at;
  return std::to_string(a.size()) + " vs " + std::to_string(b.size()) +
         " bytes, first difference at " + std::to_string(at);
}

// Overwrites the record of entry k (1-based) of an item table file.
inline void PatchRecord(const fs::path& gds, int k, const TgdbData& rec) {
  std::fstream f(gds, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(static_cast<std::streamoff>(k - 1) * 120);
  f.write(reinterpret_cast<const char*>(&rec), sizeof rec);
}

// A fresh directory below the system temp dir, removed afterwards, and a
// database component whose base name lies in it.
class GeoDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<TGeoDB>(nullptr);
    db_->SetName("DB");
  }
  void TearDown() override { db_.reset(); }

  std::string Base(const std::string& name = "world") const { return (dir_ / name).string(); }
  fs::path File(const std::string& ext, const std::string& name = "world") const {
    return dir_ / (name + ext);
  }
  void Open(const std::string& name = "world") { db_->SetDBName(Base(name)); }
  void Reopen() {
    db_->SetDBName("");
    Open();
  }

  int AddTownAt(const std::string& name, float lat, float lon) {
    return db_->AddTown(name, 45000.0, 0, TSCoords{lat, lon}, 0, 0, 0);
  }
  int AddBorderOf(const std::string& name, const TgdbPolygon& poly) {
    return db_->AddBorder(name, poly, true, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
  }

  test::TempDir tmp_;
  const fs::path& dir_ = tmp_.Path();
  std::unique_ptr<TGeoDB> db_;
};

}  // namespace marovia::testing
