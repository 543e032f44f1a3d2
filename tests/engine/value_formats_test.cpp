#include "engine/value_formats.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "foundation/momento.h"

namespace zun {
namespace {

uint64_t Bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

TEST(StrToIntOkTest, ReadsTheRuntimeIntegerForms) {
  const struct {
    const char* in;
    int32_t value;
  } valid[] = {
      {"42", 42},
      {" 42", 42},
      {"   -7", -7},
      {"+5", 5},
      {"-0", 0},
      {"007", 7},
      {"$1F", 31},
      {"$1f", 31},
      {"x10", 16},
      {"X10", 16},
      {"0x10", 16},
      {"0XfF", 255},
      {"-$10", -16},
      {"+0x10", 16},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      {"$7FFFFFFF", 2147483647},
      {"$FFFFFFFF", -1},
      {"$80000000", std::numeric_limits<int32_t>::min()},
      {"$000000001", 1},
      {"0", 0},
  };
  for (const auto& c : valid) {
    int32_t v = 12345;
    EXPECT_TRUE(StrToIntOk(c.in, &v)) << "[" << c.in << "]";
    EXPECT_EQ(v, c.value) << "[" << c.in << "]";
  }
}

TEST(StrToIntOkTest, RejectsTextsNotWhollyAnInteger) {
  const char* invalid[] = {
      "",
      " ",
      "42 ",
      "4.0",
      "-",
      "+",
      "$",
      "0x",
      "x",
      "- 5",
      "--5",
      "5-",
      "1e3",
      "12a",
      "$G",
      "$100000000",
      "0x1g",
      "\t42",
      "2147483648",
      "-2147483649",
      "99999999999999999999",
      "$-1",
      "1,000",
      "0 x10",
      "\xEF\xBC\x91",
  };
  for (const char* in : invalid) {
    int32_t v = 12345;
    EXPECT_FALSE(StrToIntOk(in, &v)) << "[" << in << "]";
    EXPECT_EQ(v, 0) << "[" << in << "]";
  }
}

TEST(StrToIntOkTest, UsesOnlyTheGivenLength) {
  const std::string line = "12 34";
  int32_t v = 0;
  EXPECT_TRUE(StrToIntOk(std::string_view(line).substr(0, 2), &v));
  EXPECT_EQ(v, 12);
}

TEST(StrToFloatOkTest, ReadsNumbersWithADot) {
  const struct {
    const char* in;
    double value;
  } valid[] = {
      {"1.5", 1.5},
      {" 1.5 ", 1.5},
      {"\t1.5\t", 1.5},
      {"2e3", 2000.0},
      {"2E3", 2000.0},
      {"2e+3", 2000.0},
      {"25e-1", 2.5},
      {"-1.25", -1.25},
      {"+1.25", 1.25},
      {".5", 0.5},
      {"5.", 5.0},
      {"-.5", -0.5},
      {"0", 0.0},
      {"0.1", 0.1},
      {"28.15", 28.15},
      {"1234567", 1234567.0},
      {"1.5e308", 1.5e308},
      {"1e-400", 0.0},
      {"345678901.50", 345678901.5},
      {"0.000000000000000000000000000001", 1e-30},
  };
  for (const auto& c : valid) {
    double v = -99;
    EXPECT_TRUE(StrToFloatOk(c.in, &v)) << "[" << c.in << "]";
    EXPECT_EQ(v, c.value) << "[" << c.in << "]";
  }
}

TEST(StrToFloatOkTest, EmptyAndDashAreTheNullNumber) {
  for (const char* in : {"", "-", "   ", " - ", "\t-"}) {
    double v = 1;
    EXPECT_TRUE(StrToFloatOk(in, &v)) << "[" << in << "]";
    EXPECT_EQ(Bits(v), 0xFFF8000000000000ull) << "[" << in << "]";
    EXPECT_TRUE(EhNuloFloat(v));
  }
}

TEST(StrToFloatOkTest, RejectsTextsNotWhollyANumber) {
  const char* invalid[] = {
      "1,5",   "1.5x",   "x",      ".",    "+",   "--1", "1e",    "1e+",
      "e3",    "1.2.3",  "1 5",    "inf",  "nan", "NaN", "0x10",  "$10",
      "1e400", "-1e400", "1.5 e3", "1..5", "- 1", "+-1", "1e3.5", "١",
  };
  for (const char* in : invalid) {
    double v = 7;
    EXPECT_FALSE(StrToFloatOk(in, &v)) << "[" << in << "]";
    EXPECT_TRUE(EhNuloFloat(v)) << "[" << in << "]";
  }
}

TEST(StrToFloatOkTest, IgnoresTheLocaleDecimalSeparator) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  // A comma-decimal locale, when the machine has one; the reading must not change.
  const bool switched = std::setlocale(LC_NUMERIC, "pt_BR.UTF-8") != nullptr ||
                        std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  double v = 0;
  EXPECT_TRUE(StrToFloatOk("1.5", &v));
  EXPECT_EQ(v, 1.5);
  EXPECT_FALSE(StrToFloatOk("1,5", &v));
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!switched) GTEST_SKIP() << "no comma-decimal locale installed";
}

