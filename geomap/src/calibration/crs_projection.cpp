// Coordinate reference systems through PROJ: checking the text, building the
// transformation from WGS 84, and one PROJ context per thread with the
// thread's recent resolutions.
#include "calibration/crs_projection.h"

#include <proj.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "calibration/crs_identifiers.h"
#include "calibration/proj_support.h"
#include "calibration/recent_by_text.h"
#include "marovia/geomap/geomap.h"

namespace marovia {

// Immutable after construction; shared by the copies of one instance.
struct TCrsProjection::TShared {
  std::string text;     // as given
  std::string proj;     // as handed to PROJ
  uint64_t id = 0;      // key of the per-thread objects, never reused
  double toMetres = 1;  // metres per unit of the CRS's axes
  ~TShared();
};

namespace {

constexpr std::size_t kQuotedLength = 80;
// Resolutions a thread keeps: the CRSs of an atlas's maps in use at a time,
// a calibration refitted with its CRS text, a file read again.
constexpr std::size_t kKeptResolutions = 16;

// What PROJ made of a text: the transformation from WGS 84 (copied for each
// new instance: a copy takes 0.1 to 2 ms, where resolving reads PROJ's
// database for 5 to 50 ms), or why the text was refused.
struct TResolution {
  TPjPtr prototype;  // null: refused
  double toMetres = 1;
  std::string refusal;
};

// The objects of one thread: its context and one transformation for each
// instance it has converted with.
class TThreadProj {
 public:
  ~TThreadProj() {
    for (auto& e : entries_) proj_destroy(e.second.pj);
    resolved_.Clear();
    if (ctx_ != nullptr) proj_context_destroy(ctx_);
    Gone() = true;
  }
  // Set once this thread's objects are destroyed (thread exit): an instance
  // destroyed later in the exit has nothing left to forget.
  static bool& Gone() {
    thread_local bool gone = false;
    return gone;
  }

  PJ_CONTEXT* Context() {
    if (ctx_ == nullptr) {
      ctx_ = proj_context_create();
      // Errors come to this object instead of standard error; the last one
      // explains a refusal.
      proj_log_func(ctx_, this, &TThreadProj::Log);
      proj_log_level(ctx_, PJ_LOG_ERROR);
      UseBuiltInProjDatabase(ctx_);
      lastError_.clear();
    }
    return ctx_;
  }
  std::string TakeError() { return std::exchange(lastError_, std::string()); }

  // The resolutions this thread made lately, by the text PROJ was given.
  TRecentByText<TResolution, kKeptResolutions>& Resolved() { return resolved_; }

  PJ* Find(uint64_t id) const {
    const auto it = entries_.find(id);
    return it == entries_.end() ? nullptr : it->second.pj;
  }
  bool Has(uint64_t id) const { return entries_.count(id) != 0; }
  // Takes ownership of pj (may be null: the instance then fails here).
  void Add(const std::shared_ptr<const TCrsProjection::TShared>& owner, PJ* pj) {
    // Forget the objects of instances gone meanwhile.
    for (auto it = entries_.begin(); it != entries_.end();)
      if (it->second.owner.expired()) {
        proj_destroy(it->second.pj);
        it = entries_.erase(it);
      } else {
        ++it;
      }
    entries_[owner->id] = {owner, pj};
  }
  void Forget(uint64_t id) {
    const auto it = entries_.find(id);
    if (it == entries_.end()) return;
    proj_destroy(it->second.pj);
    entries_.erase(it);
  }

  static TThreadProj& Instance() {
    thread_local TThreadProj state;
    return state;
  }

 private:
  static void Log(void* self, int level, const char* msg) {
    if (level == PJ_LOG_ERROR && msg != nullptr) static_cast<TThreadProj*>(self)->lastError_ = msg;
  }

