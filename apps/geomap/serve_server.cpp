#include "serve_server.h"

#include <httplib.h>

#include <charconv>
#include <fstream>
#include <random>
#include <sstream>

#include "arguments.h"
#include "cli_text.h"
#include "marovia/geomap/geomap_error.h"
#include "serve_paths.h"
#include "serve_position.h"
#include "serve_request.h"
#include "serve_session.h"

namespace marovia::geomaptool {

namespace {

constexpr const char* kTokenHeader = "X-Marovia-Token";

// The server compresses text and exactly "application/javascript" or
// "application/json" with brotli at its slowest setting when a browser
// accepts it: two seconds for Leaflet and 25 ms for every small answer on a
// loaded machine, all for a client on the same computer. These spellings,
// as valid, are left alone.
constexpr const char* kScriptType = "application/javascript; charset=utf-8";
constexpr const char* kJsonType = "application/json; charset=utf-8";

// The files of the page and of Leaflet that are served, by their URL path;
// nothing else of those folders is reachable.
struct TStaticFile {
  const char* Url;
  const char* File;
  const char* Type;
  bool Leaflet;
};
constexpr TStaticFile kStatic[] = {
    {"/", "index.html", "text/html; charset=utf-8", false},
    {"/serve.js", "serve.js", kScriptType, false},
    {"/serve.css", "serve.css", "text/css; charset=utf-8", false},
    {"/leaflet/leaflet.js", "leaflet.js", kScriptType, true},
    {"/leaflet/leaflet.css", "leaflet.css", "text/css; charset=utf-8", true},
    {"/leaflet/images/layers.png", "images/layers.png", "image/png", true},
    {"/leaflet/images/layers-2x.png", "images/layers-2x.png", "image/png", true},
    {"/leaflet/images/marker-icon.png", "images/marker-icon.png", "image/png", true},
    {"/leaflet/images/marker-icon-2x.png", "images/marker-icon-2x.png", "image/png", true},
    {"/leaflet/images/marker-shadow.png", "images/marker-shadow.png", "image/png", true}};

bool ReadWhole(const std::string& Path, std::string& Bytes) {
  std::ifstream f(Path, std::ios::binary);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  Bytes = s.str();
  return static_cast<bool>(f) || f.eof();
}

void SendError(httplib::Response& Res, int Status, const std::string& Message) {
  Res.status = Status;
  std::string text;
  for (const char c : apps::Printable(Message)) {
    if (c == '"' || c == '\\') text += '\\';
    text += c;
  }
  Res.set_content("{\"error\":\"" + text + "\"}", kJsonType);
}

// A whole number of a path's capture within 0..Max; -1 for anything else.
int CaptureInt(const std::string& Text, int Max) {
  int v = -1;
  const auto [ptr, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), v);
  if (ec != std::errc() || ptr != Text.data() + Text.size() || v < 0 || v > Max) return -1;
  return v;
}

std::size_t ScanParam(const httplib::Request& Req) {
  const int v = CaptureInt(Req.get_param_value("scan"), 1 << 20);
  if (v < 0) throw TServeError(404, "no such scan");
  return static_cast<std::size_t>(v);
}

// Runs a handler, turning the session's errors into their status.
template <typename F>
httplib::Server::Handler Guarded(F Handler) {
  return [Handler](const httplib::Request& Req, httplib::Response& Res) {
    try {
      Handler(Req, Res);
    } catch (const TServeError& e) {
      SendError(Res, e.Status(), e.what());
    } catch (const TServeRequestError& e) {
      SendError(Res, 400, e.what());
    } catch (const std::exception& e) {
      SendError(Res, 500, e.what());
    }
  };
}

void SendTile(httplib::Response& Res, const std::vector<uint8_t>& Bytes, const char* Type) {
  Res.set_content(reinterpret_cast<const char*>(Bytes.data()), Bytes.size(), Type);
}

}  // namespace

