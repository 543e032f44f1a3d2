#include "toolbox/dbclient/provider.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "foundation/text.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/odbc/odbc_provider.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace zun {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, ProviderFactory> factories;
};

Registry& TheRegistry() {
  static Registry* r = new Registry;
  return *r;
}

}  // namespace

void ApagaTexto(std::string* s) {
  std::fill(s->begin(), s->end(), '\0');
  s->clear();
}

void ConnectionString::Wipe() {
  ApagaTexto(&text_);
  for (auto& [key, value] : values_) ApagaTexto(&value);
  values_.clear();
}

ConnectionString::ConnectionString(const std::string& text) : text_(text) {
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t eq = text.find('=', pos);
    const size_t semi = text.find(';', pos);
    if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
      // A part without "=" carries nothing.
      if (semi == std::string::npos) break;
      pos = semi + 1;
      continue;
    }
    const std::string key = Maiusculas(AparaBrancos(text.substr(pos, eq - pos)));
    size_t v = eq + 1;
    while (v < text.size() && text[v] == ' ') ++v;
    std::string value;
    size_t end;
    if (v < text.size() && (text[v] == '"' || text[v] == '\'')) {
      // A quoted value may hold ";" and "="; the quote itself is doubled.
      const char q = text[v];
      size_t i = v + 1;
      for (; i < text.size(); ++i) {
        if (text[i] != q) {
          value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == q) {
          value += q;
          ++i;
        } else {
          break;
        }
      }
      end = text.find(';', i);
    } else {
      end = text.find(';', eq + 1);
      const std::string raw =
          text.substr(eq + 1, (end == std::string::npos ? text.size() : end) - eq - 1);
      // Blanks around values are layout, except in a password.
      value = key == "PASSWORD" ? raw : AparaBrancos(raw);
    }
    values_[key] = value;
    if (end == std::string::npos) break;
    pos = end + 1;
  }
}

std::string QuoteConnectionValue(const std::string& value) {
  const bool plain = value.find(';') == std::string::npos &&
                     (value.empty() || (value.front() != '"' && value.front() != '\'' &&
                                        value.front() != ' ' && value.back() != ' '));
  if (plain) return value;
  std::string out = "\"";
  for (char c : value) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string ConnectionString::Get(const std::string& key) const {
  auto it = values_.find(Maiusculas(key));
  return it == values_.end() ? "" : it->second;
}

bool ConnectionString::Has(const std::string& key) const {
  return values_.count(Maiusculas(key)) != 0;
}

void RegisterProvider(const std::string& name, ProviderFactory factory) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.factories[Maiusculas(name)] = std::move(factory);
}

void UnregisterProvider(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.factories.erase(Maiusculas(name));
}

std::unique_ptr<ProviderConnection> CreateProviderConnection(const std::string& name) {
  ProviderFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.factories.find(Maiusculas(name));
    if (it != r.factories.end()) factory = it->second;
  }
  if (factory) return factory();
  const std::string u = Maiusculas(AparaBrancos(name));
  // Built in: the embedded provider needs no registration.
  if (u == Maiusculas(kSqliteProviderName)) return std::make_unique<SqliteConnection>();
  if (IsOdbcProviderName(u)) return std::make_unique<OdbcConnection>();
  throw ProviderError("Provider <" + name + "> is not registered");
}

int ProviderConnection::ExecuteSqlParams(const std::string& sql, const std::vector<Value>&, int,
                                         std::vector<Recordset>*) {
  throw ProviderError("This provider runs no SQL text with parameters <" + sql + ">");
}

namespace {

// A row of a materialised result set seen as a RowView.
class LinhaDeRecordset : public RowView {
 public:
  explicit LinhaDeRecordset(const std::vector<Value>* row) : row_(row) {}
  int Count() const override { return static_cast<int>(row_->size()); }
  bool IsNull(int i) const override { return At(i).IsNull(); }
  int64_t Int(int i) const override { return At(i).IsNull() ? 0 : At(i).AsInt64(); }
  double Double(int i) const override { return At(i).IsNull() ? 0.0 : At(i).AsDouble(); }

 private:
  const Value& At(int i) const { return row_->at(static_cast<size_t>(i)); }
  const std::vector<Value>* row_;
};

}  // namespace

void ProviderConnection::ReadRows(const std::string& sql, const std::vector<Value>& binds,
                                  int timeout_seconds,
                                  const std::function<void(const RowView&)>& row) {
  std::vector<Recordset> out;
  ExecuteSqlParams(sql, binds, timeout_seconds, &out);
  for (const Recordset& rs : out) {
    for (const std::vector<Value>& r : rs.rows()) row(LinhaDeRecordset(&r));
  }
}

void ProviderConnection::Savepoint(const std::string& name) {
  throw ProviderError("This provider keeps no savepoints <" + name + ">");
}
void ProviderConnection::ReleaseSavepoint(const std::string& name) { Savepoint(name); }
void ProviderConnection::RollbackToSavepoint(const std::string& name) { Savepoint(name); }

int ProviderConnection::ExecuteSqlParamsRows(const std::string& sql,
                                             const std::vector<std::vector<Value>>& rows,
                                             int timeout_seconds) {
  int changed = 0;
  for (const std::vector<Value>& row : rows)
    changed += ExecuteSqlParams(sql, row, timeout_seconds, nullptr);
  return changed;
}

}  // namespace zun
