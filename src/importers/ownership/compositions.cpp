#include "importers/ownership/compositions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "db/global_state.h"
#include "db/object_lookups.h"
#include "db/type_names.h"
#include "engine/codes.h"
#include "engine/imp_main.h"
#include "engine/keyword_table.h"
#include "engine/value_formats.h"
#include "foundation/exception_trace.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/switches.h"
#include "foundation/text.h"
#include "importers/ownership/ownership_codes.h"
#include "importers/ownership/shareholders.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

bool ComecaCom(const std::string& s, const char* prefixo, std::string* resto) {
  const std::string p(prefixo);
  if (s.compare(0, p.size(), p) != 0) return false;
  *resto = s.substr(p.size());
  return true;
}

// One item line as read.
struct UmItemCac {
  std::string Doc;
  std::string DocComoEscrito;  // before the line's first field was upper-cased
  int32_t CodigoNoPais = 0;
  bool TemCodigo = false;
  int32_t Pais = 0;
  int32_t Nac = 0;
  int32_t TipoAplicacao = 0;
  int32_t TipoClassificacao = 0;
  double V1 = 0, V0 = 0, V2 = 0, V3 = 0;
};

// The state of one block across its item lines.
struct Bloco {
  TImpMain& imp;
  uint8_t tipo;
  tCacItems itens;
  int32_t porcentagens = 0;
  int32_t erro_lembrado = 0;  // check pass: the first document look-up code
};

bool Especial(int32_t nac) { return nac == NacTotal || nac == NacBase || nac == NacFreeFloat; }

// The company of the keyword line; 0 with the message and 4406 when none.
int32_t Empresa(TImpMain& imp, std::string* cod, const std::string& pais, int32_t* code) {
  int32_t erro = 0, emp = 0;
  try {
    emp = imp.ShPortFlag ? GetIdEmpCache(*cod, pais, &erro) : GetIdEmp(*cod, pais, &erro);
    std::string registrado;
    int32_t emp_reg = 0, anb_reg = 0;
    if (emp == 0 && cod->find("-provis") != std::string::npos &&
        GetRegistroCodCVMparaAnbima(*cod, &registrado, &emp_reg, &anb_reg)) {
      *cod = registrado;
      emp = emp_reg;
    }
  } catch (const std::exception& x) {
    CodigoDaExcecao("ImportaComposicao", &erro, x, kErrChamada);
    emp = 0;
  }
  if (emp == 0) {
    imp.ErrMsg("Invalid company " + *cod + "/" + pais);
    *code = kCacEmpresa;
  }
  return emp;
}

// The fields of the keyword line; 0 or the first error.
[[nodiscard]] int32_t LeCabecalho(TImpMain& imp, bool carteira, TCacHeader* h) {
  tParserWrapper& p = *imp.Parser;
  std::string cod(p.Field(1));
  if (cod.empty()) {
    imp.ErrMsg("Empty <company>");
    return kCacEmpresaVazia;
  }
  const std::string pais_texto(p.Field(2));
  int32_t pais = 0, code = 0;
  code = imp.StrToPais(pais_texto, &pais);
  if (code != 0) return code;
  h->Emp = Empresa(imp, &cod, pais_texto, &code);
  if (code != 0) return code;
  if (!StrToDateOk(p.Field(3), &h->DtRef) || EhDataZero(h->DtRef)) {
    imp.ErrMsg("Invalid date");
    return kCacDtRef;
  }
  if (!StrToDateOk(p.Field(4), &h->DtPub)) {
    imp.ErrMsg("Invalid date");
    return kCacDtPub;
  }
  const std::string pct(p.Field(5));
  if (!pct.empty() && pct != "-") imp.Msg("Token InPct:\"" + pct + "\" ignored");
  const std::string tipo(p.Field(6));
  h->TipoDocumento = 0;
  if (!carteira) {
    if (!tipo.empty()) {
      imp.ErrMsg("Too many fields");
      return kErrCamposDemais;
    }
  } else if (tipo.empty()) {
    h->TipoDocumento = 1;
  } else {
    int32_t t = 0;
    if (!StrToIntOk(tipo, &t)) return kCacTipoNaoNumero;
    // Only the portfolio kinds are taken: any other number would replace
    // the company's shareholder composition with portfolio items.
    if (t != 1 && t != 3) return kCacTipoInvalido;
    h->TipoDocumento = static_cast<uint8_t>(t);
  }
  imp.Msg(std::string("DocType: ") + NomeDoTipoDeComposicao(h->TipoDocumento));
  for (int32_t i = 7; i <= 9; ++i) {
    if (!p.Field(i).empty()) {
      imp.ErrMsg("Too many fields");
      return kErrCamposDemais;
    }
  }
  return 0;
}

