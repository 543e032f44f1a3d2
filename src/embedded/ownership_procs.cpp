// The parties (shareholders and portfolio items) with their names and
// documents, and the shareholding compositions of the reference database.
//
// A party has a main name (acionista.nome) and further names
// (acionista_nome), and any number of documents (acionista_doc), each of
// which names only this party in its country. Documents are stored in the
// form of ChaveDoDocumento. Composition items are written by the client
// with SQL text; the procedures here keep the headers.

#include "embedded/ownership_procs.h"

#include <cctype>
#include <string>
#include <vector>

#include "embedded/proc_inputs.h"
#include "embedded/procedure_catalog.h"
#include "embedded/procedure_sets.h"

namespace zun {

std::string ChaveDoDocumento(const std::string& doc) {
  std::string maiusculo;
  for (const char ch : doc) maiusculo += (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch;
  if (maiusculo.find("-PROVIS") != std::string::npos) return maiusculo;
  std::string chave;
  for (const char ch : maiusculo) {
    if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) chave += ch;
  }
  return chave;
}

namespace {

// The special parties (total, base, free float) take the three largest ids.
constexpr int32_t kPrimeiroEspecial = 2147483645;

// A name's letters and digits in upper case: names that differ only in
// case, blanks or punctuation are one name.
std::string FormaDoNome(const std::string& nome) {
  std::string r;
  for (const char ch : nome) {
    const unsigned char u = static_cast<unsigned char>(ch);
    if (u < 128 && std::isalnum(u)) r += static_cast<char>(std::toupper(u));
  }
  return r;
}

// The party holding document chave in country pais; 0 when none.
int32_t DonoDoDocumento(ProcContext& c, int32_t pais, const std::string& chave) {
  Recordset rs = c.Query("SELECT id FROM acionista_doc WHERE docpais = ? AND doc_id = ?",
                         {Value::Int(pais), Value::String(chave)});
  if (rs.RecordCount() == 0) return 0;
  rs.First();
  return rs.Field(0).AsInt();
}

// The checks shared by the add and the put: name, country, document and
// the document's present owner (cleared with "@PodeLimparDocID"). *chave
// receives the stored form of the document.
int32_t ChecaParte(ProcContext& c, int32_t id, std::string* chave) {
  if (InTexto(c, "@nome").empty()) return kErrAcionistaNomeVazio;
  const int32_t pais = InInt(c, "@pais");
  if (c.Query("SELECT 1 FROM pais WHERE id = ?", {Value::Int(pais)}).RecordCount() == 0) {
    return kErrAcionistaPaisInvalido;
  }
  *chave = ChaveDoDocumento(InTexto(c, "@doc"));
  if (chave->empty()) return kErrAcionistaDocVazio;
  const int32_t dono = DonoDoDocumento(c, pais, *chave);
  if (dono == 0 || dono == id) return 0;
  if (!InBool(c, "@PodeLimparDocID")) return kErrAcionistaDocDeOutro;
  c.Exec("DELETE FROM acionista_doc WHERE id = ? AND docpais = ? AND doc_id = ?",
         {Value::Int(dono), Value::Int(pais), Value::String(*chave)});
  return 0;
}

void AcionistaGetByDocPaisV3(ProcContext& c) {
  const int32_t pais = InInt(c, "@docpais_in");
  const int32_t id = DonoDoDocumento(c, pais, ChaveDoDocumento(InTexto(c, "@doc_in")));
  if (id == 0) return c.Return(kErrDbAcionistaNaoAchado);
  Recordset rs = c.Query("SELECT nome, doc, eh_acionista, eh_aplicacao FROM acionista WHERE id = ?",
                         {Value::Int(id)});
  rs.First();
  const std::string principal = rs.Field(0).AsString();
  // The name to try is given back when the party has it (as its main name
  // or as a further one); else the main name.
  std::string nome = principal;
  bool eh_principal = true;
  const std::string tentativa = FormaDoNome(InTexto(c, "@tentaessenome"));
  if (!tentativa.empty() && tentativa != FormaDoNome(principal)) {
    Recordset outros = c.Query("SELECT nome FROM acionista_nome WHERE id = ?", {Value::Int(id)});
    for (outros.First(); !outros.Eof(); outros.Next()) {
      if (FormaDoNome(outros.Field(0).AsString()) == tentativa) {
        nome = outros.Field(0).AsString();
        eh_principal = false;
        break;
      }
    }
  }
  c.Out("@id", Value::Int(id));
  c.Out("@nome", Value::String(nome));
  c.Out("@doc", Value::String(rs.Field(1).AsString()));
  c.Out("@VaiProZun", Value::Bool(eh_principal));
  c.Out("@NomeProZun", Value::String(principal));
  c.Out("@EhAcionista", Value::Bool(rs.Field(2).AsInt() != 0));
  c.Out("@EhAplicacao", Value::Bool(rs.Field(3).AsInt() != 0));
}

// The id of the next free party code of country pais (the code after the
// highest one in use there), 0 when the country has none left. Party ids
// follow the codes within a country: code k is pais * 10000 + k below
// 10000, else (pais + 100) * 100000 + k - 10000, up to code 109999; codes
// 65533..65535 of country 9 name the special parties and are skipped.
int32_t ProximoIdNoPais(ProcContext& c, int32_t pais) {
  const struct {
    int64_t primeiro, ultimo;
  } faixas[] = {{int64_t{pais} * 10000 + 1, int64_t{pais} * 10000 + 9999},
                {(int64_t{pais} + 100) * 100000, (int64_t{pais} + 100) * 100000 + 99999}};
  for (const auto& f : faixas) {
    Recordset rs = c.Query(
        "SELECT MAX(id) FROM acionista WHERE id BETWEEN ? AND ?",
        {Value::Int(static_cast<int32_t>(f.primeiro)), Value::Int(static_cast<int32_t>(f.ultimo))});
    rs.First();
    int64_t id = rs.Field(0).IsNull() ? f.primeiro : rs.Field(0).AsInt() + int64_t{1};
    const int64_t especiais = (9 + 100) * 100000 + 65533 - 10000;
    if (pais == 9 && id >= especiais && id <= especiais + 2) id = especiais + 3;
    if (id <= f.ultimo) return static_cast<int32_t>(id);
  }
  return 0;
}

void AcionistaAddV3(ProcContext& c) {
  std::string chave;
  const int32_t e = ChecaParte(c, 0, &chave);
  if (e != 0) return c.Return(e);
  const int32_t id = ProximoIdNoPais(c, InInt(c, "@pais"));
  if (id == 0) return c.Return(kErrAcionistaPaisCheio);
  const Value pais = Value::Int(InInt(c, "@pais"));
  c.Exec(
      "INSERT INTO acionista (id, pais, nome, doc, eh_acionista, eh_aplicacao) "
      "VALUES (?, ?, ?, ?, ?, ?)",
      {Value::Int(id), pais, Value::String(InTexto(c, "@nome")), Value::String(InTexto(c, "@doc")),
       Value::Int(InBool(c, "@EhAcionista") ? 1 : 0),
       Value::Int(InBool(c, "@EhAplicacao") ? 1 : 0)});
  c.Exec("INSERT INTO acionista_doc (id, docpais, doc_id) VALUES (?, ?, ?)",
         {Value::Int(id), pais, Value::String(chave)});
}

// Keeps or replaces the party's documents and names as its flags say, and
// sets its roles. The name given becomes the main name with
// "@ForcaNomeVaiProZun" or when no other name is kept; the main name it
// replaces stays as a further name when names are kept.
void AcionistaPutV3(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  if (id >= kPrimeiroEspecial) return c.Return(kErrAcionistaEspecial);
  Recordset velho = c.Query("SELECT nome FROM acionista WHERE id = ?", {Value::Int(id)});
  if (velho.RecordCount() == 0) return c.Return(kErrAcionistaDesconhecido);
  velho.First();
  const std::string principal = velho.Field(0).AsString();
  std::string chave;
  const int32_t e = ChecaParte(c, id, &chave);
  if (e != 0) return c.Return(e);
  const Value vid = Value::Int(id);
  const Value pais = Value::Int(InInt(c, "@pais"));
  const std::string nome = InTexto(c, "@nome");
  const bool mantem_docs = InBool(c, "@ManterDocsExistentes");
  const bool mantem_nomes = InBool(c, "@ManterNomesExistentes");
  if (!mantem_docs) c.Exec("DELETE FROM acionista_doc WHERE id = ?", {vid});
  c.Exec("INSERT OR IGNORE INTO acionista_doc (id, docpais, doc_id) VALUES (?, ?, ?)",
         {vid, pais, Value::String(chave)});
  if (!mantem_nomes) c.Exec("DELETE FROM acionista_nome WHERE id = ?", {vid});
  const bool novo_principal = InBool(c, "@ForcaNomeVaiProZun") || !mantem_nomes;
  if (novo_principal && FormaDoNome(nome) != FormaDoNome(principal)) {
    if (mantem_nomes) {
      c.Exec("INSERT OR IGNORE INTO acionista_nome (id, nome) VALUES (?, ?)",
             {vid, Value::String(principal)});
    }
    c.Exec("DELETE FROM acionista_nome WHERE id = ? AND nome = ?", {vid, Value::String(nome)});
    c.Exec("UPDATE acionista SET nome = ? WHERE id = ?", {Value::String(nome), vid});
  } else if (FormaDoNome(nome) != FormaDoNome(principal)) {
    c.Exec("INSERT OR IGNORE INTO acionista_nome (id, nome) VALUES (?, ?)",
           {vid, Value::String(nome)});
  }
  c.Exec("UPDATE acionista SET eh_acionista = ?, eh_aplicacao = ? WHERE id = ?",
         {Value::Int(InBool(c, "@EhAcionista") ? 1 : 0),
          Value::Int(InBool(c, "@EhAplicacao") ? 1 : 0), vid});
  // The main document follows when the documents were replaced.
  if (!mantem_docs) {
    c.Exec("UPDATE acionista SET pais = ?, doc = ? WHERE id = ?",
           {pais, Value::String(InTexto(c, "@doc")), vid});
  }
}

void CacGetPelaEmpTipoDocData(ProcContext& c) {
  Recordset rs = c.Query(
      "SELECT id, emp, dtref, dtpub, dtrtf, TipoDocumento FROM compacc "
      "WHERE TipoDocumento = ? AND emp = ? AND dtref = ?",
      {Value::Int(InInt(c, "@TipoDocumento")), Value::Int(InInt(c, "@emp")), c.In("@dtref")});
  if (rs.RecordCount() == 0) return c.Return(kErrDbCacNaoAchada);
  rs.First();
  c.Out("@id", Value::Int(rs.Field(0).AsInt()));
  c.Out("@emp", Value::Int(rs.Field(1).AsInt()));
  c.Out("@dtref", c.In("@dtref"));
  c.Out("@dtpub", rs.Field(3).IsNull() ? Value::Null() : Value::DateTime(rs.Field(3).AsDateTime()));
  c.Out("@dtrtf", rs.Field(4).IsNull() ? Value::Null() : Value::DateTime(rs.Field(4).AsDateTime()));
  c.Out("@TipoDocumento", Value::Int(rs.Field(5).AsInt()));
}

// The checks of a composition header; id is the composition itself (0 for
// a new one), which may keep its own key.
int32_t ChecaCac(ProcContext& c, int32_t id) {
  const int32_t emp = InInt(c, "@emp");
  if (c.Query("SELECT 1 FROM empresa WHERE id = ?", {Value::Int(emp)}).RecordCount() == 0) {
    return kErrCacEmpDesconhecida;
  }
  if (c.In("@dtref").IsNull()) return kErrCacSemDtRef;
  const int32_t tipo = InInt(c, "@TipoDocumento");
  if (tipo != 0 && tipo != 1 && tipo != 3) return kErrCacTipoInvalido;
  Recordset outra =
      c.Query("SELECT 1 FROM compacc WHERE emp = ? AND TipoDocumento = ? AND dtref = ? AND id <> ?",
              {Value::Int(emp), Value::Int(tipo), c.In("@dtref"), Value::Int(id)});
  return outra.RecordCount() == 0 ? 0 : kErrCacDuplicada;
}

void CacAddV2(ProcContext& c) {
  const int32_t e = ChecaCac(c, 0);
  if (e != 0) return c.Return(e);
  c.Exec(
      "INSERT INTO compacc (emp, dtref, dtpub, dtrtf, inpct, TipoDocumento) "
      "VALUES (?, ?, ?, ?, ?, ?)",
      {Value::Int(InInt(c, "@emp")), c.In("@dtref"), c.In("@dtpub"), c.In("@dtrtf"),
       Value::Int(InBool(c, "@inpct") ? 1 : 0), Value::Int(InInt(c, "@TipoDocumento"))});
  c.Out("@id", Value::Int(static_cast<int32_t>(c.LastInsertId())));
}

void CacPutV2(ProcContext& c) {
  const int32_t id = InInt(c, "@id");
  if (c.Query("SELECT 1 FROM compacc WHERE id = ?", {Value::Int(id)}).RecordCount() == 0) {
    return c.Return(kErrCacDesconhecida);
  }
  const int32_t e = ChecaCac(c, id);
  if (e != 0) return c.Return(e);
  c.Exec(
      "UPDATE compacc SET emp = ?, dtref = ?, dtpub = ?, dtrtf = ?, inpct = ?, TipoDocumento = ? "
      "WHERE id = ?",
      {Value::Int(InInt(c, "@emp")), c.In("@dtref"), c.In("@dtpub"), c.In("@dtrtf"),
       Value::Int(InBool(c, "@inpct") ? 1 : 0), Value::Int(InInt(c, "@TipoDocumento")),
       Value::Int(id)});
}

// Gives every party of the composition the role the composition shows:
// shareholder in a shareholder composition, portfolio item in the others.
void CacCheckEhAplicacaoEhAcionista(ProcContext& c) {
  const Value id = Value::Int(InInt(c, "@idcac"));
  Recordset rs = c.Query("SELECT TipoDocumento FROM compacc WHERE id = ?", {id});
  if (rs.RecordCount() == 0) return c.Return(kErrCacDesconhecida);
  rs.First();
  const char* coluna = rs.Field(0).AsInt() == 0 ? "eh_acionista" : "eh_aplicacao";
  c.Exec(std::string("UPDATE acionista SET ") + coluna + " = 1 WHERE " + coluna +
             " = 0 AND id IN (SELECT nac FROM compaccitem WHERE cac = ?)",
         {id});
}

ProcParam P(const char* name, DataType type = DataType::kInteger,
            ParamDirection d = ParamDirection::kInput) {
  return {name, type, d};
}

}  // namespace

void RegisterOwnershipProcedures() {
  constexpr DataType S = DataType::kString, B = DataType::kBoolean, D = DataType::kDateTime;
  constexpr ParamDirection O = ParamDirection::kOutput, IO = ParamDirection::kInputOutput;
  RegisterProcedure(
      "AcionistaGetByDocPaisV3",
      {P("@doc_in", S), P("@docpais_in"), P("@tentaessenome", S), P("@PodeLimparDocID", B),
       P("@id", DataType::kInteger, O), P("@nome", S, O), P("@doc", S, O), P("@VaiProZun", B, O),
       P("@NomeProZun", S, O), P("@EhAcionista", B, O), P("@EhAplicacao", B, O)},
      AcionistaGetByDocPaisV3, true);
  const std::vector<ProcParam> parte = {P("@id"),     P("@pais"),           P("@nome", S),
                                        P("@doc", S), P("@EhAcionista", B), P("@EhAplicacao", B)};
  std::vector<ProcParam> add = parte;
  add.push_back(P("@PodeLimparDocID", B));
  RegisterProcedure("AcionistaAddV3", add, AcionistaAddV3);
  std::vector<ProcParam> put = parte;
  for (const char* n : {"@ManterDocsExistentes", "@ManterNomesExistentes", "@ForcaNomeVaiProZun",
                        "@PodeLimparDocID"}) {
    put.push_back(P(n, B));
  }
  RegisterProcedure("AcionistaPutV3", put, AcionistaPutV3);
  RegisterProcedure(
      "CacGetPelaEmpTipoDocData",
      {P("@TipoDocumento", DataType::kInteger, IO), P("@emp", DataType::kInteger, IO),
       P("@dtref", D, IO), P("@id", DataType::kInteger, O), P("@dtpub", D, O), P("@dtrtf", D, O)},
      CacGetPelaEmpTipoDocData, true);
  const std::vector<ProcParam> cab = {P("@id", DataType::kInteger, IO),
                                      P("@emp"),
                                      P("@dtref", D),
                                      P("@dtpub", D),
                                      P("@dtrtf", D),
                                      P("@inpct", B),
                                      P("@TipoDocumento")};
  RegisterProcedure("CacAddV2", cab, CacAddV2);
  RegisterProcedure("CacPutV2", cab, CacPutV2);
  RegisterProcedure("CacCheckEhAplicacaoEhAcionista", {P("@idcac")},
                    CacCheckEhAplicacaoEhAcionista);
}

}  // namespace zun
