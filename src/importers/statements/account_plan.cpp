#include "importers/statements/account_plan.h"

#include <array>
#include <string>
#include <vector>

#include "db/global_state.h"
#include "db/id_text_list.h"
#include "engine/imp_main.h"
#include "engine/imp_root.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/text.h"
#include "importers/statements/accounts.h"
#include "importers/statements/statement.h"
#include "importers/statements/statement_codes.h"
#include "importers/statements/statement_format.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

static_assert(kCBalCaracteristicas.size() == kCaracteristicasConta);

// The parameters of "ContaBalPut" for the characteristics, in order.
constexpr std::array<const char*, kCaracteristicasConta> kParamsCarac = {"@carac_periodizavel",
                                                                         "@carac_periodizcalc",
                                                                         "@carac_emmoeda",
                                                                         "@carac_03",
                                                                         "@carac_04",
                                                                         "@carac_afetadaporlote",
                                                                         "@carac_doresumo",
                                                                         "@carac_ehporacao",
                                                                         "@carac_hidenaesctreco",
                                                                         "@carac_oferecepribal",
                                                                         "@carac_10",
                                                                         "@carac_11",
                                                                         "@carac_12",
                                                                         "@carac_13",
                                                                         "@carac_14",
                                                                         "@carac_15"};

// Reads fields in order; the first failing check sets the code and makes
// every later read a no-op.
class TLeitor {
 public:
  TLeitor(tParserWrapper& p, int32_t* code) : p_(p), code_(code) { p_.SetIndex(1); }

  void Inteiro(int32_t* v, int32_t erro) {
    if (*code_ == 0 && !StrToIntOk(p_.NextField(), v)) *code_ = erro;
  }
  void Bool(bool* v, int32_t erro) {
    if (*code_ == 0 && !StrToBoolOk(p_.NextField(), v)) *code_ = erro;
  }
  void Texto(std::string* s, int32_t erro_se_vazio) {
    if (*code_ != 0) return;
    p_.NextField(s);
    if (erro_se_vazio != 0 && s->empty()) *code_ = erro_se_vazio;
  }
  // No further field, not even an empty one.
  void Fim(int32_t erro) {
    if (*code_ == 0 && p_.CurrentIndex() < p_.Count()) *code_ = erro;
  }

 private:
  tParserWrapper& p_;
  int32_t* code_;
};

// "ContaBalPut" takes account numbers 1 to kMaxContaBal (statement.h) and
// refuses any other with its code.
constexpr int32_t kErrContaForaDaFaixa = 50901;
constexpr int32_t kErrBlocoDesconhecido = 50903;

// A failed check of the records that report no code of their own (they
// give kErrRegistroRecusado).
constexpr int32_t kFalhou = 1;

// Runs a procedure in the import pass when the record passed its checks
// (ok). Returns whether the record went well: ok, and in the import pass
// the procedure returned 0.
template <typename Corpo>
bool Grava(const char* proc, bool to_no_check, bool ok, Corpo corpo) {
  if (!ok || to_no_check) return ok;
  return ChamaComGuarda(proc, proc, kErrChamada, [&](DsRef cmd, int32_t* code) {
           corpo(cmd);
           *code = ExecStProc(cmd, ModoStProc::kExecuta);
         }) == 0;
}

// One line of an "*APRESFBAL" block, already in the parser: "" when it is
// valid, else why not.
std::string LeLinhaDeFormato(tParserWrapper& p, TLinhaFmtBal* l) {
  int32_t tipo = 0;
  if (!StrToIntOk(p.Field(0), &tipo) || tipo < 0 || tipo > 10) return "Invalid <type>";
  l->tipo = static_cast<uint8_t>(tipo);
  if (tipo == 0 || tipo == 3) {
    int32_t sinal = 0;
    if (!StrToIntOk(p.NextField(), &l->conta)) return "Invalid <account>";
    if (!StrToIntOk(p.NextField(), &sinal) || sinal < 0 || sinal > 12) return "Invalid <sign>";
    if (!StrToIntOk(p.NextField(), &l->indentacao)) return "Invalid <indentation>";
    if (!StrToIntOk(p.NextField(), &l->anvert)) return "Invalid <anvert>";
    l->sinal = static_cast<uint8_t>(sinal);
  } else if (tipo == 1) {
    if (!StrToIntOk(p.NextField(), &l->bloco)) return "Invalid <block>";
  } else if (tipo == 4) {
    int32_t ignorado = 0;
    for (int i = 0; i < 3; ++i) {
      if (!StrToIntOk(p.NextField(), &ignorado)) return "Invalid # of fields";
    }
  }
  return p.CurrentIndex() >= p.Count() ? "" : "Too many fields";
}

