#include "calibration/proj_context.h"

namespace marovia {

TSilentProjContext::TSilentProjContext() : ctx_(proj_context_create()) {
  proj_log_level(ctx_, PJ_LOG_NONE);
  if (proj_context_get_database_path(ctx_) == nullptr)
    proj_context_set_database_path(ctx_, MAROVIA_PROJ_DATA_DIR "/proj.db", nullptr, nullptr);
}

TSilentProjContext::~TSilentProjContext() {
  proj_context_destroy(ctx_);
}

}  // namespace marovia
