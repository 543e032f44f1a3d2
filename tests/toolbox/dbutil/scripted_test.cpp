// On the scripted provider: reconnection after a lost link, the provider's
// wrong-type messages, and the return value found by its direction.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "../../testbeds/scripted_provider.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/provider.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

using testing::ScriptedConnection;
using testing::ScriptedDb;

class ScriptedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFileName(std::string(ZUN_TEST_BINARY_DIR) + "/dbutil_test.log");
    RegisterProvider("Scripted", [this] { return std::make_unique<ScriptedConnection>(&db_); });
    s_.SetConnectionString("Provider=Scripted");
    s_.SetAutoReconnect(true);
    s_.Open();
    cmd_ = s_.TomaDataSet(CommandType::kStoredProc, "Grava");
  }
  void TearDown() override {
    s_.DevolveDataSet(&cmd_);
    UnregisterProvider("Scripted");
  }
  ScriptedDb db_;
  TAdoDataBaseComInfoTran s_;
  std::unique_ptr<Command> cmd_;
};

// A procedure that returns a code of its own after a refused statement
// gives that code. A lost link is reopened (at most 20 attempts) and the call repeated
// once; a call lost after it was sent is repeated only when it is a
// look-up, and a link lost on every call stops after 3 repeats; a probe the
// server answers with an error of its own finds the link alive; the
// wrong-type failure is told by its kind, whatever the driver's language,
// and probes nothing; without auto-reconnection nothing is probed or
// reopened.
TEST_F(ScriptedTest, ReconnectionAfterALostLink) {
  const auto lose = [this](ErrorKind kind) -> std::function<void()> {
    return [this, kind] {
      db_.lost = true;
      db_.probe_kind = kind;
      throw ProviderError(kind, "General network error");
    };
  };
  const auto raise = [](ErrorKind kind, const char* m) -> std::function<void()> {
    return [kind, m] { throw ProviderError(kind, m); };
  };
  // A statement of the procedure is refused; the procedure returns status.
  const auto refuse = [this](int32_t status) -> std::function<void()> {
    return [this, status] {
      db_.ret_with_error = status;
      throw ProviderError("FOREIGN KEY", 547, ErrorKind::kConstraint);
    };
  };
  // Opens that fail, the call's body, whether it is a look-up; the code,
  // the calls, opens and probes.
  const std::tuple<int, std::function<void()>, bool, int32_t, int, int, int> rows[] = {
      {2, nullptr, false, 61, 1, 1 + 3, 1},                             // two failed opens
      {0, lose(ErrorKind::kConnectionLost), false, 4098, 1, 1 + 1, 1},  // outcome unknown
      {0, lose(ErrorKind::kConnectionLost), true, 3939, 4, 1 + 3, 3},   // lost on every call
      {0, lose(ErrorKind::kOther), false, 3939, 1, 1, 1},               // the probe is answered
      {0, raise(ErrorKind::kWrongType, "O aplicativo est\xE1 usando um valor incorreto"), false,
       3542, 1, 1, 0},
      {0, raise(ErrorKind::kOther, "Application uses a value of the wrong type"), false, 3939, 1, 1,
       1},
      {0, refuse(4329), false, 4329, 1, 1, 0},     // the code the procedure meant
      {0, refuse(-6), false, 3939, 1, 1, 1},       // SQL Server's own status
      {1000, nullptr, false, 3939, 0, 1 + 20, 1},  // twenty failed opens
  };
  for (const auto& [fails, body, look_up, code, calls, opens, probes] : rows) {
    db_ = ScriptedDb{};
    s_.Open();
    if (look_up) s_.RegistraSomenteLeitura("Grava");
    db_.lost = fails > 0;
    db_.opens_to_fail = fails;
    if (body) db_.body = body;
    db_.ret = 61;
    EXPECT_EQ(ExecStProc(cmd_, ModoStProc::kExecuta), code) << opens;
    EXPECT_EQ(std::make_tuple(db_.calls, db_.opens, db_.probes),
              std::make_tuple(calls, opens, probes))
        << code;
  }
  EXPECT_FALSE(s_.Connected());
  s_.SetAutoReconnect(false);
  EXPECT_FALSE(s_.TentaReconectar("x"));
  EXPECT_EQ(std::make_tuple(db_.opens, db_.probes), std::make_tuple(1 + 20, 1));
}

// A server that accepts the link and never answers the login: every open
// ends at its login timeout, and the attempts stop where the run's budget
// does instead of making 20 of them.
TEST_F(ScriptedTest, StalledLoginsStopAtTheRunBudget) {
  static uint32_t now = 0;
  SetTickSource([] { return now; });
  db_.clock = &now;
  s_.SetOrcamento(40.0);
  db_.lost = true;
  db_.opens_to_fail = 1000;
  EXPECT_EQ(ExecStProc(cmd_, ModoStProc::kExecuta), 3939);
  SetTickSource(nullptr);
  // 15 + 15 + 10 seconds: the last open waits only what is left.
  EXPECT_EQ(db_.login_timeouts, (std::vector<int>{15, 15, 15, 10}));
  EXPECT_EQ(s_.ConnectionTimeout(), 15);
}

// The return value is the parameter of its direction, whatever its name;
// without one the call gives 3998.
TEST_F(ScriptedTest, TheReturnValueIsFoundByItsDirection) {
  const std::tuple<const char*, ParamDirection, int32_t> rows[] = {
      {"@status", ParamDirection::kReturnValue, 61},
      {"RETURN_VALUE", ParamDirection::kOutput, 3998},
  };
  int n = 0;
  for (const auto& [name, direction, code] : rows) {
    db_.return_name = name;
    db_.return_direction = direction;
    db_.ret = 61;
    auto c = s_.TomaDataSet(CommandType::kStoredProc, "P" + std::to_string(++n));
    EXPECT_EQ(ExecStProc(c, ModoStProc::kExecuta), code) << name;
    s_.DevolveDataSet(&c);
  }
}

}  // namespace
}  // namespace zun
