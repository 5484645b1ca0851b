// geomap serve's safety rules: each hostile request is refused with its
// status and writes nothing; the same requests done right succeed, so a
// refusal is never a route that does not exist.
#include <gtest/gtest.h>

#include <set>

#include "arguments.h"
#include "run_tool.h"
#include "serve_fixture.h"

namespace marovia::test {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Listing(const fs::path& Dir) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(Dir))
    if (e.path().string().find("cache") == std::string::npos) names.insert(e.path().string());
  return names;
}

const std::string kBody =
    "model equirect\n10 10 48 6\n1500 10 48 10\n10 1100 46 6\n1500 1100 46 10.1\n";

struct TRefusal {
  const char* What;
  std::string Method, Target;
  std::map<std::string, std::string> Headers;
  std::string Body;
  int Status;
};

TEST(ServeSecurity, HostileRequestsAreRefusedAndWriteNothing) {
  TServeFixture serve;
  // A file beside the scan folder, and a link to it from inside.
  const fs::path outside = serve.Dir.Path() / "secret.txt";
  serve.Dir.Write("secret.txt", "secret");
  serve.Dir.Write("scans/inside.txt", "inside");
  fs::create_symlink(outside, serve.Dir.Path() / "scans" / "link.txt");
  const std::map<std::string, std::string> token = {{"X-Marovia-Token", kTestToken}};
  const std::vector<TRefusal> cases = {
      {"no token", "POST", "/api/calibration?scan=0", {}, kBody, 403},
      {"wrong token",
       "POST",
       "/api/calibration?scan=0",
       {{"X-Marovia-Token", "0123456789abcdef0123456789abcdeX"}},
       kBody,
       403},
      {"token as a parameter",
       "POST",
       std::string("/api/calibration?scan=0&token=") + kTestToken,
       {},
       kBody,
       403},
      {"GET reads, never saves", "GET", "/api/calibration?scan=0", {}, "", 404},
      {"POST outside /api/", "POST", "/files/0/inside.txt", token, kBody, 405},
      {"PUT", "PUT", "/api/calibration?scan=0", token, kBody, 405},
      {"oversized body", "POST", "/api/calibration?scan=0", token,
       kBody + std::string(2 << 20, '#'), 413},
      {"another host name",
       "POST",
       "/api/calibration?scan=0",
       {{"X-Marovia-Token", kTestToken}, {"Host", "attacker.example"}},
       kBody,
       403},
      {"dot dot", "GET", "/files/0/../secret.txt", {}, "", 404},
      {"encoded dot dot", "GET", "/files/0/%2e%2e/secret.txt", {}, "", 404},
      {"encoded slash", "GET", "/files/0/..%2fsecret.txt", {}, "", 404},
      {"absolute", "GET", "/files/0//etc/passwd", {}, "", 404},
      {"root beyond the list", "GET", "/files/1/inside.txt", {}, "", 404},
      {"symlink out of the folder", "GET", "/files/0/link.txt", {}, "", 404},
      {"backslash", "GET", "/files/0/..\\secret.txt", {}, "", 404},
      {"no such scan", "POST", "/api/calibration?scan=7", token, kBody, 404},
      {"a body that is no request", "POST", "/api/calibration?scan=0", token,
       "not a request at all\n", 400},
  };
  const auto before = Listing(serve.Dir.Path());
  for (const TRefusal& c : cases) {
    const THttpReply r = Http(serve.Port, c.Method, c.Target, c.Body, c.Headers);
    EXPECT_EQ(r.Status, c.Status) << c.What << ": " << r.Body;
  }
  EXPECT_EQ(Listing(serve.Dir.Path()), before);
  // Done right, the same routes answer.
  const THttpReply inside = serve.Get("/files/0/inside.txt");
  EXPECT_EQ(inside.Status, 200);
  EXPECT_EQ(inside.Body, "inside");
  EXPECT_EQ(serve.Post("/api/calibration?scan=0", kBody).Status, 200);
  EXPECT_TRUE(fs::exists(serve.Dir.File("scans/alps.xml")));
}

TEST(ServeSecurity, ListensOnLoopbackUnlessAnAddressIsGivenWithBind) {
  struct {
    const char* Address;
    bool Loopback;
  } const addresses[] = {{"127.0.0.1", true}, {"127.1.2.3", true},    {"::1", true},
                         {"localhost", true}, {"0.0.0.0", false},     {"192.168.1.2", false},
                         {"::", false},       {"127.0.0.256", false}, {"127.0.0.1x", false}};
  for (const auto& a : addresses)
    EXPECT_EQ(geomaptool::IsLoopbackAddress(a.Address), a.Loopback) << a.Address;

  TempDir dir;
  const std::string scan = dir.File("alps.jpg");
  fs::copy_file(std::string(MAROVIA_SAMPLE_ATLAS) + "/alps_eqc.jpg", scan);
  geomaptool::TServeSessionOptions so;
  so.Scans = {scan};
  geomaptool::TServeSession session(so);
  geomaptool::TServeServerOptions o;
  o.Bind = "0.0.0.0";
  EXPECT_THROW(geomaptool::TServeServer(session, o), geomaptool::TUsageError);
  o.BindGiven = true;
  EXPECT_NO_THROW(geomaptool::TServeServer(session, o));
  // The command: an address slipped into --port is refused before anything
  // is opened or bound.
  const auto r = geomaptool::test::RunTool({"serve", scan, "--port", "0.0.0.0:8765"});
  EXPECT_EQ(r.Status, 2) << r.Err;
  EXPECT_NE(r.Err.find("--bind"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace marovia::test