// The values of a portfolio line (after TipoAplicacao); 0 or an error.
[[nodiscard]] int32_t LeValoresDeCarteira(Bloco& b, UmItemCac* u, std::string* ultimo) {
  tParserWrapper& p = *b.imp.Parser;
  bool leu_valor = false;
  for (int32_t k = 0; k < 3; ++k) {
    const std::string s(p.NextField());
    *ultimo = s;
    if (s.empty()) {
      if (k == 0) return kCacSemValor;
      break;
    }
    if (s.back() == '%') {
      if (b.porcentagens++ == 0) b.imp.Msg("Percentage values are ignored");
      continue;
    }
    if (s[0] == '#' || leu_valor) {
      const std::string c = s[0] == '#' ? s.substr(1) : s;
      if (c == "-") {
        u->TipoClassificacao = 0;
        continue;
      }
      int32_t id = 0;
      if (!StrToIntOk(c, &id) || (id != 0 && (!EnumPfItemTipoClassificacao ||
                                              EnumPfItemTipoClassificacao->IndexOfId(id) < 0))) {
        return kCacClassificacao;
      }
      u->TipoClassificacao = id;
      continue;
    }
    if (!StrToFloatOk(s, &u->V3)) return kCacValorCarteira;
    leu_valor = true;
  }
  return 0;
}

// The values of a shareholder line; 0 or an error.
[[nodiscard]] int32_t LeValoresDeAcionista(tParserWrapper& p, UmItemCac* u, std::string* ultimo) {
  struct {
    double* v;
    int32_t erro;
  } const campos[] = {{&u->V1, kCacValor1}, {&u->V0, kCacValor0}, {&u->V2, kCacValor2}};
  const int n = p.Count() == 5 ? 3 : 2;
  for (int i = 0; i < n; ++i) {
    *ultimo = std::string(p.NextField());
    if (!StrToFloatOk(*ultimo, campos[i].v)) return campos[i].erro;
  }
  return 0;
}

// The party of the line from its document; false ends the block with
// *code. A forgiven or cleared failure leaves party id 0 and goes on.
bool ResolveDoc(Bloco& b, UmItemCac* u, bool pode_limpar, int32_t* code) {
  int32_t erro = 0;
  if (b.imp.ShPortFlag) {
    u->Nac = AcionistaIdPorDocPais(u->Doc, u->Pais, &erro);
  } else {
    tNacRec f;
    bool principal = true;
    std::string nome_principal;
    erro = AcionistaGetByDocPais(u->Doc, u->Pais, "", pode_limpar, &f, &principal, &nome_principal);
    u->Nac = erro == 0 ? f.Id : 0;
  }
  if (erro == 0) return true;
  if (b.imp.ToNoCheck && (b.imp.SHAdded->Contem(NormalizaDoc(u->Doc), u->Pais) ||
                          b.imp.SHAdded->Contem(NormalizaDoc(u->DocComoEscrito), u->Pais))) {
    u->Nac = 0;
    return true;
  }
  b.imp.ErrMsg("ImpCac invalid doc:\"" + u->Doc + "\"/" + std::to_string(u->Pais) +
               " error:" + std::to_string(erro) + " valor:" + NumeroSql(u->V3));
  if (b.imp.ToNoCheck) {
    if (b.erro_lembrado == 0) b.erro_lembrado = erro;
    if (erro == b.erro_lembrado) return true;
  }
  *code = erro;
  return false;
}

