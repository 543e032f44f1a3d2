#include "toolbox/dbutil/server_version.h"

#include "foundation/log.h"

namespace zun {

std::string TextoDaVersaoDoServidor;

void DetectaVersaoDoServidor(TAdoDataBaseCustomizado* session) {
  Command cmd(session, CommandType::kText, "SELECT @@VERSION");
  cmd.Open();
  if (cmd.Active() && cmd.Current().RecordCount() > 0 && cmd.Current().FieldCount() > 0) {
    TextoDaVersaoDoServidor = cmd.Current().Field(0).AsString();
    // SQL Server's text runs over several lines; the first names the release.
    Loga("ServerVersion: " +
         TextoDaVersaoDoServidor.substr(0, TextoDaVersaoDoServidor.find_first_of("\r\n")));
  }
  cmd.Close();
}

}  // namespace zun
