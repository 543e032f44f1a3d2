#include "importers/market/event_call.h"

#include <exception>
#include <memory>

#include "engine/imp_root.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

bool GravaEvento(tImpRoot& imp, const char* proc, const std::function<void(Command&)>& preenche,
                 const std::string& prefixo, const std::string& prefixo_excecao, int32_t tolerado) {
  int32_t r = 0;
  try {
    r = ComComando(proc, [&](DsRef cmd) {
      preenche(*cmd);
      return ExecStProc(cmd, ModoStProc::kExecuta);
    });
  } catch (const std::exception& x) {
    imp.ErrMsgDoRegistro(prefixo_excecao + x.what());
    const auto* p = dynamic_cast<const ProviderError*>(&x);
    if (p != nullptr && p->Kind() == ErrorKind::kConnectionLost && imp.Erro == 0)
      imp.Erro = kErrChamada;
    return false;
  }
  if (r == 0) return true;
  std::string texto;
  TextoDoErro(r, &texto);
  imp.ErrMsgDoRegistro(prefixo + texto);
  // A lost link is the database's failure, not the line's: the file ends
  // and its next try runs on a new link.
  if (Db != nullptr && Db->LinkPerdidoNaChamada() && imp.Erro == 0) imp.Erro = r;
  return r == tolerado || r == kEventoSemEfeito;
}

}  // namespace zun
