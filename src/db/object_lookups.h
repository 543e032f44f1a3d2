// Look-ups from the codes import files carry to the ids of companies,
// assets and series, the destination kind and count of series, the
// register of provisional codes, and the process-wide cache of company ids
// by country and code (TCacheEmpPais).
//
// The look-ups return error codes and set their outputs to 0 on any error;
// like every call through Db, an exception of the session (no session, an
// output the database left NULL) is passed on to the caller.
//
// Thread-safety: none; main thread only, like Db and the cache.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zun {

// Company ids by (country, code), loaded once with
// "select pais, cod, id from empresa order by pais, cod" and searched by
// binary search: country numerically, then code with ComparaSemCaixa. The
// rows are put in that order after loading, whatever order the database's
// collation gave them, so that no code is lost to a disagreement between
// the two orders.
class TCacheEmpPais {
 public:
  struct Item {
    int32_t pais;
    std::string cod;  // trimmed
    int32_t id;
  };

  // Reads every company (raises what the session raises).
  void Carrega();
  // The id of (pais, cod), cod trimmed; 0 when not in the cache.
  int32_t Procura(int32_t pais, const std::string& cod) const;
  const std::vector<Item>& Itens() const { return itens_; }

 private:
  std::vector<Item> itens_;
};

// The process-wide cache: created and loaded by the first GetIdEmpCache,
// freed by LiberaCacheEmpPais (shutdown). Null before.
const TCacheEmpPais* CacheEmpPais();
void LiberaCacheEmpPais();

// The company of code in the country whose id is the text pais
// ("GetIdEmp"). pais must be an integer in 0..79, else 4173 without a
// call; an id below 1 gives 4174. Returns the id, 0 on any error (*erro).
int32_t GetIdEmp(const std::string& cod, const std::string& pais, int32_t* erro);

// As GetIdEmp, from the cache: 4173 for a country outside 0..79, 4174 for
// a code not in it. Companies added after the cache was loaded are not
// found (callers that may meet new companies use GetIdEmp).
int32_t GetIdEmpCache(const std::string& cod, const std::string& pais, int32_t* erro);

// The series of code on the exchange whose id is the text bolsa
// ("GetIdAnb", whose return value is the id): 4177 when bolsa is not an
// integer (no call), 4178 when no series has the code; a call that fails
// gives its own code, never an id. Returns the id, 0 on any error (*erro).
int32_t GetIdAnb(const std::string& cod, const std::string& bolsa, int32_t* erro);

// The asset of class code cod_classe of the company of code cod_emp in
// country pais ("GetIdAtvV2"): 15254 for an empty or "-" company code,
// 4175 for a country outside 0..79, 15255 for an empty or "-" class code
// (no call in these cases). With provis, a company code containing
// "-provis" that the database does not know (4170) is tried again as the
// code it was registered under. Result 0 or 4172 (company and class known,
// no asset of that class) fill the three ids; other codes leave them 0.
int32_t GetIdAtv(const std::string& cod_emp, const std::string& pais, const std::string& cod_classe,
                 int32_t* id_class, int32_t* id_atv, int32_t* id_emp, bool provis);

// True when provis is a registered provisional code
// ("GetRegistroCodCVMparaAnbima" gives 1); the outputs are then set.
bool GetRegistroCodCVMparaAnbima(const std::string& provis, std::string* cod, int32_t* id_emp,
                                 int32_t* id_anb);

// The destination kind of the series of code on exchange bolsa
// ("GetTipoDeBGLDaAnb"): 4042 when the code is not registered on that
// exchange, 4044 for a kind outside 0..11; *tipo is 0 on any error.
[[nodiscard]] int32_t GetTipoDeBGLDaAnb(const std::string& cod, int32_t bolsa, uint8_t* tipo);

// The number of series of exchange bolsa and destination kind tipo
// ("GetTotalAnbDessaBolsaTBGL"); *num is 0 on any error.
[[nodiscard]] int32_t GetTotalAnbDessaBolsaTBGL(int32_t bolsa, int32_t tipo, int32_t* num);

}  // namespace zun
