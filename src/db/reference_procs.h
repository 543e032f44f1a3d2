// The writes of the small reference tables: countries, currencies,
// exchanges, voting status, the three account settings, corporate action
// types and the entries of the field types' choice lists.
//
// Each operation takes a command object for its stored procedure from the
// session Db, sets the parameters by name (texts exactly as given, not
// trimmed), executes it (mode 0), gives the command object back and returns
// 0 or the error code of the call. They raise nothing of their own; what
// taking the command object raises (3718 without Db, a client error) goes
// to the caller, and the command object is given back on every path.
//
// Thread-safety: none; main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

// "PaisPut": "@id", "@cod", "@nome".
[[nodiscard]] int32_t PaisPut(int32_t id, const std::string& cod, const std::string& nome);

// "MoedaPut": "@id", "@cod", "@pais", "@nome".
[[nodiscard]] int32_t MoedaPut(int32_t id, const std::string& cod, int32_t pais,
                               const std::string& nome);

// "BolsaPut": "@id", "@pais", "@cod", "@codiso10383".
[[nodiscard]] int32_t BolsaPut(int32_t id, int32_t pais, const std::string& cod,
                               const std::string& codiso);

// "VoteStatPut": "@id", "@cod".
[[nodiscard]] int32_t VoteStatPut(int32_t id, const std::string& cod);

// "HideNoZunInputPut": "@IdConta".
[[nodiscard]] int32_t HideNoZunInputPut(int32_t id_conta);

// "BlocoPadraoNaDigitacaoPut": "@Num", "@IdConta".
[[nodiscard]] int32_t BlocoPadraoNaDigitacaoPut(int32_t num, int32_t id_conta);

// "IdentificacaoDeContasPut": "@Identificacao", "@IdConta".
[[nodiscard]] int32_t IdentificacaoDeContasPut(int32_t identificacao, int32_t id_conta);

// "OcoTipoPut": "@id", "@seq", "@abrv", "@nome", "@loca" (always 0),
// "@lb1", "@lb2".
[[nodiscard]] int32_t OcoTipoPut(int32_t id, int32_t seq, const std::string& abrv,
                                 const std::string& lb2, const std::string& lb1,
                                 const std::string& nome);

// "AddListChoice": "@FC" = fc, "@id_new" = novo, "@id_id" = id, "@id_doc" =
// doc, "@nomePT", "@nomeEN", "@nomeES". Afterwards, whatever the result,
// the choice list of fc in ListasDeValores (when fc lies in 0..245 and has
// one) is marked unread, so that its next use reads the changed list.
[[nodiscard]] int32_t AddListChoice(int32_t fc, bool novo, int32_t id, const std::string& doc,
                                    const std::string& nome_pt, const std::string& nome_en,
                                    const std::string& nome_es);

}  // namespace zun
