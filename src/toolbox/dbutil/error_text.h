// Error codes as text, and exceptions turned back into error codes.
//
// TextoDoErro gives the line that reports a code (optionally with a message
// from MsgTextHook); CodigoDaExcecao is what every protected place calls when
// it catches an exception, so that the failure continues as an error code.
//
// Thread-safety: MsgTextHook is a plain global, installed once at start-up
// before any other use; the functions themselves keep no state.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace zun {

// Turns a code into message text; leaves *text empty when it has none.
using TMsgTextHook = std::function<void(int32_t code, std::string* text)>;

// Installed by the multilingual lists at start-up; empty until then.
extern TMsgTextHook MsgTextHook;

// *text := the hook's text for code + 23000 followed by " error:" + code, when
// the hook is installed, code lies in 3000..9000, 15000..19999 or
// 40000..44999 and the hook gives a text; "error:" + code otherwise.
// Precondition: text is not null.
void TextoDoErro(int32_t code, std::string* text);

// Derives the error code for a caught exception x: keeps a non-zero *code,
// else takes x's code when x is an EDBException, else dflt, else 4000. Logs
// place + " erro:" + code + " " + class name of x + ":" + message of x.
// Precondition: code is not null.
void CodigoDaExcecao(const std::string& place, int32_t* code, const std::exception& x,
                     int32_t dflt);

// Logs a caught exception with the place that caught it: "exception " +
// class name of x + ":" + message of x + " " + place, followed by the trace
// of the latest raise.
void LogaExcecaoNoLugar(const std::exception& x, const std::string& place);

}  // namespace zun
