// The importers the service knows: every importer folder's registration,
// entered into the import engine's keyword table at start-up. This is the
// only place that names every importer family.
//
// Thread-safety: none; call once at start-up on the main thread.
#pragma once

namespace zun {

// Registers the importers of every folder. Logs "RegistraImportadores
// failed: <folder>" for a folder that had an entry refused (a keyword then
// stays refused with 3942) and returns false; true otherwise.
bool RegistraImportadores();

}  // namespace zun
