#include "service/run_summary.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "foundation/log.h"
#include "foundation/safe_write.h"
#include "foundation/switches.h"
#include "service/codes.h"
#include "service/config_file.h"
#include "service/run_loop.h"

namespace zun {
namespace {

std::string Numero(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

// The JSON string of s: quotes, backslashes and control characters escaped.
std::string Texto(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::function<int32_t()>& FonteDeMailsNaoEntregues() {
  static std::function<int32_t()> fonte;
  return fonte;
}

// Readable by all unless the operator says otherwise: the node exporter
// reads the metrics as its own user.
constexpr mode_t kModoDoResumo = 0644;
// The largest history read back; a bigger file starts anew.
constexpr off_t kMaxBytesDoHistorico = 8 << 20;

struct Dono {
  mode_t mode = kModoDoResumo;
  gid_t group = static_cast<gid_t>(-1);
};

Dono DonoDosArquivos() {
  Dono d;
  std::string v;
  if (LeSwitch("MetricsMode", &v) && !v.empty()) {
    char* end = nullptr;
    const unsigned long m = std::strtoul(v.c_str(), &end, 8);
    if (*end != 0 || m > 0777) {
      Loga("- MetricsMode <" + v + "> is no octal mode such as 0640; 0600 used");
      d.mode = 0600;
    } else {
      d.mode = static_cast<mode_t>(m);
    }
  }
  if (LeSwitch("MetricsGroup", &v) && !v.empty()) {
    const struct group* g = ::getgrnam(v.c_str());
    if (g == nullptr) {
      Loga("- MetricsGroup <" + v + "> is no group of this system; the files keep the user's");
    } else {
      d.group = g->gr_gid;
    }
  }
  return d;
}

void Grava(const std::string& path, const std::string& text, const Dono& d) {
  const std::string why = ReplaceFileWholeAs(path, text, d.mode, d.group);
  if (!why.empty()) Loga("- run summary not written: " + why);
}

// The history file's text, "" when there is none or it is no regular file
// of a sane size (never through a link).
std::string LeHistorico(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "";
  std::string text;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxBytesDoHistorico) {
    char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, n);
  }
  ::close(fd);
  return text;
}

}  // namespace

ResumoDaExecucao& ResumoAtual() {
  static ResumoDaExecucao r;
  return r;
}

void AnotaArquivoNoResumo(int32_t result, int32_t lines) {
  ResumoDaExecucao& r = ResumoAtual();
  ++r.arquivos;
  r.ultimo_resultado = result;
  if (result == 0) {
    ++r.sucessos;
    r.linhas += lines;
  } else {
    ++r.falhas[result];
    if (r.primeira_falha == 0) r.primeira_falha = result;
  }
}

void AnotaEntradaNoResumo(int32_t id, const std::string& owner) {
  ResumoDaExecucao& r = ResumoAtual();
  int32_t failed = 0;
  for (const auto& [code, n] : r.falhas) failed += n;
  // The first failure's entry: the outcome just counted is that failure.
  if (r.entrada == 0 && failed == 1 && r.ultimo_resultado != 0) {
    r.entrada = id;
    r.dono = owner;
  }
}

void AnotaFalhaDoServico(int32_t code, const std::string& detail) {
  ResumoDaExecucao& r = ResumoAtual();
  if (r.codigo_do_servico != 0 || code == 0) return;
  r.codigo_do_servico = code;
  r.motivo_do_servico = detail;
}

void DefineFonteDeMailsNaoEntregues(std::function<int32_t()> fonte) {
  FonteDeMailsNaoEntregues() = std::move(fonte);
}

std::string FalhaDaExecucao(const ResumoDaExecucao& r, int32_t exit_code) {
  if (exit_code == 0) return "none";
  if (r.codigo_do_servico != 0 || r.falhas.empty()) return "service";
  return r.falhas.count(exit_code) != 0 ? "file" : "service";
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
  const std::string falha = FalhaDaExecucao(r, exit_code);
  int32_t causa = 0;
  std::string motivo;
  if (falha == "service") {
    causa = r.codigo_do_servico != 0 ? r.codigo_do_servico : exit_code;
    motivo = LinhaDoCodigo("", causa, r.motivo_do_servico).substr(2);
  } else if (falha == "file") {
    causa = r.primeira_falha;
    motivo = LinhaDoCodigo("", causa, "").substr(2);
  }
  const auto& fonte = FonteDeMailsNaoEntregues();
  return "{\"files_taken\": " + std::to_string(r.arquivos) +
         ", \"files_succeeded\": " + std::to_string(r.sucessos) +
         ", \"files_failed\": " + std::to_string(failed) + ", \"failed_by_code\": {" + by_code +
         "}, \"lines_applied\": " + std::to_string(r.linhas) + ", \"seconds\": " + Numero(seconds) +
         ", \"exit_code\": " + std::to_string(exit_code) + ", \"failure\": \"" + falha +
         "\", \"cause_code\": " + std::to_string(causa) + ", \"reason\": " + Texto(motivo) +
         ", \"failed_entry\": " + (r.entrada != 0 ? std::to_string(r.entrada) : "null") +
         ", \"failed_owner\": " + (r.entrada != 0 ? Texto(r.dono) : "null") +
         ", \"mails_not_delivered\": " + (fonte ? std::to_string(fonte()) : "null") +
         ", \"end_unix\": " + std::to_string(end_unix) + "}\n";
}

std::string ResumoPrometheus(const ResumoDaExecucao& r, double seconds, int32_t exit_code,
                             int64_t end_unix) {
  std::string s;
  const auto gauge = [&s](const std::string& name, const std::string& help,
                          const std::string& value) {
    s += "# HELP zuninput_last_run_" + name + " " + help + "\n# TYPE zuninput_last_run_" + name +
         " gauge\nzuninput_last_run_" + name + " " + value + "\n";
  };
  const std::string falha = FalhaDaExecucao(r, exit_code);
  gauge("end_timestamp_seconds", "When the last run ended (seconds since 1970).",
        std::to_string(end_unix));
  gauge("exit_code", "The last run's code (0 fine).", std::to_string(exit_code));
  gauge("service_failed", "1 when the last run could not work (login, directories, log, queue).",
        falha == "service" ? "1" : "0");
  gauge("file_failed", "1 when only queued files failed in the last run (their owners act).",
        falha == "file" ? "1" : "0");
  gauge("seconds", "Duration of the last run.", Numero(seconds));
  gauge("files_taken", "Queued files the last run took.", std::to_string(r.arquivos));
  gauge("files_succeeded", "Queued files the last run imported.", std::to_string(r.sucessos));
  gauge("lines_applied", "Records the import passes of the files imported applied.",
        std::to_string(r.linhas));
  if (const auto& fonte = FonteDeMailsNaoEntregues(); fonte) {
    gauge("mails_not_delivered", "Mails the last run could not hand to the gateway.",
          std::to_string(fonte()));
  }
  s += "# HELP zuninput_last_run_files_failed Queued files the last run refused, by code.\n"
       "# TYPE zuninput_last_run_files_failed gauge\n";
  for (const auto& [code, n] : r.falhas) {
    s += "zuninput_last_run_files_failed{code=\"" + std::to_string(code) + "\"} " +
         std::to_string(n) + "\n";
  }
  return s;
}

std::string HistoricoComMaisUma(const std::string& old, const std::string& line) {
  std::string text = old;
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += line;
  if (text.back() != '\n') text += '\n';
  // Count the lines from the end; keep the last kLinhasDoHistorico.
  int lines = 0;
  for (size_t at = text.size() - 1; at > 0; --at) {
    if (text[at - 1] == '\n' && ++lines == kLinhasDoHistorico) return text.substr(at);
  }
  return text;
}

void GravaResumoDaExecucao(double seconds, int32_t exit_code) {
  const int64_t end = static_cast<int64_t>(std::time(nullptr));
  const Dono dono = DonoDosArquivos();
  std::string path;
  if (!LeSwitch("RunSummary", &path) || path.empty()) path = "zuninput-run.json";
  const std::string json = ResumoJson(ResumoAtual(), seconds, exit_code, end);
  Grava(path, json, dono);
  const std::string history = path.ends_with(".json") ? path + "l" : path + ".jsonl";
  Grava(history, HistoricoComMaisUma(LeHistorico(history), json), dono);
  if (LeSwitch("RunMetrics", &path) && !path.empty()) {
    Grava(path, ResumoPrometheus(ResumoAtual(), seconds, exit_code, end), dono);
  }
}

int StatusDeSaida(int32_t exit_code) {
  if (FalhaDaExecucao(ResumoAtual(), exit_code) == "file" && SwitchLigado("FileFailureExitsZero")) {
    return 0;
  }
  return ExitStatusFor(exit_code);
}

}  // namespace zun