// One item line; false ends the block with *code.
bool LeItem(Bloco& b, int32_t* code) {
  tParserWrapper& p = *b.imp.Parser;
  UmItemCac u;
  bool pode_limpar = true, tem_id = false;
  u.DocComoEscrito = std::string(p.Field(0));
  std::string ultimo = Maiusculas(u.DocComoEscrito);
  const std::string primeiro = ultimo;
  std::string resto;
  auto le_pais = [&]() {
    ultimo = std::string(p.NextField());
    *code = b.imp.StrToPais(ultimo, &u.Pais);
    return *code == 0;
  };
  auto le_numero = [&](int32_t* n) {
    if (StrToIntOk(resto, n)) return true;
    *code = kCacIdDaParte;
    return false;
  };
  bool ok = true;
  if (ComecaCom(primeiro, "NOTTOCLEANDOC:", &resto)) {
    u.Doc = resto;
    u.DocComoEscrito.erase(0, u.DocComoEscrito.size() - resto.size());
    pode_limpar = false;
    ok = le_pais();
  } else if (ComecaCom(primeiro, "IDSHAREHOLDER:", &resto) ||
             ComecaCom(primeiro, "IDPFITEM:", &resto)) {
    ok = le_numero(&u.Nac);
    tem_id = true;
  } else if (ComecaCom(primeiro, "IDSHAREHOLDERNOPAIS:", &resto) ||
             ComecaCom(primeiro, "IDPFITEMNOPAIS:", &resto)) {
    ok = le_numero(&u.CodigoNoPais) && le_pais();
    u.TemCodigo = true;
  } else if (primeiro == "TOTAL" || primeiro == "BASE" || primeiro == "FREE-FLOAT") {
    if (Maiusculas(std::string(p.Field(1))) == primeiro) {
      ultimo = std::string(p.Field(1));
      u.Nac = primeiro == "TOTAL" ? NacTotal : primeiro == "BASE" ? NacBase : NacFreeFloat;
      tem_id = true;
    } else {
      p.SetIndex(1);
      u.Doc = primeiro;
      ok = le_pais();
    }
  } else {
    p.SetIndex(1);
    u.Doc = primeiro;
    ok = le_pais();
  }
  const bool especial = (tem_id && Especial(u.Nac)) ||
                        (u.TemCodigo && Especial(IdDoCodigoNoPais(u.CodigoNoPais, u.Pais)));
  if (ok && b.tipo != 0 && !especial) {
    ultimo = std::string(p.NextField());
    if (!StrToIntOk(ultimo, &u.TipoAplicacao)) {
      *code = kCacTipoAplicacao;
      ok = false;
    }
  }
  if (ok) {
    *code =
        b.tipo != 0 ? LeValoresDeCarteira(b, &u, &ultimo) : LeValoresDeAcionista(p, &u, &ultimo);
    ok = *code == 0;
  }
  for (int32_t i = 0; ok && i < 5; ++i) {
    const std::string s(p.NextField());
    if (s.empty()) continue;
    b.imp.ErrMsg("ImpCac line too long: " + s);
    ultimo = s;
    *code = kCacLinhaLonga;
    ok = false;
  }
  // Every failed line but an ignored item is reported with its last field.
  auto falha = [&]() {
    b.imp.ErrMsg("ImpCac invalid line <" + ultimo + "> error:" + std::to_string(*code));
    return false;
  };
  if (!ok) return falha();
  if (!tem_id) {
    if (b.tipo != 0 && u.V3 == 0) {
      b.imp.Msg("Ignored item: #" + std::to_string(u.Nac) + " \"" + u.Doc + "\"/" +
                std::to_string(u.Pais));
      return true;
    }
    if (u.TemCodigo) {
      u.Nac = IdDoCodigoNoPais(u.CodigoNoPais, u.Pais);
      if (u.Nac == 0) {
        *code = kCacIdDaParte;
        return falha();
      }
    } else if (!ResolveDoc(b, &u, pode_limpar, code)) {
      return falha();
    }
  }
  PoeValor(&b.itens, u.Nac, u.TipoAplicacao, true, u.V1, 1, u.TipoClassificacao);
  PoeValor(&b.itens, u.Nac, u.TipoAplicacao, true, u.V0, 0, u.TipoClassificacao);
  PoeValor(&b.itens, u.Nac, u.TipoAplicacao, true, u.V2, 2, u.TipoClassificacao);
  PoeValor(&b.itens, u.Nac, u.TipoAplicacao, true, u.V3, 3, u.TipoClassificacao);
  return true;
}

