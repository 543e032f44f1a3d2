// The one place where the importers of parties, compositions and share
// bases are entered into the import engine's keyword table. Each unit of
// this folder adds its entries to the list in registration.cpp.
//
// Thread-safety: none; call at start-up on the main thread, before the
// first file is imported.
#pragma once

namespace zun {

// Registers every importer of this folder with RegistraImportador. Returns
// false when an entry was refused (its shape differs from its keyword
// rows'); the others are registered all the same.
bool RegistraImportadoresDeParticipacoes();

}  // namespace zun