// Every account line names an account of the plan: a format that names
// another could not be loaded, and the statements of its companies would
// go unchecked. The check pass counts the accounts that earlier *CBAL
// lines of the file add; the import pass finds them written.
// Returns the index of the first line whose account is not, or -1.
int ContaForaDoPlano(TImpMain& imp, const TFormatoBal& fmt, int32_t linha_do_bloco) {
  for (size_t i = 0; i < fmt.Linhas.size(); ++i) {
    const TLinhaFmtBal& l = fmt.Linhas[i];
    if (!l.EhConta()) continue;
    bool existe = true;
    try {
      CacheContaBal().Get(l.conta);
    } catch (const EZunInputException&) {
      existe = false;
    }
    if (!existe && !(imp.ToNoCheck && imp.DefinidoAntes("*CBAL", l.conta, linha_do_bloco - 1))) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

bool BlocoConhecido(const TImpMain& imp, int32_t bloco) {
  if (EnumBlocoDeContaBal && EnumBlocoDeContaBal->IndexOfId(bloco) >= 0) return true;
  return imp.DefinidoAntes("*BLOCOCBAL", bloco, imp.lnn - 1);
}

void ImportaCBal(TImpMain& imp, const TVariantes&, int32_t* code) {
  tParserWrapper& p = *imp.Parser;
  const bool to_no_check = imp.ToNoCheck;
  TLeitor campos(p, code);
  int32_t id = 0, bloco = 0, ordem = 0, decimais = 0, formatacao = 0, como = 0, como_num = 0;
  std::array<std::string, 6> nomes;
  std::array<bool, kCaracteristicasConta> carac{};
  campos.Inteiro(&id, kCBalId);
  for (std::string& n : nomes) campos.Texto(&n, kCBalNome);
  campos.Inteiro(&bloco, kCBalBloco);
  campos.Inteiro(&ordem, kCBalOrdem);
  campos.Inteiro(&decimais, kCBalDecimais);
  campos.Inteiro(&formatacao, kCBalFormatacao);
  campos.Inteiro(&como, kCBalComo);
  campos.Inteiro(&como_num, kCBalComoNum);
  for (size_t i = 0; i < carac.size(); ++i) campos.Bool(&carac[i], kCBalCaracteristicas[i]);
  campos.Fim(kCBalCamposDemais);
  // What "ContaBalPut" refuses, refused before anything is written.
  if (*code == 0 && (id < 1 || id > kMaxContaBal)) *code = kErrContaForaDaFaixa;
  for (const std::string& n : nomes) {
    if (*code == 0 && AparaBrancos(n).empty()) *code = kCBalNome;
  }
  // The fields first, then what the database knows.
  if (*code == 0 && to_no_check && !BlocoConhecido(imp, bloco)) *code = kErrBlocoDesconhecido;
  if (*code != 0 || to_no_check) return;
  static const char* const kParamsNomes[] = {"@nome_extenso_Por",  "@nome_extenso_Ing",
                                             "@nome_extenso_Esp",  "@nome_compacto_Por",
                                             "@nome_compacto_Ing", "@nome_compacto_Esp"};
  *code = ChamaComGuarda("ContaBalPut", "ContaBalPut", kErrChamada, [&](DsRef cmd, int32_t* c) {
    SetParamInt(cmd, "@id", id);
    for (size_t i = 0; i < nomes.size(); ++i) SetParamStr(cmd, kParamsNomes[i], nomes[i]);
    SetParamInt(cmd, "@bloco", bloco);
    SetParamInt(cmd, "@ordemnobloco", ordem);
    SetParamInt(cmd, "@decimais", decimais);
    SetParamInt(cmd, "@formatacao", formatacao);
    for (size_t i = 0; i < carac.size(); ++i) SetParamBool(cmd, kParamsCarac[i], carac[i]);
    SetParamInt(cmd, "@comocalcular", como);
    SetParamInt(cmd, "@comocalcular_num", como_num);
    SetParamBool(cmd, "@HideNoZunInput", false);
    SetParamInt(cmd, "@BlocoPadraoNaDigitacao", 0);
    SetParamBool(cmd, "@ComCamposExtraZun", false);
    *c = ExecStProc(cmd, ModoStProc::kExecuta);
  });
  CacheContaBal().Forget(id);
}

void ImportaDelCBal(TImpMain& imp, const TVariantes&, int32_t* resultado) {
  int32_t code = 0, id = 0;
  TLeitor campos(*imp.Parser, &code);
  campos.Inteiro(&id, kFalhou);
  campos.Fim(kFalhou);
  *resultado = CodigoDoOk(Grava("ContaBalDel", imp.ToNoCheck, code == 0,
                                [&](DsRef cmd) { SetParamInt(cmd, "@id", id); }));
  if (!imp.ToNoCheck && code == 0) CacheContaBal().Forget(id);
}

void ImportaBlocoCBal(TImpMain& imp, const TVariantes&, int32_t* resultado) {
  int32_t code = 0, id = 0;
  std::string por, ing, esp;
  TLeitor campos(*imp.Parser, &code);
  campos.Inteiro(&id, kFalhou);
  if (code == 0 && id < 1) code = kFalhou;
  campos.Texto(&por, 0);
  campos.Texto(&ing, 0);
  campos.Texto(&esp, 0);
  campos.Fim(kFalhou);
  const bool ok = Grava("BlocoContaBalPut", imp.ToNoCheck, code == 0, [&](DsRef cmd) {
    SetParamInt(cmd, "@id", id);
    SetParamStr(cmd, "@nomePor", por);
    SetParamStr(cmd, "@nomeIng", ing);
    SetParamStr(cmd, "@nomeEsp", esp);
  });
  if (ok && !imp.ToNoCheck && EnumBlocoDeContaBal) EnumBlocoDeContaBal->Reinicia();
  *resultado = CodigoDoOk(ok);
}

void ImportaFBal(TImpMain& imp, const TVariantes&, int32_t* resultado) {
  int32_t code = 0, id = 0, pais = 0;
  std::string nome1, nome2;
  TLeitor campos(*imp.Parser, &code);
  campos.Inteiro(&id, kFalhou);
  if (code == 0 && id < 1) code = kFalhou;  // 0 is a company's "no format"
  campos.Inteiro(&pais, kFalhou);
  campos.Texto(&nome1, 0);
  campos.Texto(&nome2, 0);
  campos.Fim(kFalhou);
  const std::string nome = nome1.empty() ? nome2 : nome1;
  const bool ok = Grava("FormatoBalPut", imp.ToNoCheck, code == 0 && !nome.empty(), [&](DsRef cmd) {
    SetParamInt(cmd, "@id", id);
    SetParamInt(cmd, "@pais", pais);
    // The name goes as it was read.
    cmd->Params().ParamByName("@nome").value = Value::String(nome);
  });
  // A new format is known to the checks of later files.
  if (ok && !imp.ToNoCheck && EnumFmtBal) EnumFmtBal->Reinicia();
  *resultado = CodigoDoOk(ok);
}

void ImportaApresFBal(TImpMain& imp, const TVariantes&, int32_t* resultado) {
  tParserWrapper& p = *imp.Parser;
  const bool to_no_check = imp.ToNoCheck;
  const int32_t linha_do_bloco = imp.lnn;
  TFormatoBal fmt;
  int32_t code = 0;
  TLeitor campos(p, &code);
  campos.Inteiro(&fmt.id, kFalhou);
  if (code == 0 && fmt.id < 1) code = kFalhou;
  campos.Fim(kFalhou);
  bool ok = code == 0;
  // Each refusal names its line and why.
  const auto recusa = [&](int32_t linha, const std::string& why) {
    imp.ErrMsgNaLinha(linha, "*APRESFBAL " + std::to_string(fmt.id) + ": " + why);
    ok = false;
  };
  std::vector<int32_t> numeros;  // the file's line of each format line
  while (ok) {
    std::string linha;
    if (!imp.LinhaDoBloco(false, &linha)) {
      // The file ended inside the block (a line the frame refused has its
      // own message).
      if (imp.Erro == 0) recusa(linha_do_bloco, "reached EOF");
      ok = false;
      break;
    }
    const std::string primeiro(p.Field(0));
    if (Maiusculas(primeiro) == "END") break;
    if (primeiro.empty()) {
      recusa(imp.lnn, "Invalid <type>");
    } else if (fmt.Count() >= kMaxLinhasFmtBal) {
      recusa(imp.lnn, "more than " + std::to_string(kMaxLinhasFmtBal) + " lines");
    }
    if (!ok) break;
    TLinhaFmtBal l;
    l.fmtbal = fmt.id;
    l.seq = fmt.Count() + 1;
    if (const std::string why = LeLinhaDeFormato(p, &l); !why.empty()) {
      recusa(imp.lnn, why);
      break;
    }
    fmt.Linhas.push_back(l);
    numeros.push_back(imp.lnn);
  }
  // The lines of a format that does not exist cannot be written.
  if (ok && to_no_check && !(EnumFmtBal && EnumFmtBal->IndexOfId(fmt.id) >= 0) &&
      !imp.DefinidoAntes("*FBAL", fmt.id, linha_do_bloco - 1)) {
    recusa(linha_do_bloco, "format " + std::to_string(fmt.id) + " does not exist (*FBAL)");
  }
  if (const int fora = ok ? ContaForaDoPlano(imp, fmt, linha_do_bloco) : -1; fora >= 0) {
    recusa(numeros[static_cast<size_t>(fora)],
           "account " + std::to_string(fmt.Linhas[static_cast<size_t>(fora)].conta) +
               " is not in the account plan (*CBAL)");
  }
  if (ok && !to_no_check) {
    if (const int32_t e = DbApresFormatoBalPut(fmt); e != 0) {
      recusa(linha_do_bloco, "ApresFormatoBalPut error:" + std::to_string(e));
    }
  }
  *resultado = CodigoDoOk(ok);
}

}  // namespace zun
