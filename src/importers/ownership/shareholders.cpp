#include "importers/ownership/shareholders.h"

#include <memory>
#include <string>

#include "db/codes.h"
#include "db/global_state.h"
#include "engine/codes.h"
#include "engine/imp_main.h"
#include "engine/keyword_table.h"
#include "engine/parsers.h"
#include "foundation/exit_procs.h"
#include "foundation/log.h"
#include "toolbox/dbutil/accessors.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

namespace {

constexpr int32_t kErrCampos = 4322;
constexpr int32_t kErrNome = 4323;
constexpr int32_t kErrDoc = 4324;
constexpr int32_t kErrForcaNome = 4204;
constexpr int32_t kErrPodeLimpar = 45119;

std::unique_ptr<TCacheAcionistaDocPais> g_cache;

char MaiusculaAscii(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch; }

// Documents compare without regard to ASCII case.
int ComparaDoc(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(MaiusculaAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(MaiusculaAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int Compara(const TCacheAcionistaDocPais::Item& a, int32_t pais, std::string_view doc) {
  if (a.DocPais != pais) return a.DocPais < pais ? -1 : 1;
  return ComparaDoc(a.DocId, doc);
}

// The index of the first entry not below (pais, doc).
size_t PrimeiroNaoMenor(const std::vector<TCacheAcionistaDocPais::Item>& itens, int32_t pais,
                        std::string_view doc) {
  size_t lo = 0, hi = itens.size();
  while (lo < hi) {
    const size_t meio = lo + (hi - lo) / 2;
    if (Compara(itens[meio], pais, doc) < 0) {
      lo = meio + 1;
    } else {
      hi = meio;
    }
  }
  return lo;
}

// The id of the entry equal to (pais, doc); 0 when none.
int32_t Busca(const std::vector<TCacheAcionistaDocPais::Item>& itens, int32_t pais,
              std::string_view doc) {
  const size_t i = PrimeiroNaoMenor(itens, pais, doc);
  return i < itens.size() && Compara(itens[i], pais, doc) == 0 ? itens[i].Aci : 0;
}

// Party parameters of "AcionistaAddV3" and "AcionistaPutV3".
void PoeParte(DsRef cmd, const tNacRec& r) {
  SetParamInt(cmd, "@id", r.Id);
  SetParamInt(cmd, "@pais", r.Pais);
  SetParamStr(cmd, "@nome", r.Nome);
  SetParamStr(cmd, "@doc", r.Doc);
  SetParamBool(cmd, "@EhAcionista", r.EhAcionista);
  SetParamBool(cmd, "@EhAplicacao", r.EhAplicacao);
}

// An over-long field is cut to max with a note.
void Corta(TImpMain& imp, const char* rotulo, size_t max, std::string* s) {
  if (s->size() <= max) return;
  const std::string cortado = s->substr(0, max);
  imp.Msg(std::string(rotulo) + " MaxLen:" + std::to_string(max) +
          " len:" + std::to_string(s->size()) + " \"" + *s + "\" \"" + cortado + "\"");
  *s = cortado;
}

// An optional boolean field: absent or empty keeps *v.
bool CampoBooleano(std::string_view s, bool* v) {
  if (s.empty()) return true;
  bool reconhecido = false;
  const bool b = StrToBoolean(std::string(s), &reconhecido);
  if (reconhecido) *v = b;
  return reconhecido;
}

std::string NomeDoPais(int32_t pais) {
  return EnumPais ? EnumPais->TextoDoId(pais, true) : "NA(" + std::to_string(pais) + ")";
}

}  // namespace

std::string NormalizaDoc(std::string_view doc) {
  std::string r;
  for (const char ch : doc) {
    const char u = MaiusculaAscii(ch);
    if ((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) r += u;
  }
  return r;
}

int32_t AcionistaGetByDocPais(const std::string& doc, int32_t pais, const std::string& nome,
                              bool pode_limpar_doc_id, tNacRec* f, bool* principal,
                              std::string* nome_principal) {
  f->Limpa();
  *principal = true;
  nome_principal->clear();
  return ChamaComGuarda("AcionistaGetByDocPaisV3", "AcionistaGetByDocPais", kErrChamada,
                        [&](DsRef cmd, int32_t* e) {
                          SetParamStr(cmd, "@doc_in", doc);
                          SetParamInt(cmd, "@docpais_in", pais);
                          SetParamStr(cmd, "@tentaessenome", nome);
                          SetParamBool(cmd, "@PodeLimparDocID", pode_limpar_doc_id);
                          *e = ExecStProc(cmd, ModoStProc::kExecuta);
                          if (*e != 0) return;
                          GetParamInt(cmd, "@id", &f->Id);
                          GetParamStr(cmd, "@nome", &f->Nome);
                          GetParamStr(cmd, "@doc", &f->Doc);
                          GetParamBool(cmd, "@EhAcionista", &f->EhAcionista);
                          GetParamBool(cmd, "@EhAplicacao", &f->EhAplicacao);
                          GetParamBool(cmd, "@VaiProZun", principal);
                          GetParamStr(cmd, "@NomeProZun", nome_principal);
                          f->Pais = pais;
                          f->Lido = true;
                        });
}

void TCacheAcionistaDocPais::Carrega() {
  itens_.clear();
  ComComando(
      "select docpais, doc_id, aci from AcionistaDoc order by docpais, doc_id",
      [this](DsRef cmd) {
        cmd->Open();
        if (!cmd->Active()) return;
        Recordset& rs = cmd->Current();
        for (rs.First(); !rs.Eof(); rs.Next()) {
          Item it;
          GetFieldInt(cmd, "docpais", &it.DocPais);
          GetFieldStr(cmd, "doc_id", &it.DocId);
          GetFieldInt(cmd, "aci", &it.Aci);
          if (it.Aci > 0) itens_.push_back(std::move(it));
        }
      },
      CommandType::kText);
  Ordena();
}

void TCacheAcionistaDocPais::Ordena() {
  for (size_t fim = itens_.size(); fim > 1; --fim) {
    bool trocou = false;
    for (size_t i = 0; i + 1 < fim; ++i) {
      if (Compara(itens_[i + 1], itens_[i].DocPais, itens_[i].DocId) < 0) {
        std::swap(itens_[i], itens_[i + 1]);
        trocou = true;
      }
    }
    if (!trocou) break;
  }
}

int32_t TCacheAcionistaDocPais::Procura(const std::string& doc, int32_t pais, int32_t* erro) const {
  *erro = 0;
  const std::string normal = NormalizaDoc(doc);
  int32_t id = Busca(itens_, pais, normal);
  std::string maiusculo = doc;
  for (char& ch : maiusculo) ch = MaiusculaAscii(ch);
  if (id == 0 && normal != doc && maiusculo.find("-PROVIS") != std::string::npos) {
    id = Busca(itens_, pais, doc);
  }
  if (id == 0) *erro = kErrRegistroNaoAchado;
  return id;
}

void TCacheAcionistaDocPais::Adiciona(int32_t id, const std::string& doc, int32_t pais) {
  if (id < 1) return;
  Item novo{pais, NormalizaDoc(doc), id};
  const size_t i = PrimeiroNaoMenor(itens_, pais, novo.DocId);
  if (i < itens_.size() && Compara(itens_[i], pais, novo.DocId) == 0) return;
  itens_.insert(itens_.begin() + static_cast<std::ptrdiff_t>(i), std::move(novo));
}

TCacheAcionistaDocPais* CacheAcionistaDocPais() { return g_cache.get(); }

void LiberaCacheAcionistaDocPais() { g_cache.reset(); }

int32_t AcionistaIdPorDocPais(const std::string& doc, int32_t pais, int32_t* erro) {
  *erro = 0;
  if (!g_cache) {
    auto cache = std::make_unique<TCacheAcionistaDocPais>();
    try {
      cache->Carrega();
    } catch (const std::exception& x) {
      CodigoDaExcecao("AcionistaIdPorDocPais", erro, x, kErrChamada);
      return 0;
    }
    static bool registrado = false;
    if (!registrado) {
      AdicionaExitProc(LiberaCacheAcionistaDocPais);
      registrado = true;
    }
    g_cache = std::move(cache);
  }
  return g_cache->Procura(doc, pais, erro);
}

void AdicionaAoCacheDeDocs(int32_t id, const std::string& doc, int32_t pais) {
  if (g_cache) g_cache->Adiciona(id, doc, pais);
}

void ImportaAcionista(TImpMain& imp, const TVariantes& v, int32_t* code) {
  *code = 0;
  tParserWrapper& p = *imp.Parser;
  if (p.Count() < 4 || p.Count() > 6) {
    imp.ErrMsg("Invalid # of fields");
    *code = kErrCampos;
    return;
  }
  std::string nome(p.Field(1));
  Corta(imp, "Nac.Nome", kMaxNome, &nome);
  if (nome.empty()) {
    imp.ErrMsg("Empty <name>");
    *code = kErrNome;
    return;
  }
  int32_t pais = 0;
  *code = imp.StrToPais(std::string(p.Field(2)), &pais);
  if (*code != 0) return;
  std::string doc(p.Field(3));
  Corta(imp, "Nac.doc", kMaxDoc, &doc);
  // A document is its letters and digits; without any it is empty (the
  // party procedures refuse it).
  if (NormalizaDoc(doc).empty()) {
    imp.ErrMsg("Empty <doc>");
    *code = kErrDoc;
    return;
  }
  bool forca_nome = false, pode_limpar = true;
  if (!CampoBooleano(p.Field(4), &forca_nome)) {
    *code = kErrForcaNome;
    return;
  }
  if (!CampoBooleano(p.Field(5), &pode_limpar)) {
    *code = kErrPodeLimpar;
    return;
  }

  tNacRec r;
  r.Pais = pais;
  r.Nome = nome;
  r.Doc = doc;
  tNacRec f;
  bool principal = true;
  std::string nome_principal;
  const int32_t achou =
      AcionistaGetByDocPais(doc, pais, nome, pode_limpar, &f, &principal, &nome_principal);
  if (achou != 0 && achou != kErrRegistroNaoAchado) {
    imp.ErrMsg("AciGetByDP error " + std::to_string(achou));
    *code = achou;
    return;
  }

  if (achou == 0) {
    r.Id = f.Id;
    r.EhAcionista = f.EhAcionista;
    r.EhAplicacao = f.EhAplicacao;
    (v.ItemDeCarteira ? r.EhAplicacao : r.EhAcionista) = true;
    if (SoLetrasEDigitos(f.Nome) == SoLetrasEDigitos(r.Nome)) {
      if (!principal && imp.ToNoCheck) {
        imp.Msg("Share holder: name \"" + r.Nome + "\" is not main name" +
                (nome_principal.empty() ? "" : " \"" + nome_principal + "\""));
      }
      return;
    }
    if (imp.ToNoCheck) {
      imp.Msg("Share holder modify: \"" + r.Nome + "\" - \"" + r.Doc + "\" - \"" +
              NomeDoPais(pais) + "\" (was:" + (f.Nome != r.Nome ? " name:\"" + f.Nome + "\"" : "") +
              (f.Doc != r.Doc ? " doc:\"" + f.Doc + "\"" : "") + ")" +
              (v.SeDocNovo ? " NoAction(IfDocIsNew)" : ""));
    }
    ++imp.SHModCount;
    if (imp.ToNoCheck || v.SeDocNovo) return;
    *code = ChamaComGuarda("AcionistaPutV3", "ImportaAcionista", kErrChamada,
                           [&](DsRef cmd, int32_t* e) {
                             PoeParte(cmd, r);
                             SetParamBool(cmd, "@ManterDocsExistentes", true);
                             SetParamBool(cmd, "@ManterNomesExistentes", true);
                             SetParamBool(cmd, "@ForcaNomeVaiProZun", forca_nome);
                             SetParamBool(cmd, "@PodeLimparDocID", pode_limpar);
                             *e = ExecStProc(cmd, ModoStProc::kExecuta);
                           });
    return;
  }

  r.EhAcionista = !v.ItemDeCarteira;
  r.EhAplicacao = v.ItemDeCarteira;
  ++imp.SHAddCount;
  if (imp.ToNoCheck) {
    imp.Msg("New share holder: \"" + r.Nome + "\" \"" + NomeDoPais(pais) + "\" \"" + r.Doc + "\"");
  } else {
    *code = ChamaComGuarda("AcionistaAddV3", "ImportaAcionista", kErrChamada,
                           [&](DsRef cmd, int32_t* e) {
                             PoeParte(cmd, r);
                             SetParamBool(cmd, "@PodeLimparDocID", pode_limpar);
                             *e = ExecStProc(cmd, ModoStProc::kExecuta);
                           });
    if (*code == 0 && CacheAcionistaDocPais() != nullptr) {
      // The addition gives no id back: learn it from the document just
      // stored, so that the cache never holds a party without an id.
      tNacRec novo;
      std::string ignorado;
      if (AcionistaGetByDocPais(doc, pais, "", pode_limpar, &novo, &principal, &ignorado) == 0) {
        AdicionaAoCacheDeDocs(novo.Id, doc, pais);
      }
    }
  }
  if (*code == 0) imp.SHAdded->Adiciona(NormalizaDoc(doc), pais);
}

}  // namespace zun
