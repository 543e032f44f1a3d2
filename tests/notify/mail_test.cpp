#include "notify/mail.h"

#include "../testbeds/gateway_server.h"
#include "foundation/switches.h"
#include "foundation/version.h"
#include "notify/http_session.h"

namespace zun {
namespace {

using testing::GatewayServer;
using Mail = testing::NotifyTest;

void UseGateway(const std::string& url) { SetProgramArgs({"zuninput", "-MailGateway:" + url}); }

TEST(PercentEncode, KeepsOnlyDigitsAndLetters) {
  const std::pair<std::string, std::string> rows[] = {
      {"azAZ09", "azAZ09"},      {"x y", "x%20y"},
      {"-@", "%2D%40"},          {"\xE9\xE7", "%E9%E7"},
      {"a&b=c", "a%26b%3Dc"},    {"+%~._", "%2B%25%7E%2E%5F"},
      {{"\0\xFF", 2}, "%00%FF"}, {"", ""}};
  for (const auto& [in, out] : rows) EXPECT_EQ(PercentEncode(in), out) << in;
}

TEST(MontaQuery, PairsItemsAndDropsTheLeadingAmpersand) {
  const std::vector<std::string> four = {"TO", "g", "SUBJ", "x y"};
  const std::pair<int, std::string> rows[] = {
      {3, "TO=g&SUBJ=x%20y"}, {2, "TO=g&SUBJ"}, {99, "TO=g&SUBJ=x%20y"}, {-1, ""}};
  for (const auto& [last, query] : rows) EXPECT_EQ(MontaQuery(four, last), query) << last;
}

// The setting is a base URL or a host; the gateway gets the query exactly.
TEST_F(Mail, GatewayGetsTheExactQuery) {
  GatewayServer gw;
  const std::string hostport = "127.0.0.1:" + std::to_string(gw.Port());
  const struct {
    std::string setting;
    std::vector<std::string> items;
    const char* target;
  } rows[] = {{gw.Url(), {}, "/mailto.cgi?"},
              {gw.Url(), {"TO", "g", "SUBJ", "x y"}, "/mailto.cgi?TO=g&SUBJ=x%20y"},
              {"http://" + hostport, {"TO", "g"}, "/mailto.cgi?TO=g"},
              {hostport, {"TO", "g"}, "/mailto.cgi?TO=g"},
              {gw.Url() + "cgi-bin", {"TO", "g"}, "/cgi-bin/mailto.cgi?TO=g"}};
  for (const auto& r : rows) {
    UseGateway(r.setting);
    EXPECT_EQ(SendMailItems(r.items), 0) << r.setting;
    EXPECT_EQ(gw.Got().back().target, r.target) << r.setting;
  }
  EXPECT_EQ(gw.Got().back().get_header_value("User-Agent"), "SendHttpMail");

  // A mail the gateway does not take is counted.
  const int32_t not_delivered = CorreiosNaoEntregues();
  {
    testing::DeadPort refusing(false);
    UseGateway(refusing.url);
    EXPECT_NE(SendMailItems({"TO", "g"}), 0);
  }
  EXPECT_EQ(CorreiosNaoEntregues(), not_delivered + 1);
  UseGateway(gw.Url());

  // Too large for a request line: cut, never dropped.
  std::vector<std::string> big = {"TO", "g", "diag", std::string(9'000'000, 'x')};
  for (const char* v : {"v1", "v2", "v3", "v4", "v5", "v6"}) big.insert(big.end(), {v, "&&&"});
  big.insert(big.end(), {"file", std::string(2000, '&'), "lastline", std::string(2000, '&')});
  const size_t antes = gw.Got().size();
  EXPECT_EQ(SendMailItems(big), 0);
  ASSERT_EQ(gw.Got().size(), antes + 1);
  const httplib::Request got = gw.Got().back();
  EXPECT_LE(got.target.size(), std::string("/mailto.cgi?").size() + kMaxQueryDoMail);
  EXPECT_EQ(got.get_param_value("diag"), std::string(1000, 'x') + "...[8999000 bytes cut]");
  EXPECT_EQ(got.get_param_value("v6"), "&&&");
  EXPECT_EQ(got.get_param_value("lastline"), std::string(1000, '&') + "...[1000 bytes cut]");
  // Still too long: the longest item, once encoded, gave up half.
  EXPECT_EQ(got.get_param_value("file"), std::string(500, '&') + "...[1500 bytes cut]");
}

TEST_F(Mail, GatewaySettingThatIsNoHttpOrEmpty) {
  UseGateway("ftp://127.0.0.1/");
  EXPECT_EQ(SendMailItems({"TO", "g"}), kErrInternetConnect);
  UseGateway("");
  const std::string empty_value = MailGateway();
  SetProgramArgs({"zuninput"});
  EXPECT_EQ(empty_value, MailGateway());  // an empty setting means the default
}

TEST_F(Mail, NotificationCarriesTheStandardItemsInOrder) {
  GatewayServer gw;
  UseGateway(gw.Url());
  SetDbUserNameSource([] { return std::string("zunsvc"); });
  SendNotification("login error:abc", {"usr", "abc", "error", "4077", "dropped", "x"}, 3, "");
  SetDbUserNameSource(nullptr);
  SendNotification("s", {}, "gor");
  ASSERT_EQ(gw.Got().size(), 2u);
  EXPECT_EQ(gw.Got()[0].target,
            "/mailto.cgi?TO=g&SUBJ=ZunInput%20login%20error%3Aabc&useratmachine=" +
                PercentEncode("\"" + IdentificacaoDoUsuario() + "\"") +
                "&ZunInput%2Dversion=" + PercentEncode(kVersaoDoPrograma) +
                "&ZiDbUser=zunsvc&executable%2Dfile=" + PercentEncode(CaminhoDoExecutavel()) +
                "&usr=abc&error=4077");
  EXPECT_EQ(gw.Got()[1].get_param_value("TO") + gw.Got()[1].get_param_value("ZiDbUser"), "gor");
}

}  // namespace
}  // namespace zun
