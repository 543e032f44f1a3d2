#include "service/login_inputs.h"

#include <odbcinst.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <vector>

#include "foundation/switches.h"
#include "foundation/text.h"
#include "service/codes.h"
#include "service/config_file.h"
#include "service/password_source.h"
#include "toolbox/dbclient/odbc/odbc_provider.h"
#include "toolbox/dbclient/provider.h"

#ifndef ZUN_DEFAULT_SQLSERVER
#define ZUN_DEFAULT_SQLSERVER "localhost"
#endif

namespace zun {
namespace {

// The switch value cut to the 255 characters of the login's buffers; *value
// is left alone when the switch is absent.
bool LeSwitch255(const char* key, std::string* value) {
  std::string v;
  if (!LeSwitch(key, &v)) return false;
  *value = v.substr(0, 255);
  return true;
}

bool ReadLine(std::string* line) {
  if (!std::getline(std::cin, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

// key of the data source dsn in odbc.ini, "" when not set.
std::string ChaveDaFonte(const std::string& dsn, const char* key) {
  char buf[512] = {};
  const int n = SQLGetPrivateProfileString(dsn.c_str(), key, "", buf, sizeof buf, "odbc.ini");
  return n > 0 ? std::string(buf, static_cast<size_t>(n) < sizeof buf ? n : sizeof buf - 1) : "";
}

bool EhOdbc(const DadosDeLogin& d) { return IsOdbcProviderName(d.provider); }

// The server of the freetds.conf section name as FreeTDS finds it: the first
// of $FREETDSCONF, $FREETDS/etc/freetds.conf, ~/.freetds.conf and
// /etc/freetds/freetds.conf that holds the section counts, its [global]
// giving what the section leaves out. "HOST", "HOST,PORT" or
// "HOST\INSTANCE"; "" when no file holds the section with a host.
std::string ServidorDoFreeTds(const std::string& name) {
  std::vector<std::string> files;
  const auto env = [](const char* v) {
    const char* value = std::getenv(v);
    return value != nullptr ? std::string(value) : std::string();
  };
  if (!env("FREETDSCONF").empty()) files.push_back(env("FREETDSCONF"));
  if (!env("FREETDS").empty()) files.push_back(env("FREETDS") + "/etc/freetds.conf");
  if (!env("HOME").empty()) files.push_back(env("HOME") + "/.freetds.conf");
  files.push_back("/etc/freetds/freetds.conf");
  for (const std::string& file : files) {
    std::ifstream in(file);
    std::map<std::string, std::string> global, own;
    std::map<std::string, std::string>* section = nullptr;
    bool found = false;
    for (std::string line; std::getline(in, line);) {
      line = Apara(line);
      if (line.empty() || line[0] == ';' || line[0] == '#') continue;
      const size_t eq = line.find('=');
      if (line[0] == '[') {
        const std::string s = Maiusculas(line.substr(1, line.find(']') - 1));
        section = s == "GLOBAL" ? &global : s == Maiusculas(name) ? &own : nullptr;
        found = found || section == &own;
      } else if (section != nullptr && eq != std::string::npos) {
        (*section)[Maiusculas(Apara(line.substr(0, eq)))] = Apara(line.substr(eq + 1));
      }
    }
    if (!found) continue;
    own.merge(global);
    const std::string& host = own["HOST"];
    if (host.empty()) return "";
    if (!own["INSTANCE"].empty()) return host + "\\" + own["INSTANCE"];
    return own["PORT"].empty() ? host : host + "," + own["PORT"];
  }
  return "";
}

}  // namespace

const char* ServidorPadrao() {
  const std::string* v = ValorDaConfiguracao("sqlserver");
  return v != nullptr ? v->c_str() : ZUN_DEFAULT_SQLSERVER;
}

const char* DatabasePadrao() {
  const std::string* v = ValorDaConfiguracao("database");
  return v != nullptr ? v->c_str() : kDatabasePadrao;
}

bool PedeLoginNoTerminal(std::string* user, std::string* password) {
  if (!::isatty(STDIN_FILENO)) return false;
  std::cout << "ZunInput login\nUser [" << *user << "]: " << std::flush;
  std::string line;
  if (!ReadLine(&line)) return false;
  if (!line.empty()) *user = line;
  std::cout << "Password: " << std::flush;
  termios old_tio{};
  const bool have_tio = ::tcgetattr(STDIN_FILENO, &old_tio) == 0;
  if (have_tio) {
    termios no_echo = old_tio;
    no_echo.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &no_echo);
  }
  const bool ok = ReadLine(&line);
  if (have_tio) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old_tio);
  std::cout << std::endl;
  if (!ok) return false;
  if (!line.empty()) *password = line;
  return true;
}

int32_t LeDadosDeLogin(const std::string& user, const std::string& password,
                       const PedidoDeLogin& ask, DadosDeLogin* d, std::string* msg_erro) {
  // A refused configuration file fails the login before anything is read.
  if (const int32_t e = ErroDaConfiguracao(msg_erro); e != 0) return e;
  d->user = user;
  d->password = password;
  if (d->user.empty()) LeSwitch255("user", &d->user);
  // Integrated security (Kerberos) asks for nothing: a run without a
  // terminal would otherwise end with 4272 before trying it.
  const bool integrada = d->user.empty() && SwitchLigado("IntegratedSecurity");
  if (integrada) d->password.clear();
  if (!integrada && d->password.empty()) {
    const int32_t e = LeSenhaDoLogin(&d->password, msg_erro);
    if (e != 0) return e;
  }
  if (!integrada && (d->user.empty() || d->password.empty())) {
    std::string u = d->user;
    std::string p = d->password;
    if (!ask || !ask(&u, &p)) return kErroLoginSemUsuario;
    d->user = u;
    d->password = p;
  }
  if (const int32_t e = LeAlvoDoLogin(d, msg_erro); e != 0) return e;
  if (d->server.empty() || d->database.empty() || d->provider.empty()) return kErroLoginSemServidor;
  // "HOST,PORT" and "HOST\\INSTANCE" name the host HOST: the guard compares
  // the hosts.
  const auto host = [](const std::string& s) { return s.substr(0, s.find_first_of(",\\")); };
  if (Maiusculas(d->database + "@" + host(d->server)) !=
      Maiusculas(std::string(DatabasePadrao()) + "@" + host(ServidorPadrao()))) {
    *msg_erro = "s@d:<" + d->database + "@" + d->server + ">";
    return kErroLoginGuarda;
  }
  return 0;
}

int32_t LeAlvoDoLogin(DadosDeLogin* d, std::string* msg_erro) {
  d->server = ServidorPadrao();
  LeSwitch255("sqlserver", &d->server);
  d->database = DatabasePadrao();
  LeSwitch255("database", &d->database);
  d->provider = kProviderPadrao;
  LeSwitch255("provider", &d->provider);
  LeSwitch255("OdbcDriver", &d->odbc_driver);
  LeSwitch255("OdbcDsn", &d->odbc_dsn);
  d->sem_criptografia = SwitchLigado("OdbcNoEncryption");
  if (d->odbc_dsn.empty() || !EhOdbc(*d)) return 0;
  // The configuration's server means nothing to a data source: the guard
  // must see the server odbc.ini sends the connection to.
  const std::string& dsn = d->odbc_dsn;
  d->driver_da_fonte = ChaveDaFonte(dsn, "Driver");
  d->servername_da_fonte = ChaveDaFonte(dsn, "Servername");
  std::string server = ChaveDaFonte(dsn, "Server");
  std::string port = ChaveDaFonte(dsn, "Port");
  std::string why;
  if (!d->servername_da_fonte.empty()) {
    // FreeTDS takes the server from its own configuration, where the
    // certificate's CA is named too.
    server = ServidorDoFreeTds(d->servername_da_fonte);
    port.clear();
    if (server.empty()) {
      why = "names the freetds.conf Servername <" + d->servername_da_fonte +
            ">, which no freetds.conf holds with a host";
    }
  } else if (d->driver_da_fonte.empty() && server.empty()) {
    why = "is not in odbc.ini";
  } else if (server.empty()) {
    why = "names no Server";
  }
  d->server = why.empty() ? server + (port.empty() ? "" : "," + port) : "";
  if (why.empty()) return 0;
  *msg_erro = "data source <" + dsn + "> " + why;
  return kErroLoginGuarda;
}

std::string DescreveAlvo(const DadosDeLogin& d) {
  std::string s = "config:<" + ArquivoDaConfiguracao() + "> provider:" + d.provider;
  const bool fonte = EhOdbc(d) && !d.odbc_dsn.empty();
  if (fonte) s += " dsn:" + d.odbc_dsn;
  const size_t sep = d.server.find_first_of(",\\");
  s += " server:" + d.server.substr(0, sep);
  if (sep != std::string::npos) {
    s += (d.server[sep] == ',' ? " port:" : " instance:") + d.server.substr(sep + 1);
  } else if (EhOdbc(d)) {
    s += " port:1433";
  }
  if (fonte) {
    s += d.servername_da_fonte.empty() ? " (odbc.ini)"
                                       : " (freetds.conf [" + d.servername_da_fonte + "])";
  }
  s += " database:" + d.database;
  if (fonte) {
    s += " driver:" + d.driver_da_fonte + " (odbc.ini)";
  } else if (EhOdbc(d)) {
    // The provider's default driver when none is named.
    s += " driver:" + (d.odbc_driver.empty() ? std::string("FreeTDS") : d.odbc_driver);
  }
  return s;
}

std::string MontaStringDeConexao(const DadosDeLogin& d) {
  // Values are quoted when they would otherwise end early or add keys: a
  // password holding ";Initial Catalog=..." must not reach another database.
  const auto q = QuoteConnectionValue;
  std::string s = "Provider=" + q(d.provider) + ";Data Source=" + q(d.server) +
                  ";Initial Catalog=" + q(d.database) + ";Application Name=ZunInput";
  if (!d.user.empty()) {
    s += ";User ID=" + q(d.user) + ";Password=" + q(d.password);
  } else {
    s += ";Integrated Security=SSPI;Persist Security Info=False";
  }
  if (!d.odbc_driver.empty()) s += ";Odbc Driver=" + q(d.odbc_driver);
  if (!d.odbc_dsn.empty()) s += ";Odbc DSN=" + q(d.odbc_dsn);
  if (d.sem_criptografia) s += ";Use Encryption for Data=False";
  return s;
}

}  // namespace zun
