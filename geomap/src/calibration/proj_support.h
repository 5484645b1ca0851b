// PROJ for the map control, in one place: a silent context for one task,
// owning pointers to PROJ's objects, the transformation between two CRSs
// with easting (longitude) first on both sides, and the EPSG code that
// describes a CRS. Internal to the map control.
//
// A context is not to be shared between threads; every object made in it
// goes before it (declare the context first).
#pragma once

#include <proj.h>

#include <memory>
#include <string>
#include <vector>

namespace marovia {

// A context whose messages go nowhere (its callers report failures with the
// file's name), using the database of the PROJ the library was built with
// when PROJ's own rules find none (no PROJ_DATA and a relocated library).
// The thread's last contexts are kept when destroyed and taken again, with
// what they read from PROJ's database.
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

// Points a context created elsewhere at the library's database when PROJ's
// own rules find none.
void UseBuiltInProjDatabase(PJ_CONTEXT* Ctx);

struct TPjDeleter {
  void operator()(PJ* p) const { proj_destroy(p); }
};
using TPjPtr = std::unique_ptr<PJ, TPjDeleter>;

// The object a CRS text stands for: an authority code, WKT, PROJJSON, or a
// PROJ string (taken as a CRS even without "+type=crs"), without the
// identifiers its definition contradicts (crs_identifiers.h). Null when
// PROJ does not know it.
TPjPtr CreateCrs(PJ_CONTEXT* Ctx, const std::string& Text);

// The transformation From -> To with easting or longitude first on both
// sides, whatever the CRSs' axis orders; null when PROJ has none.
TPjPtr NormalisedCrsToCrs(PJ_CONTEXT* Ctx, const PJ* From, const PJ* To);
// The same for CRSs given as text; the thread's 16 latest answers are kept
// by text and copied into Ctx when asked again.
TPjPtr NormalisedCrsToCrs(PJ_CONTEXT* Ctx, const std::string& From, const std::string& To);

// The EPSG codes PROJ's identification proposes for a CRS with their
// confidence (0..100), best first.
struct TEpsgCandidate {
  int Code = 0;
  int Confidence = 0;
};
std::vector<TEpsgCandidate> EpsgCandidates(PJ_CONTEXT* Ctx, const PJ* Crs);
// The EPSG code of a CRS: its own identifier, else the best candidate of
// at least MinConfidence; 0 for none.
int IdentifyEpsg(PJ_CONTEXT* Ctx, const PJ* Crs, int MinConfidence = 100);

}  // namespace marovia
