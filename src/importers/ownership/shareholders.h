// Parties that own shares or are held in portfolios: the party record, the
// line importer of "*SHAREHOLDER", "*SHAREHOLDERIFDOCISNEW", "*PFITEM" and
// "*PFITEMIFDOCISNEW", and the process-wide document cache that maps a
// country and a document to a party id for the composition importer.
//
// A party is known by (document, country). The line importer looks it up
// with "AcionistaGetByDocPaisV3", renames a known party with
// "AcionistaPutV3" (check pass: only counted and reported) or adds a new one
// with "AcionistaAddV3", and counts additions and modifications in the
// importer object's SHAddCount and SHModCount, which the engine checks
// against the file's limits at the end of the check pass. The addition
// procedure gives no id back: the new party is looked up again by its
// document right after the addition, and the id found enters the cache.
//
// Thread-safety: none; main thread only, like Db and the cache.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zun {

class TImpMain;
class TListaDeSHAdded;
struct TVariantes;

// One party as exchanged with the procedures. A cleared record has every
// field zero or empty except Pais = -1.
struct tNacRec {
  int32_t Id = 0;
  int32_t Pais = -1;
  std::string Nome;  // at most kMaxNome characters from a file
  std::string Doc;   // at most kMaxDoc characters from a file
  bool Lido = false;
  std::vector<std::pair<int32_t, std::string>> Docs;  // (DocPais, DocId)
  bool EhAcionista = false;
  bool EhAplicacao = false;
  int32_t QtNomes = 0;

  void Limpa() { *this = tNacRec(); }
};

inline constexpr size_t kMaxNome = 130;
inline constexpr size_t kMaxDoc = 95;

// doc upper-cased (ASCII) with every character that is not A-Z or 0-9
// removed: "12.345/0001-x" gives "123450001X".
std::string NormalizaDoc(std::string_view doc);

// "AcionistaGetByDocPaisV3" for (doc, pais) with nome as the name to try.
// Returns the procedure's code (0 found, 4178 not found, other codes on
// failure; an exception of the call becomes its code). When found, *f holds
// the party's id, the name found, its main document and roles, *principal
// tells whether the name found is the main name and *nome_principal is the
// main name. Preconditions: the out pointers are not null.
[[nodiscard]] int32_t AcionistaGetByDocPais(const std::string& doc, int32_t pais,
                                            const std::string& nome, bool pode_limpar_doc_id,
                                            tNacRec* f, bool* principal,
                                            std::string* nome_principal);

// The document cache: entries (DocPais, DocId, Aci) kept in the order of
// the country, then the document compared without regard to ASCII case.
// Entries never hold id 0, so that a look-up always ends with an id or 4178.
class TCacheAcionistaDocPais {
 public:
  struct Item {
    int32_t DocPais = 0;
    std::string DocId;
    int32_t Aci = 0;
  };

  // Reads every document of the database ("select docpais, doc_id, aci from
  // AcionistaDoc order by docpais, doc_id"; raises what the session raises)
  // and puts the entries in the cache's own order.
  void Carrega();
  // Bubble sort of the entries into the cache's order: passes over adjacent
  // pairs, each one element shorter, until a pass swaps nothing. The rows
  // usually arrive in order already, which costs one pass.
  void Ordena();
  // The party of (doc, pais): the entry of (pais, NormalizaDoc(doc)), else,
  // for a provisional document (upper-cased it holds "-PROVIS") whose
  // normal form differs, the entry of doc as given. 0 and *erro = 4178 when
  // neither is there. Precondition: erro is not null.
  int32_t Procura(const std::string& doc, int32_t pais, int32_t* erro) const;
  // Adds (pais, NormalizaDoc(doc), id) in order; an entry already there for
  // the key is kept and the new one dropped. An id below 1 is not added.
  void Adiciona(int32_t id, const std::string& doc, int32_t pais);

  std::vector<Item>& Itens() { return itens_; }

 private:
  std::vector<Item> itens_;
};

// The process-wide cache; null before the first AcionistaIdPorDocPais.
TCacheAcionistaDocPais* CacheAcionistaDocPais();
// Frees the cache (also registered as an exit procedure when it is made).
void LiberaCacheAcionistaDocPais();

// The party of (doc, pais) through the process-wide cache, which the first
// call creates and loads (a failed load gives its code in *erro and 0).
// Precondition: erro is not null.
int32_t AcionistaIdPorDocPais(const std::string& doc, int32_t pais, int32_t* erro);

// Adds a party to the process-wide cache when the cache exists.
void AdicionaAoCacheDeDocs(int32_t id, const std::string& doc, int32_t pais);

// The line importer of the four party keywords (v.ItemDeCarteira: portfolio
// item; v.SeDocNovo: only a new document is written). Reads the fields of
// the record in imp.Parser, validates them, reports new and renamed parties
// in the check pass, writes them in the import pass, and updates
// imp.SHAddCount, imp.SHModCount and imp.SHAdded. *code receives 0 or the
// line's error code. Precondition: code is not null, imp.Parser is present.
void ImportaAcionista(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
