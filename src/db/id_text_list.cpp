#include "db/id_text_list.h"

#include <algorithm>
#include <utility>

#include "db/codes.h"
#include "db/texto_na_lingua.h"
#include "db/user_context.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

bool ComecaComSemCaixa(const std::string& s, const std::string& prefix) {
  if (prefix.size() > s.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (MaiusculaCp1252(static_cast<unsigned char>(s[i])) !=
        MaiusculaCp1252(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

// Number of "|"-separated fields of s.
int ContaCampos(const std::string& s) {
  return 1 + static_cast<int>(std::count(s.begin(), s.end(), '|'));
}

int32_t ColunaInt(const Recordset& rs, int col) {
  const Value& v = rs.Field(col);
  return v.IsNull() ? 0 : v.AsInt();
}

std::string ColunaStr(const Recordset& rs, int col) { return rs.Field(col).AsString(); }

}  // namespace

tIntStgList::tIntStgList(std::string nome_do_proc, int32_t valor_do_param,
                         std::string nome_do_param, CommandType tipo)
    : NomeDoProc(std::move(nome_do_proc)),
      TipoDeComando(tipo),
      NomeDoParam(std::move(nome_do_param)),
      ValorDoParam(valor_do_param) {}

void tIntStgList::GaranteLido() {
  if (Lido) return;
  // Marked first: a failed read is not repeated by every later use.
  Lido = true;
  bool lendo = false;
  const int32_t e = ChamaComGuarda(
      NomeDoProc, "tIntStgList.GaranteLido " + NomeDoProc, kErrChamada,
      [&](DsRef cmd, int32_t* code) {
        if (!NomeDoParam.empty()) {
          SetParamInt(cmd, NomeDoParam, ValorDoParam);
          *code = ExecStProc(cmd, ModoStProc::kLeResult);
          if (*code == kErrSemColunaResult || *code == kErrSemResultSet) {
            // No status column: the first result set holds the rows.
            *code = 0;
          } else if (*code == 0) {
            cmd->NextRecordset();
          }
        } else {
          *code = ExecStProc(cmd, ModoStProc::kExecutaEAbre);
        }
        if (*code != 0) return;
        lendo = true;
        Carrega(cmd.get());
      },
      TipoDeComando);
  if (e == 0) return;
  // Rows that cannot be read leave the list empty, never half filled.
  if (lendo) Itens.clear();
  Loga("tIntStgList.GaranteLido " + NomeDoProc + " DSParamName:" + NomeDoParam + "=" +
       std::to_string(ValorDoParam) + " erro:" + std::to_string(e));
  throw EZunInputException(e);
}

bool tIntStgList::Carrega(Command* cmd) {
  Itens.clear();
  F3MPronto = false;
  F3M.reset();
  if (cmd->Active()) {
    Recordset& rs = cmd->Current();
    const int n = rs.RecordCount();
    const int cols = rs.FieldCount();
    Itens.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      rs.MoveTo(i + 1);
      IntStgItem& it = Itens[static_cast<size_t>(i)];
      if (cols > 0) it.Id = ColunaInt(rs, 0);
      if (cols > 1) it.Texto = Apara(ColunaStr(rs, 1));
      if (cols > 2) it.Campo2 = ColunaInt(rs, 2);
      if (cols > 3) it.Campo3 = ColunaInt(rs, 3);
      if (cols > 4) it.Campo4 = ColunaInt(rs, 4);
      if (cols > 5) it.Texto2 = ColunaStr(rs, 5);
    }
  }
  Lido = true;
  return true;
}

void tIntStgList::Reinicia() {
  Itens.clear();
  Lido = false;
  // The marked set belongs to the rows read; the next read rebuilds it.
  F3MPronto = false;
  F3M.reset();
}

int tIntStgList::Conta() {
  GaranteLido();
  return static_cast<int>(Itens.size());
}

IntStgItem* tIntStgList::ItemEm(int index) {
  GaranteLido();
  if (index < 0 || index >= static_cast<int>(Itens.size())) return nullptr;
  return &Itens[index];
}

int32_t tIntStgList::IdEm(int index) {
  IntStgItem* it = ItemEm(index);
  return it ? it->Id : -1;
}

int tIntStgList::IndexOfId(int32_t id) {
  GaranteLido();
  for (size_t i = 0; i < Itens.size(); ++i) {
    if (Itens[i].Id == id) return static_cast<int>(i);
  }
  return -1;
}

int tIntStgList::IndexOfIdFiltrado(int32_t id, int32_t campo2, bool qualquer_campo2,
                                   int32_t mascara) {
  GaranteLido();
  int pos = 0;
  for (const IntStgItem& it : Itens) {
    if ((qualquer_campo2 || it.Campo2 == campo2) && (it.Marca & mascara) == 0) {
      if (it.Id == id) return pos;
      ++pos;
    }
  }
  return -1;
}

IntStgItem* tIntStgList::ItemDoId(int32_t id) { return ItemEm(IndexOfId(id)); }

std::string tIntStgList::TextoDoId(int32_t id, bool na_quando_falta) {
  IntStgItem* it = ItemDoId(id);
  if (it) return it->Texto;
  return na_quando_falta ? "NA(" + std::to_string(id) + ")" : "";
}

int32_t tIntStgList::IdDoTexto(const std::string& text, int32_t campo2, bool exato) {
  GaranteLido();
  for (const IntStgItem& it : Itens) {
    if (it.Campo2 != campo2) continue;
    if (exato ? it.Texto == text : ComecaComSemCaixa(it.Texto, text)) return it.Id;
  }
  return -1;
}

int32_t tIntStgList::IdDoTextoNaLingua(const std::string& text) {
  GaranteLido();
  for (size_t i = Itens.size(); i-- > 0;) {
    if (TextoNaLingua(Itens[i].Texto) == text) return Itens[i].Id;
  }
  return -1;
}

int32_t tIntStgList::IdDoTexto2(const std::string& text) {
  GaranteLido();
  for (size_t i = Itens.size(); i-- > 0;) {
    if (Itens[i].Texto2 == text) return Itens[i].Id;
  }
  return -1;
}

void tIntStgList::AdicionaLocal(int32_t id, const std::string& text, int32_t campo2) {
  IntStgItem it;
  it.Id = id;
  it.Texto = text;
  it.Campo2 = campo2;
  Itens.push_back(std::move(it));
  Lido = true;
}

bool tIntStgList::TemMarcaF3M(int32_t id, const std::string& contexto) {
  GaranteLido();
  if (!F3MPronto) {
    std::bitset<256> marcados;
    for (const IntStgItem& it : Itens) {
      if (it.Campo3 == 0) continue;
      if (it.Id < 0 || it.Id > 255) {
        Loga("Error: ISL.GSF3M " + NomeDoProc + " id:" + std::to_string(it.Id) + " F3M->" +
             contexto);
        throw EZunInputException(kErrListaMarcaFora);
      }
      marcados.set(static_cast<size_t>(it.Id));
    }
    F3M = marcados;
    F3MPronto = true;
  }
  return id >= 0 && id <= 255 && F3M.test(static_cast<size_t>(id));
}

tIntStgListMultiLng::tIntStgListMultiLng(bool id_zero_primeiro, std::string nome_do_proc_add,
                                         int32_t valor_do_param, std::string nome_do_param,
                                         CommandType tipo, std::string nome_do_proc)
    : tIntStgList(std::move(nome_do_proc), valor_do_param, std::move(nome_do_param), tipo),
      IdZeroPrimeiro(id_zero_primeiro),
      NomeDoProcAdd(std::move(nome_do_proc_add)) {}

bool tIntStgListMultiLng::Carrega(Command* cmd) {
  tIntStgList::Carrega(cmd);
  CompletaEOrdena(&Itens, IdZeroPrimeiro);
  return true;
}

int32_t tIntStgListMultiLng::AdicionaItem(const std::string& nomes, int32_t* e,
                                          const std::string& contexto) {
  *e = 0;
  int32_t id = -1;
  const int campos = ContaCampos(nomes);
  const std::string pt = CampoDoTexto(1, nomes);
  const std::string en = campos >= 2 ? CampoDoTexto(2, nomes) : "";
  const std::string es = campos >= 3 ? CampoDoTexto(3, nomes) : "";
  bool procedimento_rodou = false;
  if (NomeDoProcAdd.empty()) {
    *e = kErrNaoEhProcedimento;
  } else {
    *e = ChamaComGuarda(NomeDoProcAdd, "ISLML.AddItem " + NomeDoProcAdd, kErrChamada,
                        [&](DsRef cmd, int32_t* code) {
                          if (!NomeDoParam.empty()) SetParamInt(cmd, NomeDoParam, ValorDoParam);
                          SetParamStr(cmd, "@ItemNamePT", pt);
                          SetParamStr(cmd, "@ItemNameEN", en);
                          SetParamStr(cmd, "@ItemNameES", es);
                          *code = ExecStProc(cmd, ModoStProc::kExecuta);
                          procedimento_rodou = *code == 0;
                          if (*code == 0) GetParamInt(cmd, "@ItemId", &id);
                        });
  }
  // Once the procedure has run, the list is read again even when its answer
  // could not be read: the item may be in the database.
  if (procedimento_rodou) Reinicia();
  if (*e != 0) id = -1;
  Loga("ISLML.AddItem " + NomeDoProcAdd + " param:" + std::to_string(ValorDoParam) +
       " itemid:" + std::to_string(id) + " error:" + std::to_string(*e) + " st:<" + nomes + ">" +
       " " + contexto);
  return id;
}

void tIntStgListMultiLng::CompletaEOrdena(std::vector<IntStgItem>* itens, bool id_zero_primeiro) {
  for (IntStgItem& it : *itens) {
    if (it.Texto.find('|') == std::string::npos) continue;
    std::string c[3] = {CampoDoTexto(1, it.Texto), CampoDoTexto(2, it.Texto),
                        CampoDoTexto(3, it.Texto)};
    if (!c[0].empty() && !c[1].empty() && !c[2].empty()) continue;
    const std::string* ultimo = nullptr;
    for (int i = 2; i >= 0 && !ultimo; --i) {
      if (!c[i].empty()) ultimo = &c[i];
    }
    if (ultimo) {
      const std::string fill = *ultimo;
      for (std::string& s : c) {
        if (s.empty()) s = fill;
      }
    }
    it.Texto = c[0] + "|" + c[1] + "|" + c[2];
  }
  // A stable sort by the name in the user's language, plain byte order;
  // equal names keep their order.
  std::vector<std::pair<std::string, IntStgItem>> chaves;
  chaves.reserve(itens->size());
  for (IntStgItem& it : *itens) chaves.emplace_back(TextoNaLingua(it.Texto), std::move(it));
  std::stable_sort(chaves.begin(), chaves.end(), [](const auto& a, const auto& b) {
    return a.first < b.first;  // std::string compares bytes as unsigned char
  });
  itens->clear();
  for (auto& k : chaves) itens->push_back(std::move(k.second));
  if (id_zero_primeiro) {
    auto zero =
        std::find_if(itens->begin(), itens->end(), [](const IntStgItem& it) { return it.Id == 0; });
    if (zero != itens->end() && zero != itens->begin()) {
      std::rotate(itens->begin(), zero, zero + 1);
    }
  }
}

void ZunMsgTextHook(int32_t /*code*/, std::string* text) { text->clear(); }

void InstalaMsgTextHook() { MsgTextHook = ZunMsgTextHook; }

}  // namespace zun
