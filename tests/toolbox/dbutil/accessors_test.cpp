// The typed setters and getters with their NULL rules and range checks.
#include "toolbox/dbutil/accessors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "log_capture.h"
#include "scripted_fixture.h"
#include "toolbox/dbutil/db_exception.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {
namespace {

uint64_t Bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

double FromBits(uint64_t b) {
  double v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

int32_t CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDBException& e) {
    return e.Code();
  }
  return 0;
}

class AccessorsTest : public ScriptedSession {
 protected:
  void SetUp() override {
    ScriptedSession::SetUp();
    db_.Add(
        "Tudo",
        {In("@i", DataType::kInteger), In("@s", DataType::kString), In("@b", DataType::kBoolean),
         In("@f", DataType::kDouble), In("@d", DataType::kDateTime)},
        [this](Parameters* p, std::vector<Recordset>* out) {
          for (auto& rs : rows_) out->push_back(rs);
          Retorna(p, 0);
        });
    cmd_ = s_.TomaDataSet(CommandType::kStoredProc, "Tudo");
  }
  void TearDown() override { s_.DevolveDataSet(&cmd_); }

  const Value& P(const char* name) { return cmd_->Params().ParamByName(name).value; }
  void SetP(const char* name, Value v) { cmd_->Params().ParamByName(name).value = std::move(v); }

  // Opens one row with the given columns.
  void OpenRow(std::vector<std::string> cols, std::vector<Value> row) {
    Recordset rs(std::move(cols));
    rs.AddRow(std::move(row));
    rows_ = {rs};
    ASSERT_EQ(ExecStProc(cmd_, 2), 0);
  }

  std::vector<Recordset> rows_;
  std::unique_ptr<Command> cmd_;
};

TEST_F(AccessorsTest, SettersAndTheirNullRules) {
  SetParamInt(cmd_, "@i", -7);
  EXPECT_EQ(P("@i"), Value::Int(-7));
  SetParamStr(cmd_, "@s", "  \t PETR4 \r\n");
  EXPECT_EQ(P("@s"), Value::String("PETR4"));
  SetParamStr(cmd_, "@s", "   ");
  EXPECT_EQ(P("@s"), Value::String(""));
  SetParamBool(cmd_, "@b", true);
  EXPECT_EQ(P("@b"), Value::Bool(true));

  struct Row {
    double in;
    bool null_float;
    bool null_date;
  };
  const Row rows[] = {
      {0.0, false, true},
      {NuloFloat(), true, true},
      {std::numeric_limits<double>::quiet_NaN(), true, true},
      {FromBits(0x7FF8000000000001ULL), true, true},
      {std::numeric_limits<double>::infinity(), false, false},
      {45123.5, false, false},
      {-1.25, false, false},
  };
  for (const Row& r : rows) {
    SetParamFloat(cmd_, "@f", r.in);
    EXPECT_EQ(P("@f").IsNull(), r.null_float) << r.in;
    if (!r.null_float) {
      EXPECT_EQ(P("@f"), Value::Double(r.in));
    }
    SetParamDateTime(cmd_, "@d", r.in);
    EXPECT_EQ(P("@d").IsNull(), r.null_date) << r.in;
    if (!r.null_date) {
      EXPECT_EQ(P("@d"), Value::DateTime(r.in));
    }
  }
  SetParamInt(cmd_, "@i", 1);
  SetParamNull(cmd_, "@i");
  EXPECT_TRUE(P("@i").IsNull());
  EXPECT_THROW(SetParamInt(cmd_, "@nao", 1), DatasetError);
}

TEST_F(AccessorsTest, NullNumberPattern) {
  EXPECT_EQ(Bits(NuloFloat()), 0xFFF8000000000000ULL);
  EXPECT_TRUE(EhNuloFloat(NuloFloat()));
  EXPECT_FALSE(EhNuloFloat(FromBits(0x7FF4000000000000ULL)));  // signalling NaN
  EXPECT_FALSE(EhNuloFloat(0.0));
}

TEST_F(AccessorsTest, ParameterGettersAndNullRules) {
  SetP("@i", Value::Int(300));
  int32_t i = 0;
  GetParamInt(cmd_, "@i", &i);
  EXPECT_EQ(i, 300);
  EXPECT_EQ(ParamInt(cmd_, "@i"), 300);
  SetP("@i", Value());
  EXPECT_THROW(ParamInt(cmd_, "@i"), DatasetError);

  std::string s = "stale";
  SetP("@s", Value());
  GetParamStr(cmd_, "@s", &s);
  EXPECT_EQ(s, "");
  SetP("@s", Value::String(" Vale  "));
  GetParamStr(cmd_, "@s", &s);
  EXPECT_EQ(s, "Vale");

  bool b = false;
  SetP("@b", Value::Bool(true));
  GetParamBool(cmd_, "@b", &b);
  EXPECT_TRUE(b);
  SetP("@b", Value::Int(0));
  GetParamBool(cmd_, "@b", &b);
  EXPECT_FALSE(b);
  SetP("@b", Value());
  EXPECT_THROW(GetParamBool(cmd_, "@b", &b), DatasetError);

  double d = -1;
  SetP("@d", Value());
  GetParamDateTime(cmd_, "@d", &d);
  EXPECT_EQ(d, 0.0);
  SetP("@d", Value::DateTime(44000.25));
  GetParamDateTime(cmd_, "@d", &d);
  EXPECT_EQ(d, 44000.25);
}

