// Share bases: for one company, date and source, the number of shares of
// each share class (the total, the part in treasury and the part outside
// treasury), and the records "*SHARES" and "*SHARESUPDATE" that import
// them.
//
// The classes of a base form a tree (a class may have a parent class, the
// root is class 0). An import line is merged into the stored base, the
// numbers that follow from the tree and from total = in treasury + outside
// treasury are derived, contradictions are marked invalid (never refused),
// and the classes are written back when something changed; a base left with
// nothing to write is deleted.
//
// Thread-safety: none; main thread only, like Db and the global lists.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/objects.h"
#include "engine/keyword_table.h"

namespace zun {

class tParserWrapper;

// Line error codes.
inline constexpr int32_t kErrBacOutraEmpresa = 4144;     // rows of another company
inline constexpr int32_t kErrBacEmpresaVazia = 4149;     // "Empty <company>"
inline constexpr int32_t kErrBacEmpresaInvalida = 4150;  // company id below 1
inline constexpr int32_t kErrBacData = 4151;             // "Invalid date: <...>"
inline constexpr int32_t kErrBacSource = 4152;           // "Invalid <source>"
// The base procedures' code for a source other than 0 without the right
// (refused already in the check pass).
inline constexpr int32_t kErrBacSemDireitoSource = 51206;
inline constexpr int32_t kErrBacClasse = 4153;            // "Unknown class #..."
inline constexpr int32_t kErrBacValor = 4154;             // "Invalid field <...>"
inline constexpr int32_t kErrBacNumCampos = 4156;         // fields left over
inline constexpr int32_t kErrBacClasseForaDaBase = 4203;  // class not in the tree

// The three slots of a class, in this order.
enum TSlotBac : int { kTotal = 0, kEmTesouraria = 1, kExTesouraria = 2 };
inline constexpr int kNumSlotsBac = 3;

// One number of a class and where it came from.
struct TValorBac {
  double Valor = 0;
  uint8_t Status = 0;     // 0 none, 2 imported from a file, 5 derived, ...
  bool Invalido = false;  // negative, not finite or contradicting another
};

// Given statuses (1, 2, 3, 7, 23 and above): kept by the reset, never
// overwritten by a derivation.
bool StatusDado(uint8_t status);
// Statuses that carry a value: 1, 2, 3, 5, 11, 13..22.
bool StatusComValor(uint8_t status);
// A slot has a value: a value status, not Invalido, a finite value.
bool TemValorBac(const TValorBac& v);

class TBaseAcionaria;
class TUmaClasseNaBac;
class TListaBaseAcionaria;

// A node of the class tree of one base; owns its children.
class TNoDeArvoreDeClasses {
 public:
  TNoDeArvoreDeClasses(TBaseAcionaria* base, int32_t id_class, bool pode_ter_bac);
  virtual ~TNoDeArvoreDeClasses();

  TNoDeArvoreDeClasses(const TNoDeArvoreDeClasses&) = delete;
  TNoDeArvoreDeClasses& operator=(const TNoDeArvoreDeClasses&) = delete;

  TBaseAcionaria* Base;
  int32_t IdClass;  // 0: the root
  // One of the company's current classes that may have a share base.
  bool PodeTerBac;
  std::vector<std::unique_ptr<TUmaClasseNaBac>> Filhos;
};

// A class in a share base: its slots now and as they were read.
class TUmaClasseNaBac : public TNoDeArvoreDeClasses {
 public:
  using TNoDeArvoreDeClasses::TNoDeArvoreDeClasses;

  // True when some slot has a value status and, unless aceitaZero, a value
  // other than 0; with recursive, also when a descendant's TemValor is.
  virtual bool TemValor(bool recursive, bool aceitaZero) const;

  int32_t AtvId = 0;  // the class's asset; 0 when the company has none
  std::array<TValorBac, kNumSlotsBac> Valores{};
  std::array<TValorBac, kNumSlotsBac> Lidos{};  // as read from the database
};

// One share base: a company, a date and a source, with its class tree.
class TBaseAcionaria {
 public:
  // An empty base over the tree of lista's company classes. lista must
  // belong to id_emp (a fatal stop "TBA.C OE<>HE" otherwise); data is cut
  // to the day. A class list that cannot be read raises what the list
  // raises.
  TBaseAcionaria(TListaBaseAcionaria* lista, int32_t id_emp, double data, uint8_t source);

  // The node of class id_class, added with its missing parents (from
  // "EnumClasses"; parent 0 or an unknown or circular parent chain ends at
  // the root) when it is not in the tree yet.
  TUmaClasseNaBac* AdicionaClasse(int32_t id_class, bool pode_ter_bac);
  // The node of id_class (depth-first), nullptr when not in the tree.
  TUmaClasseNaBac* Procura(int32_t id_class);

  // Clears every slot of every class (value 0, status 0).
  void Limpa();
  // The derivation: the reset, then the three rules three times over.
  void Deriva();
  // Whether a class other than the root differs from what was read.
  bool Mudou() const;
  // Writes the classes when the base changed; deletes the base when no
  // class is left to write. One transaction: on a failure the stored base
  // stays as it was. 0 or the first failed call's code.
  [[nodiscard]] int32_t Grava();

  TListaBaseAcionaria* Lista;
  int32_t IdEmp;
  double Data;
  uint8_t Source;
  TUmaClasseNaBac Raiz;  // class 0

 private:
  // The writes of Grava, inside its transaction.
  [[nodiscard]] int32_t GravaClasses();
};

// All stored share bases of one company for one source, by date.
class TListaBaseAcionaria {
 public:
  TListaBaseAcionaria(int32_t id_emp, uint8_t source);

  // Reads the company's classes and its stored bases ("GetBaseAcDaEmp").
  // 0 or the error code (4144 for rows of another company).
  [[nodiscard]] int32_t Le();
  // The last base dated data (cut to the day); none and cria: a new empty
  // base, kept in date order. nullptr when none and not cria.
  TBaseAcionaria* PegaBase(double data, bool cria);
  // The company's classes (the view ObjListRoot), read once.
  const std::vector<TObjListRoot>& Classes();

  int32_t IdEmp;
  uint8_t Source;
  std::vector<std::unique_ptr<TBaseAcionaria>> Bases;  // by Data ascending

 private:
  bool classes_lidas_ = false;
  std::vector<TObjListRoot> classes_;
};

// One "*SHARES" (SoAtualiza false) or "*SHARESUPDATE" (true) line in
// parser. Checks the line, its company (4174) and that each class is in
// the company's tree (4203) in both passes; in the import pass
// (EhPassoDeCheck false) also merges it into the stored base of its
// company, date and source, derives and writes. A line error is returned in *code with its message
// in *mensagem (empty when the error has none). Preconditions: code and mensagem are not null and
// hold 0 and "".
void ImportaBaseAcionaria(tParserWrapper& parser, bool EhPassoDeCheck, std::string* mensagem,
                          int32_t* code, bool SoAtualiza);

// Entry of TImportador::kShares: ImportaBaseAcionaria on imp's record with
// SoAtualiza = v.Atualiza; a line error's message goes to imp.ErrMsg.
void ImportaLinhaDeBase(TImpMain& imp, const TVariantes& v, int32_t* code);

}  // namespace zun
