// The market data importers on the importer tests' database.
#pragma once

#include "../imp_de_teste.h"
#include "importers/market/registration.h"

namespace zun {

using MercadoDb = ImportDb<RegistraImportadoresDeMercado>;

}  // namespace zun
