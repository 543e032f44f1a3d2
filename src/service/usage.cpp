#include "service/usage.h"

#include <string>

#include "foundation/text.h"
#include "foundation/version.h"

#ifndef ZUN_CONFIG_FILE
#define ZUN_CONFIG_FILE "/etc/zuninput/zuninput.conf"
#endif

namespace zun {
namespace {

const char kAjuda[] =
    "Usage: zuninput [-switch[:value] ...]\n"
    "One run of the ZunInput import service: logs in, imports the queued import files most\n"
    "urgent first, records each outcome, mails the owners, and ends with 0 or the first\n"
    "error's code (the process status is its low byte; the full code is printed last as\n"
    "\"exit code:N\"). A switch is -key or /key, with :value or =value; keys ignore case.\n"
    "Switches marked * are also keys of the configuration file (\"key = value\"; on-or-off\n"
    "keys take yes or no, and so may their switches).\n"
    "\n"
    "Login and target:\n"
    " *-provider:NAME        SQLOLEDB.1 (SQL Server over ODBC, the default) or SQLite\n"
    " *-sqlserver:HOST       database server (HOST,PORT or HOST\\INSTANCE); *-database:NAME\n"
    "                        database (the pair of the configuration file, else 4218)\n"
    " *-user:NAME            database user\n"
    " *-IntegratedSecurity   without -user: the login uses integrated security\n"
    " *-PasswordFile:PATH    password on the file's first line (mode 600); also\n"
    "                        ZUNINPUT_PASSWORD, or -password:SECRET (visible to ps: avoid)\n"
    " *-OdbcDriver:NAME, *-OdbcDsn:NAME   ODBC driver or data source of SQL Server\n"
    " *-OdbcNoEncryption     do not require TLS (a server without it; logged)\n"
    "  -Config:PATH          the installation's settings (default " ZUN_CONFIG_FILE
    ");\n"
    "                        a switch wins over the file; a named file must exist\n"
    "Run:\n"
    " *-PathIF:DIR           keep the local copies of queued files in DIR\n"
    " *-PathReqGBol:DIR      directory of the bulletin request markers (./reqgbol/)\n"
    " *-MailGateway:URL      base URL of the HTTP mail gateway\n"
    " *-ContinueAfterFailedFile   go on with the next file after a file fails\n"
    " *-MailTimeout:SECONDS  longest wait for the mail gateway (1-300, default 10)\n"
    " *-MailOutbox:DIR       mails not delivered wait here for the next run\n"
    "                        (default ./zuninput-mail; empty: none)\n"
    "  -output:FILE          append standard output to FILE\n"
    " *-RunSummary:FILE      the run's summary (JSON), default ./zuninput-run.json; each\n"
    "                        run also adds a line to the same name + l (.jsonl)\n"
    " *-RunMetrics:FILE      the same for Prometheus (node exporter's textfile collector)\n"
    " *-MetricsMode:OCTAL, *-MetricsGroup:GROUP   mode (0644) and group of those files\n"
    " *-FileFailureExitsZero   status 0 when only files failed (the summary tells)\n"
    "  -CheckFile:FILE [-CheckAs:USER] [-CheckAll]   check one local file, import\n"
    "                        nothing; -CheckAll goes on after a failed line\n"
    "  -LI                   verbose log\n"
    "Others: -AdminVersion, -SHLIMITADD:N, -SHLIMITMOD:N, -SHLIMITTOTAL:N,\n"
    "  -PfNaoCheckarAplicacaoAcionista, -DbgDifChecagemBal, -DbgSpeed.\n"
    "\n"
    "Manual: man zuninput; codes: codes.md with the installed documentation.\n";

bool EhUm(const std::string& a, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (Maiusculas(a) == Maiusculas(n)) return true;
  }
  return false;
}

}  // namespace

const std::vector<std::string>& SwitchesConhecidos() {
  static const std::vector<std::string> keys = {"user",
                                                "password",
                                                "PasswordFile",
                                                "sqlserver",
                                                "database",
                                                "provider",
                                                "OdbcDriver",
                                                "OdbcDsn",
                                                "OdbcNoEncryption",
                                                "IntegratedSecurity",
                                                "AdminVersion",
                                                "PathIF",
                                                "PathReqGBol",
                                                "output",
                                                "MailGateway",
                                                "MailTimeout",
                                                "MailOutbox",
                                                "CheckFile",
                                                "CheckAs",
                                                "SHLIMITADD",
                                                "SHLIMITMOD",
                                                "SHLIMITTOTAL",
                                                "LI",
                                                "DbgDifChecagemBal",
                                                "PfNaoCheckarAplicacaoAcionista",
                                                "DbgSpeed",
                                                "Config",
                                                "RunSummary",
                                                "RunMetrics",
                                                "CheckAll",
                                                "MetricsMode",
                                                "MetricsGroup",
                                                "FileFailureExitsZero",
                                                "ContinueAfterFailedFile"};
  return keys;
}

const char* TextoDeAjuda() { return kAjuda; }

bool RespondeAjuda(const std::vector<std::string>& args, std::ostream& out) {
  for (size_t i = 1; i < args.size(); ++i) {
    if (EhUm(args[i], {"--help", "-help", "/help", "-h", "/h", "/?", "-?"})) {
      out << kAjuda;
      return true;
    }
    if (EhUm(args[i], {"--version", "-version", "/version"})) {
      out << "zuninput " << kVersaoDoPrograma << "\n";
      return true;
    }
  }
  return false;
}

std::vector<std::string> SwitchesDesconhecidos(const std::vector<std::string>& args) {
  std::vector<std::string> unknown;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string a = args[i];
    if (a.size() >= 2 && (a.front() == '"' || a.front() == '\'') && a.back() == a.front()) {
      a = a.substr(1, a.size() - 2);
    }
    const std::string head = a.substr(0, a.find_first_of(":="));
    bool known = false;
    if (head.size() > 1 && (head[0] == '-' || head[0] == '/')) {
      for (const std::string& k : SwitchesConhecidos()) {
        known = known || Maiusculas(head.substr(1)) == Maiusculas(k);
      }
    }
    if (known) continue;
    // Not a switch at all (a bare word may be a misplaced secret): only its
    // position is shown.
    const bool switch_like = head.size() > 1 && (head[0] == '-' || head[0] == '/');
    unknown.push_back(switch_like ? head : "(argument " + std::to_string(i) + ")");
  }
  return unknown;
}

}  // namespace zun
