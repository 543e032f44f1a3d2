// The login procedures on a real database file, called the way the service
// calls them: through the session's command objects and ExecStProc.
#include <sqlite3.h>

#include <cmath>

#include "database/import_files.h"
#include "db_fixture.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

class LoginProcs : public FreshDatabase {
 protected:
  int32_t CheckVersion(TAdoDataBaseComInfoTran& s, int32_t version, int32_t patch,
                       double* server_time = nullptr) {
    auto cmd = s.TomaDataSet(CommandType::kStoredProc, "CheckClientVersionV2");
    SetParamInt(cmd, "@ClientVersion", version);
    SetParamInt(cmd, "@PatchNum", patch);
    const int32_t e = ExecStProc(cmd, 0);
    if (server_time != nullptr) GetParamDateTime(cmd, "@ServerTime", server_time);
    s.DevolveDataSet(&cmd);
    return e;
  }

  struct Info {
    int32_t e = -1, uid = 0, flags = 0, lingua = 0;
    std::string name, email;
    bool admin = false;
    uint8_t source = 0;
  };
  Info GetInfo(TAdoDataBaseComInfoTran& s) {
    Info i;
    auto cmd = s.TomaDataSet(CommandType::kStoredProc, "GetInfoDoUsuario");
    i.e = ExecStProc(cmd, 0);
    if (i.e == 0) {
      GetParamByte(cmd, "@SourceDoBal", &i.source);
      GetParamInt(cmd, "@UserFlag", &i.flags);
      GetParamStr(cmd, "@email", &i.email);
      GetParamStr(cmd, "@name", &i.name);
      GetParamInt(cmd, "@uid", &i.uid);
      GetParamBool(cmd, "@IsAdmin", &i.admin);
      GetParamInt(cmd, "@lingua", &i.lingua);
    }
    s.DevolveDataSet(&cmd);
    return i;
  }

  int32_t Setuser(TAdoDataBaseComInfoTran& s, const std::string& name) {
    auto cmd = s.TomaDataSet(CommandType::kStoredProc, "ChamaSetuser");
    SetParamStr(cmd, "@novouser", name);
    const int32_t e = ExecStProc(cmd, 0);
    s.DevolveDataSet(&cmd);
    return e;
  }
};

TEST_F(LoginProcs, FreshDatabasePassesTheLoginSequence) {
  auto s = Login("zunsvc", "s3cret");
  double server_time = 0;
  EXPECT_EQ(CheckVersion(*s, 20, 750, &server_time), 0);
  // The server's clock in GMT, as a day number.
  EXPECT_LT(std::fabs(server_time - AgoraGMT()) * 86400.0, 5.0);
  EXPECT_EQ(CheckVersion(*s, 999999, 999999), 0);
  const Info i = GetInfo(*s);
  ASSERT_EQ(i.e, 0);
  EXPECT_EQ(i.uid, admin_uid_);
  EXPECT_EQ(i.name, "zunsvc");
  EXPECT_EQ(i.email, "ops@example.com");
  EXPECT_TRUE(i.admin);
}

TEST_F(LoginProcs, OlderClientsAreRefusedWithTheirOwnCode) {
  auto s = Login("zunsvc", "s3cret");
  struct Case {
    int32_t version, patch, want;
  } cases[] = {{19, 999999, kErrClientVersionTooOld},
               {20, 749, kErrClientVersionTooOld},
               {0, 0, kErrClientVersionTooOld},
               {20, 750, 0},
               {21, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(CheckVersion(*s, c.version, c.patch), c.want) << c.version << "." << c.patch;
  }
  Sql("UPDATE settings SET value = '21' WHERE name = 'MinClientVersion'");
  EXPECT_EQ(CheckVersion(*s, 20, 750), kErrClientVersionTooOld);
  EXPECT_EQ(CheckVersion(*s, 21, 750), 0);
}

TEST_F(LoginProcs, UserInfoCarriesEveryField) {
  auto s = Login("Jo\xe3o.Silva", "pw");
  const Info i = GetInfo(*s);
  ASSERT_EQ(i.e, 0);
  EXPECT_EQ(i.uid, user_uid_);
  EXPECT_EQ(i.name, "Jo\xe3o.Silva");  // Windows-1252 on the client side
  EXPECT_EQ(i.email, "joao@example.com");
  EXPECT_FALSE(i.admin);
  EXPECT_EQ(i.flags, 6);
  EXPECT_EQ(i.lingua, 1);
  EXPECT_EQ(i.source, 3);
}

TEST_F(LoginProcs, AdministratorSwitchesToTheOwnerAndBack) {
  auto s = Login("zunsvc", "s3cret");
  ASSERT_EQ(Setuser(*s, "jo\xe3o.silva"), 0);
  Info i = GetInfo(*s);
  EXPECT_EQ(i.name, "Jo\xe3o.Silva");  // the stored spelling
  EXPECT_EQ(i.uid, user_uid_);
  EXPECT_FALSE(i.admin);
  // Switched to a plain user, the login's rights still apply.
  EXPECT_EQ(Setuser(*s, "zunsvc"), 0);
  EXPECT_EQ(GetInfo(*s).name, "zunsvc");
  ASSERT_EQ(Setuser(*s, "Jo\xe3o.Silva"), 0);
  EXPECT_EQ(Setuser(*s, ""), 0);
  EXPECT_EQ(GetInfo(*s).uid, admin_uid_);
}

TEST_F(LoginProcs, RefusedSwitchesLeaveTheUserAsItWas) {
  auto admin = Login("zunsvc", "s3cret");
  EXPECT_EQ(Setuser(*admin, "nobody"), kErrSetuserUnknownUser);
  EXPECT_EQ(GetInfo(*admin).name, "zunsvc");

  auto plain = Login("Jo\xe3o.Silva", "pw");
  EXPECT_EQ(Setuser(*plain, "zunsvc"), kErrSetuserNotAdmin);
  EXPECT_EQ(Setuser(*plain, "nobody"), kErrSetuserNotAdmin);
  EXPECT_EQ(GetInfo(*plain).name, "Jo\xe3o.Silva");
  // Its own name and the empty name are no switch.
  EXPECT_EQ(Setuser(*plain, "JO\xe3O.SILVA"), 0);
  EXPECT_EQ(Setuser(*plain, ""), 0);
  EXPECT_EQ(GetInfo(*plain).uid, user_uid_);
}

TEST_F(LoginProcs, UserRemovedAfterTheLoginIsReported) {
  auto s = Login("Jo\xe3o.Silva", "pw");
  Sql("DELETE FROM users WHERE uid = " + std::to_string(user_uid_));
  EXPECT_EQ(GetInfo(*s).e, kErrCurrentUserUnknown);
}

}  // namespace
}  // namespace zun
