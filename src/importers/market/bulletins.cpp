#include "importers/market/bulletins.h"

#include <algorithm>

#include <cstdio>

#include "db/global_state.h"
#include "db/id_text_list.h"
#include "db/object_lookups.h"
#include "db/reqgbol.h"
#include "engine/parsers.h"
#include "engine/value_formats.h"
#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/text.h"
#include "importers/market/market_codes.h"

namespace zun {

TMakeUpBolCot::TGrupo* TMakeUpBolCot::Procura(int32_t bolsa, uint8_t tipo, double data) {
  auto igual = [&](const TGrupo& g) {
    return g.Bolsa == bolsa && g.Tipo == tipo && g.Data == data;
  };
  if (ultimo_ < grupos_.size() && igual(grupos_[ultimo_])) return &grupos_[ultimo_];
  for (size_t i = 0; i < grupos_.size(); ++i) {
    if (igual(grupos_[i])) {
      ultimo_ = i;
      return &grupos_[i];
    }
  }
  return nullptr;
}

void TMakeUpBolCot::GuardaSerie(int32_t linha, uint8_t tipo, const std::string& registrado) {
  if (!tipos_das_linhas_.empty() && tipos_das_linhas_.back().first >= linha) return;
  tipos_das_linhas_.emplace_back(linha, tipo);
  if (!registrado.empty()) registrados_[linha] = registrado;
}

bool TMakeUpBolCot::SerieDaLinha(int32_t linha, TSerieDaLinha* serie) const {
  const auto it = std::lower_bound(tipos_das_linhas_.begin(), tipos_das_linhas_.end(),
                                   std::make_pair(linha, uint8_t{0}));
  if (it == tipos_das_linhas_.end() || it->first != linha) return false;
  serie->Tipo = it->second;
  const auto r = registrados_.find(linha);
  serie->Ticker = r == registrados_.end() ? std::string() : r->second;
  return true;
}

void TMakeUpBolCot::AdicionaCotacao(int32_t bolsa, uint8_t tipo, double data) {
  if (fechado_) throw EZunInputException(kBolFechadoNaContagem);
  TGrupo* g = Procura(bolsa, tipo, data);
  if (g == nullptr) {
    if (grupos_.size() > kMaxGruposAntesDeCotacao) return;
    grupos_.push_back({bolsa, data, tipo});
    g = &grupos_.back();
  }
  ++g->Count;
}

void TMakeUpBolCot::Forca(int32_t bolsa, uint8_t tipo, double data) {
  if (fechado_) throw EZunInputException(kBolFechadoNoForca);
  if (tipo == kTipoDeBGLZunInput) return;
  TGrupo* g = Procura(bolsa, tipo, data);
  if (g == nullptr) {
    grupos_.push_back({bolsa, data, tipo});
    g = &grupos_.back();
  }
  g->Forcado = true;
}

bool TMakeUpBolCot::EhBoletim(TGrupo& g) {
  if (g.Forcado) return true;
  if (g.Count < kMinCotacoesDoBoletim) return false;
  if (!g.TotalConhecido) {
    for (const TGrupo& o : grupos_) {
      if (o.TotalConhecido && o.Bolsa == g.Bolsa && o.Tipo == g.Tipo) {
        g.Total = o.Total;
        g.TotalConhecido = true;
        break;
      }
    }
  }
  if (!g.TotalConhecido) {
    int32_t total = 0;
    g.TotalConhecido = GetTotalAnbDessaBolsaTBGL(g.Bolsa, g.Tipo, &total) == 0;
    g.Total = g.TotalConhecido ? total : 0;
  }
  // The ratio rounds to the nearest integer, halves to the even one, and
  // compares in 64 bits. It is computed in integers: in floating point 0.7 x 45
  // is just below 31.5 and would round to 31.
  const int64_t decimos = kRazaoDoBoletimEmDecimos * g.Total;
  int64_t limite = decimos / 10;
  int64_t resto = decimos % 10;
  if (resto < 0) {  // floor division for a negative total
    limite -= 1;
    resto += 10;
  }
  if (resto > 5 || (resto == 5 && limite % 2 != 0)) ++limite;
  return static_cast<int64_t>(g.Count) > limite;
}

bool TMakeUpBolCot::LogaComoBoletim(int32_t bolsa, uint8_t tipo, double data) {
  fechado_ = true;
  TGrupo* g = Procura(bolsa, tipo, data);
  return g != nullptr && EhBoletim(*g);
}

std::vector<TMakeUpBolCot::TGrupo> TMakeUpBolCot::ListaBoletins() {
  fechado_ = true;
  std::vector<TGrupo> boletins;
  for (TGrupo& g : grupos_) {
    if (EhBoletim(g)) boletins.push_back(g);
  }
  return boletins;
}

void TMakeUpBolCot::LogaBoletins(TImpMain& imp) {
  for (const TGrupo& g : ListaBoletins()) {
    if (imp.Erro != 0) break;
    std::string linha = "- BolCot: " + DataComoTexto(g.Data) + " xchg:" + std::to_string(g.Bolsa) +
                        " TBGL:" + kLetrasDosTiposDeBGL[g.Tipo % 12];
    if (g.Count > 0) linha += " #:" + std::to_string(g.Count);
    if (g.Forcado) linha += " Forced";
    Loga(linha);
    imp.Erro = DataLogAdd(kTipDataLogBoletim, g.Bolsa, g.Tipo, g.Data, "");
    PedeReqGBol(1);
  }
}

std::string DataComoTexto(double data) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(data, &y, &mo, &d, &h, &mi, &s, &ms);
  char buf[40];
  if (h == 0 && mi == 0 && s == 0) {
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", y, mo, d);
  } else {
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d-%02d:%02d:%02d", y, mo, d, h, mi, s);
  }
  return buf;
}

bool BolsaValida(std::string_view campo, int32_t* bolsa) {
  return StrToIntOk(campo, bolsa) && EnumBolsa != nullptr && EnumBolsa->IndexOfId(*bolsa) >= 0;
}

TMakeUpBolCot* BolCotDe(TImpMain& imp) { return dynamic_cast<TMakeUpBolCot*>(imp.BolCot.get()); }

void ImportaBolCot(TImpMain& imp, const TVariantes&, int32_t* code) {
  tParserWrapper& p = *imp.Parser;
  int32_t bolsa = 0, tipo = -1;
  double data = 0;
  if (p.Count() < 3 || p.Count() > 4) {
    imp.ErrMsg("Invalid # of fields");
    *code = kBolNumCampos;
  } else if (!BolsaValida(p.Field(1), &bolsa)) {
    imp.ErrMsg("Invalid <exchange>");
    *code = kBolBolsa;
  } else if (!StrToDateOk(p.Field(2), &data)) {
    imp.ErrMsg("Invalid <date>");
    *code = kBolData;
  } else if (EhDataZero(data)) {
    // The bulletin entry needs a day (the database refuses one without).
    imp.ErrMsg("Empty <date>");
    *code = kBoletimSemData;
  } else if (!p.Field(3).empty() && (!StrToIntOk(p.Field(3), &tipo) || tipo < 0 || tipo > 11)) {
    *code = kBolTipo;
  }
  TMakeUpBolCot* bol = BolCotDe(imp);
  if (*code != 0 || !imp.ToNoCheck || bol == nullptr) return;
  if (tipo >= 0) {
    bol->Forca(bolsa, static_cast<uint8_t>(tipo), data);
  } else {
    for (uint8_t k = 0; k <= kTipoDeBGLZunInput; ++k) bol->Forca(bolsa, k, data);
  }
}

}  // namespace zun