  struct Entry {
    std::weak_ptr<const TCrsProjection::TShared> owner;
    PJ* pj = nullptr;
  };
  PJ_CONTEXT* ctx_ = nullptr;
  std::string lastError_;
  std::unordered_map<uint64_t, Entry> entries_;
  TRecentByText<TResolution, kKeptResolutions> resolved_;
};

// The text for a message: its first 80 bytes (whole UTF-8 sequences), with
// control characters shown as '?'.
std::string Quoted(const std::string& text) {
  std::size_t len = std::min(text.size(), kQuotedLength);
  if (len < text.size())
    while (len > 0 && (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80) --len;
  std::string q = text.substr(0, len);
  for (char& c : q)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return "\"" + q + (len < text.size() ? "...\"" : "\"");
}

[[noreturn]] void Refuse(const std::string& text, const std::string& why) {
  throw EZYLGeoMapError("Coordinate reference system " + Quoted(text) + ": " + why);
}

// The checks before PROJ sees the text, and the text PROJ is given.
std::string Prepare(const std::string& text) {
  if (text.size() > TCrsProjection::kMaxTextLength)
    Refuse(text, "longer than " + std::to_string(TCrsProjection::kMaxTextLength) + " bytes");
  int depth = 0;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && c != '\t' && c != '\n' && c != '\r') || b == 0x7F)
      Refuse(text, "holds control characters");
    if (c == '[' || c == '(' || c == '{') {
      if (++depth > TCrsProjection::kMaxNesting)
        Refuse(text, "nests deeper than " + std::to_string(TCrsProjection::kMaxNesting));
    } else if (c == ']' || c == ')' || c == '}') {
      depth = std::max(0, depth - 1);
    }
  }
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) Refuse(text, "empty");
  std::string proj = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  // A PROJ string describes an operation unless it says it is a CRS.
  const bool projString = proj[0] == '+' || proj.compare(0, 5, "proj=") == 0;
  if (projString && proj.find("type=crs") == std::string::npos) proj += " +type=crs";
  return proj;
}

// Why PROJ refused a text; lasting unless the cause lies outside the text.
struct TRefusal {
  std::string why;
  bool lasting = true;
};

// The transformation WGS 84 (longitude, latitude degrees) -> the CRS (east,
// north), resolved in the thread's context; raises TRefusal. toMetres out:
// the metres of one unit of the CRS's first axis.
TPjPtr Resolve(TThreadProj& state, const std::string& proj, double& toMetres) {
  PJ_CONTEXT* ctx = state.Context();
  state.TakeError();
  TPjPtr crs(proj_create(ctx, proj.c_str()));
  if (!crs) {
    const std::string e = state.TakeError();
    throw TRefusal{"unknown or unparsable" + (e.empty() ? std::string() : " (" + e + ")")};
  }
  crs = WithoutContradictedIds(ctx, std::move(crs), proj);
  state.TakeError();  // an identifier the database does not know is no error here
  TPjPtr horizontal;
  const PJ* plane = crs.get();
  if (proj_get_type(plane) == PJ_TYPE_BOUND_CRS) {
    horizontal.reset(proj_get_source_crs(ctx, plane));
    plane = horizontal.get();
  }
  if (plane == nullptr || proj_get_type(plane) != PJ_TYPE_PROJECTED_CRS) {
    const PJ_TYPE t = plane == nullptr ? PJ_TYPE_UNKNOWN : proj_get_type(plane);
    const bool geographic = t == PJ_TYPE_GEOGRAPHIC_2D_CRS || t == PJ_TYPE_GEOGRAPHIC_3D_CRS ||
                            t == PJ_TYPE_GEOGRAPHIC_CRS;
    throw TRefusal{geographic ? "a geographic system, not a projected one"
                              : "not a projected coordinate reference system"};
  }
  TPjPtr cs(proj_crs_get_coordinate_system(ctx, plane));
  toMetres = 0;
  if (!cs ||
      !proj_cs_get_axis_info(ctx, cs.get(), 0, nullptr, nullptr, nullptr, &toMetres, nullptr,
                             nullptr, nullptr) ||
      !std::isfinite(toMetres) || !(toMetres > 0))
    throw TRefusal{"its axes have no linear unit"};
  TPjPtr wgs84(proj_create(ctx, "EPSG:4326"));
  if (!wgs84) throw TRefusal{"PROJ's database is not available (" + state.TakeError() + ")", false};
  TPjPtr normalised = NormalisedCrsToCrs(ctx, wgs84.get(), crs.get());
  if (!normalised) throw TRefusal{"no transformation from WGS 84 (" + state.TakeError() + ")"};
  return normalised;
}

// Resolve, or a copy of the thread's recent resolution of the same text;
// raises EZYLGeoMapError naming the text with the reason.
TPjPtr Build(TThreadProj& state, const std::string& text, const std::string& proj,
             double& toMetres) {
  if (TResolution* recent = state.Resolved().Find(proj)) {
    if (!recent->prototype) Refuse(text, recent->refusal);
    if (PJ* copy = proj_clone(state.Context(), recent->prototype.get())) {
      toMetres = recent->toMetres;
      return TPjPtr(copy);
    }
  }
  try {
    TPjPtr pj = Resolve(state, proj, toMetres);
    if (PJ* kept = proj_clone(state.Context(), pj.get()))
      state.Resolved().Keep(proj, TResolution{TPjPtr(kept), toMetres, {}});
    return pj;
  } catch (const TRefusal& r) {
    if (r.lasting) state.Resolved().Keep(proj, TResolution{nullptr, 0, r.why});
    Refuse(text, r.why);
  }
}

