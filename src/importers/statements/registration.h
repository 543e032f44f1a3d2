// The one place where the statement importers are entered into the import
// engine's keyword table.
//
// Thread-safety: none; call at start-up on the main thread, before the
// first file is imported.
#pragma once

namespace zun {

// Registers every importer of this folder with RegistraImportador. Returns
// false when an entry was refused; the others are registered all the same.
bool RegistraImportadoresDeBalancos();

}  // namespace zun
