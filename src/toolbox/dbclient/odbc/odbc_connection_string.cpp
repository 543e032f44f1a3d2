#include "toolbox/dbclient/odbc/odbc_connection_string.h"

#include <dlfcn.h>
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "foundation/text.h"
#include "toolbox/dbclient/errors.h"

namespace zun {

namespace {

constexpr char kDriverPadrao[] = "FreeTDS";

// A value in an ODBC connection string: in braces, "}" doubled, when it
// holds anything that would end or change the pair.
std::string OdbcValue(const std::string& v) {
  if (v.find_first_of(";{}=") == std::string::npos && v == AparaBrancos(v)) return v;
  std::string out = "{";
  for (char c : v) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

bool ContemSemCaixa(const std::string& text, const std::string& part) {
  return Maiusculas(text).find(Maiusculas(part)) != std::string::npos;
}

}  // namespace

bool NamesOdbcDataSource(const ConnectionString& cs) { return !cs.Get("Odbc DSN").empty(); }

// FreeTDS by the driver's name or by its library.
bool IsFreeTdsDriver(const ConnectionString& cs, const OdbcDriver& drv) {
  const std::string driver =
      NamesOdbcDataSource(cs)
          ? ""
          : (cs.Get("Odbc Driver").empty() ? kDriverPadrao : cs.Get("Odbc Driver"));
  return ContemSemCaixa(driver, "FreeTDS") || ContemSemCaixa(driver, "libtdsodbc") ||
         ContemSemCaixa(drv.library, "libtdsodbc");
}

int FreeTdsLibraryVersion(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return 0;
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const std::string mark = "freetds v";
  for (size_t at = bytes.find(mark); at != std::string::npos; at = bytes.find(mark, at + 1)) {
    int major = 0, minor = 0;
    if (std::sscanf(bytes.c_str() + at + mark.size(), "%d.%d", &major, &minor) == 2)
      return major * 100 + minor;
  }
  return 0;
}

std::string OdbcConnectionString(const ConnectionString& cs, const OdbcDriver& drv) {
  std::string s;
  std::string driver;
  const bool dsn = cs.Has("Odbc DSN") && !cs.Get("Odbc DSN").empty();
  if (dsn) {
    s = "DSN=" + OdbcValue(cs.Get("Odbc DSN"));
  } else {
    driver = cs.Get("Odbc Driver").empty() ? kDriverPadrao : cs.Get("Odbc Driver");
    s = "Driver={" + driver + "}";
  }
  const bool freetds = IsFreeTdsDriver(cs, drv);
  const bool chaves_duplicadas = !freetds || drv.freetds_version >= 104;
  const auto add = [&](const char* key, const std::string& v) {
    if (v.empty()) return;
    if (!chaves_duplicadas && v.find('}') != std::string::npos) {
      throw ProviderError(std::string("The FreeTDS driver ") +
                          (drv.freetds_version > 0 ? "before 1.4" : "of unknown version") +
                          " misreads a \"}\" in the value of " + key +
                          "; the connection is not attempted (FreeTDS 1.4 or later reads it)");
    }
    s += std::string(";") + key + "=" + OdbcValue(v);
  };
  const std::string source = cs.Get("Data Source");
  const size_t comma = source.find(',');
  if (dsn) {
    // The data source names its server (FreeTDS before 1.5 refuses both).
  } else if (!freetds || source.empty() || source.find('\\') != std::string::npos) {
    // Microsoft's driver reads "HOST,PORT" and defaults 1433 itself; FreeTDS
    // finds an instance's port through the server's browser service.
    add("Server", source);
  } else {
    // FreeTDS neither defaults the port nor reads freetds.conf for Server=.
    add("Server", source.substr(0, comma));
    add("Port", comma == std::string::npos ? "1433" : AparaBrancos(source.substr(comma + 1)));
  }
  add("Database", cs.Get("Initial Catalog"));
  add("APP", cs.Get("Application Name"));
  const std::string sec = Maiusculas(cs.Get("Integrated Security"));
  if (cs.Get("User ID").empty() && (sec == "SSPI" || sec == "TRUE" || sec == "YES")) {
    s += ";Trusted_Connection=yes";
  } else if (!cs.Get("User ID").empty()) {
    add("UID", cs.Get("User ID"));
    add("PWD", cs.Get("Password"));
  }
  if (freetds && !dsn) s += ";TDS_Version=7.4;ClientCharset=CP1252";
  // TLS is required unless the connection string declines it: FreeTDS would
  // otherwise send the password in clear to a server that offers no TLS.
  // Other drivers are told so too: Microsoft's Driver 17 does not encrypt by
  // default (a data source's own "Encrypt" gives way to this one).
  const std::string tls = Maiusculas(cs.Get("Use Encryption for Data"));
  const bool sem_tls = tls == "FALSE" || tls == "NO" || tls == "0";
  if (freetds) {
    s += sem_tls ? ";Encryption=request" : ";Encryption=require";
  } else {
    s += sem_tls ? ";Encrypt=no" : ";Encrypt=yes";
  }
  // Microsoft's driver reconnects a broken link by itself (idle connection
  // resiliency), without the database user the session had switched to
  // and without telling it: the session reconnects, and restores the user.
  if (!freetds) s += ";ConnectRetryCount=0";
  return s;
}

OdbcDriver FindOdbcDriver(const OdbcApi& api, SQLHENV env, const ConnectionString& cs) {
  OdbcDriver d;
  if (api.DataSources == nullptr || api.Drivers == nullptr) return d;
  std::string name = cs.Get("Odbc Driver").empty() ? kDriverPadrao : cs.Get("Odbc Driver");
  SQLCHAR a[512], b[1024];
  SQLSMALLINT la = 0, lb = 0;
  if (!cs.Get("Odbc DSN").empty()) {
    name.clear();
    for (SQLUSMALLINT dir = SQL_FETCH_FIRST;
         api.DataSources(env, dir, a, sizeof a, &la, b, sizeof b, &lb) == SQL_SUCCESS;
         dir = SQL_FETCH_NEXT) {
      if (strcasecmp(reinterpret_cast<char*>(a), cs.Get("Odbc DSN").c_str()) == 0)
        name = reinterpret_cast<char*>(b);
    }
  }
  if (name.find('/') != std::string::npos) d.library = name;
  for (SQLUSMALLINT dir = SQL_FETCH_FIRST;
       d.library.empty() &&
       api.Drivers(env, dir, a, sizeof a, &la, b, sizeof b, &lb) == SQL_SUCCESS;
       dir = SQL_FETCH_NEXT) {
    if (strcasecmp(reinterpret_cast<char*>(a), name.c_str()) != 0) continue;
    // "key=value" pairs, each ended by a zero byte, the list by two.
    for (const char* p = reinterpret_cast<char*>(b); *p != 0; p += std::strlen(p) + 1) {
      if (strncasecmp(p, "Driver=", 7) == 0) d.library = p + 7;
    }
  }
  if (!d.library.empty() && d.library.front() != '/') {
    // A bare name is looked up by the driver manager in its own "odbc"
    // directory, next to its library.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(api.Drivers), &info) != 0 && info.dli_fname != nullptr) {
      const std::string own = info.dli_fname;
      d.library = own.substr(0, own.rfind('/') + 1) + "odbc/" + d.library;
    }
  }
  d.freetds_version = FreeTdsLibraryVersion(d.library);
  return d;
}

}  // namespace zun
