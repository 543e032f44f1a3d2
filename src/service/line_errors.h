// The line messages of the file the queue step imported last: kept with
// its queue entry ("ImportFilesErros", read back with zuninput-db errors ID)
// and listed in the owner's mail with their line numbers.
//
// Thread-safety: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zun {

using MensagensDeLinha = std::vector<std::pair<int32_t, std::string>>;

// The messages of the file imported last (replaced by each import).
MensagensDeLinha& MensagensDoUltimoArquivo();

// The records of the file imported last that its import pass applied, and
// those it skipped with a message (replaced by each import).
struct ContagemDeLinhas {
  int32_t aplicadas = 0;
  int32_t puladas = 0;
};
ContagemDeLinhas& ContagemDoUltimoArquivo();

// "line N: text", one a line, for the owner's mail ("" when none): the
// first 50 messages, each cut to 300 characters, then how many more.
std::string TextoDasMensagens(const MensagensDeLinha& m);

// Stores m as the line messages of entry id under its lease (also after
// its outcome is recorded). A database without the procedure keeps none
// (logged once). Returns 0 or the code of the call (3939 for a link lost
// before it), which the caller only logs.
int32_t GravaMensagensDaEntrada(int32_t id, int32_t lease, const MensagensDeLinha& m);

}  // namespace zun
