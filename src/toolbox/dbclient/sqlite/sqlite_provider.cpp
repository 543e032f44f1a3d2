#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace zun {
namespace {

EmbeddedServerFactory& Servidor() {
  static EmbeddedServerFactory* f = new EmbeddedServerFactory;
  return *f;
}

}  // namespace

void SetEmbeddedServer(EmbeddedServerFactory factory) { Servidor() = std::move(factory); }

bool HasEmbeddedServer() { return static_cast<bool>(Servidor()); }

void RegisterSqliteProvider() {
  RegisterProvider(kSqliteProviderName, [] { return std::make_unique<SqliteConnection>(); });
}

std::unique_ptr<EmbeddedServer> MakeEmbeddedServer(SqliteConnection& conn) {
  if (!Servidor()) return nullptr;
  return Servidor()(conn);
}

}  // namespace zun