double Dia(int y, int m, int d) {
  double dt = -1;
  EXPECT_TRUE(TryEncodeDate(y, m, d, &dt));
  return dt;
}

TEST(StrToDateOkTest, ReadsCalendarDates) {
  const struct {
    const char* in;
    int y, m, d;
  } valid[] = {
      {"2020-07-03", 2020, 7, 3},   {"2020.07.03", 2020, 7, 3},   {"2024-02-29", 2024, 2, 29},
      {"2000-02-29", 2000, 2, 29},  {"1899-12-30", 1899, 12, 30}, {"0001-01-01", 1, 1, 1},
      {"9999-12-31", 9999, 12, 31}, {"2023-12-31", 2023, 12, 31}, {"1980-01-01", 1980, 1, 1},
  };
  for (const auto& c : valid) {
    double v = -1;
    EXPECT_TRUE(StrToDateOk(c.in, &v)) << c.in;
    EXPECT_EQ(v, Dia(c.y, c.m, c.d)) << c.in;
  }
  double a = 0;
  double b = 0;
  ASSERT_TRUE(StrToDateOk("2020-07-03", &a));
  ASSERT_TRUE(StrToDateOk("2020.07.03", &b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, 44015.0);  // day 0 is 1899-12-30
  ASSERT_TRUE(StrToDateOk("1899-12-31", &a));
  EXPECT_EQ(a, 1.0);
}

TEST(StrToDateOkTest, EmptyAndDashAreTheZeroDate) {
  for (const char* in : {"", "-"}) {
    double v = 5;
    EXPECT_TRUE(StrToDateOk(in, &v)) << "[" << in << "]";
    EXPECT_TRUE(EhDataZero(v));
  }
}

TEST(StrToDateOkTest, RejectsMalformedAndImpossibleDates) {
  const char* invalid[] = {
      "2020-07.03",  "2020.07-03",  "20200703",   "2020/07/03", "2020-7-3",   "2020-07-3 ",
      " 2020-07-03", "2020-07-031", "2023-02-29", "1900-02-29", "2023-02-30", "2023-04-31",
      "2023-13-01",  "2023-00-10",  "2023-01-00", "0000-01-01", "abcd-ef-gh", "2020-0a-01",
      "2020-07-3x",  "2020--7-03",  " - ",
  };
  for (const char* in : invalid) {
    double v = 5;
    EXPECT_FALSE(StrToDateOk(in, &v)) << "[" << in << "]";
    EXPECT_TRUE(EhDataZero(v)) << "[" << in << "]";
  }
}

TEST(StrToBoolOkTest, ReadsDigitsAndYesNoWords) {
  const struct {
    const char* in;
    bool value;
  } valid[] = {
      {"1", true},    {"y", true},  {"Yes", true}, {"YES", true}, {"Y", true},
      {"yup", true},  {"0", false}, {"n", false},  {"No", false}, {"NO", false},
      {"non", false}, {" 1", true}, {"$1", true},  {"-0", false}, {"00", false},
  };
  for (const auto& c : valid) {
    bool v = !c.value;
    EXPECT_TRUE(StrToBoolOk(c.in, &v)) << "[" << c.in << "]";
    EXPECT_EQ(v, c.value) << "[" << c.in << "]";
  }
}

TEST(StrToBoolOkTest, RejectsOtherTexts) {
  for (const char* in : {"2", "-1", "Yess", "True", "T", "F", "", " ", " Y", "Nope", "10"}) {
    bool v = true;
    EXPECT_FALSE(StrToBoolOk(in, &v)) << "[" << in << "]";
    EXPECT_FALSE(v) << "[" << in << "]";
  }
}

}  // namespace
}  // namespace zun
