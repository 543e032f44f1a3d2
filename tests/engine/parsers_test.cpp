#include "engine/parsers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zun {
namespace {

using Fields = std::vector<std::string>;

Fields Split(std::unique_ptr<tParserRoot> parser, const std::string& line) {
  tParserWrapper w(std::move(parser));
  w.SetLine(line);
  Fields out;
  for (int32_t i = 0; i < w.Count(); ++i) out.emplace_back(w.Field(i));
  return out;
}

// Blanks and tabs with quotes (delimiter 0), else the pieces between
// delimiters.
TEST(ParserTest, SplitsIntoFields) {
  const struct {
    char delim;
    const char* line;
    Fields fields;
  } cases[] = {
      {0, "*QT  ABC\t12,5", {"*QT", "ABC", "12,5"}},
      {0, "", {}},
      {0, " \t ", {}},
      {0, "\ta\t\tb ", {"a", "b"}},
      {0, "*OBJEMP \"Banco do Brasil\" x", {"*OBJEMP", "Banco do Brasil", "x"}},
      {0, "'say \"hi\"' b", {"say \"hi\"", "b"}},
      {0, "\"a\tb\"", {"a\tb"}},
      {0, "\"unclosed  ", {"unclosed  "}},
      {0, "a \"\" b", {"a", "", "b"}},
      {0, "ab\"c d\"", {"ab\"c", "d\""}},  // a quote inside a field is ordinary
      {0, "\"ab\"'c d'x", {"ab", "c d", "x"}},
      {0, "MiXeD", {"MiXeD"}},
      {'-', "1--3", {"1", "", "3"}},
      {'-', "1-", {"1", ""}},
      {'-', "", {""}},
      {'-', "-1", {"", "1"}},
      {'-', "12", {"12"}},
      {'-', " 1 - 2 ", {" 1 ", " 2 "}},
  };
  for (const auto& c : cases) {
    auto parser = c.delim ? std::unique_ptr<tParserRoot>(new tParserChrDelim(c.delim))
                          : std::make_unique<tParserSpcDelim>();
    EXPECT_EQ(Split(std::move(parser), c.line), c.fields) << c.delim << "[" << c.line << "]";
  }
}

TEST(ParserRootTest, RestartAndTheEndOfTheText) {
  tParserSpcDelim p;
  p.SetText("abc def ");
  p.Restart(3);  // 1-based: the "c" of "abc"
  EXPECT_EQ(p.NextField(), "c");
  EXPECT_EQ(p.NextField(), "def");
  EXPECT_TRUE(p.AtEnd());
  EXPECT_EQ(p.NextField(), "");
  p.Restart(-5);  // negative means the start
  EXPECT_EQ(p.NextField(), "abc");
  tParserChrDelim c('-');
  c.SetText("ab-cd");
  c.Restart(3);  // on the delimiter: the next token starts behind it
  EXPECT_EQ(c.NextField(), "cd");
  EXPECT_TRUE(c.AtEnd());
}

TEST(ParserWrapperTest, AccessOutOfRangeAndNestedSplits) {
  tParserWrapper line(std::make_unique<tParserSpcDelim>());
  line.SetLine("*OBJATV 3-4--7 x");
  ASSERT_EQ(line.Count(), 3);
  EXPECT_EQ(line.Field(-1), "");
  EXPECT_EQ(line.Field(3), "");
  EXPECT_EQ(line.CurrentIndex(), 4);
  line.SetIndex(2);
  std::string s;
  line.NextField(&s);
  EXPECT_EQ(s, "x");
  EXPECT_EQ(line.NextField(), "");
  tParserWrapper ids(std::make_unique<tParserChrDelim>('-'));
  ids.SetLine(line.Field(1));
  line.SetLine("*OTHER");  // the nested wrapper holds its own copy
  EXPECT_EQ(line.CurrentIndex(), 0);
  EXPECT_EQ(ids.Count(), 4);
  EXPECT_EQ(ids.Field(3), "7");
  ids.SetLine(ids.Field(1));  // a view into the line being replaced
  ASSERT_EQ(ids.Count(), 1);
  EXPECT_EQ(ids.Field(0), "4");
}

TEST(SoLetrasEDigitosTest, KeepsUpperCasedAsciiLettersAndDigits) {
  EXPECT_EQ(SoLetrasEDigitos("Cia. Vale S/A"), "CIAVALESA");
  EXPECT_EQ(SoLetrasEDigitos("\xC1gua"), "GUA");  // Windows-1252 letters are not ASCII
}

}  // namespace
}  // namespace zun
