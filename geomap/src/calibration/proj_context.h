// A PROJ context for one task of the map exchange formats: silent (a CRS
// that PROJ does not know is reported by its caller, with the file's name),
// and with the database of the PROJ the library was built with when none is
// found by PROJ's own rules (no PROJ_DATA and a relocated library).
#pragma once

#include <proj.h>

namespace marovia {

class TSilentProjContext {
 public:
  TSilentProjContext();
  ~TSilentProjContext();
  TSilentProjContext(const TSilentProjContext&) = delete;
  TSilentProjContext& operator=(const TSilentProjContext&) = delete;

  PJ_CONTEXT* get() const { return ctx_; }

 private:
  PJ_CONTEXT* ctx_;
};

}  // namespace marovia
