// The importer object that runs one import file.
//
// TImpMain adds to the frame of tImpRoot the record parser (blank-delimited
// fields, quotes allowed) and the keyword dispatch: each record line is split
// into fields, its first field is upper-cased and looked up in the keyword
// table, and the row's importer entry is called; its answer becomes the
// file's error state (fatal in the check pass, counted in the import pass).
// tMyImpMain is the one the service creates; its messages go to the console
// and the log.
//
// Typical use (one file):
//   tMyImpMain imp(file_name, true);
//   imp.ShPortFlag = false;
//   while (imp.CanGoOn()) imp.ImportNext();
//   int32_t code = imp.ResultCode();
//
// The quote bulletin detector of a file is created through a factory that
// the quote bulletin import installs (DefineFabricaDeBolCot); until one is
// installed the file has no detector and the bulletin log step between the
// passes does nothing.
//
// Thread-safety: none; one object belongs to the main thread for one file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "engine/imp_root.h"
#include "engine/keyword_table.h"

namespace zun {

class TImpMain;

// The quote bulletin detector of one file, as the engine sees it.
class TDetectorDeBoletim {
 public:
  virtual ~TDetectorDeBoletim() = default;
  // The bulletin log step, run once when the check pass has ended without a
  // fatal error and before the import pass begins. Sets imp.Erro on
  // failure.
  virtual void LogaBoletins(TImpMain& imp) = 0;
};

// Makes the detector of a new importer object; may return null.
using TFabricaDeBolCot = std::function<std::unique_ptr<TDetectorDeBoletim>()>;

// Installs the process-wide detector factory (start-up, main thread). An
// empty function removes it.
void DefineFabricaDeBolCot(TFabricaDeBolCot fabrica);

class TImpMain : public tImpRoot {
 public:
  // The frame for file_name (see tImpRoot), the record parser and the
  // bulletin detector. tabela is the keyword table to dispatch with; null
  // means the process-wide TabelaDeKeywords(). A given table must outlive
  // the object. Throws std::system_error when the file cannot be read.
  TImpMain(std::string file_name, bool ci_or_co, const TTabelaDeKeywords* tabela = nullptr);
  ~TImpMain() override;

  // When Erro is 0, the bulletin detector's log step (which may set Erro).
  void StartImport() override;
  // Reads the next record and hands it by its keyword to its importer. A
  // keyword not in the table, or one whose importer is not registered, sets
  // Erro to 3942. A record whose importer answers a code other than 0 has
  // failed: it is fatal in the check pass and counted by
  // AddErroNaoFatal in the import pass; a fatal error without a message of
  // the importer issues "Error:" + Erro + " Invalid line: " + the line, on
  // the record's first line (a block's keyword line).
  // An exception of an importer is passed on to the caller: it ends the
  // file (the object stays readable for its status).
  void ImportNext() override;
  const char* ClassName() const override { return "TImpMain"; }

  // Handed to the shareholding composition importer.
  bool ShPortFlag = false;
  // A check without an import pass (CIorCO false) that goes on after a
  // failed line, so that one check lists every error of a file: the next
  // lines up to the next keyword line (starting with "*") are skipped, and
  // at the end Erro is the first failed line's code. Set from the switch
  // "CheckAll"; an object with CIorCO true ignores it.
  bool SegueAposErro = false;
  // The lines that failed while SegueAposErro held.
  int32_t LinhasComErro = 0;
  // The code each failed record gave, by the number of every line it issued
  // a message for (the first code a line got stays).
  std::map<int32_t, int32_t> CodigoDaLinha;
  // Records of the import pass: applied without a message, and skipped (a
  // message but no error: an unknown ticker, 4042, for example).
  int32_t LinhasAplicadas = 0;
  int32_t LinhasPuladas = 0;
  // The quote bulletin detector; null while none is installed.
  std::unique_ptr<TDetectorDeBoletim> BolCot;

 private:
  const TTabelaDeKeywords* tabela_;
  int32_t primeiro_erro_ = 0;   // the first failed line's code (SegueAposErro)
  bool ressincroniza_ = false;  // skipping to the next keyword line
};

// The service's importer object: Msg goes to LogaConsole.
class tMyImpMain : public TImpMain {
 public:
  using TImpMain::TImpMain;
  void Msg(const std::string& text) override;
  const char* ClassName() const override { return "tMyImpMain"; }
};

}  // namespace zun
