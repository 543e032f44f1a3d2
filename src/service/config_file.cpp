#include "service/config_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "foundation/switches.h"
#include "foundation/text.h"

#ifndef ZUN_CONFIG_FILE
#define ZUN_CONFIG_FILE "/etc/zuninput/zuninput.conf"
#endif

namespace zun {
namespace {

// The keys the file may hold, spelled as their switches.
const char* const kChaves[] = {"sqlserver",    "database",    "provider",    "user",
                               "PasswordFile", "OdbcDriver",  "OdbcDsn",     "MailGateway",
                               "PathIF",       "PathReqGBol", "MailTimeout", "MailOutbox"};

struct Estado {
  std::map<std::string, std::string> valores;  // upper-case key -> value
  int32_t erro = 0;
  std::string motivo;
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

int32_t Recusa(const std::string& path, const std::string& why) {
  Config() = Estado{};
  Config().erro = kErroConfiguracaoRecusada;
  Config().motivo = path + " " + why;
  return Config().erro;
}

}  // namespace

std::string CaminhoDaConfiguracao() {
  std::string path;
  if (LeSwitch("Config", &path) && !path.empty()) return path;
  return ZUN_CONFIG_FILE;
}

int32_t CarregaConfiguracao(const std::string& path) {
  Config() = Estado{};
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return 0;
    return Recusa(path, std::string("cannot be read: ") + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) return Recusa(path, "is not a regular file");
  // The file decides where the service may import: only root or the
  // service's own user may have written it.
  if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
    return Recusa(
        path, "is owned by uid " + std::to_string(st.st_uid) + "; it must be root's: chown root");
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return Recusa(path,
                  std::string("may be written by group or others (mode ") + mode + "); chmod 644");
  }
  std::ifstream in(path);
  if (!in) return Recusa(path, std::string("cannot be read: ") + std::strerror(errno));
  Estado e;
  int n = 0;
  for (std::string line; std::getline(in, line);) {
    ++n;
    line = Apara(line);
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
    e.valores[Maiusculas(key)] = value;
  }
  if (in.bad()) return Recusa(path, std::string("cannot be read: ") + std::strerror(errno));
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
