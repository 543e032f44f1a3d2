#include "engine/value_formats.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <string>

namespace zun {
namespace {

// Each row of valid reads as its value; each text of invalid is refused and
// leaves a value that refused accepts. Reads start from 9, so that a read
// that leaves the value alone shows.
template <typename T, typename Row, size_t N, typename Refused>
void Leituras(bool (*le)(std::string_view, T*), const Row (&valid)[N],
              std::initializer_list<const char*> invalid, Refused refused) {
  for (const Row& c : valid) {
    T v = 9;
    EXPECT_TRUE(le(c.in, &v)) << "[" << c.in << "]";
    EXPECT_EQ(v, c.value) << "[" << c.in << "]";
  }
  for (const char* in : invalid) {
    T v = 9;
    EXPECT_FALSE(le(in, &v)) << "[" << in << "]";
    EXPECT_TRUE(refused(v)) << "[" << in << "] " << v;
  }
}

TEST(StrToIntOkTest, ReadsTheRuntimeIntegerForms) {
  constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;
  const struct {
    const char* in;
    int32_t value;
  } valid[] = {
      {" 42", 42},          {"-7", -7},  {"+5", 5},         {"$1F", 31},
      {"x10", 16},          {"X10", 16}, {"0x10", 16},      {"0XfF", 255},
      {"-$10", -16},        {"007", 7},  {"$FFFFFFFF", -1}, {"-2147483648", kMin},
      {"2147483647", kMax},
  };
  Leituras(StrToIntOk, valid,
           {"", " ", "42 ", "4.0", "-", "$", "0x", "- 5", "12a", "\t42", "$G", "2147483648",
            "-2147483649", "$100000000", "99999999999999999999"},
           [](int32_t v) { return v == 0; });
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
      {" 1.5 ", 1.5},  {"2e3", 2000.0}, {"2E+3", 2000.0}, {"25e-1", 2.5},   {"-1.25", -1.25},
      {"+1.25", 1.25}, {".5", 0.5},     {"5.", 5.0},      {"28.15", 28.15}, {"1e-400", 0.0},
  };
  Leituras(StrToFloatOk, valid,
           {"1,5", "1.5x", ".", "+", "1e", "1e+", "e3", "1.2.3", "1 5", "inf", "nan", "0x10",
            "1e400", "--1"},
           EhNuloFloat);
  double big = 0;
  EXPECT_TRUE(StrToFloatOk("345678901.50", &big));
  EXPECT_EQ(big, 345678901.5);
  // Decimals of 1 to 17 digits with the point anywhere read bit for bit as
  // the full conversion reads them.
  uint64_t x = 88172645463325252ull;
  for (int k = 0; k < 20000; ++k) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    std::string t = std::to_string(x % 100000000000000000ull).substr(0, 1 + x % 17);
    t.insert(x / 17 % (t.size() + 1), ".");
    if (x & 1) t.insert(0, "-");
    double v = 0, oraculo = 0;
    ASSERT_TRUE(StrToFloatOk(t, &v)) << t;
    std::from_chars(t.data(), t.data() + t.size(), oraculo);
    ASSERT_EQ(std::memcmp(&v, &oraculo, sizeof v), 0) << t;
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  // Empty and dash are the null number, bit for bit.
  for (const char* in : {"", "-", "  ", " - "}) {
    double v = 1;
    EXPECT_TRUE(StrToFloatOk(in, &v)) << "[" << in << "]";
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    EXPECT_EQ(bits, 0xFFF8000000000000ull) << "[" << in << "]";
  }
}

TEST(StrToDateOkTest, ReadsCalendarDatesOnly) {
  const struct {
    const char* in;
    double value;  // day 0 is 1899-12-30
  } valid[] = {
      {"2020-07-03", 44015},
      {"2020.07.03", 44015},
      {"2024-02-29", 45351},
      {"2000-02-29", 36585},
      {"1899-12-30", 0},
      {"", 0},
      {"-", 0},
      {"0001-01-01", -693593},
      {"9999-12-31", 2958465},
  };
  Leituras(StrToDateOk, valid,
           {"2020-07.03", "20200703", "2020/07/03", "2020-7-3", "2020-07-031", " 2020-07-03",
            "2023-02-29", "1900-02-29", "2023-04-31", "2023-13-01", "2023-00-10", "2023-01-00",
            "0000-01-01", "2020-0a-01", " - "},
           EhDataZero);
}

TEST(StrToBoolOkTest, ReadsDigitsAndYesNoWords) {
  const struct {
    const char* in;
    bool ok, value;
  } cases[] = {
      {"1", true, true},    {"y", true, true},      {"Yes", true, true},    {"YES", true, true},
      {" 1", true, true},   {"$1", true, true},     {"0", true, false},     {"n", true, false},
      {"No", true, false},  {"NO", true, false},    {"-0", true, false},    {"2", false, false},
      {"-1", false, false}, {"Yess", false, false}, {"True", false, false}, {"", false, false},
      {" Y", false, false}, {"Nope", false, false}, {"10", false, false},
  };
  for (const auto& c : cases) {
    bool v = !c.value;
    EXPECT_EQ(StrToBoolOk(c.in, &v), c.ok) << "[" << c.in << "]";
    EXPECT_EQ(v, c.value) << "[" << c.in << "]";
  }
}

}  // namespace
}  // namespace zun
