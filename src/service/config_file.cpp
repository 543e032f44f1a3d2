#include "service/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "foundation/log.h"
#include "foundation/switches.h"
#include "foundation/text.h"

#ifndef ZUN_CONFIG_FILE
#define ZUN_CONFIG_FILE "/etc/zuninput/zuninput.conf"
#endif

namespace zun {
namespace {

// The keys the file may hold, spelled as their switches.
const char* const kChaves[] = {"sqlserver",
                               "database",
                               "provider",
                               "user",
                               "PasswordFile",
                               "OdbcDriver",
                               "OdbcDsn",
                               "OdbcNoEncryption",
                               "IntegratedSecurity",
                               "MailGateway",
                               "PathIF",
                               "PathReqGBol",
                               "RunSummary",
                               "RunMetrics",
                               "MetricsMode",
                               "MetricsGroup",
                               "FileFailureExitsZero",
                               "ContinueAfterFailedFile",
                               "MailTimeout",
                               "MailOutbox"};
// Of them, those that switch something on or off (SwitchLigado).
const char* const kChavesSimNao[] = {"OdbcNoEncryption", "IntegratedSecurity",
                                     "FileFailureExitsZero", "ContinueAfterFailedFile"};

bool EhSimNao(const std::string& key) {
  for (const char* k : kChavesSimNao) {
    if (Maiusculas(k) == Maiusculas(key)) return true;
  }
  return false;
}

struct Estado {
  std::map<std::string, std::string> valores;  // upper-case key -> value
  int32_t erro = 0;
  std::string motivo;
  std::string arquivo = "none";  // the path read or refused
};

Estado& Config() {
  static Estado e;
  return e;
}

std::string Apara(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

[[nodiscard]] int32_t Recusa(const std::string& path, const std::string& why) {
  Config() = Estado{};
  Config().erro = kErroConfiguracaoRecusada;
  Config().motivo = path + " " + why;
  Config().arquivo = path;
  return Config().erro;
}

// The whole of the open file fd into *texto, or why it is refused: not a
// regular file, not root's or the service user's, writable by group or
// others, or larger than kMaxBytesDaConfiguracao.
std::string LeArquivo(int fd, std::string* texto) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::string("cannot be read: ") + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  // The file decides where the service may import: only root or the
  // service's own user may have written it.
  if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
    return "is owned by uid " + std::to_string(st.st_uid) + "; it must be root's: chown root";
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("may be written by group or others (mode ") + mode + "); chmod 644";
  }
  // One byte more than allowed is read, so a file that grows after the
  // check is refused as well.
  char buf[4096];
  while (texto->size() <= kMaxBytesDaConfiguracao) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::string("cannot be read: ") + std::strerror(errno);
    if (n == 0) break;
    texto->append(buf, static_cast<size_t>(n));
  }
  if (texto->size() > kMaxBytesDaConfiguracao) {
    return "is larger than " + std::to_string(kMaxBytesDaConfiguracao) + " bytes";
  }
  return "";
}

}  // namespace

std::string CaminhoDaConfiguracao() {
  std::string path;
  if (LeSwitch("Config", &path) && !path.empty()) return path;
  return ZUN_CONFIG_FILE;
}

std::string ArquivoDaConfiguracao() { return Config().arquivo; }

int32_t CarregaConfiguracao(const std::string& path, bool named) {
  Config() = Estado{};
  // O_NONBLOCK: a named pipe in the file's place must not hang the run; the
  // checks are made on what was opened.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    const int err = errno;
    struct stat lst {};
    // A link to a missing file is a configuration gone wrong, not none.
    if (err == ENOENT && ::lstat(path.c_str(), &lst) == 0) {
      return Recusa(path, "is a link to a missing file");
    }
    if (err == ENOENT && named) return Recusa(path, "does not exist (named by -Config)");
    if (err == ENOENT) return 0;
    return Recusa(path, std::string("cannot be read: ") + std::strerror(err));
  }
  std::string texto;
  const std::string why = LeArquivo(fd, &texto);
  ::close(fd);
  if (!why.empty()) return Recusa(path, why);
  Estado e;
  std::map<std::string, int> linha_da_chave;
  int n = 0;
  for (size_t at = 0; at < texto.size();) {
    size_t fim = texto.find('\n', at);
    if (fim == std::string::npos) fim = texto.size();
    const std::string line = Apara(texto.substr(at, fim - at));
    at = fim + 1;
    ++n;
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      return Recusa(path, "line " + std::to_string(n) + ": not \"key = value\"");
    }
    const std::string key = Apara(line.substr(0, eq));
    std::string value = Apara(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    bool known = false;
    for (const char* k : kChaves) known = known || Maiusculas(k) == Maiusculas(key);
    if (!known) {
      return Recusa(path, "line " + std::to_string(n) + ": unknown setting <" + key + ">");
    }
    bool sim_nao = false;
    if (EhSimNao(key) && (StrToBoolean(value, &sim_nao), !sim_nao)) {
      return Recusa(path, "line " + std::to_string(n) + ": <" + key + "> must be yes or no");
    }
    // Which of two values would count is a guess an operator should not
    // have to make.
    const auto [primeira, nova] = linha_da_chave.emplace(Maiusculas(key), n);
    if (!nova) {
      return Recusa(path, "line " + std::to_string(n) + ": <" + key +
                              "> set again (first on line " + std::to_string(primeira->second) +
                              ")");
    }
    e.valores[Maiusculas(key)] = value;
  }
  e.arquivo = path;
  Config() = e;
  return 0;
}

int32_t ErroDaConfiguracao(std::string* motivo) {
  if (Config().erro != 0 && motivo != nullptr) *motivo = Config().motivo;
  return Config().erro;
}

const std::string* ValorDaConfiguracao(const std::string& key) {
  const auto it = Config().valores.find(Maiusculas(key));
  return it == Config().valores.end() ? nullptr : &it->second;
}

const std::vector<std::string>& ChavesDaConfiguracao() {
  static const std::vector<std::string> keys(std::begin(kChaves), std::end(kChaves));
  return keys;
}

bool SwitchLigado(const std::string& key) {
  std::string v;
  if (!LeSwitch(key, &v)) return false;
  bool recognised = false;
  const bool on = StrToBoolean(v, &recognised);
  return v.empty() || (recognised && on);
}

std::vector<std::string> ArgsComConfiguracao(const std::vector<std::string>& args) {
  std::vector<std::string> out = args;
  for (const char* k : kChaves) {
    const std::string key = Maiusculas(k);
    if (key == "SQLSERVER" || key == "DATABASE") continue;
    const std::string* v = ValorDaConfiguracao(k);
    if (v != nullptr) out.push_back(std::string("-") + k + ":" + *v);
  }
  return out;
}

}  // namespace zun
