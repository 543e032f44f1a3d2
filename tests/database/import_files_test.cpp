// The queue procedures on a real database file, read the way the queue step
// reads them; the hand-out is also raced by two processes.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <vector>

#include "db_fixture.h"
#include "foundation/momento.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

struct Next {
  int32_t e = -1, count_menos_um = -1, uid = 0, id = 0, prioridade = 0, importtries = 0;
  std::string name, mom, filename, conteudo;
};

Next TakeNext(TAdoDataBaseComInfoTran& s, int32_t max_pri, int32_t max_tries) {
  Next n;
  auto cmd = s.TomaDataSet(CommandType::kStoredProc, "ImportFilesNext");
  SetParamInt(cmd, "@MaxPrioridade", max_pri);
  SetParamInt(cmd, "@MaxImportTries", max_tries);
  n.e = ExecStProc(cmd, 1);
  if (n.e == 0) {
    n.count_menos_um = FieldInt(cmd, "CountMenosUm");
    cmd->NextRecordset();
    GetFieldInt(cmd, "Uid", &n.uid);
    GetFieldInt(cmd, "Id", &n.id);
    GetFieldInt(cmd, "prioridade", &n.prioridade);
    GetFieldStr(cmd, "Name", &n.name);
    double mom = 0;
    GetFieldDateTime(cmd, "mom", &mom);
    n.mom = MomentoStr(DateTimeToMomento(mom));
    GetFieldStr(cmd, "filename", &n.filename);
    GetFieldInt(cmd, "importtries", &n.importtries);
    n.conteudo = cmd->Current().FieldByName("conteudo").AsString();
  }
  s.DevolveDataSet(&cmd);
  return n;
}

int32_t Result(TAdoDataBaseComInfoTran& s, int32_t id, const Value& res, bool apaga) {
  auto cmd = s.TomaDataSet(CommandType::kStoredProc, "ImportFilesResult");
  SetParamInt(cmd, "@id", id);
  cmd->Params().ParamByName("@res").value = res;
  SetParamBool(cmd, "@ApagaConteudo", apaga);
  const int32_t e = ExecStProc(cmd, 0);
  s.DevolveDataSet(&cmd);
  return e;
}

class ImportQueue : public FreshDatabase {
 protected:
  // Queues an entry directly; returns its id.
  int32_t Put(int64_t uid, int prioridade, const std::string& mom, const std::string& content,
              int tries = 0, bool has_content = true) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO import_files (uid, prioridade, mom, filename, importtries, "
                       "conteudo) VALUES (?, ?, ?, 'f.txt', ?, ?)",
                       -1, &st, nullptr);
    sqlite3_bind_int64(st, 1, uid);
    sqlite3_bind_int(st, 2, prioridade);
    sqlite3_bind_text(st, 3, mom.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 4, tries);
    if (has_content) {
      sqlite3_bind_blob(st, 5, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
    }
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    const int32_t id = static_cast<int32_t>(sqlite3_last_insert_rowid(db));
    sqlite3_close(db);
    return id;
  }
};

TEST_F(ImportQueue, HandsOutTheMostUrgentEligibleEntryFirst) {
  const int32_t late = Put(user_uid_, 2, "2020-07-03 10:00:00", "x");
  const int32_t tie_a = Put(user_uid_, 2, "2020-07-03 09:00:00", "x");
  const int32_t tie_b = Put(admin_uid_, 2, "2020-07-03 09:00:00", "x");
  const int32_t urgent = Put(user_uid_, 1, "2020-07-04 00:00:00", "x");
  const int32_t at_ceiling = Put(user_uid_, 5, "2020-01-01 00:00:00", "x");
  Put(user_uid_, 6, "2020-01-01 00:00:00", "x");               // above the ceiling
  Put(user_uid_, 0, "2020-01-01 00:00:00", "x", /*tries=*/1);  // tries used up
  Put(user_uid_, 0, "2020-01-01 00:00:00", "", 0, false);      // content deleted
  const int32_t done = Put(user_uid_, 0, "2020-01-01 00:00:00", "x");
  Sql("UPDATE import_files SET done = 1, result = 0 WHERE id = " + std::to_string(done));

  auto s = Login("zunsvc", "s3cret");
  // One try each, so that every entry is handed out once.
  std::vector<int32_t> order;
  for (Next n; (n = TakeNext(*s, 5, 1)).e == 0;) order.push_back(n.id);
  EXPECT_EQ(order, (std::vector<int32_t>{urgent, tie_a, tie_b, late, at_ceiling}));
  EXPECT_EQ(TakeNext(*s, 5, 1).e, kImportFilesNothing);
  // A higher ceiling reaches the entry above 5 only.
  EXPECT_EQ(TakeNext(*s, 999, 1).e, 0);
  EXPECT_EQ(TakeNext(*s, 999, 1).e, kImportFilesNothing);
}

