#include "notify/http_session.h"

#include <chrono>
#include <regex>

#include "../testbeds/gateway_server.h"

namespace zun {
namespace {

using testing::DeadPort;
using testing::GatewayServer;
using Session = testing::NotifyTest;

int32_t Open(const std::string& server, HttpSessionPtr* s, bool verbose = false) {
  return OpenHttpSession("AgentX", server, verbose, s);
}

TEST_F(Session, ServersThatAreNotHttpAreRefused) {
  for (const char* server : {"", "ftp://h/", "http://", "http://h/x?a=1", "http://u:p@h/"}) {
    HttpSessionPtr s;
    EXPECT_EQ(Open(server, &s), kErrInternetConnect) << server;
    EXPECT_EQ(s, nullptr);
  }
  EXPECT_TRUE(Logged("HTTP.InternetConnect Erro:"));
  EXPECT_EQ(PedePagina(nullptr, "x", true, {}, ""), kErrSemSessao);
}

TEST_F(Session, VerbAgentHeadersAndBodyArriveAndAnyStatusCountsAsSent) {
  struct Row {
    bool get;
    std::string body, method, length;
  } rows[] = {{true, "", "GET", ""}, {true, "q=1", "GET", "3"}, {false, "a=1&b", "POST", "5"}};
  GatewayServer gw(500);
  HttpSessionPtr s;
  ASSERT_EQ(Open(gw.Url(), &s), 0);
  for (const Row& r : rows) {  // each request closes the previous one first
    EXPECT_EQ(PedePagina(s.get(), "f.cgi?k=v", r.get, {"X-Zun: 7", ""}, r.body), 0);
    const httplib::Request got = gw.Got().back();
    EXPECT_EQ(got.method + " " + got.target, r.method + " /f.cgi?k=v");
    EXPECT_EQ(got.get_header_value("Content-Length"), r.length);
    EXPECT_EQ(got.get_header_value("User-Agent") + got.get_header_value("X-Zun"), "AgentX7");
    EXPECT_EQ(got.get_header_value("Pragma"), "no-cache");
  }
  EXPECT_EQ(gw.Got().back().body, "a=1&b");
  EXPECT_EQ(CloseHttpSession(&s), 0);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(CloseHttpSession(&s), 0) << "closing no session is harmless";
  EXPECT_EQ(gw.Got().size(), 3u);
  EXPECT_TRUE(Logged("HTTP.Status:500 f.cgi?k=v"));  // forced, as the session is quiet
}

TEST_F(Session, UnsendablePathsAreRefusedBeforeSending) {
  GatewayServer gw;
  HttpSessionPtr s;
  ASSERT_EQ(Open(gw.Url(), &s), 0);
  for (const char* path : {"mailto.cgi?a b", "x\x01", "a#b", "\xE9", "a\r\nX: y"}) {
    EXPECT_EQ(PedePagina(s.get(), path, true, {}, ""), kErrOpenRequest) << path;
  }
  EXPECT_TRUE(gw.Got().empty());
  EXPECT_TRUE(Logged("HttpOpenRequest Erro:"));
}

TEST_F(Session, RefusingOrSilentServersFailWithinTheTimeouts) {
  const HttpTimeouts saved = GetHttpTimeouts();
  SetHttpTimeouts({500, 400});
  for (bool listening : {false, true}) {
    DeadPort dead(listening);
    const auto t0 = std::chrono::steady_clock::now();
    HttpSessionPtr s;
    ASSERT_EQ(Open(dead.url, &s), 0);
    EXPECT_EQ(PedePagina(s.get(), "mailto.cgi?", true, {}, ""), kErrSendRequest);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2)) << listening;
  }
  SetHttpTimeouts(saved);
  EXPECT_TRUE(Logged("HttpSendRequest Erro:7 "));   // refused
  EXPECT_TRUE(Logged("HttpSendRequest Erro:28 "));  // timed out
}

TEST_F(Session, LinesCarryTheSessionNumberAndStopAt80) {
  GatewayServer gw;
  HttpSessionPtr s;
  ASSERT_EQ(Open(gw.Url(), &s, true), 0);
  ASSERT_EQ(PedePagina(s.get(), "p", true, {}, ""), 0);
  EXPECT_TRUE(std::regex_search(Log(), std::regex("(^|\n)[0-9A-F]{4} HTTP.Status:200 p\n$")))
      << Log();
  for (int i = 1; i < 25; ++i) ASSERT_EQ(PedePagina(s.get(), "p", true, {}, ""), 0);
  EXPECT_EQ(HttpSessionLinhas(s.get()), kMaxLinhasPorSessao);
  LogaHttp(s.get(), "forced", true);
  EXPECT_EQ(HttpSessionLinhas(s.get()), kMaxLinhasPorSessao + 1);
}

TEST_F(Session, SelfSignedCertificateIsRetriedWithoutVerification) {
  const std::string openssl = ZUN_OPENSSL_PROGRAM;
  if (openssl.empty()) GTEST_SKIP() << "no openssl program to make a test certificate";
  const std::string dir = file_.string() + ".d";
  std::filesystem::create_directories(dir);
  const std::string cmd = openssl +
                          " req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                          "-days 2 -subj /CN=127.0.0.1 -keyout " +
                          dir + "/key.pem -out " + dir + "/cert.pem >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  GatewayServer gw(200, dir + "/cert.pem", dir + "/key.pem");
  std::filesystem::remove_all(dir);
  HttpSessionPtr s;
  ASSERT_EQ(Open(gw.Url("https"), &s), 0);
  EXPECT_EQ(PedePagina(s.get(), "mailto.cgi?TO=g", true, {}, ""), 0);
  ASSERT_EQ(gw.Got().size(), 1u);
  EXPECT_EQ(gw.Got()[0].target, "/mailto.cgi?TO=g");
  EXPECT_TRUE(Logged("HttpSendRequest Erro:60 "));
}

}  // namespace
}  // namespace zun