bool IsLoopbackAddress(const std::string& Address) {
  if (Address == "localhost" || Address == "::1" || Address == "[::1]") return true;
  int parts[4];
  char tail = 0;
  return std::sscanf(Address.c_str(), "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2], &parts[3],
                     &tail) == 4 &&
         parts[0] == 127 && parts[1] >= 0 && parts[1] < 256 && parts[2] >= 0 && parts[2] < 256 &&
         parts[3] >= 0 && parts[3] < 256;
}

std::string NewServeToken() {
  std::random_device random;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(random()));
    token += buf;
  }
  return token;
}

TServeServer::TServeServer(TServeSession& Session, const TServeServerOptions& Options)
    : FSession(Session), FOptions(Options), FServer(std::make_unique<httplib::Server>()) {
  if (!FOptions.BindGiven && !IsLoopbackAddress(FOptions.Bind))
    throw TUsageError("serve listens on " + apps::Printable(FOptions.Bind) +
                      " only when it is given with --bind");
  if (FOptions.Token.empty()) FOptions.Token = NewServeToken();
  Routes();
}

TServeServer::~TServeServer() = default;

int TServeServer::Bind() {
  if (FOptions.Port == 0) {
    FPort = FServer->bind_to_any_port(FOptions.Bind);
    if (FPort <= 0) throw TUsageError("cannot listen on " + apps::Printable(FOptions.Bind));
  } else {
    if (!FServer->bind_to_port(FOptions.Bind, FOptions.Port))
      throw TUsageError("cannot listen on " + apps::Printable(FOptions.Bind) + " port " +
                        std::to_string(FOptions.Port));
    FPort = FOptions.Port;
  }
  return FPort;
}

void TServeServer::Run() {
  FServer->listen_after_bind();
}

void TServeServer::Stop() {
  FServer->stop();
}

bool TServeServer::Running() const {
  return FServer->is_running();
}

std::string TServeServer::Url() const {
  const std::string host =
      FOptions.Bind.find(':') != std::string::npos ? "[" + FOptions.Bind + "]" : FOptions.Bind;
  return "http://" + host + ":" + std::to_string(FPort) + "/?token=" + FOptions.Token;
}

