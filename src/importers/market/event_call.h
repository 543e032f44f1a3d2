// The write of a corporate action or a news record in the import pass: one
// stored-procedure call whose failure is reported on the record's line.
//
// Thread-safety: none; called by the import engine on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "toolbox/dbclient/command.h"

namespace zun {

class tImpRoot;

// The result the event procedures give when there is nothing to do (the
// event to delete is not stored, the news text is stored already). It
// never fails a record.
inline constexpr int32_t kEventoSemEfeito = 8604;

// Calls procedure proc in mode 0 with the parameters preenche sets, and
// gives its command object back on every path. A non-zero result adds
// prefixo + the error text of the result (TextoDoErro) with
// imp.ErrMsgDoRegistro (on the record's first line, also after a block);
// the call is then ok only for tolerado and kEventoSemEfeito. An exception
// adds prefixo_excecao + its message and is not ok. A call that lost the
// link also ends the file: imp.Erro gets the call's code (3939 for an
// exception). Returns whether the call was ok.
bool GravaEvento(tImpRoot& imp, const char* proc, const std::function<void(Command&)>& preenche,
                 const std::string& prefixo, const std::string& prefixo_excecao, int32_t tolerado);

}  // namespace zun
