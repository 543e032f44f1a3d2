// Shareholding compositions: the block importer of "*SHAREHOLDERS" and
// "*PORTFOLIO" and the store that replaces a composition in the database.
//
// A block is a keyword line (company, country, reference and publication
// dates, the kind of document) followed by item lines, one party each with
// its values, closed by "END". The check pass validates the block (every
// unknown document of one error code is reported before the block fails;
// documents added earlier in the file are accepted); the import pass
// replaces the stored composition, header and items, in one transaction.
// The item rows are SQL text holding only numbers, written with "." as the
// decimal point whatever the process locale and with enough digits to give
// the value back exactly.
//
// Thread-safety: none; main thread only, like Db.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zun {

class TImpMain;
struct TVariantes;

// One value of one party in a composition. The key is (Nac, TipoAplicacao,
// Vot, TipoClassificacao).
struct TCacItem {
  int32_t Nac = 0;
  int32_t TipoAplicacao = 0;
  int32_t TipoClassificacao = 0;  // 0 = none
  uint8_t Vot = 0;  // 1, 0, 2: first, second, third value of a shareholder line; 3: portfolio
  bool Excluido = false;
  double Vlr = 0;
};

// The items of one composition and its kind of document (0 shareholders,
// 1 fund portfolio, 3 credit receivables).
struct tCacItems {
  uint8_t TipoDocumento = 0;
  std::vector<TCacItem> Itens;
};

// A composition header.
struct TCacHeader {
  int32_t Id = 0;
  int32_t Emp = 0;
  double DtRef = 0;
  double DtPub = 0;  // 0 = none
  double DtRtf = 0;  // 0 = none
  uint8_t TipoDocumento = 0;
};

// The highest party code within a country: codes 10000 and above take the
// country's 100000 ids from (country + 100) * 100000.
inline constexpr int32_t kMaxCodigoNoPais = 109999;

// The party id of a party code within a country: the special parties for
// country 9 and codes 65535, 65534, 65533; country * 10000 + code for a
// code below 10000; else (country + 100) * 100000 + code - 10000. 0 for a
// code below 0 or above kMaxCodigoNoPais, and when the result is not a
// positive 32-bit id. The database numbers new parties by the same scheme.
int32_t IdDoCodigoNoPais(int32_t codigo, int32_t pais);

// Adds valor to (soma) or sets it as the value of the item of the key,
// creating the item (value 0) when missing. A NaN value, or 0 when not
// soma, removes the item of the key instead (the last item takes its
// place). The key is searched from the last item to the first.
void PoeValor(tCacItems* itens, int32_t nac, int32_t tipo_aplicacao, bool soma, double valor,
              uint8_t vot, int32_t tipo_classificacao);

// Keeps, in order, only the items whose value is finite and not 0 and whose
// Vot belongs to the kind (0, 1, 2 for shareholders; 3 for portfolios).
// True when something was dropped.
bool CompactaItens(tCacItems* itens);

// The number as SQL text: "." as the decimal point in any locale, the
// shortest digits that read back as the same double.
std::string NumeroSql(double v);

// Writes the items of composition cac: deletes the old ones unless nova,
// compacts, and inserts one row per item left. Raises what the session
// raises. Returns true.
bool GravaItensDaCac(tCacItems* itens, int32_t cac, bool nova);

// Finds the composition of (kind, company, reference date), creates or
// updates it with its items in one transaction and, with conferir, lets
// the database check the parties' roles. 0 or an error code; an exception
// rolls back and gives 4329 (logged "DbCacAddOuPut error:...").
[[nodiscard]] int32_t DbCacAddOuPut(TCacHeader* header, tCacItems* itens, bool conferir);

// The block importer: v.Carteira false for "*SHAREHOLDERS", true for
// "*PORTFOLIO". Reads the keyword line in imp.Parser and the item lines
// through imp.NextLine up to "END". *code receives 0 or the block's error.
// Preconditions: code is not null; imp.Parser is present.
void ImportaComposicao(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
