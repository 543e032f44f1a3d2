// The company-name normaliser: rewrites a name into the house spelling
// before the company import stores it. The name is lower-cased, typographic
// double quotes and dashes become plain ones, phrases are replaced by their
// abbreviations, a list of words gets a fixed spelling, every other word is
// capitalised and repeated separators shrink to one.
//
// The abbreviations (table kind 1) and the fixed-spelling words (kind 2) are
// kept per country in the database and read with "BufPorPaisGet". One
// normaliser, built for one country, is cached for the process; a call for
// another country replaces it. LiberaNormalizadorDeNomes frees it at
// shutdown.
//
// All text is Windows-1252; letters, digits and case are those of the code
// page (foundation/text.h).
//
// Thread-safety: none; the cache belongs to the main thread like Db.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zun {

// One entry of a per-country table as read from the database.
struct TInfoStringAbrev {
  bool Ativo = false;  // set by every line read for the key; Texto writes only these
  uint8_t Marca = 0;   // the load flag OR-ed in (loads pass 0)
  std::string Valor;   // the text after the first "=", trimmed
};

// A per-country table of kind 1 (abbreviations: key and replacement) or 2
// (words with a fixed spelling: key only), read from "BufPorPaisGet".
class TListaStringsAbrev {
 public:
  struct MenorSemCaixa {
    bool operator()(const std::string& a, const std::string& b) const;
  };

  // Reads the table of country pais and kind tipo at once. *erro is 0 on
  // success (an empty table, the procedure's 4251, included), else the
  // procedure's code. Raises what the session raises (no session, a result
  // set without the expected columns); the command object is given back in
  // every case. erro must not be null.
  TListaStringsAbrev(int32_t pais, int32_t* erro, int32_t tipo, bool mostra_valor);

  // The active entries in key order (letter case ignored), one a line:
  // the key, with MostraValor " = " and the value, then CR LF.
  std::string Texto() const;

  // Adds the entries of conteudo: lines end at CR or LF (empty lines are
  // skipped); a line gives the key up to its first "=" and the value up to
  // the next one, both trimmed (leading "=" skipped). A key met again,
  // letter case ignored, takes the later value. marca is OR-ed into each
  // entry read.
  void Analisa(const std::string& conteudo, uint8_t marca);

  int32_t Pais;
  bool MostraValor;
  int32_t Tipo;
  std::map<std::string, TInfoStringAbrev, MenorSemCaixa> Itens;

 private:
  [[nodiscard]] int32_t Carrega();
};

// One entry of a normaliser list.
struct TNomeNormalizado {
  std::string Chave;  // lower case
  std::string Valor;  // as written in the table
};

class TNormalizadorDeNomes {
 public:
  // Empty lists, no abbreviation pass, separators tab and CR.
  TNormalizadorDeNomes();

  // Clears Abreviacoes and loads it from key-value text: the key up to
  // SeparadorDeValor (lower-cased, trimmed), the value up to
  // SeparadorDeLinha (trimmed). Entries with an empty key are skipped.
  void CarregaAbreviacoes(const std::string& texto);
  // Clears Palavras and loads it from one word a line (SeparadorDeLinha):
  // the word trimmed is the value, in lower case the key.
  // An empty separator loads nothing (it would never advance).
  void CarregaPalavras(const std::string& texto);

  // The name in the house spelling (see the unit comment), trimmed.
  std::string Normaliza(const std::string& nome) const;

  // Both lists are sorted by key length, longest first, then by key with
  // letter case ignored; a key already present keeps its first entry.
  std::vector<TNomeNormalizado> Abreviacoes;
  std::vector<TNomeNormalizado> Palavras;
  bool UsaAbreviacoes;
  std::string SeparadorDeValor;
  std::string SeparadorDeLinha;

 private:
  std::string PassoDeAbreviacoes(const std::string& trecho, size_t offset) const;
  std::string PassoDePalavras(const std::string& trecho, size_t offset) const;
};

// nome normalised with the tables of country pais; nome unchanged when the
// tables cannot be read (warnings 15679 and 15680 logged) or anything raises
// (16016 logged). Builds and caches the normaliser of pais when the cached
// one is missing or of another country; a failed build caches nothing.
std::string NormalizaNome(int32_t pais, const std::string& nome);

// Frees the cached normaliser (shutdown).
void LiberaNormalizadorDeNomes();

}  // namespace zun
