#include "service/run_summary.h"

#include <cstdio>
#include <ctime>

#include "foundation/log.h"
#include "foundation/safe_write.h"
#include "foundation/switches.h"

namespace zun {
namespace {

const char* Falha(const ResumoDaExecucao& r, int32_t exit_code) {
  if (exit_code == 0) return "none";
  return !r.falhas.empty() && r.ultima_falha == exit_code ? "file" : "service";
}

std::string Numero(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

// Readable by all: the node exporter reads the metrics as its own user.
constexpr mode_t kModoDoResumo = 0644;

void Grava(const std::string& path, const std::string& text) {
  const std::string why = ReplaceFileWhole(path, text, kModoDoResumo);
  if (!why.empty()) Loga("- run summary not written: " + why);
}

}  // namespace

ResumoDaExecucao& ResumoAtual() {
  static ResumoDaExecucao r;
  return r;
}

void AnotaArquivoNoResumo(int32_t result, int32_t lines) {
  ResumoDaExecucao& r = ResumoAtual();
  ++r.arquivos;
  if (result == 0) {
    ++r.sucessos;
    r.linhas += lines;
  } else {
    ++r.falhas[result];
    r.ultima_falha = result;
  }
}

std::string ResumoJson(const ResumoDaExecucao& r, double seconds, int32_t exit_code,
                       int64_t end_unix) {
  std::string by_code;
  for (const auto& [code, n] : r.falhas) {
    by_code +=
        (by_code.empty() ? "\"" : ", \"") + std::to_string(code) + "\": " + std::to_string(n);
  }
  int32_t failed = 0;
  for (const auto& [code, n] : r.falhas) failed += n;
  return "{\"files_taken\": " + std::to_string(r.arquivos) +
         ", \"files_succeeded\": " + std::to_string(r.sucessos) +
         ", \"files_failed\": " + std::to_string(failed) + ", \"failed_by_code\": {" + by_code +
         "}, \"lines_applied\": " + std::to_string(r.linhas) + ", \"seconds\": " + Numero(seconds) +
         ", \"exit_code\": " + std::to_string(exit_code) + ", \"failure\": \"" +
         Falha(r, exit_code) + "\", \"end_unix\": " + std::to_string(end_unix) + "}\n";
}

std::string ResumoPrometheus(const ResumoDaExecucao& r, double seconds, int32_t exit_code,
                             int64_t end_unix) {
  std::string s;
  const auto gauge = [&s](const std::string& name, const std::string& help,
                          const std::string& value) {
    s += "# HELP zuninput_last_run_" + name + " " + help + "\n# TYPE zuninput_last_run_" + name +
         " gauge\nzuninput_last_run_" + name + " " + value + "\n";
  };
  gauge("end_timestamp_seconds", "When the last run ended (seconds since 1970).",
        std::to_string(end_unix));
  gauge("exit_code", "The last run's code (0 fine).", std::to_string(exit_code));
  gauge("service_failed", "1 when the last run could not work (login, directories, log, queue).",
        std::string(Falha(r, exit_code)) == "service" ? "1" : "0");
  gauge("seconds", "Duration of the last run.", Numero(seconds));
  gauge("files_taken", "Queued files the last run took.", std::to_string(r.arquivos));
  gauge("files_succeeded", "Queued files the last run imported.", std::to_string(r.sucessos));
  gauge("lines_applied", "Records the import passes of the files imported applied.",
        std::to_string(r.linhas));
  s += "# HELP zuninput_last_run_files_failed Queued files the last run refused, by code.\n"
       "# TYPE zuninput_last_run_files_failed gauge\n";
  for (const auto& [code, n] : r.falhas) {
    s += "zuninput_last_run_files_failed{code=\"" + std::to_string(code) + "\"} " +
         std::to_string(n) + "\n";
  }
  return s;
}

void GravaResumoDaExecucao(double seconds, int32_t exit_code) {
  const int64_t end = static_cast<int64_t>(std::time(nullptr));
  std::string path;
  if (!LeSwitch("RunSummary", &path) || path.empty()) path = "zuninput-run.json";
  Grava(path, ResumoJson(ResumoAtual(), seconds, exit_code, end));
  if (LeSwitch("RunMetrics", &path) && !path.empty()) {
    Grava(path, ResumoPrometheus(ResumoAtual(), seconds, exit_code, end));
  }
}

}  // namespace zun
