// The web server's logged-in sessions and its guard against password
// guessing. A session is named by 256 random bits (the cookie's value) and
// holds its own CSRF token, the user's database connection (opened by the
// login with the user's own password, which is not kept) and the files the
// user checked, by their SHA-256. A session ends at logout, after
// kIdleSeconds without a request or kMaxSeconds after its login; its
// connection is closed and its checked files deleted then.
//
// Thread-safety: Sessions and LoginGuard are safe from any thread; a
// Session's connection and files are used under its mutex.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "toolbox/dbclient/connection.h"

namespace zun::web {

inline constexpr int kIdleSeconds = 30 * 60;
inline constexpr int kMaxSeconds = 12 * 60 * 60;

// 256 random bits from the kernel as 64 hex digits.
std::string RandomToken();

// Whether a and b are equal, in a time that does not depend on where they
// differ.
bool SameToken(const std::string& a, const std::string& b);

// A file the user checked, ready to be queued as it was checked.
struct CheckedFile {
  std::string path;  // the bytes, in the server's upload folder
  std::string name;  // the name the browser sent
};

struct Session {
  std::string id;
  std::string csrf;
  std::string user;
  bool admin = false;
  std::chrono::steady_clock::time_point created;
  std::chrono::steady_clock::time_point last;
  std::mutex mu;  // guards conn and checked
  std::unique_ptr<Connection> conn;
  std::map<std::string, CheckedFile> checked;  // by SHA-256
  ~Session();
};

class Sessions {
 public:
  // A new session for user with its open connection.
  std::shared_ptr<Session> Create(const std::string& user, bool admin,
                                  std::unique_ptr<Connection> conn);
  // The live session named id, its idle time restarted; nullptr when there
  // is none or it expired (it is then ended).
  std::shared_ptr<Session> Find(const std::string& id);
  void End(const std::string& id);
  // Ends every expired session.
  void Sweep();

 private:
  void SweepLocked();
  std::mutex mu_;
  std::map<std::string, std::shared_ptr<Session>> by_id_;
  std::chrono::steady_clock::time_point swept_;
};

// Failed logins per user name and per client address: after
// kMaxPerUser failures of a user name, or kMaxPerAddress from one address
// (more: several users may share one), within kWindowSeconds the next
// attempt is refused without trying the password, until the window has
// passed since the last failure.
class LoginGuard {
 public:
  static constexpr int kMaxPerUser = 5;
  static constexpr int kMaxPerAddress = 20;
  static constexpr int kWindowSeconds = 15 * 60;
  bool Allowed(const std::string& user, const std::string& address);
  void Failed(const std::string& user, const std::string& address);
  void Succeeded(const std::string& user);

 private:
  struct Count {
    int failures = 0;
    std::chrono::steady_clock::time_point last;
  };
  bool Blocked(std::map<std::string, Count>& m, const std::string& key, int max);
  std::mutex mu_;
  std::map<std::string, Count> users_;
  std::map<std::string, Count> addresses_;
};

}  // namespace zun::web
