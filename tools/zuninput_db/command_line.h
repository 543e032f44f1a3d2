// zuninput-db's command line: the help text, the split into words,
// options and service switches, and the checks every command makes of them
// (which options it takes, how many words, integers, texts the client side
// can hold). Bad input raises UsageError (usage text, exit status 2); a
// command that cannot be done raises Failure (exit status 1).
//
// Thread-safety: functions of their arguments only; the tool is single-threaded.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace zun::dbtool {

// The help text, printed for --help and after every usage error.
extern const char kUsage[];

// Bad command-line input: usage text and exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Exit status 1 with the message.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The command line split into words and options. Options take a value
// unless listed as flags; "--opt=value" is accepted too.
struct Args {
  std::vector<std::string> words;
  std::map<std::string, std::string> options;
  std::set<std::string> flags;
  // The service's switches ("-provider:...", "-OdbcNoEncryption"): they
  // select and reach a SQL Server as the service does.
  std::vector<std::string> switches;

  bool Has(const std::string& o) const { return options.count(o) != 0 || flags.count(o) != 0; }
  std::string Get(const std::string& o, const std::string& fallback = "") const {
    auto it = options.find(o);
    return it == options.end() ? fallback : it->second;
  }
};

// Splits argv. Raises UsageError for an unknown option, an option given
// twice, a missing value, or a value given to a flag.
Args Parse(int argc, char** argv);

// Raises UsageError when a has an option outside allowed (--db, --database
// and --config always apply).
void Allow(const Args& a, const std::set<std::string>& allowed);

// Raises UsageError unless a has exactly n words; what names the missing one.
void WordCount(const Args& a, size_t n, const char* what);

// text as a 32-bit integer; UsageError naming what otherwise.
int32_t ParseInt(const std::string& text, const std::string& what);

// The embedded database file the command works on (--db, or NAME.db for
// --database NAME, ZunInput by default). Raises UsageError.
std::string DatabasePath(const Args& a);

// A UTF-8 text of the command line in Windows-1252, as the client side holds
// it; UsageError naming what when the code page cannot hold it.
std::string ClientText(const std::string& utf8, const std::string& what);

// The queue entry id of the command's second word, positive. Raises UsageError.
int64_t EntryId(const Args& a);

}  // namespace zun::dbtool