TEST_F(AccessorsTest, ParameterByteRanges) {
  struct Row {
    int32_t value;
    int32_t max;
    int32_t byte_code;
    int32_t max_code;
  };
  const Row rows[] = {
      {0, 0, 0, 0},      {255, 255, 0, 0},        {7, 6, 0, 25035},
      {7, 7, 0, 0},      {256, 300, 4017, 25035}, {-1, 10, 4017, 25035},
      {3, -1, 0, 25035},
  };
  for (const Row& r : rows) {
    SetP("@i", Value::Int(r.value));
    uint8_t v = 99;
    EXPECT_EQ(CodeOf([&] { GetParamByte(cmd_, "@i", &v); }), r.byte_code) << r.value;
    if (r.byte_code == 0) {
      EXPECT_EQ(v, r.value);
    }
    LogCapture log;
    v = 99;
    EXPECT_EQ(CodeOf([&] { GetParamByteMax(cmd_, "@i", r.max, &v); }), r.max_code) << r.value;
    if (r.max_code == 0) {
      EXPECT_EQ(v, r.value);
      EXPECT_TRUE(log.Lines().empty());
    } else {
      EXPECT_TRUE(log.Has("@i.out of range detected. hi:" + std::to_string(r.max) +
                          " vi:" + std::to_string(r.value)));
    }
  }
}

TEST_F(AccessorsTest, FieldGettersAndNullRules) {
  OpenRow({"n", "t", "f", "d", "b"}, {Value::Int(12), Value::String("  Itau "), Value::Double(1.5),
                                      Value::DateTime(40000.5), Value::Bool(true)});
  int32_t i = 0;
  GetFieldInt(cmd_, "n", &i);
  EXPECT_EQ(i, 12);
  EXPECT_EQ(FieldInt(cmd_, "N"), 12);
  std::string s;
  GetFieldStr(cmd_, "t", &s);
  EXPECT_EQ(s, "Itau");
  double f = 0;
  GetFieldFloat(cmd_, "f", &f);
  EXPECT_EQ(f, 1.5);
  GetFieldDateTime(cmd_, "d", &f);
  EXPECT_EQ(f, 40000.5);
  bool b = false;
  GetFieldBool(cmd_, "b", &b);
  EXPECT_TRUE(b);
  EXPECT_THROW(FieldInt(cmd_, "nao"), DatasetError);

  OpenRow({"n", "t", "f", "d", "b"}, {Value(), Value(), Value(), Value(), Value()});
  i = 5;
  GetFieldInt(cmd_, "n", &i);
  EXPECT_EQ(i, 0);
  s = "stale";
  GetFieldStr(cmd_, "t", &s);
  EXPECT_EQ(s, "");
  f = 0;
  GetFieldFloat(cmd_, "f", &f);
  EXPECT_EQ(Bits(f), 0xFFF8000000000000ULL);
  f = 1;
  GetFieldDateTime(cmd_, "d", &f);
  EXPECT_EQ(f, 0.0);
  b = true;
  GetFieldBool(cmd_, "b", &b);
  EXPECT_FALSE(b);
  uint8_t y = 9;
  GetFieldByte(cmd_, "n", &y);
  EXPECT_EQ(y, 0);
}

TEST_F(AccessorsTest, FieldBoolFallsBackToInteger) {
  struct Row {
    Value v;
    bool want;
  };
  const Row rows[] = {
      {Value::Int(2), true},      {Value::Int(0), false},      {Value::String("True"), true},
      {Value::String("7"), true}, {Value::String("0"), false}, {Value::Double(0.0), false},
  };
  for (const Row& r : rows) {
    OpenRow({"b"}, {r.v});
    bool b = !r.want;
    GetFieldBool(cmd_, "b", &b);
    EXPECT_EQ(b, r.want) << r.v.AsString();
  }
  OpenRow({"b"}, {Value::String("talvez")});
  bool b = false;
  EXPECT_THROW(GetFieldBool(cmd_, "b", &b), DatasetError);
}

TEST_F(AccessorsTest, FieldByteRange) {
  struct Row {
    int32_t value;
    int32_t code;
  };
  const Row rows[] = {{0, 0}, {255, 0}, {256, 4016}, {-1, 4016}, {100000, 4016}};
  for (const Row& r : rows) {
    OpenRow({"v"}, {Value::Int(r.value)});
    uint8_t v = 1;
    EXPECT_EQ(CodeOf([&] { GetFieldByte(cmd_, "v", &v); }), r.code) << r.value;
    if (r.code == 0) {
      EXPECT_EQ(v, r.value);
    }
  }
}

TEST_F(AccessorsTest, ColumnGettersWithoutOpenResultSetRaise) {
  cmd_->Close();
  std::string s;
  EXPECT_THROW(GetFieldStr(cmd_, "t", &s), DatasetError);
}

}  // namespace
}  // namespace zun
