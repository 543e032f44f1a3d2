#include "foundation/momento.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "foundation/log.h"

namespace zun {
namespace {

uint32_t (*g_tick_source)() = nullptr;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeap(y)) ? 29 : kDays[m - 1];
}

// Days from 0001-01-01 (proleptic Gregorian) to the given date.
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

// Day number of 1970-01-01 on the 1899-12-30 scale.
constexpr int64_t kUnixEpochDay = 25569;

}  // namespace

std::string MomentoStr(Momento m) {
  static Momento cached_value = 0;
  static std::string cached_text = "0000/00/00-00:00:00";
  if (m == cached_value) return cached_text;
  std::string text;
  if (m == 0) {
    text = "0000/00/00-00:00:00";
  } else if (m < 0) {
    // Appended, not prefixed: GCC 12 warns falsely (-Wrestrict) about the
    // insert of a prefix at -O3.
    text = "!";
    text += std::to_string(m);
  } else {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(MomentoToDateTime(m), &y, &mo, &d, &h, &mi, &s, &ms);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d-%02d:%02d:%02d", y, mo, d, h, mi, s);
    text = buf;
  }
  cached_value = m;
  cached_text = text;
  return text;
}

Momento DateTimeToMomento(double dt) {
  if (!(dt >= kDiaDoMomentoZero)) return 0;
  const double seconds = std::nearbyint((dt - kDiaDoMomentoZero) * 86400.0);
  if (seconds < 0) return 0;
  if (seconds > 2147483647.0) return 2147483647;
  return static_cast<Momento>(seconds);
}

double MomentoToDateTime(Momento m) { return kDiaDoMomentoZero + m / 86400.0; }

std::string DuracaoStr(int32_t seconds, int max_parts) {
  std::string s;
  int64_t v = seconds;
  // Appended to the empty text rather than assigned (the same false
  // -Wrestrict of GCC 12).
  if (v == 0) s += '0';
  if (v < 0) {
    s += '-';
    v = -v;
  }
  int64_t days = v / 86400;
  const int64_t rest = v % 86400;
  int64_t months = days / 30;
  days %= 30;
  const int64_t years = months / 12;
  months %= 12;
  const int64_t parts[6] = {years, months, days, rest / 3600, rest / 60 % 60, rest % 60};
  const char* letters[6] = {"y", "m", "d", "h", "'", "\""};
  bool started = false;
  for (int i = 0; i < 6; ++i) {
    if (max_parts > 0 && parts[i] != 0) {
      s += std::to_string(parts[i]) + letters[i];
      started = true;
    }
    if (started) --max_parts;
  }
  return s;
}

bool TryEncodeDate(int year, int month, int day, double* dt) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return false;
  }
  *dt = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDay);
  return true;
}

double EncodeDateTime(int y, int mo, int d, int h, int mi, int s, int ms) {
  double day = 0;
  if (!TryEncodeDate(y, mo, d, &day)) return 0;
  return day + (h * 3600000.0 + mi * 60000.0 + s * 1000.0 + ms) / 86400000.0;
}

void DecodeDateTime(double dt, int* y, int* mo, int* d, int* h, int* mi, int* s, int* ms) {
  // Work in whole milliseconds so that 23:59:59.9996 does not read as 24:00.
  const int64_t total_ms = static_cast<int64_t>(std::llround(dt * 86400000.0));
  int64_t day = total_ms / 86400000;
  int64_t in_day = total_ms % 86400000;
  if (in_day < 0) {
    in_day += 86400000;
    --day;
  }
  CivilFromDays(day - kUnixEpochDay, y, mo, d);
  *h = static_cast<int>(in_day / 3600000);
  *mi = static_cast<int>(in_day / 60000 % 60);
  *s = static_cast<int>(in_day / 1000 % 60);
  *ms = static_cast<int>(in_day % 1000);
}

std::string DataIso(double data) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(data, &y, &mo, &d, &h, &mi, &s, &ms);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, mo, d);
  return buf;
}

double NowLocal() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const int ms = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                        tm.tm_sec, ms);
}

uint32_t TickCount() {
  if (g_tick_source != nullptr) return g_tick_source();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

void SetTickSource(uint32_t (*source)()) { g_tick_source = source; }

namespace {
// The MomentoAgora cache: the tick window of the cached second.
int64_t window_start = -1;
int64_t window_end = 0;
Momento cached = 0;
}  // namespace

void IniciaMomento() {
  window_start = -1;
  window_end = 0;
  cached = 0;
  MyInic("Momento");
}

Momento MomentoAgora() {
  const int64_t t = TickCount() & 0x0FFFFFFF;
  if (window_start <= t && t <= window_end) return cached;
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(NowLocal(), &y, &mo, &d, &h, &mi, &s, &ms);
  window_start = t - ms;
  window_end = window_start + 1000;
  double day = 0;
  TryEncodeDate(y, mo, d, &day);
  cached = static_cast<Momento>((day - kDiaDoMomentoZero) * 86400.0) + h * 3600 + mi * 60 + s;
  return cached;
}

void ClockOffset::SetGMT2Local(int32_t offset) {
  if (set_ && std::llabs(static_cast<int64_t>(offset_) - offset) >= 301) {
    Loga("SetGMT2Local : " + DuracaoStr(offset_, 20) + " -> " + DuracaoStr(offset, 20));
  }
  offset_ = offset;
  set_ = true;
}

ClockOffset& RelogioDoServidor() {
  static ClockOffset clock;
  return clock;
}

void Stopwatch::Reset() {
  accumulated_ = 0;
  last_ = start_ = TickCount();
}

double Stopwatch::Elapsed() {
  const uint32_t now = TickCount();
  if (last_ > now) {
    // The tick wrapped: bank the time up to the wrap and count on from 0.
    accumulated_ += (0xFFFFFFFFu - last_) * 0.001;
    last_ = 0;
  } else if (now - last_ > (1u << 30)) {
    // Bank long stretches so that a later wrap is still seen as one.
    accumulated_ += (now - last_) * 0.001;
    last_ = now;
  }
  return accumulated_ + (now - last_) * 0.001;
}

}  // namespace zun
