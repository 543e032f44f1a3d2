// The line messages of the file the queue step imported last: kept with
// its queue entry, per try ("ImportFilesErros", read back with zuninput-db
// errors ID [--try N]), and listed in the owner's mail with their line
// numbers, the reason of each line's code and the line's text.
//
// Thread-safety: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zun {

class TImpMain;

// Messages kept for one try of a file; the rest are only counted.
inline constexpr size_t kMaxMensagensGuardadas = 1000;
// Messages listed in the owner's mail.
inline constexpr size_t kMaxMensagensNoEmail = 50;

// One line message: the line's number, the message as the log shows it,
// the code the line's record failed with (0: a note, no failure) and the
// text of the line.
struct MensagemDeLinha {
  int32_t linha = 0;
  std::string texto;
  int32_t codigo = 0;
  std::string conteudo;
};

// A file's line messages: the first kMaxMensagensGuardadas, and how many
// more there were.
struct MensagensDoArquivo {
  std::vector<MensagemDeLinha> itens;
  int32_t nao_guardadas = 0;
  int32_t Total() const { return static_cast<int32_t>(itens.size()) + nao_guardadas; }
};

// The messages of the file imported last (replaced by each import).
MensagensDoArquivo& MensagensDoUltimoArquivo();

// The messages imp issued, with their codes and line texts (each cut to
// 300 characters).
MensagensDoArquivo MensagensDe(const TImpMain& imp);

// The records of the file imported last that its import pass applied, and
// those it skipped with a message (replaced by each import).
struct ContagemDeLinhas {
  int32_t aplicadas = 0;
  int32_t puladas = 0;
};
ContagemDeLinhas& ContagemDoUltimoArquivo();

// The owner's mail items for m (none when m is empty): "errors-count" (every
// message of the try), then the first kMaxMensagensNoEmail messages as
// "line N: text [code C] <line text>", one a line, spread over "errors",
// "errors-2", ... of at most 1000 bytes each, and "reasons": each code
// listed with its reason from the codes table.
std::vector<std::string> ItensDasMensagens(const MensagensDoArquivo& m);

// m's messages, one a line: the line number, code, the code's reason, the
// message and the line's text, separated by tabs (none of them holds a tab
// or a line break). The form "ImportFilesErros" takes, and that of the line
// messages in an import pass's resume mark ("ImportFilesMarca").
std::string TextoDasMensagens(const MensagensDoArquivo& m);

// Reads TextoDasMensagens's text back (the reasons are left out: they
// follow from the codes); a line of a line number and a message alone is
// a message without a code or line text, and a line with another count of
// fields is ignored.
MensagensDoArquivo MensagensDoTexto(const std::string& texto);

// Stores m as the line messages of entry id's current try, under its
// lease (also after its outcome is recorded): the messages and, when some
// were not kept, a line 0 that counts them. A database without the
// procedure keeps none (logged once). Returns 0 or the code of the call
// (3939 for a link lost before it), which the caller only logs.
[[nodiscard]] int32_t GravaMensagensDaEntrada(int32_t id, int32_t lease,
                                              const MensagensDoArquivo& m);

}  // namespace zun
