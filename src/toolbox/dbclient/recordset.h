// A materialised result set: column names and rows of values, with a
// 1-based current record as a client-side cursor has it.
//
// Thread-safety: a plain value type.
#pragma once

#include <string>
#include <vector>

#include "toolbox/dbclient/value.h"

namespace zun {

class Recordset {
 public:
  Recordset() = default;
  explicit Recordset(std::vector<std::string> columns) : columns_(std::move(columns)) {}

  // Building (providers).
  void AddRow(std::vector<Value> row) { rows_.push_back(std::move(row)); }

  int RecordCount() const { return static_cast<int>(rows_.size()); }
  int FieldCount() const { return static_cast<int>(columns_.size()); }
  const std::string& FieldName(int i) const { return columns_.at(static_cast<size_t>(i)); }
  // The position of a column (letter case ignored), -1 when none.
  int FieldIndex(const std::string& name) const;

  // Current record number, 1-based; 0 when there are no rows.
  int RecNo() const { return eof_ || rows_.empty() ? 0 : pos_ + 1; }
  bool Eof() const { return eof_ || rows_.empty(); }
  void First();
  void Next();
  // Positions on record recno (1 .. RecordCount); others raise DatasetError.
  void MoveTo(int recno);

  // The current record's value of a column. An unknown column, or no current
  // record, raises DatasetError.
  const Value& FieldByName(const std::string& name) const;
  const Value& Field(int index) const;

  const std::vector<std::vector<Value>>& rows() const { return rows_; }
  const std::vector<std::string>& columns() const { return columns_; }

 private:
  std::vector<std::string> columns_;
  std::vector<std::vector<Value>> rows_;
  int pos_ = 0;
  bool eof_ = false;
};

}  // namespace zun