// Runs one SQL text statement of numbers only.
void ExecutaSql(const std::string& sql) {
  ComComando(
      sql, [](DsRef cmd) { cmd->Execute(); }, CommandType::kText);
}

// The header parameters of "CacAddV2" and "CacPutV2".
void PoeCabecalho(DsRef cmd, const TCacHeader& h, double dtrtf) {
  SetParamInt(cmd, "@id", h.Id);
  SetParamInt(cmd, "@emp", h.Emp);
  SetParamDateTime(cmd, "@dtref", h.DtRef);
  SetParamDateTime(cmd, "@dtpub", h.DtPub);
  SetParamDateTime(cmd, "@dtrtf", dtrtf);
  SetParamBool(cmd, "@inpct", false);
  SetParamInt(cmd, "@TipoDocumento", h.TipoDocumento);
}

}  // namespace

int32_t IdDoCodigoNoPais(int32_t codigo, int32_t pais) {
  if (pais == 9) {
    if (codigo == 65535) return NacTotal;
    if (codigo == 65534) return NacBase;
    if (codigo == 65533) return NacFreeFloat;
  }
  // A negative code, or one past the country's last, would name a party of
  // another country.
  if (codigo < 0 || codigo > kMaxCodigoNoPais) return 0;
  const int64_t id = codigo < 10000 ? int64_t{pais} * 10000 + codigo
                                    : (int64_t{pais} + 100) * 100000 + codigo - 10000;
  return id < 1 || id > std::numeric_limits<int32_t>::max() ? 0 : static_cast<int32_t>(id);
}

void PoeValor(tCacItems* itens, int32_t nac, int32_t tipo_aplicacao, bool soma, double valor,
              uint8_t vot, int32_t tipo_classificacao) {
  std::vector<TCacItem>& v = itens->Itens;
  int64_t i = static_cast<int64_t>(v.size()) - 1;
  for (; i >= 0; --i) {
    const TCacItem& it = v[static_cast<size_t>(i)];
    if (it.Nac == nac && it.TipoAplicacao == tipo_aplicacao && it.Vot == vot &&
        it.TipoClassificacao == tipo_classificacao) {
      break;
    }
  }
  if (std::isnan(valor) || (valor == 0 && !soma)) {
    if (i >= 0) {
      v[static_cast<size_t>(i)] = v.back();
      v.pop_back();
    }
    return;
  }
  if (i < 0) {
    v.push_back({nac, tipo_aplicacao, tipo_classificacao, vot, false, 0});
    i = static_cast<int64_t>(v.size()) - 1;
  }
  TCacItem& it = v[static_cast<size_t>(i)];
  it.Vlr = soma ? it.Vlr + valor : valor;
}

bool CompactaItens(tCacItems* itens) {
  const bool carteira = itens->TipoDocumento != 0;
  std::vector<TCacItem> mantidos;
  for (const TCacItem& it : itens->Itens) {
    const bool vot_do_tipo = carteira ? it.Vot == 3 : it.Vot <= 2;
    if (std::isfinite(it.Vlr) && it.Vlr != 0 && vot_do_tipo) mantidos.push_back(it);
  }
  const bool tirou = mantidos.size() != itens->Itens.size();
  itens->Itens = std::move(mantidos);
  return tirou;
}

