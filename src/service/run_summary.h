// The run's summary for monitoring: files taken, succeeded and failed (by
// code), lines applied, seconds and the exit code, written at the end of a
// queue run as JSON ("zuninput-run.json" in the working directory, or the
// "RunSummary" switch's path) and, with the "RunMetrics" switch, in the
// Prometheus text format for the node exporter's textfile collector.
//
// Thread-safety: main thread only (the queue step and the program entry).
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace zun {

struct ResumoDaExecucao {
  int32_t arquivos = 0;               // files taken (outcome known)
  int32_t sucessos = 0;               // of them, succeeded
  std::map<int32_t, int32_t> falhas;  // failed files by code
  int64_t linhas = 0;                 // records the succeeded files' import passes applied
  int32_t ultima_falha = 0;           // code of the last file that failed
};

// The summary of the process's run so far.
ResumoDaExecucao& ResumoAtual();

// Counts one file's outcome: result 0 adds its records applied (lines).
void AnotaArquivoNoResumo(int32_t result, int32_t lines);

// The summary as JSON: the counts, "failed_by_code", "seconds",
// "exit_code", "end_unix" (seconds since 1970, GMT) and "failure": "none",
// "file" (the run stopped on a file's code: the file's owner must act) or
// "service" (the service could not work: the operator must act).
std::string ResumoJson(const ResumoDaExecucao& r, double seconds, int32_t exit_code,
                       int64_t end_unix);

// The same in the Prometheus text format (metrics "zuninput_last_run_...").
std::string ResumoPrometheus(const ResumoDaExecucao& r, double seconds, int32_t exit_code,
                             int64_t end_unix);

// Writes the summary files of this run (JSON always, Prometheus with the
// "RunMetrics" switch); each file is replaced whole (ReplaceFileWhole), so
// a reader never sees half of one and a link planted at its name is not
// followed. A file that cannot be written is logged and does not change the
// run's code.
void GravaResumoDaExecucao(double seconds, int32_t exit_code);

}  // namespace zun
