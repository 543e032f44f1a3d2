// The single-attribute and asset records. Each keyword has one table of
// lines, each line a file of its own, run in order on one database; then
// the rows the table touched.
#include "importers/objects/object_records.h"

#include "../../support/import_fixture.h"
#include "db/user_context.h"
#include "importers/objects/registration.h"

namespace zun {
namespace {

using ObjectRecordsImport = ImportDb<RegistraImportadoresDeObjetos>;

// "*NAICSIF" writes only a code that does not lie above the current one.
TEST_F(ObjectRecordsImport, Naics) {
  EXPECT_EQ(
      RodaArquivos({{"*NAICS PETR 0 3341"}, {"*NAICSIF PETR 0 334"}, {"*NAICSIF PETR 0 3341"}},
                   "SELECT naics FROM empresa"),
      "3341");
  EXPECT_EQ(RodaArquivos({{"*NAICSIF PETR 0 3342"},
                          {"*NAICS PETR 0", 15311},
                          {"*NAICS PETR 0 334 x", 15311},
                          {"*NAICS - 0 334", 15312},
                          {"*NAICS PETR x 334", 15313},
                          {"*NAICS PETR 0 x", 15314},
                          {"*NAICS PETR 0 9999", 15315},
                          {"*NAICS PETR 0 65870", 15315},  // 334 once cut to 16 bits
                          {"*NAICS VALE 0 334", 4174},
                          {"*NAICS PETR 99 334", 4173}},
                         "SELECT naics FROM empresa"),
            "3342");
}

// Kinds 6 to 11 need the user's right unless the series has the kind
// already.
TEST_F(ObjectRecordsImport, SerieStatus) {
  const char* q = "SELECT tipo_de_bgl_destino FROM anb";
  EXPECT_EQ(RodaArquivos({{"*SERIESTATUS PETR4 1 3"},
                          {"*SERIESTATUS PETR4 1 4\r\n*SERIESTATUS PETR4 1 7", 50527},
                          {"*SERIESTATUS PETR4 1 4\r\n*SERIESTATUS petr4 1 12", 50525},
                          {"*SERIESTATUS PETR4 1 4\r\n*SERIESTATUS PETR4 2 4", 4178},
                          {"*SERIESTATUS PETR4 1", 4139, "Invalid # of fields : 3"},
                          {"*SERIESTATUS PETR4 1 3 x", 4139, "Invalid # of fields : 5"},
                          {"*SERIESTATUS \"\" 1 3", 4136, "Empty <ticker>"},
                          {"*SERIESTATUS PETR4 9 3", 4137, "Invalid <exchange>"},
                          {"*SERIESTATUS PETR4 x 3", 4137, "Invalid <exchange>"},
                          {"*SERIESTATUS PETR4 1 x", 4138, "Invalid NewStatus"}},
                         q),
            "3");
  UsuarioFlags = 1;
  EXPECT_EQ(RodaArquivos({{"*SERIESTATUS PETR4 1 7"}}, q), "7");
  UsuarioFlags = 0;
  EXPECT_EQ(RodaArquivos({{"*SERIESTATUS PETR4 1 7"}, {"*SERIESTATUS PETR4 1 8", 50527}}, q), "7");
}

TEST_F(ObjectRecordsImport, Isin) {
  EXPECT_EQ(
      RodaArquivos(
          {{"*ISIN PETR4 1 BRPETRACNPR6XYZ"},
           {"*ISIN PETR4 1", 4327, "Invalid # of fields : 3"},
           {"*ISIN \"\" 1 X", 4136, "Empty <ticker>"},
           {"*ISIN PETR4 7 X", 4137, "Invalid <exchange>"},
           {"*ISIN PETR4 1 BRPETRACNPR9\r\n*ISIN VALE3 1 X", 4178},
           // A series the file adds before the line is known.
           {"*OBJSERIE NOVA3 1 PETR 0 ON N 2 t 1 1 n N N 0 0 0 0 0 0\r\n*ISIN NOVA3 1 BRNOVA"}},
          "SELECT isin FROM anb ORDER BY id"),
      "BRPETRACNPR6;BRNOVA");
}

// A type given as "-" keeps the stored one; a new asset needs both.
TEST_F(ObjectRecordsImport, ObjClass) {
  EXPECT_EQ(RodaArquivos({{"*OBJCLASS PETR 0 ON 3 1"},
                          {"*OBJCLASS PETR 0 on - 2"},
                          {"*OBJCLASS PETR 0 PN 0 1"},
                          {"*OBJCLASS PETR 0 PN 3 -\r\n*OBJCLASS PETR 0 RF 0", 15259},
                          {"*OBJCLASS PETR 0 RF - 1", 15259},
                          {"*OBJCLASS PETR 0", 15253},
                          {"*OBJCLASS PETR 0 ON 0 1 x", 15253},
                          {"*OBJCLASS PETR 0 ON 9 1", 15256},
                          {"*OBJCLASS PETR 0 ON x", 15256},
                          {"*OBJCLASS PETR 0 ON 0 7", 15257},
                          {"*OBJCLASS - 0 ON 0 1", 15254},
                          {"*OBJCLASS VALE 0 ON 0 1", 4170},
                          {"*OBJCLASS PETR 0 XX 0 1", 4171}},
                         "SELECT emp, idclass, vote, tipoobj FROM ativo ORDER BY id"),
            "1|2|2|3;1|3|1|0");
}

}  // namespace
}  // namespace zun