std::string NumeroSql(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

bool GravaItensDaCac(tCacItems* itens, int32_t cac, bool nova) {
  const std::string id = std::to_string(cac);
  if (!nova) ExecutaSql("delete from compaccitem where cac = " + id);
  CompactaItens(itens);
  for (const TCacItem& it : itens->Itens) {
    if (it.Excluido) continue;
    const std::string comum = id + "," + std::to_string(it.Nac) + "," + std::to_string(it.Vot) +
                              "," + NumeroSql(it.Vlr) + "," + std::to_string(it.TipoAplicacao);
    if (it.TipoClassificacao > 0) {
      ExecutaSql(
          "insert into compaccitem (cac, nac, vot, vlr, TipoAplicacao, TipoClassificacao) "
          "values (" +
          comum + "," + std::to_string(it.TipoClassificacao) + ")");
    } else {
      ExecutaSql("insert into compaccitem (cac, nac, vot, vlr, TipoAplicacao) values (" + comum +
                 ")");
    }
  }
  return true;
}

int32_t DbCacAddOuPut(TCacHeader* h, tCacItems* itens, bool conferir) {
  int32_t code = 0;
  try {
    bool nova = false;
    code = ChamaComGuarda("CacGetPelaEmpTipoDocData", "DbCacAddOuPut", kCacGravacao,
                          [&](DsRef cmd, int32_t* e) {
                            SetParamInt(cmd, "@TipoDocumento", h->TipoDocumento);
                            SetParamInt(cmd, "@emp", h->Emp);
                            SetParamDateTime(cmd, "@dtref", h->DtRef);
                            *e = ExecStProc(cmd, ModoStProc::kExecuta);
                            if (*e == 0) GetParamInt(cmd, "@id", &h->Id);
                          });
    if (code == kCacNaoAchada) {
      nova = true;
      code = 0;
    }
    if (code != 0) return code;
    {
      Transacao transacao;
      ComComando(nova ? "CacAddV2" : "CacPutV2", [&](DsRef cmd) {
        PoeCabecalho(cmd, *h, nova ? h->DtRtf : std::floor(NowLocal()));
        code = ExecStProc(cmd, ModoStProc::kExecuta);
        if (code == 0 && nova) GetParamInt(cmd, "@id", &h->Id);
      });
      if (code == 0 && !GravaItensDaCac(itens, h->Id, nova)) code = kCacGravacao;
      transacao.Termina(code == 0);
    }
    if (conferir && code == 0) {
      code = ChamaComGuarda("CacCheckEhAplicacaoEhAcionista", "DbCacAddOuPut", kCacGravacao,
                            [&](DsRef c, int32_t* e) {
                              SetParamInt(c, "@idcac", h->Id);
                              *e = ExecStProc(c, ModoStProc::kExecuta);
                            });
    }
  } catch (const std::exception& x) {
    if (code == 0) code = kCacGravacao;
    Loga("DbCacAddOuPut error:" + std::to_string(code) + " exception: " + NomeDaClasse(x) + " " +
         x.what());
  }
  return code;
}

void ImportaComposicao(TImpMain& imp, const TVariantes& v, int32_t* code) {
  TCacHeader h;
  *code = LeCabecalho(imp, v.Carteira, &h);
  if (*code != 0) return;
  Bloco b{imp, h.TipoDocumento, {h.TipoDocumento, {}}};
  for (;;) {
    std::string linha;
    if (!imp.LinhaDoBloco(false, &linha)) {
      *code = imp.Erro != 0 ? imp.Erro : kCacSemEnd;
      return;
    }
    if (Maiusculas(std::string(imp.Parser->Field(0))) == "END") break;
    if (!LeItem(b, code)) return;
  }
  if (imp.ToNoCheck) {
    *code = b.erro_lembrado;
    return;
  }
  *code = DbCacAddOuPut(&h, &b.itens, !TemSwitch("PfNaoCheckarAplicacaoAcionista"));
}

}  // namespace zun
