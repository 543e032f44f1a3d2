// A command: one stored-procedure call or SQL text on a connection, with its
// parameter list (for a stored procedure fetched from the provider when the
// command is created, return value included) and the result sets of its last
// run, read one at a time.
//
// A SQL text may hold "?" placeholders (outside quotes, brackets and
// comments): its parameter list then has one input parameter per
// placeholder, named "@1", "@2", ... in order, whose values are bound by
// position when the text runs; the provider keeps the prepared statement
// for the next run of the same text.
//
// Execute runs the command and keeps its result sets pending; Open opens the
// pending result sets of the last Execute, or runs the command when none are
// pending. NextRecordset moves to the following result set of the same run.
//
// Thread-safety: one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "toolbox/dbclient/connection.h"
#include "toolbox/dbclient/parameter.h"
#include "toolbox/dbclient/recordset.h"

namespace zun {

// The numbers are the client's codes for the kinds, as logs show them.
enum class CommandType { kText = 1, kStoredProc = 3 };

class Command {
 public:
  // Precondition: conn outlives the command. For a stored procedure the
  // parameter list is fetched now (ProviderError when the connection is
  // closed or the procedure unknown).
  Command(Connection* conn, CommandType type, std::string text);
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  CommandType Type() const { return type_; }
  const std::string& Text() const { return text_; }
  Connection* GetConnection() const { return conn_; }
  Parameters& Params() { return params_; }
  const Parameters& Params() const { return params_; }

  int CommandTimeout() const { return timeout_; }
  void SetCommandTimeout(int seconds) { timeout_ = seconds; }

  // Runs the command; result sets stay pending until Open or Close.
  void Execute();
  // Runs a SQL text with placeholders once per row of values (in the
  // parameters' order), in as few requests as the provider can; results
  // are dropped. RowsAffected gives the rows changed in all.
  void ExecuteRows(const std::vector<std::vector<Value>>& rows);
  // Rows the last run of a SQL text with placeholders changed; 0 otherwise.
  int RowsAffected() const { return rows_affected_; }
  // Opens the first result set (see the header comment). A run that
  // returns no result set leaves the command closed.
  void Open();
  // Whether a result set is open.
  bool Active() const { return active_; }
  // Moves to the next result set of the same run; false (and closed) when
  // there is none.
  bool NextRecordset();
  // The open result set. Raises DatasetError when none is open.
  Recordset& Current();
  // Runs a SQL text with its parameters (as Execute) and hands each row of
  // its result to row in place (ProviderConnection::ReadRows): no result set
  // is kept. row must not run other commands on this connection.
  void ReadRows(const std::function<void(const RowView&)>& row);
  // Closes the open result set and drops pending ones.
  void Close();

 private:
  void Run();

  Connection* conn_;
  CommandType type_;
  std::string text_;
  Parameters params_;
  int timeout_;
  std::vector<Recordset> results_;
  size_t current_ = 0;
  bool pending_ = false;
  bool active_ = false;
  int rows_affected_ = 0;
};

// The number of "?" placeholders of a SQL text, not counting those inside
// '...', "...", [...], "--" comments and "/* */" comments.
int ContaMarcadores(const std::string& sql);

// Runs the stored procedure proc on conn with the inputs named in `in` (the
// others keep their defaults) and returns the command on its first result
// set; *code receives the procedure's return status, 0 when it gave none.
// Throws ProviderError as the constructor and Open do.
std::unique_ptr<Command> RunProcedure(Connection* conn, const std::string& proc,
                                      const std::vector<std::pair<const char*, Value>>& in,
                                      int32_t* code);

}  // namespace zun
