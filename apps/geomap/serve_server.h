// The HTTP face of geomap serve: the page and its script, Leaflet, the
// tiles and the API of a TServeSession.
//
//   GET  /                                  the page (index.html)
//   GET  /serve.js, /serve.css, /leaflet/...  its script, style, Leaflet
//   GET  /api/scans                         the scans (TServeSession::ScansJson)
//   GET  /api/position?text=T               a typed position (serve_position.h)
//   GET  /api/calibration?scan=N            the calibration saved beside the scan
//   GET  /api/annotation?scan=N             the current fit as an annotation
//   GET  /tiles/scan/N/Z/X/Y.jpg            the scan in its own pixels
//   GET  /tiles/preview/N/G/Z/X/Y.png       the scan warped (G: the fit's
//                                           generation, so browsers refetch)
//   GET  /tiles/atlas/Z/X/Y.png             the reference atlas
//   GET  /files/R/PATH                      a file under folder R (serve_paths.h)
//   POST /api/fit?scan=N                    fit (body: serve_request.h)
//   POST /api/calibration?scan=N            fit and save the calibration file
//   POST /api/export?scan=N&to=FORMAT       save and export
//   POST /api/annotation?scan=N             an annotation's points for the page
//
// Safety: the server listens on 127.0.0.1 unless an address is given
// explicitly (BindGiven), and refuses to bind anything but a loopback
// address otherwise. Every POST must lie under /api/ and carry the run's
// random token in the X-Marovia-Token header, else 403 before its body is
// read; another page in the browser can neither read the token nor send
// that header without the server's consent, which it never gives (no CORS
// headers). A Host header naming anything but the bound address is
// refused (403) so that a hostile name resolving to 127.0.0.1 gains
// nothing. Bodies beyond kMaxServeBody get 413 unread. Requests run on a
// pool of threads; the session is safe for that (serve_session.h).
#pragma once

#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace marovia::geomaptool {

class TServeSession;

struct TServeServerOptions {
  std::string Bind = "127.0.0.1";
  bool BindGiven = false;  // --bind was given: any address is taken
  int Port = 8765;         // 0: any free port
  std::string PageDir;     // index.html, serve.js, serve.css
  std::string LeafletDir;  // leaflet.js, leaflet.css, images/
  std::string Token;       // empty: a random one
};

// Whether Address is a loopback address (127.0.0.0/8, ::1, localhost).
bool IsLoopbackAddress(const std::string& Address);

class TServeServer {
 public:
  // Raises TUsageError for a non-loopback address not given explicitly.
  TServeServer(TServeSession& Session, const TServeServerOptions& Options);
  ~TServeServer();

  // Binds the port; answers it. Raises TUsageError when it cannot.
  int Bind();
  // Serves until Stop (from another thread or a signal handler's thread).
  void Run();
  void Stop();
  // Whether Run is serving (Stop before that would be lost).
  bool Running() const;

  const std::string& Token() const { return FOptions.Token; }
  // The page's address with the token, to print.
  std::string Url() const;

 private:
  void Routes();

  TServeSession& FSession;
  TServeServerOptions FOptions;
  int FPort = 0;
  std::unique_ptr<httplib::Server> FServer;
};

// A random token of 32 hexadecimal digits.
std::string NewServeToken();

}  // namespace marovia::geomaptool
