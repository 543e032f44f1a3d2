#include "db/reference_procs.h"

#include <initializer_list>
#include <memory>
#include <utility>

#include "db/global_state.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

using Parametros = std::initializer_list<std::pair<const char*, Value>>;

// Calls proc in mode 0 with the parameters set exactly as given. The
// command object is given back also when setting a parameter raises.
[[nodiscard]] int32_t ChamaPut(const char* proc, Parametros parametros) {
  return ComComando(proc, [&](DsRef cmd) {
    for (const auto& [nome, valor] : parametros) cmd->Params().ParamByName(nome).value = valor;
    return ExecStProc(cmd, ModoStProc::kExecuta);
  });
}

}  // namespace

int32_t PaisPut(int32_t id, const std::string& cod, const std::string& nome) {
  return ChamaPut(
      "PaisPut",
      {{"@id", Value::Int(id)}, {"@cod", Value::String(cod)}, {"@nome", Value::String(nome)}});
}

int32_t MoedaPut(int32_t id, const std::string& cod, int32_t pais, const std::string& nome) {
  return ChamaPut("MoedaPut", {{"@id", Value::Int(id)},
                               {"@cod", Value::String(cod)},
                               {"@pais", Value::Int(pais)},
                               {"@nome", Value::String(nome)}});
}

int32_t BolsaPut(int32_t id, int32_t pais, const std::string& cod, const std::string& codiso) {
  return ChamaPut("BolsaPut", {{"@id", Value::Int(id)},
                               {"@pais", Value::Int(pais)},
                               {"@cod", Value::String(cod)},
                               {"@codiso10383", Value::String(codiso)}});
}

int32_t VoteStatPut(int32_t id, const std::string& cod) {
  return ChamaPut("VoteStatPut", {{"@id", Value::Int(id)}, {"@cod", Value::String(cod)}});
}

int32_t HideNoZunInputPut(int32_t id_conta) {
  return ChamaPut("HideNoZunInputPut", {{"@IdConta", Value::Int(id_conta)}});
}

int32_t BlocoPadraoNaDigitacaoPut(int32_t num, int32_t id_conta) {
  return ChamaPut("BlocoPadraoNaDigitacaoPut",
                  {{"@Num", Value::Int(num)}, {"@IdConta", Value::Int(id_conta)}});
}

int32_t IdentificacaoDeContasPut(int32_t identificacao, int32_t id_conta) {
  return ChamaPut("IdentificacaoDeContasPut", {{"@Identificacao", Value::Int(identificacao)},
                                               {"@IdConta", Value::Int(id_conta)}});
}

int32_t OcoTipoPut(int32_t id, int32_t seq, const std::string& abrv, const std::string& lb2,
                   const std::string& lb1, const std::string& nome) {
  return ChamaPut("OcoTipoPut", {{"@id", Value::Int(id)},
                                 {"@seq", Value::Int(seq)},
                                 {"@abrv", Value::String(abrv)},
                                 {"@nome", Value::String(nome)},
                                 {"@loca", Value::Int(0)},
                                 {"@lb1", Value::String(lb1)},
                                 {"@lb2", Value::String(lb2)}});
}

int32_t AddListChoice(int32_t fc, bool novo, int32_t id, const std::string& doc,
                      const std::string& nome_pt, const std::string& nome_en,
                      const std::string& nome_es) {
  // The list is marked unread also when the call raises.
  struct Reinicia {
    int32_t fc;
    ~Reinicia() {
      if (fc >= 0 && fc < kNumFormatosCampo && ListasDeValores[static_cast<size_t>(fc)]) {
        ListasDeValores[static_cast<size_t>(fc)]->Reinicia();
      }
    }
  } reinicia{fc};
  return ChamaPut("AddListChoice", {{"@FC", Value::Int(fc)},
                                    {"@id_new", Value::Bool(novo)},
                                    {"@id_id", Value::Int(id)},
                                    {"@id_doc", Value::String(doc)},
                                    {"@nomePT", Value::String(nome_pt)},
                                    {"@nomeEN", Value::String(nome_en)},
                                    {"@nomeES", Value::String(nome_es)}});
}

}  // namespace zun
