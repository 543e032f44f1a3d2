#include "web/sessions.h"

#include <sys/random.h>
#include <unistd.h>

#include <stdexcept>

namespace zun::web {

using Clock = std::chrono::steady_clock;

std::string RandomToken() {
  unsigned char b[32];
  for (size_t got = 0; got < sizeof b;) {
    const ssize_t n = getrandom(b + got, sizeof b - got, 0);
    if (n < 0) throw std::runtime_error("no random bytes from the kernel");
    got += static_cast<size_t>(n);
  }
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : b) {
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out;
}

bool SameToken(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

Session::~Session() {
  for (const auto& [sha, f] : checked) ::unlink(f.path.c_str());
}

std::shared_ptr<Session> Sessions::Create(const std::string& user, bool admin,
                                          std::unique_ptr<Connection> conn) {
  auto s = std::make_shared<Session>();
  s->id = RandomToken();
  s->csrf = RandomToken();
  s->user = user;
  s->admin = admin;
  s->created = s->last = Clock::now();
  s->conn = std::move(conn);
  Sweep();
  std::lock_guard<std::mutex> l(mu_);
  by_id_[s->id] = s;
  return s;
}

std::shared_ptr<Session> Sessions::Find(const std::string& id) {
  std::lock_guard<std::mutex> l(mu_);
  // Now and then the expired sessions go, and their connections with them.
  if (Clock::now() - swept_ > std::chrono::minutes(1)) {
    swept_ = Clock::now();
    SweepLocked();
  }
  auto it = by_id_.find(id);
  if (it == by_id_.end()) return nullptr;
  const auto now = Clock::now();
  std::shared_ptr<Session> s = it->second;
  if (now - s->last > std::chrono::seconds(kIdleSeconds) ||
      now - s->created > std::chrono::seconds(kMaxSeconds)) {
    by_id_.erase(it);
    return nullptr;
  }
  s->last = now;
  return s;
}

void Sessions::End(const std::string& id) {
  std::lock_guard<std::mutex> l(mu_);
  by_id_.erase(id);
}

void Sessions::Sweep() {
  std::lock_guard<std::mutex> l(mu_);
  SweepLocked();
}

void Sessions::SweepLocked() {
  const auto now = Clock::now();
  for (auto it = by_id_.begin(); it != by_id_.end();) {
    const Session& s = *it->second;
    const bool expired = now - s.last > std::chrono::seconds(kIdleSeconds) ||
                         now - s.created > std::chrono::seconds(kMaxSeconds);
    it = expired ? by_id_.erase(it) : std::next(it);
  }
}

bool LoginGuard::Blocked(std::map<std::string, Count>& m, const std::string& key, int max) {
  auto it = m.find(key);
  if (it == m.end()) return false;
  if (Clock::now() - it->second.last > std::chrono::seconds(kWindowSeconds)) {
    m.erase(it);
    return false;
  }
  return it->second.failures >= max;
}

bool LoginGuard::Allowed(const std::string& user, const std::string& address) {
  std::lock_guard<std::mutex> l(mu_);
  const bool u = Blocked(users_, user, kMaxPerUser);
  const bool a = Blocked(addresses_, address, kMaxPerAddress);
  return !u && !a;
}

void LoginGuard::Failed(const std::string& user, const std::string& address) {
  std::lock_guard<std::mutex> l(mu_);
  // Bounded: a flood of invented names cannot grow the table for ever.
  if (users_.size() > 100000) users_.clear();
  for (auto* m : {&users_, &addresses_}) {
    Count& c = (*m)[m == &users_ ? user : address];
    ++c.failures;
    c.last = Clock::now();
  }
}

void LoginGuard::Succeeded(const std::string& user) {
  std::lock_guard<std::mutex> l(mu_);
  users_.erase(user);
}

}  // namespace zun::web