TEST_F(ImportQueue, RowCarriesTheEntryAndItsBytesUnchanged) {
  const std::string content("*QT PETR4 1 2020-07-03\r\n\xe9\x00\x81 end\n", 33);
  const int32_t id = Put(user_uid_, 3, "2020-07-03 10:11:12", content);
  auto s = Login("zunsvc", "s3cret");
  const Next n = TakeNext(*s, 5, 2);
  ASSERT_EQ(n.e, 0);
  EXPECT_EQ(n.count_menos_um, 0);
  EXPECT_EQ(n.id, id);
  EXPECT_EQ(n.uid, user_uid_);
  EXPECT_EQ(n.prioridade, 3);
  EXPECT_EQ(n.name, "Jo\xe3o.Silva");
  EXPECT_EQ(n.mom, "2020/07/03-10:11:12");
  EXPECT_EQ(n.filename, "f.txt");
  EXPECT_EQ(n.importtries, 1);
  EXPECT_EQ(n.conteudo, content);
}

TEST_F(ImportQueue, FailedEntryComesBackUntilItsTriesAreUsed) {
  const int32_t id = Put(user_uid_, 1, "2020-07-03 10:11:12", "x");
  auto s = Login("zunsvc", "s3cret");
  ASSERT_EQ(TakeNext(*s, 5, 2).importtries, 1);
  ASSERT_EQ(Result(*s, id, Value::Int(3948), false), 0);
  const Next second = TakeNext(*s, 5, 2);
  EXPECT_EQ(second.id, id);
  EXPECT_EQ(second.importtries, 2);
  ASSERT_EQ(Result(*s, id, Value::Int(3948), true), 0);
  EXPECT_EQ(TakeNext(*s, 5, 2).e, kImportFilesNothing);
  // The deleted content keeps it out even under a larger try budget.
  EXPECT_EQ(TakeNext(*s, 5, 9).e, kImportFilesNothing);
}

TEST_F(ImportQueue, EntryInWorkIsNotHandedOutAgainUntilItsOutcomeOrItsLeaseEnds) {
  const int32_t id = Put(user_uid_, 1, "2020-07-03 10:11:12", "x");
  auto s = Login("zunsvc", "s3cret");
  ASSERT_EQ(TakeNext(*s, 5, 2).id, id);
  EXPECT_EQ(TakeNext(*s, 5, 2).e, kImportFilesNothing) << "another process would import it twice";
  ASSERT_EQ(Result(*s, id, Value::Int(3948), false), 0);
  ASSERT_EQ(TakeNext(*s, 5, 3).id, id) << "the outcome frees the entry";
  // A process that died never records an outcome: its lease runs out.
  Sql("UPDATE import_files SET taken_until = '2001-01-01 00:00:00' WHERE id = " +
      std::to_string(id));
  const Next n = TakeNext(*s, 5, 3);
  EXPECT_EQ(n.id, id);
  EXPECT_EQ(n.importtries, 3);
}

