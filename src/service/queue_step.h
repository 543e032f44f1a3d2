// The queue step: takes the most urgent queued import file from the
// database, writes it to a local file, imports it under its owner's database
// identity, records the outcome in the queue, mails the owner and cleans up.
//
// Thread-safety: main thread only; uses the one database session.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "service/codes.h"

namespace zun {

class TImpMain;

// The highest queue priority taken at the given server hour: 999 from
// 03:00 to 07:59 (the quiet hours), 5 otherwise.
int32_t MaxPrioridadeDaHora(int hour);

// s without every character other than ASCII letters, digits, "-" and "_".
std::string LimpaNome(const std::string& s);

// The "PathIF" directory for local copies: the switch value cut to 255
// characters, blanks trimmed, "/" appended unless it ends in "/"; "" without
// the switch.
std::string LePathIF();

// Checks, before any entry is taken, that the directory of the local copies
// takes a file of a few kilobytes (missing directory, no rights, full disk)
// and makes the PathReqGBol directory when it is missing and checks it the
// same way. On failure logs "- ZunInpIF directory error:" + code + " <" +
// dir + "> " + the system's reason, sends the notification "directory
// error:" + code to "gr" and returns kErroDiretorioDasCopias or
// kErroDiretorioDosPedidos; else 0. Precondition: IniciaZiGlobs ran.
[[nodiscard]] int32_t VerificaDiretorios();

// How old, in seconds, a local copy must be before a run takes it for one
// left behind: the 30 minutes of an entry's lease. A copy is read whole
// right after it is written, and its entry, unless finished, has been
// handed out again by then.
inline constexpr time_t kIdadeDaCopiaOrfa = 30 * 60;

// Removes, at the start of a run, the local copies that earlier runs left
// in the working directory (a run killed before it cleaned up): regular
// files of this process's user older than kIdadeDaCopiaOrfa whose names
// are the ones the queue step gives ("<id>-<user>-<yyyymmdd>-<hhnnss>-
// <lease>.txt"; "-p<process id>" in place of "-<lease>" on a queue without
// leases; without either as older versions gave them) and
// that no process holds locked (a step holds its copy locked while it uses
// it, so a live process's copy stays however long its file takes). Nothing
// else is touched, and nothing at all when "PathIF" is given (those copies
// are kept on purpose). Logs each removal; returns their number.
int ApagaCopiasOrfas();

// Writes content to a new file file_name, replacing one left by an earlier
// try; the file is created exclusively and never through a symbolic link.
// Sets *erro to 4081 (create), 4083 (write or short write) or 4082 (close),
// logs the failure and removes the file. Does nothing when *erro is not 0.
// With trava, a file written in full is left locked (flock) through the
// descriptor put in *trava, for the caller to close once done with the
// file; -1 when it could not be locked or on failure.
void GravaArquivo(const std::string& file_name, const std::string& content, int32_t* erro,
                  int* trava = nullptr);

}  // namespace zun

namespace zun {

// How often the lease of the entry being imported is renewed, in seconds
// (it runs 30 minutes).
inline constexpr double kRenovaLeaseSegundos = 300.0;

// The import pass's grouped commits on a database that supports them: the
// group commits every kChamadasPorGrupo calls that may write (look-ups do
// not count) or kMsPorGrupo milliseconds, whichever comes first, between two
// records, and with the file's outcome.
inline constexpr int32_t kChamadasPorGrupo = 400;
inline constexpr double kMsPorGrupo = 150.0;

// What the queue step does around the import of one file; both optional.
struct TAcompanhamento {
  // Asked before each record: 0 goes on, any other code stops the import
  // with that code.
  std::function<int32_t(TImpMain&)> segue;
  // Run when the import pass begins; the bulletin log step follows only
  // when it answers true.
  std::function<bool(TImpMain&)> inicio;
  // When the check pass fails: the file is read once more, as a check that
  // goes on after each failed line (as the switch "CheckAll" does), with
  // nothing logged or printed, so that the messages of the file's further
  // failed lines are kept too. The file's code, status line and log are
  // those of the first failed line all the same.
  bool recolhe_tudo = false;
  // The name the file is shown by ("" for its path).
  std::string nome;
};

// Imports one local file with the import engine (check pass, then import
// pass; with ci_or_co false the check pass only). Outputs: the last line
// number, the last line's text, the status line and the file's result code
// (3774 for an empty file name); the line messages go to
// MensagensDoUltimoArquivo. An exception of the import ends the file:
// the outputs are filled from the import object, then the exception is
// passed on.
void ImpCliImport(const std::string& file_name, bool sh_port_flag, int32_t* line_number,
                  std::string* last_line, std::string* diag, int32_t* erro,
                  const TAcompanhamento* acompanha = nullptr, bool ci_or_co = true);

// One queue step: fetches the most urgent entry ("ImportFilesNext"), writes
// it to a local file, imports it as its owner while renewing its lease
// ("ImportFilesRenova"), records the outcome ("ImportFilesResult"), mails
// the owner and cleans up. On a database with grouped commits the import
// pass runs in groups; each group's commit records where the pass stands
// ("ImportFilesMarca", which checks and renews the lease), and the last
// group commits with the outcome and the file's bulletin request, or not
// at all when the lease was lost. An entry whose earlier hand-out committed
// part of its lines goes on after them, with the line messages (and their
// codes) and the counts of records applied and skipped those lines gave, so
// that its outcome, mail and the run's summary tell the whole file. A
// queue without the mark ("ImportFilesMarca") commits the groups all the
// same and resumes nothing. The local copy is named after the hand-out
// (its lease number; the process id on a queue without leases) and held
// locked while the step uses it, so no other hand-out or run removes it.
// An entry handed out because its process died is not imported: its
// failure (kErrImportFileProcessDied) is recorded, notified and mailed, and
// the run goes on. seq is the 1-based number of the step in this run. On
// return *erro is 0 when the file was imported, a dead process's entry was
// recorded or the queue was empty (then *continua is false), otherwise the
// queue's or the import's code (kErroEntradaTomada when the entry was
// taken by another process meanwhile).
void ImpIFStep(int32_t seq, int32_t* erro, bool* continua);

}  // namespace zun
