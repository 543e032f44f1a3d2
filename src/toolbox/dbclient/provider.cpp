#include "toolbox/dbclient/provider.h"

#include <cctype>
#include <mutex>

#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace zun {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

struct Registry {
  std::mutex mutex;
  std::map<std::string, ProviderFactory> factories;
};

Registry& TheRegistry() {
  static Registry* r = new Registry;
  return *r;
}

}  // namespace

ConnectionString::ConnectionString(const std::string& text) : text_(text) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(start, end - start);
    const size_t eq = part.find('=');
    if (eq != std::string::npos) {
      const std::string key = Upper(Trim(part.substr(0, eq)));
      // Blanks around values are layout, except in a password.
      values_[key] = key == "PASSWORD" ? part.substr(eq + 1) : Trim(part.substr(eq + 1));
    }
    start = end + 1;
  }
}

std::string ConnectionString::Get(const std::string& key) const {
  auto it = values_.find(Upper(key));
  return it == values_.end() ? "" : it->second;
}

bool ConnectionString::Has(const std::string& key) const { return values_.count(Upper(key)) != 0; }

void RegisterProvider(const std::string& name, ProviderFactory factory) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.factories[Upper(name)] = std::move(factory);
}

void UnregisterProvider(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.factories.erase(Upper(name));
}

std::unique_ptr<ProviderConnection> CreateProviderConnection(const std::string& name) {
  ProviderFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.factories.find(Upper(name));
    if (it != r.factories.end()) factory = it->second;
  }
  if (factory) return factory();
  const std::string u = Upper(Trim(name));
  // Built in: the embedded provider needs no registration.
  if (u == Upper(kSqliteProviderName)) return std::make_unique<SqliteConnection>();
  if (u.rfind("SQLOLEDB", 0) == 0 || u.rfind("SQLNCLI", 0) == 0 || u.rfind("MSOLEDBSQL", 0) == 0) {
    throw ProviderError("Provider <" + name +
                        "> (SQL Server) needs the ODBC provider, which is not part of this build;"
                        " use Provider=SQLite");
  }
  throw ProviderError("Provider <" + name + "> is not registered");
}

}  // namespace zun
