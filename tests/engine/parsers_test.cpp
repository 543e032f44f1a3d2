#include "engine/parsers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zun {
namespace {

std::vector<std::string> Split(std::unique_ptr<tParserRoot> parser, const std::string& line) {
  tParserWrapper w(std::move(parser));
  w.SetLine(line);
  std::vector<std::string> out;
  for (int32_t i = 0; i < w.Count(); ++i) out.emplace_back(w.Field(i));
  return out;
}

std::vector<std::string> SplitSpc(const std::string& line) {
  return Split(std::make_unique<tParserSpcDelim>(), line);
}

std::vector<std::string> SplitChr(char delim, const std::string& line) {
  return Split(std::make_unique<tParserChrDelim>(delim), line);
}

using Fields = std::vector<std::string>;

struct SplitCase {
  const char* line;
  Fields fields;
};

TEST(ParserSpcDelimTest, SplitsOnBlanksAndTabsWithQuotes) {
  const SplitCase cases[] = {
      {"*QT  ABC\t12,5", {"*QT", "ABC", "12,5"}},
      {"", {}},
      {"   \t  ", {}},
      {"  a  ", {"a"}},
      {"\ta\t\tb\t", {"a", "b"}},
      {"*OBJEMP \"Banco do Brasil\" x", {"*OBJEMP", "Banco do Brasil", "x"}},
      {"'say \"hi\"' b", {"say \"hi\"", "b"}},
      {"\"it's\" b", {"it's", "b"}},
      {"\"a\tb\"", {"a\tb"}},
      {"\"unclosed field  ", {"unclosed field  "}},
      {"'", {""}},
      {"\"\"", {""}},
      {"a \"\" b", {"a", "", "b"}},
      {"ab\"c d\"", {"ab\"c", "d\""}},
      {"\"ab\"cd", {"ab", "cd"}},
      {"\"ab\"'c d'", {"ab", "c d"}},
      {"MiXeD Case", {"MiXeD", "Case"}},
      {"a\r", {"a\r"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitSpc(c.line), c.fields) << "line [" << c.line << "]";
  }
}

TEST(ParserChrDelimTest, FieldsAreThePiecesBetweenDelimiters) {
  const SplitCase cases[] = {
      {"1--3", {"1", "", "3"}},
      {"1-", {"1", ""}},
      {"", {""}},
      {"-", {"", ""}},
      {"-1", {"", "1"}},
      {"12", {"12"}},
      {" 1 - 2 ", {" 1 ", " 2 "}},
      {"a-b-c", {"a", "b", "c"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitChr('-', c.line), c.fields) << "line [" << c.line << "]";
  }
}

TEST(ParserRootTest, NextFieldGivesEmptyOnceUsedUp) {
  tParserSpcDelim p;
  p.SetText(" a b ");
  EXPECT_FALSE(p.AtEnd());
  EXPECT_EQ(p.NextField(), "a");
  EXPECT_EQ(p.NextField(), "b");
  EXPECT_TRUE(p.AtEnd());
  EXPECT_EQ(p.NextField(), "");
  EXPECT_TRUE(p.AtEnd());
}

TEST(ParserRootTest, RestartScansFromThePosition) {
  tParserSpcDelim p;
  p.SetText("abc def");
  p.Restart(3);  // 1-based: the "c" of "abc"
  EXPECT_EQ(p.NextField(), "c");
  EXPECT_EQ(p.NextField(), "def");
  p.Restart(-5);  // negative means the start
  EXPECT_EQ(p.NextField(), "abc");
  p.Restart(4);  // on a blank: skipped
  EXPECT_EQ(p.NextField(), "def");
  p.Restart(8);
  EXPECT_TRUE(p.AtEnd());
}

TEST(ParserRootTest, ChrDelimRestartStepsOverTheDelimiterAtPos) {
  tParserChrDelim p('-');
  p.SetText("ab-cd");
  p.Restart(3);  // Pos on the delimiter: the next token starts behind it
  EXPECT_EQ(p.NextField(), "cd");
  EXPECT_TRUE(p.AtEnd());
}

TEST(ParserRootTest, SetTextMayViewTheHeldText) {
  tParserChrDelim p('-');
  p.SetText("xx-1-2");
  p.SetText(p.Text().substr(3));
  EXPECT_EQ(p.NextField(), "1");
  EXPECT_EQ(p.NextField(), "2");
}

TEST(ParserWrapperTest, FieldOutOfRangeGivesEmptyAndMovesIndex) {
  tParserWrapper w(std::make_unique<tParserSpcDelim>());
  w.SetLine("*QT PETR4 10");
  ASSERT_EQ(w.Count(), 3);
  EXPECT_EQ(w.Field(-1), "");
  EXPECT_EQ(w.CurrentIndex(), 0);
  EXPECT_EQ(w.Field(w.Count()), "");
  EXPECT_EQ(w.CurrentIndex(), w.Count() + 1);
  EXPECT_EQ(w.Field(1), "PETR4");
  EXPECT_EQ(w.CurrentIndex(), 2);
  EXPECT_EQ(w.NextField(), "10");
  EXPECT_EQ(w.NextField(), "");
  EXPECT_EQ(w.NextField(), "");
}

TEST(ParserWrapperTest, SetIndexSkipsTheKeywordAndSetLineResetsIt) {
  tParserWrapper w(std::make_unique<tParserSpcDelim>());
  w.SetLine("*QT A B");
  w.SetIndex(1);
  std::string s;
  w.NextField(&s);
  EXPECT_EQ(s, "A");
  w.Field(2, &s);
  EXPECT_EQ(s, "B");
  w.SetLine("*X Y");
  EXPECT_EQ(w.CurrentIndex(), 0);
  EXPECT_EQ(w.Count(), 2);
  EXPECT_EQ(w.NextField(), "*X");
  w.SetLine("");
  EXPECT_EQ(w.Count(), 0);
  EXPECT_EQ(w.NextField(), "");
}

TEST(ParserWrapperTest, SplitsOneOfItsOwnFieldsAgain) {
  tParserWrapper w(std::make_unique<tParserChrDelim>('-'));
  w.SetLine("10-20-30");
  w.SetLine(w.Field(1));  // the view points into the line being replaced
  ASSERT_EQ(w.Count(), 1);
  EXPECT_EQ(w.Field(0), "20");
}

TEST(ParserWrapperTest, NestedWrapperSplitsAFieldOfTheLine) {
  tParserWrapper line(std::make_unique<tParserSpcDelim>());
  tParserWrapper ids(std::make_unique<tParserChrDelim>('-'));
  line.SetLine("*OBJATV 3-4--7 x");
  ids.SetLine(line.Field(1));
  line.SetLine("*OTHER");  // the nested wrapper keeps its own copy
  EXPECT_EQ(ids.Count(), 4);
  EXPECT_EQ(ids.Field(0), "3");
  EXPECT_EQ(ids.Field(2), "");
  EXPECT_EQ(ids.Field(3), "7");
}

TEST(SoLetrasEDigitosTest, KeepsUpperCasedAsciiLettersAndDigits) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {" ab-12/x ", "AB12X"},
      {"", ""},
      {"  ", ""},
      {"Cia. Vale do Rio Doce S/A", "CIAVALEDORIODOCESA"},
      {"\xC1gua Branca", "GUABRANCA"},  // Windows-1252 accented letter is not ASCII
      {"Z9z", "Z9Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(SoLetrasEDigitos(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace zun
