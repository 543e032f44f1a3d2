// Throughput of record-line splitting and field conversion: quote lines of
// 12 fields (keyword, ticker, date, nine numbers) split by the blank-delimited
// parser and read with the value formats, as the quote importer reads them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/parsers.h"
#include "engine/value_formats.h"

namespace {

constexpr int kLines = 1000000;

// One million varied quote lines, built once.
const std::vector<std::string>& QuoteLines() {
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> v;
    v.reserve(kLines);
    uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1664525u + 1013904223u;
      return seed >> 8;
    };
    char buf[256];
    for (int i = 0; i < kLines; ++i) {
      const double close = 5.0 + (next() % 100000) / 100.0;
      const double open = close + (static_cast<int>(next() % 200) - 100) / 100.0;
      const double high = close + (next() % 100) / 100.0;
      const double low = close - (next() % 100) / 100.0;
      const double avg = (high + low) / 2.0;
      const unsigned trades = next() % 50000;
      const unsigned volume = next() % 90000000;
      const double value = volume * avg;
      const int year = 2000 + static_cast<int>(next() % 25);
      const int month = 1 + static_cast<int>(next() % 12);
      const int day = 1 + static_cast<int>(next() % 28);
      // Every eighth line lacks its average ("-").
      char avg_text[32];
      if (i % 8 == 0) {
        std::snprintf(avg_text, sizeof avg_text, "-");
      } else {
        std::snprintf(avg_text, sizeof avg_text, "%.2f", avg);
      }
      std::snprintf(buf, sizeof buf,
                    "*QT  TCK%05d\t%04d-%02d-%02d %.2f %.2f %.2f %.2f %u %.2f %u %s %.4e", i % 5000,
                    year, month, day, open, high, low, close, volume, value, trades, avg_text,
                    close / 3.0);
      v.emplace_back(buf);
    }
    return v;
  }();
  return lines;
}

void BM_SplitQuoteLines(benchmark::State& state) {
  const auto& lines = QuoteLines();
  zun::tParserWrapper w(std::make_unique<zun::tParserSpcDelim>());
  int64_t fields = 0;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      w.SetLine(line);
      fields += w.Count();
    }
  }
  benchmark::DoNotOptimize(fields);
  if (fields != static_cast<int64_t>(state.iterations()) * kLines * 12) {
    state.SkipWithError("a line did not give 12 fields");
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_SplitQuoteLines)->Unit(benchmark::kMillisecond);

void BM_SplitAndConvertQuoteLines(benchmark::State& state) {
  const auto& lines = QuoteLines();
  zun::tParserWrapper w(std::make_unique<zun::tParserSpcDelim>());
  int64_t invalid = 0;
  double sum = 0;
  size_t ticker_chars = 0;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      w.SetLine(line);
      w.SetIndex(1);
      ticker_chars += w.NextField().size();
      double date = 0;
      if (!zun::StrToDateOk(w.NextField(), &date)) ++invalid;
      sum += date;
      for (int k = 0; k < 9; ++k) {
        const std::string_view f = w.NextField();
        if (k == 6) {  // the trade count is an integer
          int32_t n = 0;
          if (!zun::StrToIntOk(f, &n)) ++invalid;
          sum += n;
          continue;
        }
        double x = 0;
        if (!zun::StrToFloatOk(f, &x)) ++invalid;
        if (!zun::EhNuloFloat(x)) sum += x;
      }
    }
  }
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(ticker_chars);
  if (invalid != 0) state.SkipWithError("a field did not convert");
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_SplitAndConvertQuoteLines)->Unit(benchmark::kMillisecond);

}  // namespace
