#include "toolbox/dbutil/error_text.h"

#include "foundation/exception_trace.h"
#include "foundation/log.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/db_exception.h"

namespace zun {

TMsgTextHook MsgTextHook;

namespace {

bool TemTextoNoHook(int32_t code) {
  return (code >= 3000 && code <= 9000) || (code >= 15000 && code <= 19999) ||
         (code >= 40000 && code <= 44999);
}

}  // namespace

void TextoDoErro(int32_t code, std::string* text) {
  text->clear();
  if (MsgTextHook && TemTextoNoHook(code)) {
    std::string msg;
    MsgTextHook(code + 23000, &msg);
    if (!msg.empty()) {
      *text = msg + " error:" + std::to_string(code);
      return;
    }
  }
  *text = "error:" + std::to_string(code);
}

void CodigoDaExcecao(const std::string& place, int32_t* code, const std::exception& x,
                     int32_t dflt) {
  if (*code == 0) {
    if (const auto* db = dynamic_cast<const EDBException*>(&x)) *code = db->Code();
  }
  if (*code == 0) *code = dflt;
  if (*code == 0) *code = kErrExcecaoSemCodigo;
  Loga(place + " erro:" + std::to_string(*code) + " " + NomeDaClasse(x) + ":" + x.what());
}

void LogaExcecaoNoLugar(const std::exception& x, const std::string& place) {
  LogaExcecao("exception " + NomeDaClasse(x) + ":" + x.what() + " " + place, "");
}

}  // namespace zun
