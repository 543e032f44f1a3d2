// Id-text lists: small database enumerations (id, text and a few further
// columns) kept in memory. A list reads itself from its stored procedure on
// first use and can be reset (Reinicia) so that the next use reads it again.
// tIntStgListMultiLng holds names in three languages joined by "|", completes
// missing ones, sorts by the name in the user's language and can add an item
// to the database enumeration.
//
// The unit also defines EZunInputException, raised when a list cannot be
// read, and installs the message-text hook of the database session.
//
// Thread-safety: none; the lists are used from the main thread only.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "db/texto_na_lingua.h"
#include "toolbox/dbclient/command.h"
#include "toolbox/dbutil/db_exception.h"

namespace zun {

// A reference list could not be read; what() is "EDBException:" + code.
class EZunInputException : public EDBException {
 public:
  explicit EZunInputException(int32_t code) : EDBException(code) {}
};

// One row of a list. Columns beyond the result set's count stay 0 / empty.
struct IntStgItem {
  int32_t Id = 0;      // column 0
  std::string Texto;   // column 1, trimmed
  int32_t Campo2 = 0;  // column 2
  int32_t Campo3 = 0;  // column 3: a marker or a parent id
  int32_t Campo4 = 0;  // column 4
  std::string Texto2;  // column 5, as read
  int32_t Marca = 0;   // flag bits of the program; bit 0: has children
};

class tIntStgList {
 public:
  // An unread list of the rows of nome_do_proc; with a parameter name the
  // procedure gets that integer input parameter set to valor_do_param.
  explicit tIntStgList(std::string nome_do_proc, int32_t valor_do_param = 0,
                       std::string nome_do_param = "", CommandType tipo = CommandType::kStoredProc);
  virtual ~tIntStgList() = default;

  tIntStgList(const tIntStgList&) = delete;
  tIntStgList& operator=(const tIntStgList&) = delete;

  // Reads the list now unless it is read. The list is marked read before the
  // read, so a failed read is not retried until Reinicia. With a parameter
  // the procedure is opened in mode 1: a "result" of 0 means the rows follow
  // in the next result set, no "result" column means the first set holds
  // the rows. Without one it is executed and opened (mode 2). A failure
  // logs "tIntStgList.GaranteLido ..." and raises EZunInputException with
  // its code; the list then stays empty. The command object is given back
  // on every path.
  virtual void GaranteLido();
  // Fills the items from the open result set of cmd (none open: no items)
  // and marks the list read. Returns true. Precondition: cmd is not null.
  virtual bool Carrega(Command* cmd);
  // Whether AdicionaItem can add to the database enumeration.
  virtual bool PodeAdicionar() const { return false; }

  // Empties the list and marks it unread.
  void Reinicia();

  // The read operations below read the list first (GaranteLido).
  int Conta();
  // The item at index, nullptr outside 0 .. Conta() - 1. The pointer is
  // valid until the list is read again or changed.
  IntStgItem* ItemEm(int index);
  // The id at index, -1 outside 0 .. Conta() - 1.
  int32_t IdEm(int index);
  // The index of the first item with id, -1 when none.
  int IndexOfId(int32_t id);
  // The position of id among the items whose Campo2 is campo2 (unless
  // qualquer_campo2) and whose Marca AND mascara is 0; -1 when not there.
  int IndexOfIdFiltrado(int32_t id, int32_t campo2, bool qualquer_campo2, int32_t mascara);
  IntStgItem* ItemDoId(int32_t id);
  // The item's Texto in all languages; for an unknown id "NA(" + id + ")"
  // when na_quando_falta, else "".
  std::string TextoDoId(int32_t id, bool na_quando_falta);
  // The id of the first item whose Texto equals text (exato) or begins with
  // it, case-insensitively (not exato), and whose Campo2 is campo2; -1.
  int32_t IdDoTexto(const std::string& text, int32_t campo2, bool exato);
  // The id of the last item whose name in the user's language is text; -1.
  int32_t IdDoTextoNaLingua(const std::string& text);
  // The id of the last item whose Texto2 is text; -1.
  int32_t IdDoTexto2(const std::string& text);
  // Appends an item without the database and marks the list read.
  void AdicionaLocal(int32_t id, const std::string& text, int32_t campo2);
  // Whether id is one of the items marked in column 3 (Campo3 != 0); ids
  // outside 0..255 give false. The marked set is built on first use; a
  // marked item with an id outside 0..255 logs "Error: ISL.GSF3M ..." and
  // raises EZunInputException 4368.
  bool TemMarcaF3M(int32_t id, const std::string& contexto);

  // The list's state, public as in the program's other plain records.
  std::vector<IntStgItem> Itens;  // in result-set order
  bool F3MPronto = false;         // F3M has been built
  std::bitset<256> F3M;           // ids of the items whose Campo3 is not 0
  bool Lido = false;              // holds the database rows (or local items)
  std::string NomeDoProc;
  CommandType TipoDeComando;
  std::string NomeDoParam;  // one optional integer input parameter
  int32_t ValorDoParam;
};

class tIntStgListMultiLng : public tIntStgList {
 public:
  // id_zero_primeiro moves the item with id 0 to the front after loading;
  // nome_do_proc_add is the procedure that adds an item ("" for none).
  tIntStgListMultiLng(bool id_zero_primeiro, std::string nome_do_proc_add, int32_t valor_do_param,
                      std::string nome_do_param, CommandType tipo, std::string nome_do_proc);

  // The rows, then: names with an empty language completed from the last
  // non-empty one, stable sort by TextoNaLingua, id 0 first when asked.
  bool Carrega(Command* cmd) override;
  bool PodeAdicionar() const override { return !NomeDoProcAdd.empty(); }

  // Adds an item named nomes ("pt|en|es"; missing languages are sent as "")
  // through the add procedure (mode 0, new id from "@ItemId") and, on
  // success, resets the list. Returns the new id, or -1 with *e set to the
  // error code (3940 when the list has no add procedure). Logs
  // "ISLML.AddItem ...". Never raises. Precondition: e is not null.
  int32_t AdicionaItem(const std::string& nomes, int32_t* e, const std::string& contexto);

  // The completion and sorting steps of Carrega, on items already read.
  static void CompletaEOrdena(std::vector<IntStgItem>* itens, bool id_zero_primeiro);

  bool IdZeroPrimeiro;
  std::string NomeDoProcAdd;  // "" for none
};

// The message-text hook of the session: the program carries no message
// texts (string resource code + 23000), so *text is always left empty.
void ZunMsgTextHook(int32_t code, std::string* text);

// Installs ZunMsgTextHook as the session's MsgTextHook (unit start-up).
void InstalaMsgTextHook();

}  // namespace zun
