#include "foundation/exception_trace.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "foundation/log.h"
#include "foundation/throw_record.h"

namespace zun {
namespace {

uintptr_t ModuleBase(const void* addr) {
  Dl_info info{};
  if (dladdr(addr, &info) != 0 && info.dli_fbase != nullptr) {
    return reinterpret_cast<uintptr_t>(info.dli_fbase);
  }
  return 0;
}

std::string Hex8(uintptr_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v & 0xFFFFFFFFu));
  return buf;
}

std::terminate_handler previous_handler = nullptr;
bool handler_ran = false;

// Logs an exception that nothing caught and hands the process to the
// runtime's handler, which ends it. A second uncaught exception (from the
// runtime's own handling) is a fatal stop.
[[noreturn]] void MyExceptHandler() {
  if (handler_ran) RunError250("[Basic.MyExceptHandler]");
  handler_ran = true;
  std::string cls = "?";
  std::string msg;
  std::string t;
  if (std::exception_ptr p = std::current_exception()) {
    try {
      std::rethrow_exception(p);
    } catch (const std::exception& e) {
      cls = NomeDaClasse(e);
      msg = e.what();
      t = " " + cls + " " + msg;
    } catch (...) {
      if (const std::type_info* type = abi::__cxa_current_exception_type()) {
        cls = NomeDoTipo(*type);
        t = " " + cls;
      }
    }
  }
  const ThrowRecord& rec = UltimaExcecao();
  // The raise point is the caller of the runtime's throw entry.
  const void* at = rec.count > 1 ? rec.frames[1] : nullptr;
  const uintptr_t addr = reinterpret_cast<uintptr_t>(at);
  Loga("Exception Error at " + Hex8(addr) + " " + Hex8(at ? addr - ModuleBase(at) : 0) + " " + t);
  LogaExcecao("exception " + cls + ":" + msg + " " + "[Basic.MyExceptHandler]", "");
  if (previous_handler != nullptr) previous_handler();
  std::abort();
}

}  // namespace

void LogaExcecao(const std::string& heading, const std::string& text) {
  const ThrowRecord& rec = UltimaExcecao();
  Loga(text.empty() ? heading : heading + ": " + text);
  if (rec.count <= 1) {
    Loga("<pilha vazia>");
  } else {
    std::string line;
    int on_line = 0;
    for (int i = 1; i < rec.count; ++i) {  // frame 0 is the throw entry itself
      // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about the
      // temporary of " " + text + "r" at -O3.
      line += ' ';
      line += Hex8(reinterpret_cast<uintptr_t>(rec.frames[i]) - ModuleBase(rec.frames[i]));
      line += 'r';
      if (++on_line == 8 || i == rec.count - 1) {
        Loga(line);
        line.clear();
        on_line = 0;
      }
    }
  }
  Loga("--------");
}

std::string NomeDoTipo(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> text(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  std::string result = status == 0 && text ? text.get() : type.name();
  if (result.rfind("zun::", 0) == 0) result.erase(0, 5);
  return result;
}

std::string NomeDaClasse(const std::exception& e) { return NomeDoTipo(typeid(e)); }

void InstalaMyExceptHandler() {
  std::terminate_handler old = std::set_terminate(MyExceptHandler);
  if (old != MyExceptHandler) previous_handler = old;
}

void RestauraExceptHandler() {
  if (std::get_terminate() == MyExceptHandler) std::set_terminate(previous_handler);
}

void EsqueceUltimaExcecao() { UltimaExcecao().count = 0; }

}  // namespace zun
