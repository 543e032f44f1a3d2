// The importers the service knows: every importer folder's registration,
// entered into the import engine's keyword table at start-up. This is the
// only place that names every importer family.
//
// Thread-safety: none; call once at start-up on the main thread.
#pragma once

namespace zun {

// Registers the importers of every folder, then checks that every keyword
// of the table has its importer. Logs "RegistraImportadores failed:
// <folder>" for a folder that had an entry refused and "RegistraImportadores
// sem importador para <keyword>" for each keyword left without one, and
// returns false; true otherwise.
bool RegistraImportadores();

}  // namespace zun
