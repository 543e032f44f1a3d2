// The frame every import file goes through.
//
// tImpRoot loads a file's lines whole, hands them out one record line at a
// time with comment and blank lines skipped, and runs the file twice: a check
// pass that validates every record and writes nothing, then, only when the
// whole file passed, an import pass over the same lines. It keeps the file's
// error state (one fatal code that stops the file, the first non-fatal code,
// counts, the first and last error messages) and turns it into one result
// code and one status line. Importers report line errors and notes only
// through ErrMsg and Msg.
//
// Files are read as bytes (Windows-1252 text). A line ends at CR LF, LF or a
// lone CR; every other byte, NUL included, belongs to the line. A line of
// more than kMaxBytesPorLinha bytes fails the file (kErroLinhaLonga).
//
// The fields named below are public because the importers read and update
// them directly (ToNoCheck, Erro, the shareholder counters, Parser, ...).
//
// Thread-safety: none; one object belongs to the main thread for one file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/codes.h"
#include "engine/parsers.h"

namespace zun {

// Line messages kept in MensagensDeLinha: as many as the queue keeps for
// one try of a file.
inline constexpr size_t kMaxMensagensDeLinha = 1000;
// Line messages (ErrMsg) one pass of a file writes at most; the rest are
// counted in one message at the pass's end, so that a file of a million
// warnings writes a bounded log whatever it holds.
inline constexpr int32_t kMaxMensagensPorPassagem = 1000;
// More non-fatal errors than this stop the file with 3948.
inline constexpr int32_t kMaxErrosNaoFatais = 50;

// The longest line a file may hold, in bytes without its break (no record
// needs more than a few hundred). A longer line stops the file with
// kErroLinhaLonga in the check pass, before any of it is copied.
inline constexpr size_t kMaxBytesPorLinha = 65536;

// Parties added by the current import file: (document, country) pairs
// without duplicates (the document compares exactly, case-sensitively).
class TListaDeSHAdded {
 public:
  // Appends (doc, pais) unless the pair is already in the list.
  void Adiciona(const std::string& doc, int32_t pais);
  // True when the pair is in the list.
  bool Contem(const std::string& doc, int32_t pais) const;
  int32_t Count() const { return static_cast<int32_t>(itens_.size()); }

 private:
  std::vector<std::pair<std::string, int32_t>> itens_;
};

// The lines of a file, kept as the file's bytes in one buffer with the
// start of every 64th line, so that memory follows the file's size whatever
// its lines (not one string, nor even one offset, per line). Lines are
// found by scanning from the nearest mark, or from the line read last, so
// reading them in order costs one pass over the text. A line ends at CR LF,
// LF or a lone CR; the break is not part of it. A text ending in a line
// break has no empty last line; an empty text has no lines.
class TLinhasDoArquivo {
 public:
  TLinhasDoArquivo() = default;
  explicit TLinhasDoArquivo(std::string text);

  size_t size() const { return linhas_; }
  bool empty() const { return linhas_ == 0; }
  // Line i (0-based), without its break; valid while the object lives.
  // Precondition: i < size().
  std::string_view operator[](size_t i) const;

 private:
  static constexpr size_t kPasso = 64;
  // Where the line starting at inicio ends (its break, or the text's end).
  size_t FimDaLinha(size_t inicio) const;
  // Where the next line starts, given the end of a line.
  size_t DepoisDaQuebra(size_t fim) const;

  std::string texto_;
  size_t linhas_ = 0;
  // Start of lines 0, kPasso, 2 * kPasso, ...
  std::vector<uint64_t> marcos_;
  // The line after the one read last, and its start.
  mutable size_t cursor_linha_ = 0;
  mutable size_t cursor_inicio_ = 0;
};

// The lines of text as strings (see TLinhasDoArquivo).
std::vector<std::string> DivideEmLinhas(const std::string& text);

// The limit check on the parties counted by the shareholder import, run at
// the end of the check pass. Reads the switches "SHLIMITADD", "SHLIMITMOD"
// and "SHLIMITTOTAL" (absent: unlimited). A value that is not an integer
// logs "error param <name> <" + value + ">" and sets 4180; a count over its
// limit sets 4181. Unless both counters are below 1, reports the counts and
// limits through msg ("Share holders limit ..."). Does nothing when *erro
// is not 0 on entry. Precondition: erro is not null.
void VerificaLimitesDeAcionistas(int32_t* erro, int32_t sh_mod_count, int32_t sh_add_count,
                                 const std::function<void(const std::string&)>& msg);

class tImpRoot {
 public:
  // Stores the arguments, logs "ImpRoot start " + file_name + " CIorCO:" +
  // Y/N and loads the file's lines. ci_or_co true: check pass then import
  // pass; false: check pass only. Throws std::system_error when the file
  // cannot be read.
  tImpRoot(std::string file_name, bool ci_or_co);
  // Logs StatusLine("end").
  virtual ~tImpRoot();

  tImpRoot(const tImpRoot&) = delete;
  tImpRoot& operator=(const tImpRoot&) = delete;

  // --- Virtual operations -------------------------------------------------

