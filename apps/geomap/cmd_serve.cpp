// geomap serve: calibrates scans in the browser. Starts the HTTP server of
// serve_server.h on the scans given (files or folders), prints the page's
// address with the run's token and serves until the process is stopped.
#include <filesystem>
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "serve_server.h"
#include "serve_session.h"

namespace marovia::geomaptool {

namespace {

const TOptionDef kOptions[] = {
    {"atlas", 0, true}, {"port", 'p', true}, {"bind", 0, true}, {"cache", 0, true}};

namespace fs = std::filesystem;

// The page's folder: installed beside the program (../share/marovia/serve),
// else the source tree's (a build that was not installed).
std::string PageDir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed = exe.parent_path().parent_path() / MAROVIA_SERVE_INSTALLED_DIR;
    if (fs::exists(installed / "index.html", ec)) return installed.string();
  }
  return MAROVIA_SERVE_SOURCE_DIR;
}

// Leaflet: the copy installed beside the page, else the system's.
std::string LeafletDir(const std::string& Page) {
  std::error_code ec;
  if (fs::exists(fs::path(Page) / "leaflet" / "leaflet.js", ec)) return Page + "/leaflet";
  return MAROVIA_LEAFLET_DIR;
}

}  // namespace

int RunServe(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  const TArguments args(Args, kOptions);
  TServeSessionOptions session;
  session.Scans.assign(args.Positional().begin(), args.Positional().end());
  if (session.Scans.empty()) throw TUsageError("serve needs a scan or a folder of scans");
  session.Atlas = args.Value("atlas").value_or("");
  session.CacheDir = args.Value("cache").value_or("");
  TServeServerOptions server;
  if (const auto port = args.Value("port")) {
    if (port->find(':') != std::string::npos)
      throw TUsageError("--port takes a number; give an address to listen on with --bind");
    server.Port = *args.Integer("port", 0, 65535);
  }
  if (const auto bind = args.Value("bind")) {
    server.Bind = *bind;
    server.BindGiven = true;
  }
  server.PageDir = PageDir();
  server.LeafletDir = LeafletDir(server.PageDir);
  TServeSession state(session);
  TServeServer http(state, server);
  http.Bind();
  if (!IsLoopbackAddress(server.Bind))
    Report(Err, "warning: listening on " + apps::Printable(server.Bind) +
                    ": anyone who can reach it and has the token can write beside the scans");
  Out << "geomap serve: open " << http.Url() << "\n" << std::flush;
  http.Run();
  return kExitOk;
}

}  // namespace marovia::geomaptool
