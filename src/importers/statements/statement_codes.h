// The codes of the statement, format and account importers and of the
// statement store, by name.
//
// The codes of a statement block's lines stay with its importer
// (statement_import.h), the store's "not found" with the store
// (statement_store.h).
//
// Thread-safety: constants only.
#pragma once

#include <array>
#include <cstdint>

#include "toolbox/dbutil/codes.h"  // a failed call (3939), no "result" column (4090)

namespace zun {

// The account cache asked for an account number below 1.
inline constexpr int32_t kContaNumeroInvalido = 3763;

// The statement store.
inline constexpr int32_t kBalLeCabecalho = 3520;     // the header could not be read
inline constexpr int32_t kBalLeitura = 3521;         // the statement could not be read
inline constexpr int32_t kBalGravacao = 3522;        // the write failed
inline constexpr int32_t kBalSemId = 3525;           // the header call gave no id
inline constexpr int32_t kBalFimDaTransacao = 3997;  // ending the transaction failed
inline constexpr int32_t kBalRecusado = 4463;        // a constraint refused the write
inline constexpr int32_t kBalSemCommit = 15778;      // the write did not reach its commit

// The statement formats.
inline constexpr int32_t kFmtBalFalhou = 3523;          // read or write failed
inline constexpr int32_t kFmtBalFimDaTransacao = 3999;  // ending the transaction failed

// "*CBAL" fields, by field.
inline constexpr int32_t kCBalId = 3974;
inline constexpr int32_t kCBalBloco = 3975;
inline constexpr int32_t kCBalOrdem = 3976;
inline constexpr int32_t kCBalDecimais = 3977;
inline constexpr int32_t kCBalFormatacao = 3978;
inline constexpr int32_t kCBalComo = 3990;
inline constexpr int32_t kCBalComoNum = 3991;
inline constexpr int32_t kCBalCamposDemais = 3992;
inline constexpr int32_t kCBalNome = 3993;  // also a name of blanks
// Fields 14 to 29, the account's characteristics in order.
inline constexpr std::array<int32_t, 16> kCBalCaracteristicas = {
    3979, 3980, 3981, 15557, 15558, 3982,  3983,  3984,
    3985, 3986, 3987, 3988,  3989,  15559, 15560, 15561};

}  // namespace zun
