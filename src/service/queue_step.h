// The queue step: takes the most urgent queued import file from the
// database, writes it to a local file, imports it under its owner's database
// identity, records the outcome in the queue, mails the owner and cleans up.
//
// Thread-safety: main thread only; uses the one database session.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

// The highest queue priority taken at the given server hour: 999 from
// 03:00 to 07:59 (the quiet hours), 5 otherwise.
int32_t MaxPrioridadeDaHora(int hour);

// s without every character other than ASCII letters, digits, "-" and "_".
std::string LimpaNome(const std::string& s);

// The "PathIF" directory for local copies: the switch value cut to 255
// characters, blanks trimmed, "/" appended unless it ends in "/", ":" or
// "\\"; "" without the switch.
std::string LePathIF();

// Writes content to a new file file_name, replacing one left by an earlier
// try; the file is created exclusively and never through a symbolic link.
// Sets *erro to 4081 (create), 4083 (write or short write) or 4082 (close),
// logs the failure and removes the file. Does nothing when *erro is not 0.
void GravaArquivo(const std::string& file_name, const std::string& content, int32_t* erro);

}  // namespace zun
