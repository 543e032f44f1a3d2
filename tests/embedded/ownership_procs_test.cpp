// The party and composition procedures on a real database file. Each table
// runs in order on one database holding company PETR (country 0): a call's
// code, then the rows of the test's query (a refused call leaves them as
// they were).
#include "../support/db_fixture.h"

namespace zun {
namespace {

using namespace proc_args;

const Value kDia = Value::DateTime(45422);  // 2024-05-10

using OwnershipProcs = ProcDb;

Params Parte(int32_t id, int32_t pais, const char* nome, const char* doc, bool limpa) {
  return {{"@id", I(id)},
          {"@pais", I(pais)},
          {"@nome", S(nome)},
          {"@doc", S(doc)},
          {"@EhAcionista", B(true)},
          {"@EhAplicacao", B(false)},
          {"@PodeLimparDocID", B(limpa)}};
}

Params Put(int32_t id, int32_t pais, const char* nome, const char* doc, bool docs, bool nomes,
           bool forca) {
  auto p = Parte(id, pais, nome, doc, false);
  p.push_back({"@ManterDocsExistentes", B(docs)});
  p.push_back({"@ManterNomesExistentes", B(nomes)});
  p.push_back({"@ForcaNomeVaiProZun", B(forca)});
  return p;
}

// Documents are stored in their letters-and-digits form (a provisional one
// as written), name one party each, and move only with the right flag.
TEST_F(OwnershipProcs, Partes) {
  const char* q =
      "SELECT a.id, a.nome, a.doc, (SELECT group_concat(d.docpais || ':' || d.doc_id) FROM "
      "acionista_doc d WHERE d.id = a.id), (SELECT group_concat(n.nome) FROM acionista_nome n "
      "WHERE n.id = a.id) FROM acionista a WHERE a.id < 2147483645 ORDER BY a.id";
  const std::string ana = "1|Ana|12.345/0001-x|0:123450001X|";
  const std::string bia = ";2|Bia|abc-provis|0:ABC-PROVIS|";
  Roda(q,
       {{"AcionistaAddV3", Parte(0, 0, "Ana", "12.345/0001-x", false), 0, ana.c_str()},
        {"AcionistaAddV3", Parte(0, 0, "Bia", "123450001x", false), 51104},
        {"AcionistaAddV3", Parte(0, 0, " ", "1", false), 51101},
        {"AcionistaAddV3", Parte(0, 0, "Bia", "-/.", false), 51102},
        {"AcionistaAddV3", Parte(0, 99, "Bia", "1", false), 51103},
        {"AcionistaAddV3", Parte(0, 0, "Bia", "abc-provis", false), 0, (ana + bia).c_str()},
        {"AcionistaPutV3", Put(9, 0, "X", "1", true, true, false), 51105},
        {"AcionistaPutV3", Put(2147483647, 9, "X", "1", true, true, false), 51106},
        {"AcionistaGetByDocPaisV3", {{"@doc_in", S("abcprovis")}, {"@docpais_in", I(0)}}, 4178}},
       false);
  Roda(q,
       {{"AcionistaPutV3", Put(2, 1, "Beatriz", "X-1", true, true, false), 0,
         (ana + ";2|Bia|abc-provis|0:ABC-PROVIS,1:X1|Beatriz").c_str()},
        {"AcionistaPutV3", Put(2, 1, "Beatriz", "X-1", false, true, true), 0,
         (ana + ";2|Beatriz|X-1|1:X1|Bia").c_str()},
        {"AcionistaAddV3", Parte(0, 1, "Caio", "x1", true), 0,
         "1|Ana|12.345/0001-x|0:123450001X|;2|Beatriz|X-1||Bia;10001|Caio|x1|1:X1|"}},
       false);
}

// Finding a stored composition is run by the composition importer's tables.
TEST_F(OwnershipProcs, Composicoes) {
  const char* q =
      "SELECT id, emp, date(dtref), date(dtpub), dtrtf IS NULL, TipoDocumento FROM compacc";
  auto cab = [](int32_t id, int32_t emp, Value dtref, int32_t tipo) {
    return Params{{"@id", I(id)}, {"@emp", I(emp)}, {"@dtref", dtref}, {"@TipoDocumento", I(tipo)}};
  };
  auto pub = cab(1, 1, kDia, 0);
  pub.push_back({"@dtpub", kDia});
  Roda(q,
       {{"CacAddV2", cab(0, 1, kDia, 0), 0, "1|1|2024-05-10||1|0"},
        {"CacAddV2", cab(0, 1, kDia, 0), 51113},
        {"CacAddV2", cab(0, 9, kDia, 0), 51110},
        {"CacAddV2", cab(0, 1, Value(), 0), 51111},
        {"CacAddV2", cab(0, 1, kDia, 2), 51112},
        {"CacPutV2", cab(5, 1, kDia, 0), 51114},
        {"CacPutV2", pub, 0, "1|1|2024-05-10|2024-05-10|1|0"},
        {"CacGetPelaEmpTipoDocData", cab(0, 1, kDia, 1), 3932},
        {"CacCheckEhAplicacaoEhAcionista", {{"@idcac", I(7)}}, 51114}},
       false);
}

}  // namespace
}  // namespace zun
