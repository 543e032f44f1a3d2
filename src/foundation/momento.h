// Timestamps, the millisecond stopwatch and the run's countdown.
//
// A Momento is a 32-bit signed count of seconds since 1980-01-01 00:00:00
// local time; 0 means no moment. Date-times elsewhere in the system are double
// day numbers whose day 0 is 1899-12-30 (the fraction is the time of day); the
// conversions between both and the calendar live here, once.
//
// Thread-safety: MomentoStr keeps a one-entry cache without a lock; the service
// calls it from its single working thread. The tick source is process-wide.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

using Momento = int32_t;

// Day number of 1980-01-01.
inline constexpr double kDiaDoMomentoZero = 29221.0;

// Text of a momento, "yyyy/mm/dd-hh:nn:ss"; 0 gives "0000/00/00-00:00:00" and
// a negative value "!" followed by the value.
std::string MomentoStr(Momento m);

// Momento of a day number: (dt - 29221) * 86400 rounded half to even; dates
// before 1980-01-01 give 0.
Momento DateTimeToMomento(double dt);

// Day number of a momento (inverse of DateTimeToMomento for m >= 0).
double MomentoToDateTime(Momento m);

// A duration as text: years "y", months "m" (30 days), days "d", hours "h",
// minutes "'" and seconds '"', at most max_parts parts once the first non-zero
// part has been written. 3725 with 2 parts gives 1h2'.
std::string DuracaoStr(int32_t seconds, int max_parts);

// Calendar conversions of day numbers. TryEncodeDate answers false for a
// date that does not exist (Gregorian leap years).
bool TryEncodeDate(int year, int month, int day, double* dt);
double EncodeDateTime(int y, int mo, int d, int h, int mi, int s, int ms);
void DecodeDateTime(double dt, int* y, int* mo, int* d, int* h, int* mi, int* s, int* ms);

// A date as "YYYY-MM-DD" (the zero date gives "1899-12-30").
std::string DataIso(double data);

// Current local date-time as a day number.
double NowLocal();

// The current local time as a momento. Calls within the same second of the
// tick counter return the cached value without reading the clock.
Momento MomentoAgora();

// Module start: resets the MomentoAgora cache and starts the log.
void IniciaMomento();

// Difference between the local clock and the database server's clock
// (local momento minus server momento), set once the server time is known.
class ClockOffset {
 public:
  // Stores the offset; a change of 301 seconds or more is logged.
  void SetGMT2Local(int32_t offset);
  void SetGMT2LocalFromServer(Momento server) { SetGMT2Local(MomentoAgora() - server); }
  int32_t Offset() const { return offset_; }
  bool IsSet() const { return set_; }
  Momento LocalToServidor(Momento m) const { return m == 0 ? 0 : m - offset_; }
  Momento AgoraNoServidor() const { return LocalToServidor(MomentoAgora()); }

 private:
  bool set_ = false;
  int32_t offset_ = 0;
};

// The process-wide server clock.
ClockOffset& RelogioDoServidor();
inline Momento AgoraNoServidor() { return RelogioDoServidor().AgoraNoServidor(); }

// Monotonic millisecond clock truncated to 32 bits (wraps after ~49.7 days).
uint32_t TickCount();

// Replaces the tick source (tests); nullptr restores the monotonic clock.
void SetTickSource(uint32_t (*source)());

// Accumulating stopwatch over TickCount that survives the 32-bit wrap.
class Stopwatch {
 public:
  Stopwatch() { Reset(); }
  // Accumulated := 0; last and start := the current tick.
  void Reset();
  // Seconds since Reset.
  double Elapsed();

 private:
  double accumulated_ = 0;
  uint32_t last_ = 0;
  uint32_t start_ = 0;
};

// A time budget: Expired once Elapsed reaches the duration.
class TCountDown {
 public:
  explicit TCountDown(double seconds) : duration_(seconds) { watch_.Reset(); }
  bool Expired() { return watch_.Elapsed() >= duration_; }
  double Elapsed() { return watch_.Elapsed(); }

 private:
  Stopwatch watch_;
  double duration_;
};

}  // namespace zun
