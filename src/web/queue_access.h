// The web server's way into the database: the login of a web user (the
// service's own check: on the embedded database the stored hash, on SQL
// Server the server's login) and the owners' and operators' queue
// procedures on that user's own connection, so the procedures decide what
// the user may see and change.
//
// Thread-safety: Login may run on any thread (the configuration it reads
// is loaded before the server starts); each Connection on one thread at a
// time (the caller holds its session's mutex).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "toolbox/dbclient/command.h"
#include "toolbox/dbclient/connection.h"

namespace zun::web {

// Opens *conn as user with password on the database the service uses and
// reads the user's name as stored and whether an administrator. Returns
// false on any refusal (an empty user or password is refused before the
// database is asked: an empty user must never become integrated security);
// *why then says what failed for the log, never the password.
bool Login(const std::string& user, const std::string& password, std::unique_ptr<Connection>* conn,
           std::string* name, bool* admin, std::string* why);

// One queue entry as "ImportFilesLista" lists it (texts in UTF-8).
struct Entry {
  int32_t id = 0;
  std::string user;
  int32_t priority = 0;
  std::string queued;
  std::string filename;
  int32_t tries = 0;
  std::optional<int32_t> result;
  bool content = false;
  std::string state;  // waiting, importing, succeeded, failed
  std::string why;
};

// One stored line message of a try.
struct LineError {
  int32_t attempt = 0;
  int32_t line = 0;
  int32_t code = 0;
  std::string reason;
  std::string message;  // UTF-8
  std::string text;     // the line's bytes as stored (Windows-1252)
};

// A procedure's refusal: code is its return value.
struct Refused : std::runtime_error {
  Refused(const std::string& proc, int32_t c);
  int32_t code;
};

// The entries conn's user may see: state "" (all), "waiting" or "failed";
// owner "" (all an operator may see) or one owner's.
std::vector<Entry> ListEntries(Connection& conn, const std::string& state,
                               const std::string& owner);
// The stored content of entry id (Refused: 50101 unknown, 50108 another's,
// 50110 no content).
std::string EntryContent(Connection& conn, int32_t id);
std::vector<LineError> EntryErrors(Connection& conn, int32_t id);
// Queues content for owner; returns the new entry's id.
int32_t AddEntry(Connection& conn, const std::string& owner, int32_t priority,
                 const std::string& name, const std::string& content);
// Offers an entry once more; false when it still had a try left.
bool RetryEntry(Connection& conn, int32_t id);
void CancelEntry(Connection& conn, int32_t id);

// Windows-1252 text of the database as UTF-8, and back (characters that
// code page lacks become '?').
std::string ToUtf8(const std::string& cp1252);
std::string FromUtf8(const std::string& utf8);

}  // namespace zun::web
