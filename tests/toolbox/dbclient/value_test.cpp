// Value conversions and their errors; parameter look-up by name.
#include "toolbox/dbclient/value.h"

#include <gtest/gtest.h>

#include <strings.h>

#include <limits>

#include "foundation/momento.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/parameter.h"

namespace zun {
namespace {

constexpr int64_t kErr = std::numeric_limits<int64_t>::min();  // raises DatasetError

TEST(ValueTest, IntegerConversions) {
  const std::pair<Value, int64_t> rows[] = {
      {Value::Int(-7), -7},
      {Value::Bool(true), 1},
      {Value::Double(2.5), 2},  // ties to even
      {Value::Double(3.5), 4},
      {Value::Double(-2.5), -2},
      {Value::String("12"), 12},
      {Value::String(" 12 "), 12},
      {Value::String("1.5"), 2},
      {Value::String("12abc"), kErr},
      {Value::String("0x10"), kErr},  // decimal text only
      {Value::String(""), kErr},
      {Value::Double(std::numeric_limits<double>::quiet_NaN()), kErr},
      {Value::BigInt(int64_t{1} << 31), kErr},  // does not fit 32 bits
      {Value::BigInt(-(int64_t{1} << 31)), -(int64_t{1} << 31)},
      {Value(), kErr},
  };
  for (const auto& [v, want] : rows) {
    if (want == kErr) {
      EXPECT_THROW(v.AsInt(), DatasetError) << v.AsString();
    } else {
      EXPECT_EQ(v.AsInt(), want) << v.AsString();
    }
  }
}

TEST(ValueTest, FloatDateBooleanAndTextConversions) {
  EXPECT_EQ(Value::String("1.25").AsDouble(), 1.25);
  EXPECT_EQ(Value::String("-1e3").AsDouble(), -1000.0);
  for (const char* t : {"1,25", "nan", "inf", "0x1p3"}) {
    EXPECT_THROW(Value::String(t).AsDouble(), DatasetError) << t;
  }
  const std::pair<const char*, double> dates[] = {
      {"2024-02-29", EncodeDateTime(2024, 2, 29, 0, 0, 0, 0)},
      {"2024-02-29 13:45:10.250", EncodeDateTime(2024, 2, 29, 13, 45, 10, 250)},
      {" 2024-02-29T13:45:10 ", EncodeDateTime(2024, 2, 29, 13, 45, 10, 0)},
      {"2023-02-29", -1},
      {"2024-1-01", -1},
      {"2024-01-01 24:00:00", -1},
      {"2024-01-01x", -1},
  };
  for (const auto& [text, want] : dates) {
    if (want < 0) {
      EXPECT_THROW(Value::String(text).AsDateTime(), DatasetError) << text;
    } else {
      EXPECT_EQ(Value::String(text).AsDateTime(), want) << text;
    }
  }
  EXPECT_EQ(Value::DateTime(45000.5).AsString(), "2023-03-15 12:00:00");
  EXPECT_EQ(Value::DateTime(EncodeDateTime(2024, 1, 2, 3, 4, 5, 6)).AsString(),
            "2024-01-02 03:04:05.006");
  EXPECT_TRUE(Value::String("TRUE").AsBool());
  EXPECT_FALSE(Value::String("0").AsBool());
  EXPECT_TRUE(Value::Int(-3).AsBool());
  EXPECT_THROW(Value::String("sim").AsBool(), DatasetError);
  EXPECT_THROW(Value().AsBool(), DatasetError);
  EXPECT_EQ(Value::Double(0.1).AsString(), "0.1");
  EXPECT_EQ(Value::Bool(false).AsString(), "False");
}

// Names in the list's order, back and forth, in other letter case and
// missing: each is found wherever the last search ended.
TEST(ValueTest, ParametersAreFoundByNameInAnyOrder) {
  Parameters ps;
  for (const char* n : {"@a", "@bb", "@c", "@dd", "@e", "@ff"})
    ps.Add(Parameter{n, DataType::kInteger, ParamDirection::kInput, {}});
  for (const char* n : {"@a", "@bb", "@ff", "@E", "@a", "@DD", "@c", "@bb", "@ff", "@ff"}) {
    const Parameter* p = ps.Find(n);
    ASSERT_NE(p, nullptr) << n;
    EXPECT_EQ(strcasecmp(p->name.c_str(), n), 0) << n;
  }
  EXPECT_EQ(ps.Find("@g"), nullptr);
  EXPECT_EQ(ps.Find("@b"), nullptr);
  EXPECT_THROW(ps.ParamByName("@x"), DatasetError);
}

}  // namespace
}  // namespace zun
