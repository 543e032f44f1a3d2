#include "importers/objects/company_series.h"

#include <array>
#include <string>
#include <vector>

#include "db/global_state.h"
#include "db/indicators.h"
#include "db/naics.h"
#include "db/name_normaliser.h"
#include "db/object_lookups.h"
#include "db/objects.h"
#include "db/user_context.h"
#include "engine/imp_main.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/text.h"
#include "importers/objects/field_checks.h"
#include "importers/objects/object_codes.h"

namespace zun {

namespace {

constexpr int32_t kBolsaInvalida = 4177;

// A field that counts as not given: absent, empty or "-".
bool NaoDado(std::string_view s) { return s.empty() || s == "-"; }

// The company name or text of field s: trimmed (text only), normalised for
// pais with abreviado, cut to maximo characters.
std::string TextoDaEmp(std::string_view s, bool apara, bool abreviado, int32_t pais,
                       size_t maximo) {
  std::string t(s);
  if (apara) t = AparaBrancos(t);
  if (abreviado) t = NormalizaNome(pais, t);
  if (t.size() > maximo) t.resize(maximo);
  return t;
}

// Checks and stores company field i (3 to 11, given); *texto receives the
// company text of field 8. 0 or the field's code.
[[nodiscard]] int32_t CampoDaEmp(int i, std::string_view s, bool abreviado, TObjEmp* emp,
                                 std::string* texto) {
  int32_t n = 0;
  switch (i) {
    case 3:
      emp->nome = TextoDaEmp(s, false, abreviado, emp->pais, abreviado ? kMaxNomeEmp : s.size());
      return 0;
    case 4:
      return StrToIntOk(s, &n) && (n == 0 || n == 1) ? 0 : kErrObjEmpZeroOuUm;
    case 5:
      return IdDaLista(s, EnumMoeda.get(), &emp->moedabal[0]) ? 0 : kErrObjEmpMoeda;
    case 6: {
      std::vector<int32_t> fmts;
      if (!FormatosDeBalanco(s, EnumFmtBal.get(), kMaxFmtBal, &fmts)) return kErrObjEmpFmtBal;
      for (size_t k = 0; k < fmts.size(); ++k) emp->fmtbal[k] = fmts[k];
      return 0;
    }
    case 7: {
      int16_t naics = 0;
      if (!StrToIntOk(s, &n) || !Naics16(n, &naics) || !NaicsValido(naics)) {
        return kErrObjEmpNaics;
      }
      emp->naics = naics;
      return 0;
    }
    case 8:
      *texto = TextoDaEmp(s, true, abreviado, emp->pais, kMaxTextoEmp);
      return 0;
    case 11:
      emp->cnpj = std::string(s);
      return 0;
    default:  // 9 and 10 are only counted
      return 0;
  }
}

// A boolean field into *b, else erro.
[[nodiscard]] int32_t Booleano(std::string_view s, int32_t erro, bool* b) {
  return StrToBoolOk(s, b) ? 0 : erro;
}

// An integer field into *n, else erro.
[[nodiscard]] int32_t Inteiro(std::string_view s, int32_t erro, int32_t* n) {
  return StrToIntOk(s, n) ? 0 : erro;
}

// Checks and stores series field i (6 to 19, given) in *anb.
[[nodiscard]] int32_t CampoDaSerie(int i, std::string_view s, TObjAnb* anb) {
  int32_t n = 0;
  bool b = false;
  switch (i) {
    case 6:
      return Booleano(s, kErrObjSerieCancelado, &anb->cancelado);
    case 7:
      if (!IdDaLista(s, EnumTipoDeBGL.get(), &n) || n < 0 || n > 11) {
        return kErrObjSerieTipoDeBGL;
      }
      anb->TipoDeBGLDestino = static_cast<uint8_t>(n);
      return 0;
    case 9:
      return IdDaLista(s, EnumMoeda.get(), &anb->moedacot) ? 0 : kErrObjSerieMoeda;
    case 10:
      // Read as the write reads it, so that the check refuses what the
      // write would.
      return ConfereValorDoIndicador(kEaaAnb, kIndicaNumeroSerie, std::string(s), false) == 0
                 ? 0
                 : kErrObjSerieNumero;
    case 12:
      return Booleano(s, kErrObjSerieTrazDadosDaEmp, &anb->TrazDadosDaEmp);
    case 13:
      return Booleano(s, kErrObjSerieNaoAparecerNoZun, &anb->NaoAparecerNoZun);
    case 14:
      return Inteiro(s, kErrObjSerieCalendario, &anb->IdCalendario);
    case 15:
      if (!StrToBoolOk(s, &b)) return kErrObjSerieDisableCopy;
      anb->DisableCopy = b ? 1 : 0;
      return 0;
    case 16:
      return Inteiro(s, kErrObjSerieFormatoDeCadastro, &anb->FormatoDeCadastro);
    case 17:
      // -1 or a contract type the database knows.
      if (!StrToIntOk(s, &n) ||
          (n != -1 && (!EnumTipoDeContrato || EnumTipoDeContrato->IndexOfId(n) < 0))) {
        return kErrObjSerieTipoDeContrato;
      }
      anb->TipoDeContrato = n;
      return 0;
    case 18:
      return Inteiro(s, kErrObjSerieMapaColonia, &anb->MapaColonia);
    case 19:
      return Inteiro(s, kErrObjSerieOverride, &anb->OverrideGruposCampoCotacao);
    default:  // 8 and 11 are indicator texts, kept by the caller
      return 0;
  }
}

// The rights the series procedures ask for a change from antes to anb (nova:
// a new series); 0 or the code of the first one the user lacks.
[[nodiscard]] int32_t DireitosDaSerie(const TObjAnb& antes, const TObjAnb& anb, bool nova) {
  if (!nova && antes.acao != anb.acao && !PodeMudarAtvDoAnb()) return kSemDireitoMudarAtvDoAnb;
  if (anb.TipoDeBGLDestino >= 6 && (nova || antes.TipoDeBGLDestino != anb.TipoDeBGLDestino) &&
      !PodeTodosOsTiposDeBGL()) {
    return kSemDireitoTipoDeBGL;
  }
  if (anb.TrazDadosDaEmp && (nova || !antes.TrazDadosDaEmp) && !PodeMarcarTrazDadosDaEmp()) {
    return kSemDireitoTrazDadosDaEmp;
  }
  if (anb.IdCalendario != (nova ? 0 : antes.IdCalendario) && !PodeAlterarCalendario())
    return kSemDireitoCalendario;
  return 0;
}

}  // namespace

void ImportaObjEmp(TImpMain& imp, const TVariantes& v, int32_t* code) {
  tParserWrapper& p = *imp.Parser;
  if (p.Count() < 3 || p.Count() > 12) {
    *code = kErrObjEmpNumCampos;
    return;
  }
  const std::string cod(p.Field(1));
  const std::string pais(p.Field(2));
  int32_t pais_id = 0;
  if (NaoDado(cod)) {
    *code = kErrObjEmpCodigo;
    return;
  }
  if (!StrToIntOk(pais, &pais_id)) {
    *code = kErrObjEmpPais;
    return;
  }
  TObjEmp emp;
  const int32_t id = GetIdEmp(cod, pais, code);
  const bool nova = *code == kErrGetIdEmpSemId;
  if (nova) {
    emp.cod = cod;
    emp.pais = pais_id;
    *code = 0;
  } else if (*code == 0) {
    *code = ObjEmpGet(id, &emp);
  }
  const TObjEmp antes = emp;
  if (*code != 0) return;
  bool faltou = false;
  bool tem_texto = false;
  std::string texto;
  for (int i = 3; i <= 11 && *code == 0; ++i) {
    const std::string_view s = p.Field(i);
    if (NaoDado(s)) {
      faltou = faltou || i <= 10;
      continue;
    }
    tem_texto = tem_texto || i == 8;
    *code = CampoDaEmp(i, s, v.Abreviado, &emp, &texto);
  }
  // A new company needs every field up to 10, already in the check pass.
  if (*code == 0 && nova && faltou) *code = kErrObjEmpIncompleta;
  // The formats of sources 1 to 3 change only with the right, as the
  // company procedures rule.
  for (size_t k = 1; k < emp.fmtbal.size() && *code == 0 && imp.ToNoCheck; ++k) {
    if (emp.fmtbal[k] != antes.fmtbal[k] && !PodeSourceDiferenteDeLocal())
      *code = kSemDireitoSourceDiferenteDeLocal;
  }
  if (*code != 0 || imp.ToNoCheck) return;
  *code = nova ? ObjEmpAdd(&emp) : ObjEmpPut(emp);
  if (*code == 0 && tem_texto) {
    *code = EscreveValorDoIndicador(emp.id, kEaaEmp, kIndicaTextoEmp, texto, kDataZero, false);
  }
}

void ImportaObjSerie(TImpMain& imp, const TVariantes&, int32_t* code) {
  tParserWrapper& p = *imp.Parser;
  if (p.Count() < 3 || p.Count() > 20) {
    *code = kErrObjSerieNumCampos;
    return;
  }
  const std::string cod(p.Field(1));
  const std::string bolsa(p.Field(2));
  TObjAnb anb;
  const int32_t id = GetIdAnb(cod, bolsa, code);
  const bool nova = *code == kErrRegistroNaoAchado;
  if (nova) {
    anb.cod = cod;
    if (!StrToIntOk(bolsa, &anb.bolsa)) anb.bolsa = -1;
    // A new series needs a known exchange (the series procedures refuse
    // any other); the look-up's code for a bad exchange.
    *code = EnumBolsa && EnumBolsa->IndexOfId(anb.bolsa) >= 0 ? 0 : kBolsaInvalida;
  } else if (*code == 0) {
    *code = ObjAnbGet(id, &anb);
  }
  const TObjAnb antes = anb;
  if (*code != 0) return;
  bool faltou = false;
  std::array<std::string, 20> dado;  // the given fields, by index; empty when not given
  for (int i = 3; i <= 19 && *code == 0; ++i) {
    const std::string_view s = p.Field(i);
    if (NaoDado(s)) {
      faltou = true;
      continue;
    }
    dado[i] = AparaBrancos(std::string(s));
    *code = CampoDaSerie(i, s, &anb);
  }
  if (*code != 0) return;
  const int dados_do_ativo = !dado[3].empty() + !dado[4].empty() + !dado[5].empty();
  if (dados_do_ativo > 0) {
    if (dados_do_ativo < 3) {
      *code = kErrObjSerieAtivoParcial;
      return;
    }
    int32_t id_class = 0, id_emp = 0;
    *code = GetIdAtv(std::string(p.Field(3)), std::string(p.Field(4)), std::string(p.Field(5)),
                     &id_class, &anb.acao, &id_emp, false);
    if (*code != 0) return;
  }
  // A new series needs every field, already in the check pass.
  if (nova && faltou) *code = kErrObjSerieIncompleta;
  if (*code == 0 && imp.ToNoCheck) *code = DireitosDaSerie(antes, anb, nova);
  if (*code != 0 || imp.ToNoCheck) return;
  *code = nova ? ObjAnbAdd(&anb) : ObjAnbPut(&anb);
  for (const auto& [campo, indicador] :
       {std::pair{11, kIndicaNomeSerie}, std::pair{8, kIndicaTextoSerie},
        std::pair{10, kIndicaNumeroSerie}}) {
    if (*code == 0 && !dado[campo].empty()) {
      *code = EscreveValorDoIndicador(anb.id, kEaaAnb, indicador, dado[campo], kDataZero, false);
    }
  }
}

}  // namespace zun
