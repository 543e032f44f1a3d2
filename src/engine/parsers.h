// Field parsers of record lines.
//
// A tokenizer (tParserRoot and its two kinds) walks one text and hands out one
// field after another: tParserSpcDelim splits on runs of blanks and tabs with
// double-quote and apostrophe quoting, tParserChrDelim splits at every
// occurrence of one delimiter character. A tParserWrapper owns a tokenizer,
// splits a whole line at once and gives random and sequential access to the
// fields by index.
//
// Fields are handed out as std::string_view into the text the tokenizer holds:
// a view stays valid until the next SetText / SetLine on the same object or its
// destruction. Copy it into a std::string to keep it longer. Splitting a line
// reuses the buffers of the previous one, so no heap allocation happens once
// the buffers have grown to the longest line.
//
// Thread-safety: none; each object belongs to one caller at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zun {

// Tokenizer base. Positions are 1-based: Pos 0 is before the first character
// and Pos > Len means the text is used up.
class tParserRoot {
 public:
  tParserRoot() = default;
  virtual ~tParserRoot() = default;
  tParserRoot(const tParserRoot&) = delete;
  tParserRoot& operator=(const tParserRoot&) = delete;

  // Copies s as the text to split and restarts at position 0. s may point
  // into the text this object already holds.
  void SetText(std::string_view s);

  // Pos := p (0 when p is negative); then, when Pos <= Len, skips separators.
  void Restart(int32_t p);

  // True once the text is used up.
  bool AtEnd() const { return Pos > Len; }

  // The next field, "" when the text is used up. The view points into the
  // held text (valid until the next SetText or destruction).
  std::string_view NextField();

  // The held text.
  std::string_view Text() const { return Texto; }

 protected:
  // Moves Pos over separators.
  virtual void SkipSeparators() = 0;
  // Delimits the token at Pos (1-based start and length in Texto) and moves
  // Pos behind it.
  virtual void NextToken(int32_t* start, int32_t* length) = 0;

  std::string Texto;
  int32_t Len = 0;
  int32_t Pos = 0;
};

// Fields are exactly the pieces between occurrences of Delim: empty pieces are
// fields, a text ending in Delim has an empty last field, an empty text gives
// one empty field, blanks stay part of the fields.
class tParserChrDelim : public tParserRoot {
 public:
  explicit tParserChrDelim(char delim) : Delim(delim) {}

 protected:
  void SkipSeparators() override;
  void NextToken(int32_t* start, int32_t* length) override;

 private:
  char Delim;
};

// Runs of blanks (32) and tabs (9) separate fields. A field starting with a
// double quote or an apostrophe runs to the next occurrence of the same
// character (or to the end of the text) and loses both quotes; there is no
// escape. Text directly behind a closing quote starts the next field.
class tParserSpcDelim : public tParserRoot {
 protected:
  void SkipSeparators() override;
  void NextToken(int32_t* start, int32_t* length) override;
};

// Splits whole lines with an owned tokenizer and indexes their fields.
class tParserWrapper {
 public:
  // Takes ownership of parser, which must not be null.
  explicit tParserWrapper(std::unique_ptr<tParserRoot> parser);
  tParserWrapper(const tParserWrapper&) = delete;
  tParserWrapper& operator=(const tParserWrapper&) = delete;

  // Splits s into the fields of the current line (s is copied; it may point
  // into this wrapper's current line). Index := 0.
  void SetLine(std::string_view s);

  // Number of fields of the current line.
  int32_t Count() const { return static_cast<int32_t>(Fields.size()); }

  // Field i (0-based), "" when i is out of range; in both cases Index := i + 1.
  // The view is valid until the next SetLine or destruction.
  std::string_view Field(int32_t i);

  // Field i copied into *s (s must not be null); Index := i + 1.
  void Field(int32_t i, std::string* s) { s->assign(Field(i)); }

  // The field that NextField gives next.
  void SetIndex(int32_t i) { Index = i; }
  int32_t CurrentIndex() const { return Index; }

  // Field(Index): successive calls read the fields in order and give "" after
  // the last one.
  std::string_view NextField() { return Field(Index); }
  void NextField(std::string* s) { Field(Index, s); }

  // The text of the current line.
  std::string_view Line() const { return Parser->Text(); }

 private:
  std::unique_ptr<tParserRoot> Parser;
  std::vector<std::string_view> Fields;  // views into Parser's text
  int32_t Index = 0;
};

// s in upper case without leading and trailing blanks, keeping only the ASCII
// letters and digits. " ab-12/x " gives "AB12X".
std::string SoLetrasEDigitos(std::string_view s);

}  // namespace zun
