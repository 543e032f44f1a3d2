// The login procedures on a real database file, called the way the service
// calls them: through the session's command objects and ExecStProc.
#include <cmath>

#include "../support/db_fixture.h"
#include "embedded/import_files.h"

namespace zun {
namespace {

class LoginProcs : public FreshDatabase {
 protected:
  // Runs proc with the inputs; gives its code and, on success, the outputs
  // named, blank-separated.
  static std::string Call(TAdoDataBaseComInfoTran& s, const char* proc,
                          const std::vector<std::pair<const char*, Value>>& in,
                          const std::vector<const char*>& out = {}) {
    auto cmd = s.TomaDataSet(CommandType::kStoredProc, proc);
    for (const auto& [name, v] : in) cmd->Params().ParamByName(name).value = v;
    const int32_t e = ExecStProc(cmd, ModoStProc::kExecuta);
    std::string got = std::to_string(e);
    for (const char* p : out) {
      if (e == 0) got += " " + cmd->Params().ParamByName(p).value.AsString();
    }
    s.DevolveDataSet(&cmd);
    return got;
  }
  static std::string Version(TAdoDataBaseComInfoTran& s, int32_t version, int32_t patch,
                             const std::vector<const char*>& out = {}) {
    return Call(s, "CheckClientVersionV2",
                {{"@ClientVersion", Value::Int(version)}, {"@PatchNum", Value::Int(patch)}}, out);
  }
  static std::string Info(TAdoDataBaseComInfoTran& s) {
    return Call(s, "GetInfoDoUsuario", {},
                {"@uid", "@name", "@email", "@IsAdmin", "@UserFlag", "@lingua", "@SourceDoBal"});
  }
};

TEST_F(LoginProcs, UserInfoCarriesEveryFieldUntilTheUserIsRemoved) {
  auto plain = Login("Jo\xe3o.Silva", "pw");  // Windows-1252 on the client side
  EXPECT_EQ(Info(*plain),
            "0 " + std::to_string(user_uid_) + " Jo\xe3o.Silva joao@example.com False 6 1 3");
  Sql("DELETE FROM users WHERE uid = " + std::to_string(user_uid_));
  EXPECT_EQ(Info(*plain), std::to_string(kErrCurrentUserUnknown));
}

TEST_F(LoginProcs, OlderClientsAreRefusedWithTheirOwnCode) {
  auto s = Login("zunsvc", "s3cret");
  // The server's clock in GMT.
  const std::string ok = Version(*s, 20, 750, {"@ServerTime"});
  ASSERT_EQ(ok.substr(0, 2), "0 ");
  EXPECT_LT(std::fabs(Value::String(ok.substr(2)).AsDateTime() - AgoraGMT()) * 86400.0, 5.0);
  const std::string too_old = std::to_string(kErrClientVersionTooOld);
  const std::tuple<int32_t, int32_t, std::string> cases[] = {
      {19, 999999, too_old}, {20, 749, too_old}, {0, 0, too_old}, {21, 0, "0"}};
  for (const auto& [version, patch, want] : cases) {
    EXPECT_EQ(Version(*s, version, patch), want) << version << "." << patch;
  }
}

// The switch to a file's owner and back is run by the queue step's tests.
TEST_F(LoginProcs, OnlyAnAdministratorSwitchesAndARefusalChangesNothing) {
  auto admin = Login("zunsvc", "s3cret");
  auto plain = Login("Jo\xe3o.Silva", "pw");
  const std::string as_user = Info(*plain);
  const std::string not_admin = std::to_string(kErrSetuserNotAdmin);
  struct Step {
    TAdoDataBaseComInfoTran* s;
    const char* name;
    std::string want;
    const std::string& then;
  } steps[] = {
      {admin.get(), "jo\xe3o.silva", "0", as_user},  // then the stored spelling
      {plain.get(), "zunsvc", not_admin, as_user},
      {plain.get(), "nobody", not_admin, as_user},
      {plain.get(), "JO\xe3O.SILVA", "0", as_user},  // its own name and "" are no switch
      {plain.get(), "", "0", as_user},
  };
  for (const Step& st : steps) {
    EXPECT_EQ(Call(*st.s, "ChamaSetuser", {{"@novouser", Value::String(st.name)}}), st.want)
        << st.name;
    EXPECT_EQ(Info(*st.s), st.then) << st.name;
  }
}

}  // namespace
}  // namespace zun
