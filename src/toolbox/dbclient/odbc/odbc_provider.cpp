#include "toolbox/dbclient/odbc/odbc_provider.h"

#include "foundation/text.h"

namespace zun {

bool IsOdbcProviderName(const std::string& name) {
  const std::string u = Maiusculas(AparaBrancos(name));
  return u == "SQLOLEDB" || u == "SQLOLEDB.1" || u == "SQLNCLI11" || u == "MSOLEDBSQL" ||
         u == "ODBC";
}

}  // namespace zun