// This thread's transformation for the instance, built on first use; null
// when it cannot be built here.
PJ* ThreadTransformation(const std::shared_ptr<const TCrsProjection::TShared>& s) {
  TThreadProj& state = TThreadProj::Instance();
  if (state.Has(s->id)) return state.Find(s->id);
  PJ* pj = nullptr;
  try {
    double toMetres = 1;
    pj = Build(state, s->text, s->proj, toMetres).release();
  } catch (const EZYLGeoMapError&) {
    // Built once already in the constructing thread; failing here leaves
    // every conversion of this thread failed.
  }
  state.Add(s, pj);
  return pj;
}

void CheckSpans(std::size_t a, std::size_t b, std::size_t c, std::size_t d, std::size_t e) {
  if (b != a || c != a || d != a || e != a)
    throw std::invalid_argument("TCrsProjection: spans of different lengths");
}

std::atomic<uint64_t> nextId{1};

}  // namespace

TCrsProjection::TShared::~TShared() {
  if (!TThreadProj::Gone()) TThreadProj::Instance().Forget(id);
}

TCrsProjection::TCrsProjection(const std::string& CrsText) {
  const std::string proj = Prepare(CrsText);
  double toMetres = 1;
  TPjPtr pj = Build(TThreadProj::Instance(), CrsText, proj, toMetres);
  auto s = std::make_shared<TShared>();
  s->text = CrsText;
  s->proj = proj;
  s->id = nextId++;
  s->toMetres = toMetres;
  TThreadProj::Instance().Add(s, pj.release());
  shared_ = std::move(s);
}

const std::string& TCrsProjection::Text() const {
  return shared_->text;
}

double TCrsProjection::MetresPerUnit() const {
  return shared_->toMetres;
}

bool TCrsProjection::Forward(double Lat, double Lon, double& E, double& N) const {
  uint8_t ok = 0;
  ForwardBatch({&Lat, 1}, {&Lon, 1}, {&E, 1}, {&N, 1}, {&ok, 1});
  return ok != 0;
}

bool TCrsProjection::Inverse(double E, double N, double& Lat, double& Lon) const {
  uint8_t ok = 0;
  InverseBatch({&E, 1}, {&N, 1}, {&Lat, 1}, {&Lon, 1}, {&ok, 1});
  return ok != 0;
}

void TCrsProjection::ForwardBatch(std::span<const double> Lat, std::span<const double> Lon,
                                  std::span<double> E, std::span<double> N,
                                  std::span<uint8_t> ok) const {
  const std::size_t n = Lat.size();
  CheckSpans(n, Lon.size(), E.size(), N.size(), ok.size());
  PJ* pj = ThreadTransformation(shared_);
  if (pj == nullptr) {
    std::fill(ok.begin(), ok.end(), uint8_t{0});
    return;
  }
  // In place: longitudes become eastings, latitudes northings.
  std::copy(Lon.begin(), Lon.end(), E.begin());
  std::copy(Lat.begin(), Lat.end(), N.begin());
  proj_trans_generic(pj, PJ_FWD, E.data(), sizeof(double), n, N.data(), sizeof(double), n, nullptr,
                     0, 0, nullptr, 0, 0);
  proj_errno_reset(pj);
  const double f = shared_->toMetres;
  for (std::size_t i = 0; i < n; ++i) {
    if (f != 1) E[i] *= f, N[i] *= f;
    ok[i] = std::isfinite(E[i]) && std::isfinite(N[i]) ? 1 : 0;
  }
}

void TCrsProjection::InverseBatch(std::span<const double> E, std::span<const double> N,
                                  std::span<double> Lat, std::span<double> Lon,
                                  std::span<uint8_t> ok) const {
  const std::size_t n = E.size();
  CheckSpans(n, N.size(), Lat.size(), Lon.size(), ok.size());
  PJ* pj = ThreadTransformation(shared_);
  if (pj == nullptr) {
    std::fill(ok.begin(), ok.end(), uint8_t{0});
    return;
  }
  const double f = shared_->toMetres;
  for (std::size_t i = 0; i < n; ++i) {
    Lon[i] = f != 1 ? E[i] / f : E[i];
    Lat[i] = f != 1 ? N[i] / f : N[i];
  }
  proj_trans_generic(pj, PJ_INV, Lon.data(), sizeof(double), n, Lat.data(), sizeof(double), n,
                     nullptr, 0, 0, nullptr, 0, 0);
  proj_errno_reset(pj);
  for (std::size_t i = 0; i < n; ++i)
    ok[i] = std::isfinite(Lat[i]) && std::isfinite(Lon[i]) ? 1 : 0;
}

}  // namespace marovia
