// The codes the database call helpers give (ExecStProc, LerResult, the
// accessors, the session), named once for every layer above.
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

namespace zun {

inline constexpr int32_t kErrTipoErrado = 3542;           // the provider refused a value's type
inline constexpr int32_t kErrSemDb = 3718;                // no database session (Db) exists
inline constexpr int32_t kErrChamada = 3939;              // a procedure call failed
inline constexpr int32_t kErrNaoEhProcedimento = 3940;    // the command is not a stored procedure
inline constexpr int32_t kErrRetornoIlegivel = 3998;      // return value or result unreadable
inline constexpr int32_t kErrExcecaoSemCodigo = 4000;     // an exception without a code of its own
inline constexpr int32_t kErrByteForaNoCampo = 4016;      // a byte column read outside 0..255
inline constexpr int32_t kErrByteForaNoParametro = 4017;  // a byte parameter read outside 0..255
inline constexpr int32_t kErrModoDesconhecido = 4089;     // ExecStProc in an unknown mode
inline constexpr int32_t kErrSemColunaResult = 4090;      // no "result" column
inline constexpr int32_t kErrSemResultSet = 4091;         // no result set to look at
inline constexpr int32_t kErrComandoAberto = 4097;        // mode 1 on a command still open
inline constexpr int32_t kErrResultadoIncerto = 4098;     // link lost after the call was sent
inline constexpr int32_t kErrResultNaoNumero = 4370;      // "result" does not hold a number
inline constexpr int32_t kErrByteAcimaDoMaximo = 25035;   // a byte parameter above its maximum

// The procedure is missing in the database: the check at login found it so,
// and a command for it is refused without asking the server again.
inline constexpr int32_t kErrProcedimentoAusente = 3947;

}  // namespace zun
