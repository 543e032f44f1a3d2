#include "toolbox/dbclient/recordset.h"

#include <strings.h>

#include "toolbox/dbclient/errors.h"

namespace zun {

int Recordset::FieldIndex(const std::string& name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (strcasecmp(columns_[i].c_str(), name.c_str()) == 0) return static_cast<int>(i);
  }
  return -1;
}

void Recordset::First() {
  pos_ = 0;
  eof_ = false;
}

void Recordset::Next() {
  if (eof_) return;
  if (++pos_ >= RecordCount()) eof_ = true;
}

void Recordset::MoveTo(int recno) {
  if (recno < 1 || recno > RecordCount()) {
    throw DatasetError("record " + std::to_string(recno) + " out of range 1.." +
                       std::to_string(RecordCount()));
  }
  pos_ = recno - 1;
  eof_ = false;
}

const Value& Recordset::Field(int index) const {
  if (index < 0 || index >= FieldCount()) {
    throw DatasetError("field index " + std::to_string(index) + " out of range");
  }
  if (Eof()) throw DatasetError("no current record");
  const std::vector<Value>& row = rows_[static_cast<size_t>(pos_)];
  static const Value kNull;
  return static_cast<size_t>(index) < row.size() ? row[static_cast<size_t>(index)] : kNull;
}

const Value& Recordset::FieldByName(const std::string& name) const {
  const int i = FieldIndex(name);
  if (i < 0) throw DatasetError("Field '" + name + "' not found");
  return Field(i);
}

}  // namespace zun
