// Named locks. TSequencializadorDeAcesso is the family of named locks whose
// failure to lock is fatal; TCriticalSection is the in-process kind that
// guards the log. A thread that holds a TCriticalSection may enter it again
// (as a nested log line from an exception handler does).
//
// Thread-safety: Locka/Unlocka of one object may be called from any thread.
#pragma once

#include <mutex>
#include <string>

namespace zun {

class TSequencializadorDeAcesso {
 public:
  // name is cut to 255 characters.
  explicit TSequencializadorDeAcesso(const std::string& name) : name_(name.substr(0, 255)) {}
  virtual ~TSequencializadorDeAcesso() = default;
  TSequencializadorDeAcesso(const TSequencializadorDeAcesso&) = delete;
  TSequencializadorDeAcesso& operator=(const TSequencializadorDeAcesso&) = delete;

  // Acquires the lock; false when it cannot be taken.
  virtual bool Locka() = 0;
  // Releases a lock taken by Locka on this thread.
  virtual void Unlocka() = 0;

  const std::string& Nome() const { return name_; }

 private:
  std::string name_;
};

class TCriticalSection : public TSequencializadorDeAcesso {
 public:
  explicit TCriticalSection(const std::string& name) : TSequencializadorDeAcesso(name) {}
  bool Locka() override;
  void Unlocka() override { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// Locks s; a lock that cannot be taken is fatal: RunError250("Mutex.Locka " +
// name). Precondition: s is not null.
void Locka(TSequencializadorDeAcesso* s);

}  // namespace zun
