#include "toolbox/dbutil/server_version.h"

namespace zun {

std::string NomeDoRetorno = "RETURN_VALUE";
int32_t VersaoDoServidor = 0;

namespace {

const char* const kTextosDeVersao[] = {
    "Microsoft SQL Server  7.00", "Microsoft SQL Server 2000", "Microsoft SQL Server 2005",
    "Microsoft SQL Server 2008",  "Microsoft SQL Server 2012", "Microsoft SQL Server 2014",
    "Microsoft SQL Server 2016",  "Microsoft SQL Server 2017",
};

}  // namespace

int32_t VersaoDoTexto(const std::string& version_text) {
  int32_t index = 1;
  for (const char* prefix : kTextosDeVersao) {
    if (version_text.rfind(prefix, 0) == 0) return index;
    ++index;
  }
  return 0;
}

void DetectaVersaoDoServidor(TAdoDataBaseCustomizado* session) {
  Command cmd(session, CommandType::kText, "SELECT @@VERSION");
  cmd.Open();
  if (cmd.Active() && cmd.Current().RecordCount() > 0 && cmd.Current().FieldCount() > 0) {
    VersaoDoServidor = VersaoDoTexto(cmd.Current().Field(0).AsString());
  }
  cmd.Close();
  NomeDoRetorno = VersaoDoServidor < 2 ? "RETURN_VALUE" : "@RETURN_VALUE";
}

}  // namespace zun
