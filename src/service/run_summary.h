// The run's summary for monitoring: files taken, succeeded and failed (by
// code), lines applied, seconds, the exit code and, for a failed run, what
// failed and why. Written at the end of a queue run as JSON
// ("zuninput-run.json" in the working directory, or the "RunSummary"
// switch's path), appended as one line to the run history beside it (the
// same name with ".jsonl", the last kLinhasDoHistorico runs) and, with the
// "RunMetrics" switch, in the Prometheus text format for the node
// exporter's textfile collector. The files get the mode "MetricsMode"
// (octal, 0644 unless given) whatever the process's umask, and the group
// "MetricsGroup" when given.
//
// Thread-safety: main thread only (the queue step, the login, the run loop
// and the program entry).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace zun {

// Runs kept in the history file; the oldest go first.
inline constexpr int kLinhasDoHistorico = 1000;

struct ResumoDaExecucao {
  int32_t arquivos = 0;               // files taken (outcome known)
  int32_t sucessos = 0;               // of them, succeeded
  std::map<int32_t, int32_t> falhas;  // failed files by code
  int64_t linhas = 0;                 // records the succeeded files' import passes applied
  int32_t ultimo_resultado = 0;       // code of the last outcome counted (0 success)
  int32_t primeira_falha = 0;         // code of the first file that failed
  // The failure that kept the service from working (login, directories,
  // queue, log): its own code (4274 behind a 4077, for example) and why.
  int32_t codigo_do_servico = 0;
  std::string motivo_do_servico;
  // The first failed file's queue entry and owner (0 and "": not known).
  int32_t entrada = 0;
  std::string dono;
};

// The summary of the process's run so far.
ResumoDaExecucao& ResumoAtual();

// Counts one file's outcome: result 0 adds its records applied (lines).
void AnotaArquivoNoResumo(int32_t result, int32_t lines);

// The queue entry and owner of the file whose outcome was counted last;
// kept when that file is the run's first failure.
void AnotaEntradaNoResumo(int32_t id, const std::string& owner);

// Records why the service could not work: code and detail (the login's
// message, for example). Only the first call of a run counts: a login
// refused for its configuration (4274) stays the cause of the 4077 after it.
void AnotaFalhaDoServico(int32_t code, const std::string& detail);

// Where the count of mails not delivered comes from (the mail module);
// without a source the summary says null.
void DefineFonteDeMailsNaoEntregues(std::function<int32_t()> fonte);

// What failed: "none" (exit code 0), "service" (the service could not
// work: the operator must act) or "file" (only files failed: their owners
// must act).
std::string FalhaDaExecucao(const ResumoDaExecucao& r, int32_t exit_code);

// The summary as JSON, one line: the counts, "failed_by_code", "seconds",
// "exit_code", "failure" (FalhaDaExecucao), "cause_code" and "reason" (the
// service's own code and why, or the first failed file's code and its
// reason; 0 and "" when none failed), "failed_entry" and "failed_owner"
// (null when not known), "mails_not_delivered" (null without a source) and
// "end_unix" (seconds since 1970, GMT).
std::string ResumoJson(const ResumoDaExecucao& r, double seconds, int32_t exit_code,
                       int64_t end_unix);

// The same in the Prometheus text format (metrics "zuninput_last_run_...").
std::string ResumoPrometheus(const ResumoDaExecucao& r, double seconds, int32_t exit_code,
                             int64_t end_unix);

// The history after one more run: old (the file's text, "" when none)
// with line appended, then only its last kLinhasDoHistorico lines.
std::string HistoricoComMaisUma(const std::string& old, const std::string& line);

// Writes the summary files of this run (JSON and its history always,
// Prometheus with the "RunMetrics" switch); each file is replaced whole
// (ReplaceFileWhole), so a reader never sees half of one and a link
// planted at its name is not followed. A file that cannot be written, a
// "MetricsMode" that is no octal mode (0600 is used) and a "MetricsGroup"
// that does not exist are logged and do not change the run's code.
void GravaResumoDaExecucao(double seconds, int32_t exit_code);

// The process's exit status for exit_code: ExitStatusFor's, but 0 when
// only files failed and the "FileFailureExitsZero" switch is on.
int StatusDeSaida(int32_t exit_code);

}  // namespace zun
