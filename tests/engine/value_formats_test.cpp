#include "engine/value_formats.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/momento.h"

namespace zun {
namespace {

TEST(StrToIntOkTest, ReadsTheRuntimeIntegerForms) {
  const struct {
    const char* in;
    int32_t value;
  } valid[] = {
      {" 42", 42},
      {"-7", -7},
      {"+5", 5},
      {"$1F", 31},
      {"x10", 16},
      {"X10", 16},
      {"0x10", 16},
      {"0XfF", 255},
      {"-$10", -16},
      {"007", 7},
      {"$FFFFFFFF", -1},
      {"-2147483648", INT32_MIN},
      {"2147483647", INT32_MAX},
  };
  for (const auto& c : valid) {
    int32_t v = 0;
    EXPECT_TRUE(StrToIntOk(c.in, &v)) << "[" << c.in << "]";
    EXPECT_EQ(v, c.value) << "[" << c.in << "]";
  }
  for (const char* in : {"", " ", "42 ", "4.0", "-", "$", "0x", "- 5", "12a", "\t42", "$G",
                         "2147483648", "-2147483649", "$100000000", "99999999999999999999"}) {
    int32_t v = 9;
    EXPECT_FALSE(StrToIntOk(in, &v)) << "[" << in << "]";
    EXPECT_EQ(v, 0) << "[" << in << "]";
  }
  int32_t v = 0;  // a view ends where it ends, not at a terminating zero
  EXPECT_TRUE(StrToIntOk(std::string_view("12 34").substr(0, 2), &v));
  EXPECT_EQ(v, 12);
}

TEST(StrToFloatOkTest, ReadsNumbersWithADotWhateverTheLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  std::setlocale(LC_NUMERIC, "pt_BR.UTF-8");  // comma decimals, when installed
  const struct {
    const char* in;
    double value;
  } valid[] = {
      {" 1.5 ", 1.5},
      {"2e3", 2000.0},
      {"2E+3", 2000.0},
      {"25e-1", 2.5},
      {"-1.25", -1.25},
      {"+1.25", 1.25},
      {".5", 0.5},
      {"5.", 5.0},
      {"28.15", 28.15},
      {"1e-400", 0.0},
      {"345678901.50", 345678901.5},
  };
  for (const auto& c : valid) {
    double v = 0;
    EXPECT_TRUE(StrToFloatOk(c.in, &v)) << "[" << c.in << "]";
    EXPECT_EQ(v, c.value) << "[" << c.in << "]";
  }
  for (const char* in : {"1,5", "1.5x", ".", "+", "1e", "1e+", "e3", "1.2.3", "1 5", "inf", "nan",
                         "0x10", "1e400", "--1"}) {
    double v = 7;
    EXPECT_FALSE(StrToFloatOk(in, &v)) << "[" << in << "]";
    EXPECT_TRUE(EhNuloFloat(v)) << "[" << in << "]";
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(StrToFloatOkTest, EmptyAndDashAreTheNullNumber) {
  for (const char* in : {"", "-", "  ", " - "}) {
    double v = 1;
    EXPECT_TRUE(StrToFloatOk(in, &v)) << "[" << in << "]";
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    EXPECT_EQ(bits, 0xFFF8000000000000ull) << "[" << in << "]";
  }
}

TEST(StrToDateOkTest, ReadsCalendarDatesOnly) {
  double a = 0;
  double b = 0;
  ASSERT_TRUE(StrToDateOk("2020-07-03", &a));
  ASSERT_TRUE(StrToDateOk("2020.07.03", &b));
  EXPECT_EQ(a, 44015.0);  // day 0 is 1899-12-30
  EXPECT_EQ(b, a);
  for (const char* in : {"2024-02-29", "2000-02-29", "1899-12-30", "0001-01-01", "9999-12-31"}) {
    double v = -1;
    double expected = -2;
    EXPECT_TRUE(StrToDateOk(in, &v)) << in;
    ASSERT_TRUE(TryEncodeDate(std::stoi(std::string(in, 4)), std::stoi(std::string(in + 5, 2)),
                              std::stoi(std::string(in + 8, 2)), &expected));
    EXPECT_EQ(v, expected) << in;
  }
  for (const char* in : {"", "-"}) {
    double v = 5;
    EXPECT_TRUE(StrToDateOk(in, &v)) << "[" << in << "]";
    EXPECT_TRUE(EhDataZero(v));
  }
  for (const char* in : {"2020-07.03", "20200703", "2020/07/03", "2020-7-3", "2020-07-031",
                         " 2020-07-03", "2023-02-29", "1900-02-29", "2023-04-31", "2023-13-01",
                         "2023-00-10", "2023-01-00", "0000-01-01", "2020-0a-01", " - "}) {
    double v = 5;
    EXPECT_FALSE(StrToDateOk(in, &v)) << "[" << in << "]";
    EXPECT_TRUE(EhDataZero(v)) << "[" << in << "]";
  }
}

TEST(StrToBoolOkTest, ReadsDigitsAndYesNoWords) {
  for (const char* in : {"1", "y", "Yes", "YES", " 1", "$1"}) {
    bool v = false;
    EXPECT_TRUE(StrToBoolOk(in, &v) && v) << "[" << in << "]";
  }
  for (const char* in : {"0", "n", "No", "NO", "-0"}) {
    bool v = true;
    EXPECT_TRUE(StrToBoolOk(in, &v)) << "[" << in << "]";
    EXPECT_FALSE(v) << "[" << in << "]";
  }
  for (const char* in : {"2", "-1", "Yess", "True", "", " Y", "Nope", "10"}) {
    bool v = true;
    EXPECT_FALSE(StrToBoolOk(in, &v)) << "[" << in << "]";
    EXPECT_FALSE(v) << "[" << in << "]";
  }
}

}  // namespace
}  // namespace zun