  // True when line is a comment: after leading blanks (only the blank
  // character counts) nothing is left (unless blank_is_data), or the next
  // character is "#" or ";", or the next two are "//".
  virtual bool IsComment(const std::string& line, bool blank_is_data) const;
  // "[" + ClassName() + " \"" + FileName + "\"]".
  virtual std::string Describe() const;
  // Hook run once when the import pass begins; does nothing here.
  virtual void StartImport() {}
  // Handles the next record; does nothing here.
  virtual void ImportNext() {}
  // Hands out the next record line in *line ("" when the file has no more)
  // and loads it into Parser when there is one. At the end of the check pass
  // runs the shareholder limit check and, when the file passed and CIorCO
  // holds, starts the import pass ("check ok, starting import", StartImport)
  // and goes on from the first line; at the end of the final pass sets
  // Acabou. With blank_is_data true, blank lines are handed out as records
  // (free-text blocks). A line longer than kMaxBytesPorLinha is not handed
  // out: Erro := kErroLinhaLonga, ErrMsg names its length, LastLine holds
  // its cut beginning and *line is "". Precondition: line is not null.
  virtual void NextLine(bool blank_is_data, std::string* line);
  // For an importer that reads its record's following lines (a block):
  // NextLine's next line in *line, true when there was one. False, with
  // *line "" and Parser holding an empty line, when there is none: the
  // file's lines ended (comment lines are skipped), the frame refused the
  // line (Erro set, e.g. kErroLinhaLonga) or the file has stopped. A reader
  // that stops at false ends however the file goes on.
  bool LinhaDoBloco(bool blank_is_data, std::string* line);
  // Emits one message line.
  virtual void Msg(const std::string& text) = 0;
  // The class name shown by Describe.
  virtual const char* ClassName() const { return "tImpRoot"; }

  // --- Operations ---------------------------------------------------------

  // "ImpRoot " + what + " Erro:" ... " LastLine:<" + LastLine + ">".
  std::string StatusLine(const std::string& what) const;
  // Not Acabou and Erro is 0.
  bool CanGoOn() const { return !Acabou && Erro == 0; }
  // lnn has reached the number of lines.
  bool AtEnd() const { return lnn >= static_cast<int64_t>(Lines.size()); }
  // Erro; else ErroNaoFatal; else 3949 when the file did not reach its end;
  // else 0.
  [[nodiscard]] int32_t ResultCode() const;
  // Counts a non-fatal error (nothing for 0); the first one is kept; the
  // 51st sets Erro to 3948 when Erro is 0.
  void AddErroNaoFatal(int32_t code);
  // Reports an error of the current line: counts it, keeps the first and the
  // latest text and emits "line:" + lnn + " " + text through Msg; past
  // kMaxMensagensPorPassagem messages in the pass, only counts it. The end of
  // the pass (or of the file, when it stops early) then emits "... " + N +
  // " more line messages of this pass not logged ...".
  void ErrMsg(const std::string& text) { ErrMsgNaLinha(lnn, text); }
  // The same for the line numbered linha (a line a block read earlier).
  void ErrMsgNaLinha(int32_t linha, const std::string& text);
  // An error of the record as a whole, on its first line (LinhaDoRegistro;
  // lnn while none is set): a block's write, its missing END.
  void ErrMsgDoRegistro(const std::string& text) {
    ErrMsgNaLinha(LinhaDoRegistro > 0 ? LinhaDoRegistro : lnn, text);
  }
  // A country field: *pais := s as a decimal integer (-1 when it is not
  // one). Returns 4182 when s is not an integer or not an id of the country
  // list EnumPais (also while that list is not created), else 0. A list
  // that cannot be read gives its error code (logged). Precondition: pais
  // is not null.
  [[nodiscard]] int32_t StrToPais(const std::string& s, int32_t* pais);
  // Whether one of the file's first ate lines is a record of keyword
  // (letter case aside) whose field 1 is the integer id: an object the file
  // defines before a line, which the check pass has not written.
  bool DefinidoAntes(std::string_view keyword, int32_t id, int32_t ate) const;
  // The same for a field 1 that is the text campo1 (letter case aside).
  bool DefinidoAntes(std::string_view keyword, std::string_view campo1, int32_t ate) const;
  // Sets up a pass: Comecou := true, the shareholder counters := 0 and,
  // when Erro is 0, lnn := 0 and LastLine := "".
  void ResetPass();

  // --- Fields -------------------------------------------------------------

  bool CIorCO;
  std::string FileName;
  TLinhasDoArquivo Lines;
  // Lines consumed in the current pass; while a record is handled, the
  // 1-based number of its line.
  int32_t lnn = 0;
  // The first line of the record being handled (its keyword line); 0
  // outside a record. Set by the dispatch.
  int32_t LinhaDoRegistro = 0;
  bool Comecou = false;
  bool ToNoCheck = true;
  int32_t Erro = 0;
  int32_t ErroNaoFatal = 0;
  int32_t ErroNaoFatalCount = 0;
  bool Acabou = false;
  // Set while an importer handles a record: the end of the lines then ends
  // the record's own reading (NextLine gives "" and AtEnd holds), never the
  // pass, so a block left open cannot carry the check pass into the import.
  bool RegistroEmCurso = false;
  int32_t ErrMsgCount = 0;
  // Line messages emitted in the current pass, and those counted only.
  int32_t MensagensNaPassagem = 0;
  int32_t MensagensOmitidas = 0;
  // The line messages of the file, in order, each (line number, text) once
  // although both passes may report it; the first kMaxMensagensDeLinha.
  std::vector<std::pair<int32_t, std::string>> MensagensDeLinha;
  std::string FirstErrMsg;
  std::string LastErrMsg;
  // The latest line handed out, comment lines included.
  std::string LastLine;
  int32_t SHAddCount = 0;
  int32_t SHModCount = 0;
  std::unique_ptr<TListaDeSHAdded> SHAdded;
  // Receives every line handed out; may be null (set by TImpMain).
  std::unique_ptr<tParserWrapper> Parser;

 private:
  // The message that counts the pass's line messages not emitted.
  std::string TextoDasOmitidas() const;
  // At a pass's end: emits that message when some were left out, and
  // starts the count of the next pass.
  void FechaMensagensDaPassagem();
  // Whether the latest NextLine handed out a record line.
  bool entregou_ = false;
};

}  // namespace zun