void TServeServer::Routes() {
  httplib::Server& s = *FServer;
  s.set_payload_max_length(kMaxServeBody);
  s.set_read_timeout(30);
  s.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                         {"Cache-Control", "no-store"},
                         {"Referrer-Policy", "no-referrer"}});

  s.set_pre_routing_handler([this](const httplib::Request& Req, httplib::Response& Res) {
    // A loopback server answers only to its own name: a page whose host
    // name an attacker resolves to 127.0.0.1 sends its own Host.
    if (!FOptions.BindGiven) {
      const std::string host = Req.get_header_value("Host");
      const std::string port = ":" + std::to_string(FPort);
      bool ok = false;
      for (const char* name : {"127.0.0.1", "localhost", "[::1]"})
        ok = ok || host == std::string(name) + port;
      if (!ok) {
        SendError(Res, 403, "unknown host");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    if (Req.method == "GET" || Req.method == "HEAD")
      return httplib::Server::HandlerResponse::Unhandled;
    if (Req.method != "POST" || Req.path.rfind("/api/", 0) != 0) {
      SendError(Res, 405, "only GET, and POST under /api/");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (Req.get_header_value(kTokenHeader) != FOptions.Token) {
      SendError(Res, 403, "this request needs the token printed with the address");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  for (const TStaticFile& f : kStatic) {
    s.Get(f.Url, [this, &f](const httplib::Request&, httplib::Response& Res) {
      std::string bytes;
      const std::string dir = f.Leaflet ? FOptions.LeafletDir : FOptions.PageDir;
      if (!ReadWhole(dir + "/" + f.File, bytes)) {
        SendError(Res, 404, std::string(f.File) + " is not installed");
        return;
      }
      Res.set_content(bytes, f.Type);
    });
  }

  s.Get("/api/scans", Guarded([this](const httplib::Request&, httplib::Response& Res) {
          Res.set_content(FSession.ScansJson(), kJsonType);
        }));
  s.Get("/api/position", Guarded([](const httplib::Request& Req, httplib::Response& Res) {
          const TTypedPosition p = ParseTypedPosition(Req.get_param_value("text"));
          char buf[96];
          std::snprintf(buf, sizeof buf, "{\"lat\":%.10f,\"lon\":%.10f}", p.Lat, p.Lon);
          Res.set_content(buf, kJsonType);
        }));
  s.Get("/api/calibration", Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
          Res.set_content(FSession.SavedCalibration(ScanParam(Req)), kJsonType);
        }));
  s.Get("/api/annotation", Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
          Res.set_content(FSession.AnnotationOut(ScanParam(Req)), "application/ld+json");
        }));
  s.Get(R"(/tiles/scan/(\d+)/(\d+)/(\d+)/(\d+)\.jpg)",
        Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
          const int n = CaptureInt(Req.matches[1], 1 << 20), z = CaptureInt(Req.matches[2], 40),
                    x = CaptureInt(Req.matches[3], 1 << 24),
                    y = CaptureInt(Req.matches[4], 1 << 24);
          if (n < 0 || z < 0 || x < 0 || y < 0) throw TServeError(404, "no such tile");
          SendTile(Res, FSession.ScanTile(static_cast<std::size_t>(n), z, x, y), "image/jpeg");
        }));
  s.Get(R"(/tiles/preview/(\d+)/(\d+)/(\d+)/(\d+)/(\d+)\.png)",
        Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
          const int n = CaptureInt(Req.matches[1], 1 << 20), z = CaptureInt(Req.matches[3], 40),
                    x = CaptureInt(Req.matches[4], 1 << 30),
                    y = CaptureInt(Req.matches[5], 1 << 30);
          if (n < 0 || z < 0 || x < 0 || y < 0) throw TServeError(404, "no such tile");
          SendTile(Res, FSession.PreviewTile(static_cast<std::size_t>(n), {z, x, y}), "image/png");
        }));
  s.Get(R"(/tiles/atlas/(\d+)/(\d+)/(\d+)\.png)",
        Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
          const int z = CaptureInt(Req.matches[1], 40), x = CaptureInt(Req.matches[2], 1 << 30),
                    y = CaptureInt(Req.matches[3], 1 << 30);
          if (z < 0 || x < 0 || y < 0) throw TServeError(404, "no such tile");
          SendTile(Res, FSession.AtlasTile({z, x, y}), "image/png");
        }));
  s.Get(R"(/files/(.*))", Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
          // The raw target, not the decoded path: encoded names are refused.
          std::string_view rest = Req.target;
          rest = rest.substr(0, rest.find('?'));
          rest.remove_prefix(std::string_view("/files/").size());
          const auto file = ConfinedFile(FSession.Roots(), rest);
          if (!file) throw TServeError(404, "no such file");
          std::string bytes;
          if (!ReadWhole(file->string(), bytes)) throw TServeError(404, "cannot read the file");
          Res.set_content(bytes, "application/octet-stream");
        }));

  s.Post("/api/fit", Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
           Res.set_content(FSession.Fit(ScanParam(Req), Req.body), kJsonType);
         }));
  s.Post("/api/calibration", Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
           Res.set_content(FSession.Save(ScanParam(Req), Req.body), kJsonType);
         }));
  s.Post("/api/export", Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
           Res.set_content(FSession.Export(ScanParam(Req), Req.get_param_value("to"), Req.body),
                           kJsonType);
         }));
  s.Post("/api/annotation", Guarded([this](const httplib::Request& Req, httplib::Response& Res) {
           Res.set_content(FSession.AnnotationIn(ScanParam(Req), Req.body), kJsonType);
         }));
}

}  // namespace marovia::geomaptool
