// The trace of the latest raise and the handler for exceptions that nothing
// catches.
//
// Every throw in the process records the code addresses of its call stack
// (per thread), so that a handler can log where the exception it caught was
// raised. The uncaught-exception handler logs the exception and its trace
// before the runtime ends the process.
//
// Thread-safety: the record is per thread; the functions may be called from
// any thread.
#pragma once

#include <exception>
#include <string>
#include <typeinfo>

namespace zun {

// Logs heading + ": " + text, the recorded addresses of this thread's latest
// raise (8 per line, relative to their module's base, each followed by the
// mark "r") or "<pilha vazia>" when none is recorded, and "--------".
void LogaExcecao(const std::string& heading, const std::string& text);

// The name of a type as log lines show it, without the program's namespace
// ("EDBException", "std::runtime_error", "SqliteConnection").
std::string NomeDoTipo(const std::type_info& type);

// NomeDoTipo of e's dynamic type.
std::string NomeDaClasse(const std::exception& e);

// Installs the uncaught-exception handler, keeping the previous one.
void InstalaMyExceptHandler();
// Puts the previous handler back.
void RestauraExceptHandler();

// Forgets this thread's recorded raise (tests).
void EsqueceUltimaExcecao();

}  // namespace zun
