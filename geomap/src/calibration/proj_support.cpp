// PROJ for the map control (see proj_support.h).
#include "calibration/proj_support.h"

#include <cstdlib>
#include <string_view>

namespace marovia {

void UseBuiltInProjDatabase(PJ_CONTEXT* Ctx) {
  if (proj_context_get_database_path(Ctx) == nullptr)
    proj_context_set_database_path(Ctx, MAROVIA_PROJ_DATA_DIR "/proj.db", nullptr, nullptr);
}

TSilentProjContext::TSilentProjContext() : ctx_(proj_context_create()) {
  proj_log_level(ctx_, PJ_LOG_NONE);
  UseBuiltInProjDatabase(ctx_);
}

TSilentProjContext::~TSilentProjContext() {
  proj_context_destroy(ctx_);
}

TPjPtr CreateCrs(PJ_CONTEXT* Ctx, const std::string& Text) {
  std::string text = Text;
  const size_t first = text.find_first_not_of(" \t\r\n");
  const bool projString =
      first != std::string::npos &&
      (text[first] == '+' || std::string_view(text).substr(first, 5) == "proj=");
  if (projString && text.find("type=crs") == std::string::npos) text += " +type=crs";
  return TPjPtr(proj_create(Ctx, text.c_str()));
}

TPjPtr NormalisedCrsToCrs(PJ_CONTEXT* Ctx, const PJ* From, const PJ* To) {
  if (From == nullptr || To == nullptr) return nullptr;
  const TPjPtr op(proj_create_crs_to_crs_from_pj(Ctx, From, To, nullptr, nullptr));
  if (!op) return nullptr;
  return TPjPtr(proj_normalize_for_visualization(Ctx, op.get()));
}

TPjPtr NormalisedCrsToCrs(PJ_CONTEXT* Ctx, const std::string& From, const std::string& To) {
  const TPjPtr from = CreateCrs(Ctx, From), to = CreateCrs(Ctx, To);
  return NormalisedCrsToCrs(Ctx, from.get(), to.get());
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