TEST_F(ImportQueue, ResultCodes) {
  const int32_t id = Put(user_uid_, 1, "2020-07-03 10:11:12", "x");
  auto s = Login("zunsvc", "s3cret");
  ASSERT_EQ(TakeNext(*s, 5, 2).e, 0);
  EXPECT_EQ(Result(*s, id + 100, Value::Int(0), false), kErrImportFileUnknownId);
  EXPECT_EQ(Result(*s, id, Value::Null(), false), kErrImportFileNoResult);
  EXPECT_EQ(Result(*s, id, Value::Int(0), false), 0);
  EXPECT_EQ(Result(*s, id, Value::Int(3948), false), kErrImportFileAlreadyDone);
  // Imported: never handed out again, whatever the budget.
  EXPECT_EQ(TakeNext(*s, 999, 9).e, kImportFilesNothing);
}

TEST_F(ImportQueue, InconsistentEntriesAreCounted) {
  Put(user_uid_, 1, "2020-07-03 10:11:12", "x");
  Sql("INSERT INTO import_files (uid, mom, done, result) VALUES (2, '2020-01-01', 1, 4081)");
  auto s = Login("zunsvc", "s3cret");
  const Next n = TakeNext(*s, 5, 2);
  ASSERT_EQ(n.e, 0);
  EXPECT_EQ(n.count_menos_um, 1);
}

TEST_F(ImportQueue, EntryOfAVanishedOwnerFailsUntilItsTriesAreUsed) {
  Put(999, 1, "2020-07-03 10:11:12", "x");  // the raw connection does not check the key
  auto s = Login("zunsvc", "s3cret");
  EXPECT_EQ(TakeNext(*s, 5, 2).e, kErrImportFileOwnerUnknown);
  EXPECT_EQ(TakeNext(*s, 5, 2).e, kErrImportFileOwnerUnknown);
  EXPECT_EQ(TakeNext(*s, 5, 2).e, kImportFilesNothing);
}

// Two service processes drain one queue: every entry is handed out exactly
// once.
TEST_F(ImportQueue, TwoProcessesNeverShareAnEntry) {
  constexpr int kEntries = 120;
  std::set<int32_t> queued;
  for (int i = 0; i < kEntries; ++i) queued.insert(Put(user_uid_, 1, "2020-07-03 10:00:00", "x"));
  int fds[2][2];
  pid_t pids[2];
  for (int p = 0; p < 2; ++p) {
    ASSERT_EQ(pipe(fds[p]), 0);
    pids[p] = fork();
    ASSERT_GE(pids[p], 0);
    if (pids[p] == 0) {
      close(fds[p][0]);
      int status = 0;
      try {
        auto s = Login("zunsvc", "s3cret");
        for (;;) {
          const Next n = TakeNext(*s, 5, 1);
          if (n.e != 0) {
            status = n.e == kImportFilesNothing ? 0 : 3;
            break;
          }
          if (write(fds[p][1], &n.id, sizeof n.id) != sizeof n.id) status = 4;
          if (Result(*s, n.id, Value::Int(3948), false) != 0) status = 5;
        }
      } catch (...) {
        status = 6;
      }
      _exit(status);
    }
    close(fds[p][1]);
  }
  std::vector<int32_t> got;
  std::vector<size_t> per_process;
  for (int p = 0; p < 2; ++p) {
    int32_t id = 0;
    size_t n = 0;
    while (read(fds[p][0], &id, sizeof id) == sizeof id) got.push_back(id), ++n;
    close(fds[p][0]);
    per_process.push_back(n);
    int status = 0;
    ASSERT_EQ(waitpid(pids[p], &status, 0), pids[p]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "process " << p;
  }
  std::sort(got.begin(), got.end());
  EXPECT_EQ(std::adjacent_find(got.begin(), got.end()), got.end()) << "an entry was shared";
  EXPECT_EQ(std::set<int32_t>(got.begin(), got.end()), queued);
  RecordProperty("per_process",
                 std::to_string(per_process[0]) + "/" + std::to_string(per_process[1]));
}

}  // namespace
}  // namespace zun
