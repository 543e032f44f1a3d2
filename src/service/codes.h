// The service's codes, and their reasons in words for the lines an operator
// reads on standard output (the journal under systemd). The table is
// docs/codes.md, built into the program, so the words printed and the
// documented ones are the same.
//
// Thread-safety: the table is read-only; any thread may call these.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

// Login.
inline constexpr int32_t kErroLoginFalhou = 3714;       // the database client refused the login
inline constexpr int32_t kErroLoginSemConexao = 3715;   // every step succeeded, the link is closed
inline constexpr int32_t kErroLoginSemServidor = 4217;  // server, database or provider empty
// The database@server guard: the pair is not the one this installation may
// import into.
inline constexpr int32_t kErroLoginGuarda = 4218;
inline constexpr int32_t kErroLoginSemUsuario = 4272;  // no user or password, and no one to ask
inline constexpr int32_t kErroSenhaRecusada = 4273;    // the password file is refused
// A configuration file that is refused: it may be written by group or
// others, is owned by another user than root or the service's own, cannot be
// read, or holds a line that is not a known "key = value".
inline constexpr int32_t kErroConfiguracaoRecusada = 4274;
// The user logged in is not an administrator: the service takes other
// users' files and works as their owners, which only an administrator may do.
inline constexpr int32_t kErroLoginNaoAdministrador = 4079;

// The run.
inline constexpr int32_t kErroLogin = 4077;         // the login failed (the line before says why)
inline constexpr int32_t kErroExcecaoNaRun = 4078;  // an unexpected exception stopped the run
// Lines of the run could not be written to the log file (they are in the
// fallback file at best).
inline constexpr int32_t kErroLogNaoGravado = 4092;
inline constexpr int32_t kErroArquivoRecusado = 4094;  // the checked file is refused
inline constexpr int32_t kErroArquivoIlegivel = 4099;  // the checked file cannot be opened
inline constexpr int32_t kErroPedidoDeBoletim = 4105;  // the bulletin request marker not written

// The queue step. The machine cannot take files: the directory of the local
// copies ("PathIF", else the working directory) is missing or no file can be
// written in it; the directory of the bulletin request files ("PathReqGBol")
// is missing and cannot be made, or cannot be written to.
inline constexpr int32_t kErroDiretorioDasCopias = 4080;
inline constexpr int32_t kErroDiretorioDosPedidos = 4087;
inline constexpr int32_t kErroSemNomeDeArquivo = 3774;     // an import without a file name
inline constexpr int32_t kErroCopiaCriar = 4081;           // the local copy could not be created
inline constexpr int32_t kErroCopiaFechar = 4082;          // ... could not be closed
inline constexpr int32_t kErroCopiaGravar = 4083;          // ... could not be written completely
inline constexpr int32_t kErroExcecaoNoResultado = 4085;   // recording the outcome or the mail
inline constexpr int32_t kErroExcecaoNaImportacao = 4086;  // importing (or checking) a file
inline constexpr int32_t kErroEntradaSemId = 4088;         // the queue handed out entry id 0
// The step's entry was taken by another process while it was imported (its
// lease ran out): the import stops and no outcome is recorded.
inline constexpr int32_t kErroEntradaTomada = 4093;
// The transaction of the import pass's group was lost (a lost link): the
// lines since its last commit are undone and the outcome records this code.
inline constexpr int32_t kErroGrupoPerdido = 4095;

// The reason column of code's row in docs/codes.md; "" when the table has
// no row for it.
std::string MotivoDoCodigo(int32_t code);

// head + ": code " + code + ": " + its reason (or a pointer to the table
// when it has no row) + " (" + detail + ")" when detail is not empty.
std::string LinhaDoCodigo(const std::string& head, int32_t code, const std::string& detail);

}  // namespace zun
