// geomap serve in-process for the tests: a scan copied from the sample
// atlas into a temporary folder, the server on a free loopback port on a
// thread of its own, and plain HTTP over a socket (so that the tests send
// exactly the bytes they mean, traversal attempts included).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "serve_server.h"
#include "serve_session.h"
#include "support/temp_dir.h"

namespace marovia::test {

struct THttpReply {
  int Status = 0;
  std::string Headers;  // as sent, CR LF between them
  std::string Body;
};

// Sends Request (a whole HTTP/1.1 request) to 127.0.0.1:Port and reads the
// reply to its end (the request asks the server to close).
inline THttpReply RawHttp(int Port, const std::string& Request) {
  THttpReply reply;
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(Port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(s);
    return reply;
  }
  for (std::size_t sent = 0; sent < Request.size();) {
    const ssize_t n = ::send(s, Request.data() + sent, Request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may refuse before the body is sent
    sent += static_cast<std::size_t>(n);
  }
  std::string raw;
  char buf[65536];
  for (ssize_t n; (n = ::recv(s, buf, sizeof buf, 0)) > 0;)
    raw.append(buf, static_cast<std::size_t>(n));
  ::close(s);
  if (raw.rfind("HTTP/1.1 ", 0) == 0) reply.Status = std::stoi(raw.substr(9, 3));
  const std::size_t body = raw.find("\r\n\r\n");
  if (body != std::string::npos) {
    reply.Headers = raw.substr(0, body);
    reply.Body = raw.substr(body + 4);
  }
  return reply;
}

inline THttpReply Http(int Port, const std::string& Method, const std::string& Target,
                       const std::string& Body = "",
                       const std::map<std::string, std::string>& Headers = {}) {
  std::string r = Method + " " + Target + " HTTP/1.1\r\nConnection: close\r\n";
  if (!Headers.count("Host")) r += "Host: 127.0.0.1:" + std::to_string(Port) + "\r\n";
  for (const auto& [k, v] : Headers) r += k + ": " + v + "\r\n";
  if (Method == "POST" || Method == "PUT")
    r += "Content-Length: " + std::to_string(Body.size()) + "\r\n";
  return RawHttp(Port, r + "\r\n" + Body);
}

// Every number of a JSON text's members named Key, in order.
inline std::vector<double> JsonNumbers(const std::string& Json, const std::string& Key) {
  std::vector<double> out;
  const std::regex re("\"" + Key + "\":(-?[0-9][0-9.eE+-]*)");
  for (auto it = std::sregex_iterator(Json.begin(), Json.end(), re); it != std::sregex_iterator();
       ++it)
    out.push_back(std::stod((*it)[1]));
  return out;
}

inline const char* kTestToken = "0123456789abcdef0123456789abcdef";

class TServeFixture {
 public:
  // The sample scan as Dir/scans/alps.jpg, served with the given atlas.
  explicit TServeFixture(const std::string& Atlas = "") {
    std::filesystem::create_directories(Dir.Path() / "scans");
    std::filesystem::copy_file(std::string(MAROVIA_SAMPLE_ATLAS) + "/alps_eqc.jpg", Scan());
    geomaptool::TServeSessionOptions o;
    o.Scans = {ScanFolder()};
    o.Atlas = Atlas;
    o.CacheDir = Dir.File("cache");
    Session = std::make_unique<geomaptool::TServeSession>(o);
    geomaptool::TServeServerOptions so;
    so.Port = 0;
    so.Token = kTestToken;
    so.PageDir = MAROVIA_SERVE_PAGE_DIR;
    so.LeafletDir = "/usr/share/javascript/leaflet";
    Server = std::make_unique<geomaptool::TServeServer>(*Session, so);
    Port = Server->Bind();
    Thread = std::thread([this] { Server->Run(); });
    while (!Server->Running()) std::this_thread::yield();
  }
  ~TServeFixture() {
    Server->Stop();
    Thread.join();
  }

  std::string ScanFolder() const { return Dir.File("scans"); }
  std::string Scan() const { return Dir.File("scans/alps.jpg"); }
  THttpReply Post(const std::string& Target, const std::string& Body) const {
    return Http(Port, "POST", Target, Body, {{"X-Marovia-Token", kTestToken}});
  }
  THttpReply Get(const std::string& Target) const { return Http(Port, "GET", Target); }

  TempDir Dir;
  std::unique_ptr<geomaptool::TServeSession> Session;
  std::unique_ptr<geomaptool::TServeServer> Server;
  int Port = 0;
  std::thread Thread;
};

}  // namespace marovia::test
