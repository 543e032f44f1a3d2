// The party records and the document cache.
#include "importers/ownership/shareholders.h"

#include <gtest/gtest.h>

#include <string>

#include "../../support/import_fixture.h"
#include "foundation/switches.h"
#include "importers/ownership/registration.h"

namespace zun {
namespace {

using OwnershipImport = ImportDb<RegistraImportadoresDeParticipacoes>;

constexpr char kPartes[] =
    "SELECT a.id, a.nome, a.eh_acionista, a.eh_aplicacao, "
    "(SELECT group_concat(n.nome) FROM acionista_nome n WHERE n.id = a.id) "
    "FROM acionista a WHERE a.id < 2147483645 ORDER BY a.id";

// One database, the lines in order: additions, renames, the IFDOCISNEW
// variants counting without writing, and the field checks.
TEST_F(OwnershipImport, Acionista) {
  const std::string x = "1|Banco X S.A.|1|0|";
  const std::string nome131(131, 'A');
  // A new party's id is its next code within its country.
  const std::string outras =
      ";10001|Fundo|1|0|;10002|Carteira|0|1|;20001|" + nome131.substr(1) + "|1|0|";
  const std::string todas = "1|Banco Y|1|1|Banco X S.A." + outras;
  RodaArquivos(
      {{"*SHAREHOLDER \"Banco X S.A.\" 0 12.345/0001-x", 0,
        "New share holder: \"Banco X S.A.\" \"Brazil\" \"12.345/0001-x\"", x},
       {"*SHAREHOLDER \"banco x, sa\" 0 123450001X", 0, "", x},
       {"*SHAREHOLDERIFDOCISNEW \"Banco Y\" 0 123450001X", 0,
        "Share holder modify: \"Banco Y\" - \"123450001X\" - \"Brazil\" (was: name:\"Banco X "
        "S.A.\" doc:\"12.345/0001-x\") NoAction(IfDocIsNew)",
        x},
       {"*PFITEM \"Banco Y\" 0 123450001X Y", 0, "", "1|Banco Y|1|1|Banco X S.A."},
       {"*SHAREHOLDER \"Banco X SA\" 0 123450001X", 0,
        "Share holder: name \"Banco X SA\" is not main name \"Banco Y\"",
        "1|Banco Y|1|1|Banco X S.A."},
       {"*SHAREHOLDERIFDOCISNEW Fundo 1 999\n*PFITEMIFDOCISNEW Carteira 1 888 N N", 0, "",
        "1|Banco Y|1|1|Banco X S.A.;10001|Fundo|1|0|;10002|Carteira|0|1|"},
       {"*SHAREHOLDER " + nome131 + " 2 77", 0, "Nac.Nome MaxLen:130 len:131 \"" + nome131, todas},
       {"*SHAREHOLDER Ana 0", 4322, "Invalid # of fields", todas},
       {"*SHAREHOLDER Ana 0 1 Y Y x", 4322, "Invalid # of fields", todas},
       {"*SHAREHOLDER \"\" 0 1", 4323, "Empty <name>", todas},
       {"*SHAREHOLDER Ana 99 1", 4182, "", todas},
       {"*SHAREHOLDER Ana 0 \"\"", 4324, "Empty <doc>", todas},
       {"*SHAREHOLDER Ana 0 --", 4324, "Empty <doc>", todas},
       {"*SHAREHOLDER Ana 0 1 talvez", 4204, "", todas},
       {"*SHAREHOLDER Ana 0 1 N talvez", 45119, "", todas},
       {"*SHAREHOLDER Ana 0 " + std::string(96, '7'), 0, "Nac.doc MaxLen:95 len:96",
        "1|Banco Y|1|1|Banco X S.A.;2|Ana|1|0|" + outras}},
      kPartes);
}

// The limits are checked after the check pass: nothing is written when
// they are exceeded, and IFDOCISNEW modifications count too.
TEST_F(OwnershipImport, Limites) {
  Sql("INSERT INTO acionista (id, pais, nome, doc) VALUES (1, 0, 'Ana', '1')");
  Sql("INSERT INTO acionista_doc (id, docpais, doc_id) VALUES (1, 0, '1')");
  struct {
    const char* chave;
    const char* arquivo;
    int32_t resultado;
    const char* mensagem;
  } const casos[] = {
      {"/SHLIMITADD=0", "*SHAREHOLDER Bia 0 2", 4181, "Share holders limit exceeded!!!"},
      {"/SHLIMITADD=x", "*SHAREHOLDER Bia 0 2", 4180, ""},
      {"/SHLIMITMOD=0", "*SHAREHOLDERIFDOCISNEW Beatriz 0 1", 4181, "Mod:1 Add:0"},
      {"/SHLIMITTOTAL=1", "*SHAREHOLDER Bia 0 2\n*SHAREHOLDER Ana2 0 1", 4181, "Mod:1 Add:1"},
      {"/SHLIMITADD=1", "*SHAREHOLDERIFDOCISNEW Ana 0 1", 0, ""},
  };
  for (const auto& c : casos) {
    SetProgramArgs({"zuninput", c.chave});
    RodaArquivos({{c.arquivo, c.resultado, c.mensagem, "1|Ana"}},
                 "SELECT id, nome FROM acionista WHERE id < 2147483645");
  }
}

TEST(NormalizaDoc, LetrasEDigitos) {
  EXPECT_EQ(NormalizaDoc("12.345/0001-x"), "123450001X");
  EXPECT_EQ(NormalizaDoc(" a\xE7\xE3o-9 "), "AO9");
  EXPECT_EQ(NormalizaDoc("--"), "");
}

// The cache's own order, its two searches and its insertions.
TEST(CacheAcionistaDocPais, OrdemEBusca) {
  TCacheAcionistaDocPais cache;
  cache.Itens() = {{1, "B", 5}, {0, "Z", 4}, {0, "abc-provis", 3}, {0, "123450001X", 2}};
  cache.Ordena();
  std::string ordem;
  for (const auto& it : cache.Itens()) ordem += std::to_string(it.Aci);
  EXPECT_EQ(ordem, "2345");
  cache.Adiciona(6, "a", 1);
  cache.Adiciona(7, "12.345/0001-x", 0);  // already there: the old entry stays
  cache.Adiciona(0, "Q", 0);              // no id: not kept
  struct {
    const char* doc;
    int32_t pais;
    int32_t id;
  } const casos[] = {{"12.345/0001-x", 0, 2},
                     {"123450001x", 0, 2},
                     {"ABC-PROVIS", 0, 3},
                     {"z", 0, 4},
                     {"b", 1, 5},
                     {"A", 1, 6},
                     {"Q", 0, 0},
                     {"B", 0, 0},
                     {"ABCPROVIS", 0, 0}};
  for (const auto& c : casos) {
    int32_t erro = -1;
    EXPECT_EQ(cache.Procura(c.doc, c.pais, &erro), c.id) << c.doc;
    EXPECT_EQ(erro, c.id == 0 ? 4178 : 0) << c.doc;
  }
}

}  // namespace
}  // namespace zun
