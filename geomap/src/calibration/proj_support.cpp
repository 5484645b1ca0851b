// PROJ for the map control (see proj_support.h).
#include "calibration/proj_support.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "calibration/crs_identifiers.h"
#include "calibration/recent_by_text.h"

namespace marovia {

void UseBuiltInProjDatabase(PJ_CONTEXT* Ctx) {
  if (proj_context_get_database_path(Ctx) == nullptr)
    proj_context_set_database_path(Ctx, MAROVIA_PROJ_DATA_DIR "/proj.db", nullptr, nullptr);
}

namespace {

// This thread's contexts not in use. A context keeps PROJ's database open
// and caches what it read there, so a context taken again does the same
// work about ten times faster than a new one (0.2 against 1.8 ms to
// resolve and compare a UTM system).
class TIdleContexts {
 public:
  static constexpr std::size_t kKept = 2;

  ~TIdleContexts() {
    for (PJ_CONTEXT* c : idle_) proj_context_destroy(c);
    Gone() = true;
  }
  // Set once the thread's list is destroyed (thread exit).
  static bool& Gone() {
    thread_local bool gone = false;
    return gone;
  }
  static TIdleContexts& Instance() {
    thread_local TIdleContexts list;
    return list;
  }

  PJ_CONTEXT* Take() {
    if (idle_.empty()) return nullptr;
    PJ_CONTEXT* c = idle_.back();
    idle_.pop_back();
    return c;
  }
  // False when the list is full: the caller destroys the context.
  bool Give(PJ_CONTEXT* c) {
    if (idle_.size() >= kKept) return false;
    idle_.push_back(c);
    return true;
  }

 private:
  std::vector<PJ_CONTEXT*> idle_;
};

}  // namespace

TSilentProjContext::TSilentProjContext()
    : ctx_(TIdleContexts::Gone() ? nullptr : TIdleContexts::Instance().Take()) {
  if (ctx_ != nullptr) return;
  ctx_ = proj_context_create();
  proj_log_level(ctx_, PJ_LOG_NONE);
  UseBuiltInProjDatabase(ctx_);
}

TSilentProjContext::~TSilentProjContext() {
  if (TIdleContexts::Gone() || !TIdleContexts::Instance().Give(ctx_)) proj_context_destroy(ctx_);
}

TPjPtr CreateCrs(PJ_CONTEXT* Ctx, const std::string& Text) {
  std::string text = Text;
  const size_t first = text.find_first_not_of(" \t\r\n");
  const bool projString =
      first != std::string::npos &&
      (text[first] == '+' || std::string_view(text).substr(first, 5) == "proj=");
  if (projString && text.find("type=crs") == std::string::npos) text += " +type=crs";
  return WithoutContradictedIds(Ctx, TPjPtr(proj_create(Ctx, text.c_str())), text);
}

TPjPtr NormalisedCrsToCrs(PJ_CONTEXT* Ctx, const PJ* From, const PJ* To) {
  if (From == nullptr || To == nullptr) return nullptr;
  const TPjPtr op(proj_create_crs_to_crs_from_pj(Ctx, From, To, nullptr, nullptr));
  if (!op) return nullptr;
  return TPjPtr(proj_normalize_for_visualization(Ctx, op.get()));
}

namespace {

// This thread's latest transformations between CRSs given as text, each a
// prototype in a context of the list's own (the callers' contexts come and
// go): a copy takes 0.1 to 2 ms where searching PROJ's database for the
// transformation takes 5 to 50. Where PROJ has none, that is kept too.
class TRecentTransformations {
 public:
  static constexpr std::size_t kKept = 16;

  ~TRecentTransformations() {
    byText_.Clear();
    if (ctx_ != nullptr) proj_context_destroy(ctx_);
  }
  static TRecentTransformations* Instance() {
    thread_local TRecentTransformations list;
    return &list;
  }

  // Whether the pair is known; pj out: a copy in Ctx of its transformation
  // (null where PROJ has none).
  bool Find(PJ_CONTEXT* Ctx, const std::string& key, TPjPtr& pj) {
    const TPjPtr* prototype = byText_.Find(key);
    if (prototype == nullptr) return false;
    if (!*prototype) {
      pj.reset();
      return true;
    }
    pj.reset(proj_clone(Ctx, prototype->get()));
    return pj != nullptr;
  }
  void Keep(const std::string& key, const PJ* pj) {
    if (ctx_ == nullptr) {
      ctx_ = proj_context_create();
      proj_log_level(ctx_, PJ_LOG_NONE);
      UseBuiltInProjDatabase(ctx_);
    }
    TPjPtr prototype;
    if (pj != nullptr) {
      prototype.reset(proj_clone(ctx_, pj));
      if (!prototype) return;
    }
    byText_.Keep(key, std::move(prototype));
  }

 private:
  PJ_CONTEXT* ctx_ = nullptr;
  TRecentByText<TPjPtr, kKept> byText_;
};

}  // namespace

TPjPtr NormalisedCrsToCrs(PJ_CONTEXT* Ctx, const std::string& From, const std::string& To) {
  std::string key = From;
  key += '\0';
  key += To;
  TRecentTransformations* recent = TRecentTransformations::Instance();
  TPjPtr pj;
  if (recent->Find(Ctx, key, pj)) return pj;
  const TPjPtr from = CreateCrs(Ctx, From), to = CreateCrs(Ctx, To);
  pj = NormalisedCrsToCrs(Ctx, from.get(), to.get());
  recent->Keep(key, pj.get());
  return pj;
}

std::vector<TEpsgCandidate> EpsgCandidates(PJ_CONTEXT* Ctx, const PJ* Crs) {
  std::vector<TEpsgCandidate> out;
  int* confidence = nullptr;
  PJ_OBJ_LIST* found = proj_identify(Ctx, Crs, "EPSG", nullptr, &confidence);
  if (found != nullptr) {
    const int n = proj_list_get_count(found);
    for (int i = 0; i < n; ++i) {
      const TPjPtr candidate(proj_list_get(Ctx, found, i));
      const char* code = candidate ? proj_get_id_code(candidate.get(), 0) : nullptr;
      if (code != nullptr && confidence != nullptr) out.push_back({std::atoi(code), confidence[i]});
    }
    proj_list_destroy(found);
  }
  proj_int_list_destroy(confidence);
  return out;
}

int IdentifyEpsg(PJ_CONTEXT* Ctx, const PJ* Crs, int MinConfidence) {
  if (Crs == nullptr) return 0;
  const char* auth = proj_get_id_auth_name(Crs, 0);
  const char* code = proj_get_id_code(Crs, 0);
  if (auth != nullptr && code != nullptr && std::string_view(auth) == "EPSG")
    return std::atoi(code);
  for (const TEpsgCandidate& c : EpsgCandidates(Ctx, Crs))
    if (c.Confidence >= MinConfidence) return c.Code;
  return 0;
}

}  // namespace marovia
