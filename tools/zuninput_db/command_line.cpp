#include "zuninput_db/command_line.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "foundation/text_1252.h"
#include "toolbox/dbclient/connection.h"
#include "toolbox/dbclient/errors.h"
#include "toolbox/dbclient/sqlite/sqlite_provider.h"

namespace zun::dbtool {

const char kUsage[] =
    "usage: zuninput-db [--db PATH | --database NAME] [--config PATH] COMMAND ...\n"
    "       zuninput-db --help\n"
    "  init                                 create the database file\n"
    "  user add NAME [--password-file PATH | --password-env | --password-stdin\n"
    "                | --password P] [--email E] [--admin]\n"
    "                [--flags N] [--lingua 0|1|2] [--source-do-bal N]\n"
    "  user list                            the users, their e-mail and rights\n"
    "  user passwd NAME PASSWORD-OPTION     a new password (options as for add)\n"
    "  user set-email NAME E                the address the owner's mails go to\n"
    "  user del NAME                        delete a user without queue entries\n"
    "  enqueue FILE --user NAME [--priority N] [--as NAME]\n"
    "                                       queue a file, print its id\n"
    "  queue [--failed | --waiting] [--user NAME] [--json]\n"
    "                                       list the queue: each entry's state and why\n"
    "  show ID                              the entry's stored content, unchanged\n"
    "  retry ID                             offer an entry that used its tries once more\n"
    "  cancel ID                            delete an entry that has not succeeded\n"
    "  errors ID [--try N]                  the line messages of the entry's tries (of try N),\n"
    "                                       each with its code, the code's reason and the line\n"
    "  purge --before DATE                  delete the entries imported before DATE (GMT)\n"
    "  sql \"STATEMENT\"                      run one SQL statement, print its rows\n"
    "The database file is PATH, or NAME.db in the working directory\n"
    "(NAME defaults to ZunInput, the service's database).\n"
    "On SQL Server: when the configuration file (--config PATH or -Config:PATH, else\n"
    "the service's) or a switch of the service (-provider:SQLOLEDB.1, -OdbcDsn:NAME,\n"
    "-OdbcDriver:NAME, -sqlserver:..., -database:..., -user:..., -PasswordFile:...,\n"
    "-password:..., -OdbcNoEncryption, -IntegratedSecurity) selects one, the queue\n"
    "commands go through the queue's procedures as that login; init, user and sql stay\n"
    "on the embedded file.\n";

static const std::set<std::string> kValueOptions = {
    "--db", "--database", "--password", "--password-file", "--email",  "--user",   "--priority",
    "--as", "--flags",    "--lingua",   "--source-do-bal", "--before", "--config", "--try"};
static const std::set<std::string> kFlagOptions = {
    "--password-stdin", "--password-env", "--admin", "--help", "--json", "--failed", "--waiting"};

Args Parse(int argc, char** argv) {
  Args a;
  bool only_words = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!only_words && arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
      a.switches.push_back(arg);
      continue;
    }
    if (only_words || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      a.words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_words = true;
      continue;
    }
    std::string value;
    bool has_value = false;
    const size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      has_value = true;
    }
    if (kFlagOptions.count(arg) != 0) {
      if (has_value) throw UsageError("option " + arg + " takes no value");
      a.flags.insert(arg);
    } else if (kValueOptions.count(arg) != 0) {
      if (!has_value) {
        if (i + 1 >= argc) throw UsageError("option " + arg + " needs a value");
        value = argv[++i];
      }
      if (a.options.count(arg) != 0) throw UsageError("option " + arg + " given twice");
      a.options[arg] = value;
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  return a;
}

// Only the options a command knows; the rest is a usage error.
void Allow(const Args& a, const std::set<std::string>& allowed) {
  static const std::set<std::string> global = {"--db", "--database", "--config"};
  for (const auto& [o, v] : a.options) {
    if (allowed.count(o) == 0 && global.count(o) == 0) {
      throw UsageError("option " + o + " does not apply to this command");
    }
  }
  for (const std::string& o : a.flags) {
    if (allowed.count(o) == 0) throw UsageError("option " + o + " does not apply to this command");
  }
}

void WordCount(const Args& a, size_t n, const char* what) {
  if (a.words.size() < n) throw UsageError(std::string("missing ") + what);
  if (a.words.size() > n) throw UsageError("unexpected argument <" + a.words[n] + ">");
}

int32_t ParseInt(const std::string& text, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || end == text.c_str() || *end != '\0' || errno != 0 || v < INT32_MIN ||
      v > INT32_MAX) {
    throw UsageError(what + " must be an integer, not <" + text + ">");
  }
  return static_cast<int32_t>(v);
}

// The file the service would open: NAME.db in the working directory, the
// way the embedded provider maps "Initial Catalog", unless --db names it.
std::string DatabasePath(const Args& a) {
  if (a.Has("--db") && a.Has("--database")) {
    throw UsageError("give either --db or --database, not both");
  }
  if (a.Has("--db")) {
    const std::string p = a.Get("--db");
    if (p.empty()) throw UsageError("--db needs a path");
    return p;
  }
  const std::string catalog = a.Get("--database", "ZunInput");
  try {
    return SqliteCatalogPath(ConnectionString("Initial Catalog=" + catalog));
  } catch (const ProviderError& e) {
    throw UsageError(e.what());
  }
}

// A text of the command line as the client side holds it (Windows-1252);
// characters that code page cannot hold are refused.
std::string ClientText(const std::string& utf8, const std::string& what) {
  const std::string cp = Utf8ToCp1252(utf8);
  if (Cp1252ToUtf8(cp) != utf8) {
    throw UsageError(what + " <" + utf8 + "> has characters outside Windows-1252");
  }
  return cp;
}

// The queue entry id of the command's second word.
int64_t EntryId(const Args& a) {
  WordCount(a, 2, "entry id");
  const int32_t id = ParseInt(a.words[1], "the entry id");
  if (id <= 0) throw UsageError("the entry id must be positive");
  return id;
}

}  // namespace zun::dbtool
